# Builds the example packages of the QelDat2012 dictionary from the release programs in dist/:
# an NSIS setup program, a Windows Installer package and an Inno Setup setup program. The ones a
# publisher would ship (around dicreg.exe) go to dist/; build/installers/<arch>/ holds the same
# packages for each kind of program, and for the tests each of the next version, an MSI rebuilt
# with the same version, and the Inno Setup setup made with Inno Setup 6 as well.
find_program(DICREG_MAKENSIS makensis REQUIRED)
find_program(DICREG_WIXL wixl REQUIRED)
find_program(DICREG_MSIBUILD msibuild REQUIRED)
include(${CMAKE_SOURCE_DIR}/cmake/DebianPython.cmake)
enable_testing()

set(DICREG_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the release programs are")
foreach(program IN ITEMS dicreg.exe dicreg-x64.exe dicreport.exe dicreport-x64.exe)
  if(NOT EXISTS "${DICREG_DIST_DIR}/${program}")
    message(FATAL_ERROR "${DICREG_DIST_DIR}/${program} is missing: "
      "run cmake --workflow --preset release first")
  endif()
endforeach()

# dist/ keeps no package of an earlier build, so that a build that fails leaves none there.
file(REMOVE "${DICREG_DIST_DIR}/QelDat2012-setup.exe" "${DICREG_DIST_DIR}/QelDat2012.msi"
  "${DICREG_DIST_DIR}/QelDat2012-inno-setup.exe")

# The publisher's settings come from environment variables, read and checked at every configure
# (and cmake --workflow always configures) by settings.py, before any package is built; without
# them, the example's own. It writes what the packages are made from: settings.cmake for this
# build, the names for each engine, and sign.sh, the build's signing command.
execute_process(COMMAND ${Python3_EXECUTABLE} "${CMAKE_CURRENT_LIST_DIR}/settings.py"
    "${CMAKE_BINARY_DIR}" RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
  message(FATAL_ERROR "${why}")
endif()
include("${CMAKE_BINARY_DIR}/settings.cmake")
# The publisher's icon and licence, which every package is rebuilt with when they change.
set(branding ${DICREG_ICON_FILE} ${DICREG_LICENSE_FILE})
set(identity "${CMAKE_BINARY_DIR}/identity.nsh")
set(inno_identity "${CMAKE_BINARY_DIR}/identity.iss")
set(settings "${CMAKE_BINARY_DIR}/settings.json")
# The version after this one's, for the upgrade tests, and the one after that: a.b.(c+1).
function(dicreg_next_version version out)
  string(REGEX MATCH "[0-9]+$" build "${version}")
  string(REGEX REPLACE "[0-9]+$" "" head "${version}")
  math(EXPR build "${build} + 1")
  set(${out} "${head}${build}" PARENT_SCOPE)
endfunction()

# The dictionary ships as QelDat2012.dic whatever its source is called: dicreg recognises the
# edition by that name in the path.
set(dictionary "${CMAKE_BINARY_DIR}/QelDat2012.dic")
if(DICREG_DICTIONARY_FILE STREQUAL "")
  message(STATUS "installers: DICREG_DICTIONARY is not set; the packages carry a placeholder "
    "dictionary")
  set(source "${CMAKE_BINARY_DIR}/placeholder.dic")
  file(CONFIGURE OUTPUT "${source}" CONTENT
    "QelDat2012 placeholder: the publisher's real dictionary file goes here.\n")
else()
  set(source "${DICREG_DICTIONARY_FILE}")
  message(STATUS "installers: the dictionary is ${source}")
endif()
add_custom_command(OUTPUT "${dictionary}"
  COMMAND ${CMAKE_COMMAND} -E copy "${source}" "${dictionary}" DEPENDS "${source}" VERBATIM)
# The next version, for the tests, carries a dictionary of its own: the same with a line more.
set(next_dictionary "${CMAKE_BINARY_DIR}/next/QelDat2012.dic")
add_custom_command(OUTPUT "${next_dictionary}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/next"
  COMMAND ${Python3_EXECUTABLE} -c
    "import sys; open(sys.argv[2], 'wb').write(open(sys.argv[1], 'rb').read() + b'\\nnext\\n')"
    "${dictionary}" "${next_dictionary}"
  DEPENDS "${dictionary}" VERBATIM)

# The programs a package carries: dicreg and dicreport built again from the same sources, with
# the publisher's names in their version resources (programs.rc, from settings.py), which the
# file's properties, the security prompts and Task Manager's list of startup programs show.
include(${CMAKE_SOURCE_DIR}/cmake/Programs.cmake)
set(programs "${CMAKE_BINARY_DIR}/programs")
dicreg_programs(programs "${programs}" "${programs}"
  -DDICREG_IDENTITY_RC=${CMAKE_BINARY_DIR}/programs.rc)
# What every shipped program must be, and the publisher's names in both languages.
foreach(check IN ITEMS "dicreg;PE32" "dicreport;PE32" "dicreg-x64;PE32+" "dicreport-x64;PE32+")
  list(GET check 0 program)
  list(GET check 1 kind)
  add_test(NAME program-${program} COMMAND Python3::Interpreter
    ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py ${programs}/${program}.exe ${kind}
    ${PROJECT_VERSION})
  add_test(NAME program-identity-${program} COMMAND Python3::Interpreter
    ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py --program ${programs}/${program}.exe
    "${settings}")
endforeach()

# Signing, when the environment names a key (scripts/sign.py says which variables): the programs
# before they are packed, the uninstallers and setups as their compilers write them, the MSIs.
# The settings are checked here, by signing a scratch copy.
set(sign "${CMAKE_BINARY_DIR}/sign.sh")
execute_process(COMMAND "${sign}" --check "${DICREG_DIST_DIR}/dicreg.exe"
  RESULT_VARIABLE failed OUTPUT_VARIABLE signing ERROR_VARIABLE why
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(failed)
  message(FATAL_ERROR "${why}")
endif()
message(STATUS "installers: signing with ${signing}")

set(nsi "${CMAKE_CURRENT_LIST_DIR}/nsis/QelDat2012.nsi")
set(wxs "${CMAKE_CURRENT_LIST_DIR}/msi/QelDat2012.wxs")
set(inno "${CMAKE_CURRENT_LIST_DIR}/inno")
set(packages)

# Inno Setup's compilers come from the npm registry, pinned by examples/inno/package-lock.json
# (5.6.1 for what ships: its setups run on Windows XP SP3; 6.4.1 as a publisher has it today),
# and run under Wine's 32-bit loader. Where this machine runs no 32-bit programs, there are none.
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE no_32bit
  OUTPUT_QUIET ERROR_QUIET)
if(no_32bit)
  set(DICREG_INNO OFF)
  message(STATUS "installers: this machine runs no 32-bit programs; the Inno Setup setups "
    "are not built")
else()
  set(DICREG_INNO ON)
  set(installed "${inno}/node_modules/.package-lock.json")
  if(NOT EXISTS "${installed}" OR "${inno}/package-lock.json" IS_NEWER_THAN "${installed}")
    find_program(DICREG_NPM npm)
    if(NOT DICREG_NPM)
      message(FATAL_ERROR "npm is missing, and Inno Setup comes from the npm registry: run "
        "scripts/setup.sh")
    endif()
    message(STATUS "installers: installing Inno Setup from the npm registry (npm ci)")
    execute_process(COMMAND ${DICREG_NPM} ci --ignore-scripts --no-audit --no-fund
      WORKING_DIRECTORY "${inno}" RESULT_VARIABLE failed OUTPUT_QUIET)
    if(failed)
      message(FATAL_ERROR "npm ci in ${inno} failed")
    endif()
  endif()
endif()

# One set of packages: arch is x86 (dicreg.exe and dicreport.exe) or x64 (dicreg-x64.exe and
# dicreport-x64.exe, installed as dicreg.exe and dicreport.exe).
function(dicreg_packages arch suffix)
  set(out "${CMAKE_BINARY_DIR}/${arch}")
  set(nsis_arch)
  if(arch STREQUAL "x64")
    set(nsis_arch -DX64)
  endif()
  # The programs that are packed: those with the publisher's names, or signed copies of them.
  set(packed "${programs}/dicreg${suffix}.exe")
  set(report "${programs}/dicreport${suffix}.exe")
  set(nsis_sign)
  set(inno_sign)
  if(NOT signing STREQUAL "none")
    foreach(program IN ITEMS dicreg dicreport)
      set(copy "${CMAKE_BINARY_DIR}/signed/${program}${suffix}.exe")
      add_custom_command(OUTPUT "${copy}"
        COMMAND ${CMAKE_COMMAND} -E copy "${programs}/${program}${suffix}.exe" "${copy}"
        COMMAND "${sign}" "${copy}"
        DEPENDS "${programs}/${program}${suffix}.exe" "${sign}" VERBATIM)
    endforeach()
    set(packed "${CMAKE_BINARY_DIR}/signed/dicreg${suffix}.exe")
    set(report "${CMAKE_BINARY_DIR}/signed/dicreport${suffix}.exe")
    set(nsis_sign "-DSIGN=${sign}")
    set(inno_sign --sign "${sign}")
  endif()
  set(built)
  # The setups, and the next version of each, for the upgrade tests.
  foreach(variant IN ITEMS "QelDat2012-setup;${DICREG_PACKAGE_VERSION};${dictionary}"
      "QelDat2012-setup-next;${DICREG_NEXT_VERSION};${next_dictionary}")
    list(GET variant 0 name)
    list(GET variant 1 version)
    list(GET variant 2 packed_dictionary)
    add_custom_command(OUTPUT "${out}/${name}.exe"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${out}"
      COMMAND ${DICREG_MAKENSIS} -V2 ${nsis_arch} "-DIDENTITY=${identity}"
        "-DVERSION=${version}" "-DPROGRAM=${packed}" "-DREPORT=${report}"
        "-DDICTIONARY=${packed_dictionary}" ${nsis_sign} "-DOUTFILE=${out}/${name}.exe" "${nsi}"
      DEPENDS "${nsi}" "${packed}" "${report}" "${packed_dictionary}" "${identity}" "${sign}"
        ${branding} VERBATIM)
    list(APPEND built "${out}/${name}.exe")
    set(setups "${out}/${name}.exe")
    if(DICREG_INNO AND arch STREQUAL "x86")
      string(REPLACE "QelDat2012-setup" "" suffix "${name}")
      foreach(compiler IN ITEMS "inno5;QelDat2012-inno-setup" "inno6;QelDat2012-inno6-setup")
        list(GET compiler 1 setup)
        list(GET compiler 0 compiler)
        set(setup "${out}/${setup}${suffix}.exe")
        add_custom_command(OUTPUT "${setup}"
          COMMAND "${inno}/iscc.sh" --compiler "${inno}/node_modules/${compiler}/bin"
            --prefix "${CMAKE_BINARY_DIR}/inno/wineprefix" --out "${setup}" ${inno_sign}
            --path "IDENTITY=${inno_identity}" --define "VERSION=${version}"
            --path "PROGRAM=${packed}" --path "REPORT=${report}"
            --path "DICTIONARY=${packed_dictionary}" "${inno}/QelDat2012.iss"
          DEPENDS "${inno}/QelDat2012.iss" "${inno}/iscc.sh" "${inno}/package-lock.json"
            "${packed}" "${report}" "${packed_dictionary}" "${inno_identity}" "${sign}" ${branding}
            VERBATIM)
        list(APPEND built "${setup}")
        list(APPEND setups "${setup}")
      endforeach()
    endif()
    # Each setup program wears the publisher's face: version resource and icon.
    foreach(setup IN LISTS setups)
      file(RELATIVE_PATH name "${CMAKE_BINARY_DIR}" "${setup}")
      string(REGEX REPLACE "[/.]" "-" name "${name}")
      add_test(NAME identity-${name} COMMAND Python3::Interpreter
        ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py --setup "${setup}" "${settings}" ${version})
    endforeach()
  endforeach()
  # wixl finds the files it packs only by paths relative to where it runs.
  file(RELATIVE_PATH packed_from_build "${CMAKE_BINARY_DIR}" "${packed}")
  file(RELATIVE_PATH report_from_build "${CMAKE_BINARY_DIR}" "${report}")
  # The package, the next version of it, and the same version built again (another
  # ProductCode), for the upgrade tests.
  foreach(variant IN ITEMS "QelDat2012;${DICREG_PACKAGE_VERSION};QelDat2012.dic"
      "QelDat2012-next;${DICREG_NEXT_VERSION};next/QelDat2012.dic"
      "QelDat2012-rebuilt;${DICREG_PACKAGE_VERSION};QelDat2012.dic")
    list(GET variant 0 name)
    list(GET variant 1 version)
    list(GET variant 2 packed_dictionary)
    set(msi "${out}/${name}.msi")
    dicreg_next_version("${version}" below)
    set(sign_this)
    if(NOT signing STREQUAL "none")
      set(sign_this COMMAND "${sign}" "${msi}")
    endif()
    set(variables Version=${version} UpgradeBelow=${below} UpgradeCode=${DICREG_UPGRADE_CODE}
      ComponentGuid=${DICREG_COMPONENT_GUID} MenuJaGuid=${DICREG_MENU_JA_GUID}
      MenuEnGuid=${DICREG_MENU_EN_GUID})
    list(TRANSFORM variables PREPEND "-D;" OUTPUT_VARIABLE defines)
    # wixl takes only ASCII: wixl.py hands it an ASCII copy of the source and stores the other
    # texts at code page 932, as Windows Installer reads them (the names come from settings).
    add_custom_command(OUTPUT "${msi}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${out}"
      COMMAND ${Python3_EXECUTABLE} "${CMAKE_CURRENT_LIST_DIR}/msi/wixl.py" --settings "${settings}"
        -a ${arch} ${defines} -D "Program=${packed_from_build}" -D "Report=${report_from_build}"
        -D "Dictionary=${packed_dictionary}" -o "${msi}" "${wxs}"
      ${sign_this}
      DEPENDS "${wxs}" "${CMAKE_CURRENT_LIST_DIR}/msi/wixl.py" "${packed}" "${report}"
        "${CMAKE_BINARY_DIR}/${packed_dictionary}" "${settings}" "${sign}" ${branding}
      WORKING_DIRECTORY "${CMAKE_BINARY_DIR}" VERBATIM)
    list(APPEND built "${msi}")
    # Every text the user reads must read back as the source and the settings give it.
    add_test(NAME msi-texts-${arch}-${name} COMMAND Python3::Interpreter
      ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py --texts "${wxs}" "${msi}" "${settings}"
        ${variables})
  endforeach()
  set(packages ${packages} ${built} PARENT_SCOPE)
endfunction()

dicreg_packages(x86 "")
dicreg_packages(x64 -x64)

set(shipped QelDat2012-setup.exe QelDat2012.msi)
if(DICREG_INNO)
  list(APPEND shipped QelDat2012-inno-setup.exe)
endif()
list(TRANSFORM shipped PREPEND "${CMAKE_BINARY_DIR}/x86/" OUTPUT_VARIABLE shipped_from)
list(TRANSFORM shipped PREPEND "${DICREG_DIST_DIR}/")
add_custom_command(OUTPUT ${shipped}
  COMMAND ${CMAKE_COMMAND} -E copy ${shipped_from} "${DICREG_DIST_DIR}"
  DEPENDS ${shipped_from} VERBATIM)
add_custom_target(packages ALL DEPENDS ${packages} ${shipped})

# Checks that the packages start on the oldest Windows of their kind: the setup programs load on
# Windows XP (x86) and Vista x64, the Inno Setup 6 one on Windows 7, and the MSIs ask for no
# newer Windows Installer than XP SP3's.
set(setups "x86/QelDat2012-setup.exe PE32" "x64/QelDat2012-setup.exe PE32+")
if(DICREG_INNO)
  list(APPEND setups "x86/QelDat2012-inno-setup.exe PE32" "x86/QelDat2012-inno6-setup.exe PE32 6.1")
endif()
foreach(check IN LISTS setups)
  separate_arguments(check UNIX_COMMAND "${check}")
  list(GET check 0 setup)
  string(REGEX REPLACE "[/.]" "-" name "${setup}")
  list(SUBLIST check 1 -1 kind)
  add_test(NAME loads-on-oldest-${name}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_pe.py --loads-on-oldest
      ${CMAKE_BINARY_DIR}/${setup} ${kind})
endforeach()
list(FILTER packages INCLUDE REGEX "\\.msi$")
add_test(NAME msi-installer-version
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py ${packages})
add_test(NAME msi-per-user-data
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py --per-user
    ${packages})
file(GLOB pages "${CMAKE_SOURCE_DIR}/docs/*.md" "${CMAKE_SOURCE_DIR}/README*.md")
add_test(NAME msi-no-restart
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py --no-restart
    ${packages} -- ${pages} ${wxs})
add_test(NAME msi-rollback
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/check_msi.py --rollback
    ${packages})
