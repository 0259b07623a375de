# Builds the shipped programs with both cross toolchains and installs them into dist/.
include(ExternalProject)

set(DICREG_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the release programs go")

foreach(arch IN ITEMS win32 win64)
  if(arch STREQUAL "win32")
    set(toolchain "${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake")
    set(name dicreg)
  else()
    set(toolchain "${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake")
    set(name dicreg-x64)
  endif()
  ExternalProject_Add(dicreg-${arch}
    SOURCE_DIR "${CMAKE_SOURCE_DIR}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/${arch}"
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${toolchain}
      -DCMAKE_BUILD_TYPE=Release
      -DDICREG_TESTS=OFF
      -DDICREG_OUTPUT_NAME=${name}
      -DCMAKE_INSTALL_PREFIX=${DICREG_DIST_DIR}
    BUILD_ALWAYS ON)
endforeach()
