// What the report needs from Windows beyond the registry: the facts it states, the file it
// writes and the programs it starts.
#pragma once

#include <string>

#include "Report.h"

namespace report {

// The exit status tells a caller what the report found.
enum ExitStatus : int {
  kAllRegistered = 0,  // every dictionary set in use holds the dictionary, and nothing is amiss
  kSomethingToDo = 1,  // a set in use lacks it, an entry names a missing file, or none is in use
  kBadArguments = 2,   // more than one argument, or a switch but /register; nothing was done
  kNotWritten = 3,     // the report file could not be written, after a message box saying so
};

// Runs the report on the program's own command line: no argument writes the report to the
// desktop and opens it in Notepad; "/register" (in any case) first runs dicreg.exe beside this
// program with the dictionary beside it, then does the same; any other argument that is no switch
// is the file to write, and nothing is opened. Gives the exit status.
int Run();

}  // namespace report
