// The report's text, in Japanese or English, from the survey and the facts around it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "Survey.h"

namespace report {

enum class Language { English, Japanese };

// A run of dicreg made just before the report ("register again"): its exit status, or the
// Windows error that kept it from starting.
struct Registration {
  bool started = false;
  DWORD code = 0;
};

// What the report says beside the dictionary sets: when, on which Windows, for whom, and the
// files installed beside it.
struct Facts {
  std::u16string made;     // date and time, as 2026-12-08 10:36
  std::u16string windows;  // name, version and width of Windows
  std::u16string user;     // the Windows user's name
  std::u16string version;  // dicreport's own
  std::u16string dicregPath;
  std::u16string dicregVersion;  // empty when dicreg.exe is not there
  std::u16string dictionary;     // the installed dictionary's path
  bool dictionaryPresent = false;
  std::optional<Registration> registration;
};

struct Report {
  std::u16string text;         // lines end with CR LF
  bool allRegistered = false;  // every set in use holds the dictionary, and nothing is amiss
};

Report Write(const Survey& survey, const std::vector<Finding>& findings, const Facts& facts,
             Language language);

// The report file's name on the desktop.
std::u16string FileName(Language language);

// The texts of the message boxes the program may show: the report saved but not opened, the
// report not saved, and more than one argument given.
std::u16string SavedText(Language language, const std::u16string& path);
std::u16string NotSavedText(Language language, const std::u16string& path, DWORD error);
std::u16string UsageText(Language language);

}  // namespace report
