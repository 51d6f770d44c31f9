# Windows trees: the deliverables, the companion programs and the Windows test programs.
# Static runtime: the binaries need no MinGW DLLs on a Windows machine.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_compile_options(-Wall -Wextra -Werror -Wno-cast-function-type)
add_link_options(-static -static-libgcc -static-libstdc++)

file(GLOB VT_WIN32_PLATFORM CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
add_library(vt_win32 STATIC ${VT_WIN32_PLATFORM} ${VT_COMMON_SOURCES})
target_include_directories(vt_win32 PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(vt_win32 PUBLIC user32 advapi32 shell32 winmm kernel32)

# ---- Vt32Util.dll: exports Install (10) and PlaySound (13) through the .def file
vt_win32_sources(VT_HOOK_WIN32 src/hook)
add_library(Vt32Util SHARED ${VT_HOOK_SOURCES} ${VT_HOOK_WIN32} ${CMAKE_SOURCE_DIR}/src/hook/Vt32Util.def)
target_link_libraries(Vt32Util PRIVATE vt_win32)
set_target_properties(Vt32Util PROPERTIES PREFIX "" OUTPUT_NAME Vt32Util)
target_link_options(Vt32Util PRIVATE -Wl,--kill-at)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  # the .def names the undecorated stdcall symbols
  target_link_options(Vt32Util PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# ---- VtInst.exe: GUI program, requireAdministrator manifest in its resources
vt_win32_sources(VT_SETUP_WIN32 src/setup)
file(GLOB VT_SETUP_RC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/setup/*.rc)
if(VT_SETUP_SOURCES OR VT_SETUP_WIN32)
  enable_language(RC)
  add_executable(VtInst WIN32 ${VT_SETUP_SOURCES} ${VT_SETUP_WIN32} ${VT_SETUP_RC})
  target_link_libraries(VtInst PRIVATE vt_win32 comctl32 gdi32 wtsapi32)
  target_link_options(VtInst PRIVATE -municode)
endif()

# ---- Vantor32.exe: the tray program (its logic in src/tray; windows, the settings window,
# icons and manifest in its *.Win32.cpp and .rc). The i686 tree also builds the 32-bit companion Vantor32x86.exe,
# which the 64-bit tray program starts on 64-bit Windows.
enable_language(RC)
vt_win32_sources(VT_TRAY_WIN32 src/tray)
add_executable(Vantor32 WIN32 ${VT_TRAY_SOURCES} ${VT_TRAY_WIN32} ${CMAKE_SOURCE_DIR}/src/tray/Vantor32.rc)
target_link_libraries(Vantor32 PRIVATE vt_win32 comctl32 comdlg32 gdi32 shell32)
target_link_options(Vantor32 PRIVATE -municode)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  add_executable(Vantor32x86 WIN32 ${CMAKE_SOURCE_DIR}/src/tray/companion/Vantor32x86.Win32.cpp)
  target_link_options(Vantor32x86 PRIVATE -municode)
endif()

# ---- companion programs
# vtview is a console program that prints what it receives.
foreach(tool vtview)
  file(GLOB tool_src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/${tool}/*.cpp)
  file(GLOB tool_rc CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/${tool}/*.rc)
  set(kind WIN32)
  if(tool STREQUAL vtview)
    set(kind)
  endif()
  if(tool_src)
    add_executable(${tool} ${kind} ${tool_src} ${tool_rc})
    target_link_libraries(${tool} PRIVATE vt_win32 comctl32 comdlg32 gdi32 shell32)
    target_link_options(${tool} PRIVATE -municode)
  endif()
endforeach()

# ---- contract suite against the real platform
file(GLOB VT_CONTRACT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/contract/*.cpp)
if(VT_CONTRACT_SOURCES)
  add_executable(contract_win32 ${VT_CONTRACT_SOURCES})
  target_include_directories(contract_win32 PRIVATE ${VT_DOCTEST_DIR} ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(contract_win32 PRIVATE VT_CONTRACT_WIN32)
  target_link_libraries(contract_win32 PRIVATE vt_win32)
  add_test(NAME contract_win32 COMMAND contract_win32)
endif()

# ---- end-to-end test programs: tests/e2e/test_*.cpp are doctest programs run by ctest;
# the other programs there (targets, drivers) are built for them to start.
# They run only in the x86_64 tree (the i686 tree is a compile check of the deliverables).
file(GLOB VT_E2E_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/support/*.cpp)
file(GLOB VT_E2E_PROGRAMS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL x86_64)
  set(VT_E2E_SUPPORT)
  set(VT_E2E_PROGRAMS)
endif()
if(VT_E2E_SUPPORT)
  add_library(vt_e2e STATIC ${VT_E2E_SUPPORT})
  target_include_directories(vt_e2e PUBLIC ${VT_DOCTEST_DIR} ${CMAKE_SOURCE_DIR}/tests/e2e/support)
  target_link_libraries(vt_e2e PUBLIC vt_win32)
endif()
foreach(src ${VT_E2E_PROGRAMS})
  get_filename_component(name ${src} NAME_WE)
  if(name MATCHES "^test_")
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE vt_e2e)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
  else()
    add_executable(${name} WIN32 ${src})
    target_link_libraries(${name} PRIVATE vt_e2e)
    target_link_options(${name} PRIVATE -municode)
  endif()
endforeach()
# the read-key dialog, hosted by a test program
if(TARGET readkey_host)
  target_sources(readkey_host PRIVATE ${CMAKE_SOURCE_DIR}/src/setup/VtConfig.ReadKey.cpp
                                      ${CMAKE_SOURCE_DIR}/src/setup/VtConfig.ReadKey.Win32.cpp)
  target_link_libraries(readkey_host PRIVATE comctl32 gdi32)
endif()

# vtdemo: the demonstration driver (a console program built on the e2e helpers)
if(VT_E2E_SUPPORT)
  add_executable(vtdemo ${CMAKE_SOURCE_DIR}/tools/vtdemo/vtdemo.cpp)
  target_link_libraries(vtdemo PRIVATE vt_e2e)
  target_link_options(vtdemo PRIVATE -municode)
endif()

# Benchmarks under Wine: they call the hook logic in-process against the real platform,
# so they compile the hook sources themselves (without DllMain and the exports). Built
# where the e2e helpers are (the x86_64 tree).
file(GLOB VT_BENCH_WIN CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.wine.cpp)
if(NOT TARGET vt_e2e)
  set(VT_BENCH_WIN)
endif()
foreach(src ${VT_BENCH_WIN})
  get_filename_component(name ${src} NAME_WE)
  add_executable(bench_${name} ${src} ${VT_HOOK_SOURCES})
  target_include_directories(bench_${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(bench_${name} PRIVATE vt_e2e)
endforeach()
include(cmake/Installer.cmake)
