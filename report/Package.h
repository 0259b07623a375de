// The packages' rules, the same for every engine: what a package is told after it ran
// dicreport, which earlier dictionaries go and how one held open is deleted at a sign-in, and how
// a failed MSI puts back what was changed. The setups and the MSI run dicreport for them; this is
// the part that needs neither the file system nor other processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Survey.h"

namespace report {

// What /install and /uninstall tell the package in their exit status: the outcome in the low
// four bits, the flags above it, and a failed dicreg's own status from bit 16.
enum Outcome : DWORD {
  kRegistered = 0,  // in every dictionary set in use (for /uninstall: every entry emptied)
  kPartly = 1,      // in some sets in use, not in every one
  kWaits = 2,       // in none yet: the startup entry registers it at a later sign-in
  kCannotWait = 3,  // in none yet, and no startup entry can: it is switched off, or too long
  kNotStarted = 4,  // dicreg.exe could not be started
  kFailed = 5,      // dicreg.exe ended with a failure, whose status follows from bit 16
};
enum OutcomeFlag : DWORD {
  kHeldOpen = 0x10,    // an earlier dictionary is held open: the next sign-in deletes it
  kLeftBehind = 0x20,  // an earlier dictionary stays, as a set this user may not change names it
  kLogOff = 0x40,      // this Windows says "log off" and "log on" (the ones before Windows 8)
  kNoCleanup = 0x80,   // one held open that no command within Windows' limit can delete
};
// The status, kept below 0x80000000 so that every engine reads it as a positive number.
DWORD PackageStatus(Outcome outcome, DWORD flags, DWORD dicregStatus = 0);

// The folder as cmd can be told it at a sign-in: below the user's profile, with %USERPROFILE% in
// its place, which is shorter and survives a profile that moves.
std::u16string ProfileRelative(const std::u16string& folder, const std::u16string& profile);

// The RunOnce command that deletes a dictionary left in the folder (in its subfolder, a
// version's, or beside the programs when that is empty), and then the subfolder and the folder
// once they are empty: cmd.exe, found by its full path, told the folder once.
std::u16string CleanupCommand(const std::u16string& cmd, const std::u16string& folder,
                              const std::u16string& subfolder);

// The first of the commands that Windows runs from a Run or RunOnce value, or "" when none fits.
std::u16string FirstThatFits(const std::vector<std::u16string>& commands);

// Whether a dictionary set in use names the file in one of its entries.
bool Named(const Survey& survey, const std::u16string& path);

// Whether there is a set in use, and every one holds the dictionary from files that exist.
bool AllRegistered(const std::vector<Finding>& findings);

// What a package may change, as it is now: slots 2 to 9 of every set, the user's Run and RunOnce
// values and the marker, written as text to be put back.
std::u16string RecordChanges();

// Puts back what the record holds, writing only what differs.
void PutBack(const std::u16string& record);

}  // namespace report
