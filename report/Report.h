// The report's text, in Japanese or English, from the survey and the facts around it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "Pending.h"
#include "Survey.h"

namespace report {

enum class Language { English, Japanese };

// The exit status tells a caller what the report found, or why there is none.
enum ExitStatus : int {
  kAllRegistered = 0,  // every dictionary set in use holds the dictionary, from a file that exists
  kSomethingToDo = 1,  // a set in use lacks it, names a missing file or is locked; one can take it
  kBadArguments = 2,   // more than one argument, or an unknown switch; nothing was done
  kNotWritten = 3,     // the report file could not be written
  kNoSetCanTake = 4,  // no dictionary set in use can take the dictionary: dicreg would show its box
};

// A run of dicreg made just before the report ("register again"): its exit status, or the
// Windows error that kept it from starting.
struct Registration {
  bool started = false;
  DWORD code = 0;
};

// The Windows the report was made on.
struct WindowsVersion {
  std::u16string name;     // "Windows 10"
  std::u16string version;  // "10.0.19045", and the service pack where there is one
  bool wide = false;       // 64-bit Windows
};

// What the report says beside the dictionary sets: when, on which Windows, for whom, the files
// installed beside it, and what waits for the next sign-in.
struct Facts {
  std::u16string made;  // date and time, as 2026-12-08 10:36
  WindowsVersion windows;
  bool logOff = false;     // this Windows says log on and log off (the ones before Windows 8)
  std::u16string user;     // the Windows user's name
  std::u16string version;  // dicreport's own
  std::u16string folder;   // the report program's folder, where the package installed it
  std::u16string dicregPath;
  std::u16string dicregVersion;  // empty when dicreg.exe is not there
  std::u16string dictionary;     // the installed dictionary's path
  bool dictionaryPresent = false;
  Startup startup;  // the startup entries that start this program, and the marker
  // Startup entries of this program that System Configuration (msconfig, Windows XP to 7)
  // switched off: it moves them out of the Run key.
  std::vector<std::u16string> configured;
  std::vector<std::u16string> stale;  // earlier dictionaries, which ATOK 2012 may hold open
  bool restart = false;  // Windows replaces or deletes a file of the folder at the next restart
  std::optional<Registration> registration;
};

struct Report {
  std::u16string text;  // lines end with CR LF
  ExitStatus status = kSomethingToDo;
};

// What one dictionary set in use is found to be: the one place from which its line, the verdict
// and the exit status follow.
enum class SetState {
  Registered,   // holds the dictionary, from files that exist
  FileMissing,  // holds it, but from a file that no longer exists
  Free,         // lacks it; registering again puts it into a free slot
  Full,         // lacks it; slots 2 to 9 all hold other dictionaries
  ReadOnly,     // lacks it; this Windows user may not change the set
  Unreadable,   // the set cannot even be read
};
SetState StateOf(const Finding& finding);

Report Write(const Survey& survey, const std::vector<Finding>& findings, const Facts& facts,
             Language language);

// The report file's name on the desktop.
std::u16string FileName(Language language);

// The texts of the message boxes the program may show where a person started it: the report
// saved but not opened, the report not saved, and arguments it does not take.
std::u16string SavedText(Language language, const std::u16string& path);
std::u16string NotSavedText(Language language, const std::u16string& path, DWORD error);
std::u16string UsageText(Language language);

// A status or Windows error as the report prints it: in decimal, or from 0x80000000 on (the
// codes Windows gives a program it stopped) in hexadecimal.
std::u16string StatusText(DWORD code);

// Puts the values in place of {1}, {2}, ... in one pass: a value that itself holds "{2}" stays
// as it is.
std::u16string Fill(const std::u16string& pattern, const std::vector<std::u16string>& values);

}  // namespace report
