# Builds the release programs a second time from a copy of the sources in another folder and
# compares them byte for byte with the ones in DIST_DIR.
foreach(var IN ITEMS SOURCE_DIR DIST_DIR WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(copy "${WORK_DIR}/elsewhere/dicreg-source-copy")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${copy}")
file(COPY "${SOURCE_DIR}/" DESTINATION "${copy}"
  PATTERN ".git" EXCLUDE PATTERN "build" EXCLUDE PATTERN "dist" EXCLUDE)

execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${copy}" -B "${WORK_DIR}/build" -DDICREG_SUPERBUILD=ON
    "-DDICREG_DIST_DIR=${WORK_DIR}/dist"
  RESULT_VARIABLE configured OUTPUT_QUIET)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK_DIR}/build"
  RESULT_VARIABLE built OUTPUT_QUIET)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "the second build failed")
endif()

foreach(program IN ITEMS dicreg.exe dicreg-x64.exe dicreport.exe dicreport-x64.exe)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
    "${DIST_DIR}/${program}" "${WORK_DIR}/dist/${program}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${program} differs between two builds of the same sources")
  endif()
  file(SHA256 "${DIST_DIR}/${program}" hash)
  message(STATUS "${program}: identical in both builds (sha256 ${hash})")
endforeach()
