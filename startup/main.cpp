#include <windows.h>

#include "StartUp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { StartUp(); }
