// The do-nothing GUI program the benchmark measures start-up cost against.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
