// A registration left for a later sign-in. When no dictionary set in use can take the
// dictionary, the package leaves a startup entry (a value in the user's Run key, named after the
// product, that starts "dicreport.exe /signin") and a marker that says a registration waits. At a
// sign-in the program registers once a set can take the dictionary and clears the marker; it
// never writes the Run or RunOnce key then, since Windows asks that no program started from
// those keys write them while it runs. The entry, left with nothing to do, goes with the next
// registration made outside a sign-in, or with the uninstall.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../registry/UniqueHkey.h"

namespace report {

inline const std::u16string kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::u16string kRunOnceKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// Where Task Manager (Windows 8 and later) keeps the startup entries it switched off.
inline const std::u16string kApprovedKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
// The marker: a registration waits for a sign-in.
inline const std::u16string kMarkerKey = u"Software\\QelDat2012";
inline const std::u16string kMarkerName = u"RegisterAtSignIn";
inline const std::u16string kSignInSwitch = u"/signin";
inline const std::u16string kQuietSwitch = u"/quiet";
// The longest command line Windows runs from a Run or RunOnce value.
inline constexpr std::size_t kLongestCommand = 260;

// The names of a key's values, and of its subkeys, as far as they can be read.
std::vector<std::u16string> ValueNames(HKEY key);
std::vector<std::u16string> SubkeyNames(HKEY key);

// Opens the key under HKEY_CURRENT_USER, making it (and the keys above it) when it is missing:
// a key the packages' modes write into. dicreg itself never makes a key.
UniqueHkey CreateKey(const std::u16string& keyPath, REGSAM access);

// The startup entry's command for the program (its full path): "<program>" /signin.
std::u16string StartupCommand(const std::u16string& program);

// The startup entries of a program, which may be known by more than one path (its long and its
// short form): the Run values whose command starts it, whatever the switch, compared without
// regard to letter case; those Task Manager switched off; and whether the marker is there.
struct Startup {
  std::vector<std::u16string> entries;
  std::vector<std::u16string> switchedOff;
  bool waiting = false;
};
Startup ReadStartup(const std::vector<std::u16string>& programs);

// Writes the entry and the marker; false when either could not be written.
bool LeaveStartup(const std::u16string& name, const std::u16string& command);

// Deletes the program's entries and the marker: the registration they waited for is done.
void ForgetStartup(const std::vector<std::u16string>& programs);

// Deletes the marker alone (and its key, once nothing else is in it).
void ClearMarker();

}  // namespace report
