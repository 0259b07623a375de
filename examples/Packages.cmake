# Builds the example packages of the QelDat2012 dictionary from the release programs in dist/:
# an NSIS setup program and a Windows Installer package. The ones a publisher would ship (32-bit
# setup, dicreg.exe) go to dist/; build/installers/<arch>/ holds the same packages for each kind
# of program, and a version 1.0.1 of the MSI, for the tests.
find_program(DICREG_MAKENSIS makensis REQUIRED)
find_program(DICREG_WIXL wixl REQUIRED)

set(DICREG_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the release programs are")
foreach(program IN ITEMS dicreg.exe dicreg-x64.exe)
  if(NOT EXISTS "${DICREG_DIST_DIR}/${program}")
    message(FATAL_ERROR "${DICREG_DIST_DIR}/${program} is missing: "
      "run cmake --workflow --preset release first")
  endif()
endforeach()

# The project owns no dictionary: a publisher puts the real QelDat2012.dic in its place.
set(dictionary "${CMAKE_BINARY_DIR}/QelDat2012.dic")
file(CONFIGURE OUTPUT "${dictionary}" CONTENT
  "QelDat2012 placeholder: the publisher's real dictionary file goes here.\n")

set(nsi "${CMAKE_CURRENT_LIST_DIR}/nsis/QelDat2012.nsi")
set(wxs "${CMAKE_CURRENT_LIST_DIR}/msi/QelDat2012.wxs")
set(packages)

# One set of packages: arch is x86 (dicreg.exe) or x64 (dicreg-x64.exe, installed as dicreg.exe).
function(dicreg_packages arch program)
  set(out "${CMAKE_BINARY_DIR}/${arch}")
  set(nsis_arch)
  if(arch STREQUAL "x64")
    set(nsis_arch -DX64)
  endif()
  add_custom_command(OUTPUT "${out}/QelDat2012-setup.exe"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${out}"
    COMMAND ${DICREG_MAKENSIS} -V2 ${nsis_arch} -DVERSION=${PROJECT_VERSION}
      "-DPROGRAM=${DICREG_DIST_DIR}/${program}" "-DDICTIONARY=${dictionary}"
      "-DOUTFILE=${out}/QelDat2012-setup.exe" "${nsi}"
    DEPENDS "${nsi}" "${DICREG_DIST_DIR}/${program}" "${dictionary}" VERBATIM)
  set(built "${out}/QelDat2012-setup.exe")
  foreach(version IN ITEMS ${PROJECT_VERSION} 1.0.1)
    set(msi "${out}/QelDat2012.msi")
    if(NOT version STREQUAL PROJECT_VERSION)
      set(msi "${out}/QelDat2012-${version}.msi")
    endif()
    # wixl finds the files it packs only by paths relative to where it runs.
    file(RELATIVE_PATH source "${CMAKE_BINARY_DIR}" "${DICREG_DIST_DIR}/${program}")
    add_custom_command(OUTPUT "${msi}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${out}"
      COMMAND ${DICREG_WIXL} -a ${arch} -D Version=${version} -D "Program=${source}"
        -D Dictionary=QelDat2012.dic -o "${msi}" "${wxs}"
      DEPENDS "${wxs}" "${DICREG_DIST_DIR}/${program}" "${dictionary}"
      WORKING_DIRECTORY "${CMAKE_BINARY_DIR}" VERBATIM)
    list(APPEND built "${msi}")
  endforeach()
  set(packages ${packages} ${built} PARENT_SCOPE)
endfunction()

dicreg_packages(x86 dicreg.exe)
dicreg_packages(x64 dicreg-x64.exe)

add_custom_command(OUTPUT "${DICREG_DIST_DIR}/QelDat2012-setup.exe" "${DICREG_DIST_DIR}/QelDat2012.msi"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_BINARY_DIR}/x86/QelDat2012-setup.exe"
    "${CMAKE_BINARY_DIR}/x86/QelDat2012.msi" "${DICREG_DIST_DIR}"
  DEPENDS "${CMAKE_BINARY_DIR}/x86/QelDat2012-setup.exe" "${CMAKE_BINARY_DIR}/x86/QelDat2012.msi"
  VERBATIM)
add_custom_target(packages ALL DEPENDS ${packages}
  "${DICREG_DIST_DIR}/QelDat2012-setup.exe" "${DICREG_DIST_DIR}/QelDat2012.msi")

# Checks that the packages start on the oldest Windows of their kind: the setup programs load on
# Windows XP (x86) and Vista x64, and the MSIs ask for no newer Windows Installer than XP SP3's.
if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
enable_testing()
foreach(check IN ITEMS "x86;PE32" "x64;PE32+")
  list(GET check 0 arch)
  list(GET check 1 kind)
  add_test(NAME setup-loads-on-oldest-${arch}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py --loads-on-oldest
      ${CMAKE_BINARY_DIR}/${arch}/QelDat2012-setup.exe ${kind})
endforeach()
list(FILTER packages INCLUDE REGEX "\\.msi$")
add_test(NAME msi-installer-version
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py ${packages})
