# The checks of what is built read PE files and MSI packages with Debian's python3-pefile and
# python3-olefile: use Debian's own interpreter, even when another python3 comes first on PATH.
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
