// Shows dicreg's box for an unexpected failure, as a run that ran out of memory shows it, for the
// support page's picture (scripts/screenshots.sh): such a failure cannot be brought about from
// outside the program.
#include <windows.h>

#include "../../startup/StartUp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  startup::ReportFailure("std::bad_alloc");
  return startup::kFailed;
}
