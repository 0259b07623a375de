# Builds the shipped programs, dicreg and dicreport, with both cross toolchains and installs them
# into dist/.
include(${CMAKE_SOURCE_DIR}/cmake/Programs.cmake)

set(DICREG_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the release programs go")
dicreg_programs(dicreg "${CMAKE_BINARY_DIR}" "${DICREG_DIST_DIR}")

# Checks of what ships: headers, imports and resources of every program, and that a second
# build of the same sources in another folder gives the same bytes.
include(${CMAKE_SOURCE_DIR}/cmake/DebianPython.cmake)
enable_testing()
foreach(check IN ITEMS "dicreg.exe;PE32" "dicreg-x64.exe;PE32+" "dicreport.exe;PE32"
    "dicreport-x64.exe;PE32+")
  list(GET check 0 program)
  list(GET check 1 kind)
  add_test(NAME headers-${program}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py
      ${DICREG_DIST_DIR}/${program} ${kind} ${PROJECT_VERSION})
endforeach()
# The checks themselves: each one fails on a copy of the 32-bit program broken in its way.
add_test(NAME headers-catch-breakage
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_pe_test.py
    ${DICREG_DIST_DIR}/dicreg.exe ${PROJECT_VERSION})
add_test(NAME reproducible
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DDIST_DIR=${DICREG_DIST_DIR}
    -DWORK_DIR=${CMAKE_BINARY_DIR}/second-build -P ${CMAKE_SOURCE_DIR}/cmake/CheckReproducible.cmake)
set_tests_properties(reproducible PROPERTIES TIMEOUT 900)
