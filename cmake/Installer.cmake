# The setup programs, built with NSIS from this tree's Release binaries (target "setup",
# not part of "all": the x86_64 setup also takes the 32-bit companion and library from
# the i686 tree, VT_X86_TREE, which must be built first).
#   x86_64 tree: Vantor32-Setup.exe        (and, for the upgrade test, Vantor32-Setup-next.exe)
#   i686 tree:   Vantor32-Setup-x86.exe    (the 32-bit set, for 32-bit Windows; built only)
find_program(VT_MAKENSIS makensis)
file(STRINGS ${CMAKE_SOURCE_DIR}/installer/version.txt VT_VERSION LIMIT_COUNT 1)
set(VT_SETUP_SCRIPT ${CMAKE_SOURCE_DIR}/installer/Vantor32.nsi)
set(VT_X86_TREE ${CMAKE_BINARY_DIR}/../win32 CACHE PATH "the i686 build tree (32-bit companion and library)")
get_filename_component(VT_X86_TREE_ABS ${VT_X86_TREE} ABSOLUTE)

string(REGEX MATCH "^([0-9]+\\.[0-9]+)\\.([0-9]+)$" vt_match ${VT_VERSION})
math(EXPR vt_next_patch "${CMAKE_MATCH_2} + 1")
set(VT_NEXT_VERSION ${CMAKE_MATCH_1}.${vt_next_patch})

if(TARGET test_installer)
  target_compile_definitions(test_installer PRIVATE "VT_VERSION=L\"${VT_VERSION}\""
                                                    "VT_NEXT_VERSION=L\"${VT_NEXT_VERSION}\"")
  target_link_libraries(test_installer PRIVATE ole32 uuid)
  set_tests_properties(test_installer PROPERTIES TIMEOUT 900)
endif()

if(NOT VT_MAKENSIS)
  add_custom_target(setup COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing: bash scripts/deps.sh installs nsis"
                    COMMAND ${CMAKE_COMMAND} -E false)
  return()
endif()

set(vt_setup_deps Vt32Util VtInst Vantor32 vtview ${VT_SETUP_SCRIPT}
                  ${CMAKE_SOURCE_DIR}/src/tray/icons/Vantor32.ico)
function(vt_setup out version)
  set(defines -DVERSION=${version} -DBIN=${CMAKE_BINARY_DIR} -DOUTFILE=${CMAKE_BINARY_DIR}/${out})
  set(deps ${vt_setup_deps})
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL x86_64)
    list(APPEND defines -DARCH=amd64 -DBIN32=${VT_X86_TREE_ABS})
    list(APPEND deps ${VT_X86_TREE_ABS}/Vt32Util.dll ${VT_X86_TREE_ABS}/Vantor32x86.exe)
  else()
    list(APPEND defines -DARCH=x86)
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${out}
                     COMMAND ${VT_MAKENSIS} -V2 -INPUTCHARSET UTF8 ${defines} ${VT_SETUP_SCRIPT}
                     DEPENDS ${deps} VERBATIM)
endfunction()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL x86_64)
  vt_setup(Vantor32-Setup.exe ${VT_VERSION})
  # the same setup one version later, to test an upgrade over a running installation
  vt_setup(Vantor32-Setup-next.exe ${VT_NEXT_VERSION})
  add_custom_target(setup DEPENDS ${CMAKE_BINARY_DIR}/Vantor32-Setup.exe ${CMAKE_BINARY_DIR}/Vantor32-Setup-next.exe)
else()
  vt_setup(Vantor32-Setup-x86.exe ${VT_VERSION})
  add_custom_target(setup DEPENDS ${CMAKE_BINARY_DIR}/Vantor32-Setup-x86.exe)
endif()
