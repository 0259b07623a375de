// What the report needs from Windows beyond the registry: the facts it states, the file it
// writes and the programs it starts.
#pragma once

#include <string>

#include "Report.h"

namespace report {

// Runs the report on the program's own command line: no argument writes the report to the
// desktop and opens it in Notepad; "/register" (switches in any case) first runs dicreg.exe
// beside this program with the installed dictionary, then does the same; "/quiet" runs dicreg
// only when a dictionary set in use can take the dictionary, shows nothing and writes no report;
// any other argument that is no switch is the file to write, and nothing is shown. A registration
// that succeeded takes away the startup entry that was waiting to do it. Gives the exit status.
int Run();

}  // namespace report
