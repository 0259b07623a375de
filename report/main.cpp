#include <windows.h>

#include "Machine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { ExitProcess(report::Run()); }
