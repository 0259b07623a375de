# Cross build for Windows with MinGW-w64 (i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The shipped program takes the win32 thread model: the POSIX one links a threads runtime whose
# start-up code imports functions that older Windows lack (GetTickCount64), and the program runs
# on one thread. GoogleTest needs std::mutex, which GCC 12 has only with the POSIX one.
set(DICREG_THREADS win32 CACHE STRING "MinGW-w64 thread model: win32 or posix")
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${DICREG_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${DICREG_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The oldest Windows this kind of program runs on: Windows XP SP3 (NT 5.1). The program is
# compiled for it, so that the headers refuse any newer API.
set(DICREG_WIN32_WINNT 0x0501)

# Tests run under Wine's 32-bit support.
find_program(DICREG_WINE NAMES wine NO_CACHE)
if(DICREG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DICREG_WINE})
endif()
