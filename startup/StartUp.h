// Where every run begins and ends: read the argument, remove (and register), end the process.
#pragma once

#include <string>

#include "../dicset/Layout.h"
#include "Form1.h"

namespace startup {

// The exit status tells an installer what happened.
enum ExitStatus : int {
  kDone = 0,        // removal finished, or the install registered into at least one set
  kNoSetFound = 1,  // the install found no set to take the dictionary
  kRefused = 2,     // empty or blank argument: nothing read or written
  kFailed = 3,      // an unexpected failure ended the run after its error report
  kKept = 4,        // removal could not empty every entry of the family (no box)
};

using dicset::kDicName;
using dicset::kDicNameEx;
inline const std::u16string kUninstallSwitch = u"/uninst";

// Everything after the program's own name (quoted or not) and the blanks that follow it.
std::u16string ArgumentText(const std::u16string& commandLine);

// Drops trailing blanks and tabs, then one pair of double quotes around the whole argument.
std::u16string CleanArgument(std::u16string argument);

// A failure nobody expected still gets a word to the user before the run ends: a box titled
// "dicreg" that names it (its ASCII part) below a line in Japanese.
void ReportFailure(const char* what);

// The whole run short of ending the process; gives the exit status.
int Run(Form1& form, const std::u16string& commandLine);

}  // namespace startup

// Runs the program on its own command line and ends the process with the run's status.
[[noreturn]] void StartUp();
