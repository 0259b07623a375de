# Builds the programs, dicreg and dicreport, with both cross toolchains: targets <prefix>-win32
# and <prefix>-win64, built in <binary_dir>/<arch> and installed into <install_dir>; any further
# arguments go to their configure step.
include(ExternalProject)

function(dicreg_programs prefix binary_dir install_dir)
  foreach(arch IN ITEMS win32 win64)
    if(arch STREQUAL "win32")
      set(toolchain "${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake")
      set(name dicreg)
    else()
      set(toolchain "${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake")
      set(name dicreg-x64)
    endif()
    string(REPLACE "dicreg" "dicreport" report_name "${name}")
    ExternalProject_Add(${prefix}-${arch}
      SOURCE_DIR "${CMAKE_SOURCE_DIR}"
      BINARY_DIR "${binary_dir}/${arch}"
      CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${toolchain}
        -DCMAKE_BUILD_TYPE=Release
        -DDICREG_TESTS=OFF
        -DDICREG_OUTPUT_NAME=${name}
        -DCMAKE_INSTALL_PREFIX=${install_dir}
        ${ARGN}
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS "${install_dir}/${name}.exe" "${install_dir}/${report_name}.exe")
  endforeach()
endfunction()
