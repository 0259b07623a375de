# Cross build for Windows with MinGW-w64 (x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The shipped program takes the win32 thread model: the POSIX one links a threads runtime whose
# start-up code imports functions that older Windows lack (GetTickCount64), and the program runs
# on one thread. GoogleTest needs std::mutex, which GCC 12 has only with the POSIX one.
set(DICREG_THREADS win32 CACHE STRING "MinGW-w64 thread model: win32 or posix")
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${DICREG_THREADS})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${DICREG_THREADS})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The oldest Windows this kind of program runs on: Windows Vista x64 (NT 6.0). The program is
# compiled for it, so that the headers refuse any newer API.
set(DICREG_WIN32_WINNT 0x0600)

# Tests run under wine64.
find_program(DICREG_WINE NAMES wine64 PATHS /usr/lib/wine NO_CACHE)
if(DICREG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DICREG_WINE})
endif()
