# The Windows program, cross-compiled (preset "windows"). The program's
# folders are the same as on Linux; the platform layer is the system itself
# plus platform/windows, and port/windows holds the per-system halves of the
# two hardware contracts.
enable_language(RC)

set(MPTEST_VERSION ${PROJECT_VERSION}) # the manifest's assembly version

include(cmake/EmbedFiles.cmake)

# Platform layer: the Windows platform's own functions (text conversion,
# templates from the resource tables, pictures, the COM device map), and
# the GBK cut in platform/ itself, which needs no system at all.
add_library(mptest_platform STATIC
  platform/gbk.cpp
  platform/message_box_hook.cpp
  platform/windows/comdevices.cpp
  platform/windows/dialogs.cpp
  platform/windows/pictures.cpp
  platform/windows/station.cpp
  platform/windows/text.cpp)
target_include_directories(mptest_platform PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_platform PUBLIC comctl32 comdlg32 gdiplus shlwapi setupapi ws2_32)

set(MPTEST_PLATFORM_KERNEL mptest_platform)
include(cmake/Program.cmake)

# The application manifest: UTF-8 as the process code page, so the A
# functions take the program's UTF-8 strings on every locale, and the
# version 6 common controls. Test programs link it too.
configure_file(platform/windows/mptest.manifest.in ${CMAKE_BINARY_DIR}/generated/mptest.manifest @ONLY)
# The program's icon goes into the .exe too, for Explorer, the taskbar and
# the Start menu, at each size they draw; the window's icon comes from the
# table like every picture.
set(MPTEST_ICO_PNGS)
foreach(size 16 24 32 48 256)
  list(APPEND MPTEST_ICO_PNGS ${CMAKE_SOURCE_DIR}/res/icons/mptest-${size}.png)
endforeach()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/generated/mptest.ico
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/png-to-ico.sh ${CMAKE_BINARY_DIR}/generated/mptest.ico ${MPTEST_ICO_PNGS}
  DEPENDS ${MPTEST_ICO_PNGS} ${CMAKE_SOURCE_DIR}/cmake/png-to-ico.sh
  COMMENT "Making the program's .ico"
  VERBATIM)
add_custom_target(mptest_ico DEPENDS ${CMAKE_BINARY_DIR}/generated/mptest.ico)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/manifest.rc
  CONTENT "#include \"res/resource.h\"\n\
1 24 \"${CMAKE_BINARY_DIR}/generated/mptest.manifest\"\n\
IDI_MPTEST ICON \"${CMAKE_BINARY_DIR}/generated/mptest.ico\"\n")
add_library(mptest_manifest OBJECT ${CMAKE_BINARY_DIR}/generated/manifest.rc)
target_include_directories(mptest_manifest PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(mptest_manifest mptest_ico)
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/manifest.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/generated/mptest.manifest;${CMAKE_BINARY_DIR}/generated/mptest.ico")

# platform/windows/main.cpp answers --version and otherwise hands over to
# WinMain in the core library. The version information only the program
# carries; a release has no debugging information.
set(MPTEST_EXE_NAME mptest)
set(MPTEST_EXE_DESCRIPTION "微型打印机测试 (KQ receipt printer test and service)")
configure_file(packaging/windows/version.rc.in ${CMAKE_BINARY_DIR}/generated/version.rc @ONLY)
add_executable(mptest WIN32 platform/windows/main.cpp $<TARGET_OBJECTS:mptest_manifest>
  ${CMAKE_BINARY_DIR}/generated/version.rc)
target_link_libraries(mptest PRIVATE mptest_core)
target_link_options(mptest PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)

# mptest-cli.exe: a console program beside mptest.exe, with the same
# manifest (UTF-8 code page) and version information.
set(MPTEST_EXE_NAME mptest-cli)
set(MPTEST_EXE_DESCRIPTION "微型打印机测试命令行 (KQ receipt printer jobs from a console)")
configure_file(packaging/windows/version.rc.in ${CMAKE_BINARY_DIR}/generated/version-cli.rc @ONLY)
add_executable(mptest-cli cli/main.cpp $<TARGET_OBJECTS:mptest_manifest> ${CMAKE_BINARY_DIR}/generated/version-cli.rc)
target_link_libraries(mptest-cli PRIVATE mptest_cli)
target_link_options(mptest-cli PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)

include(cmake/WindowsInstaller.cmake)

# ---------------------------------------------------------------- tests
# GoogleTest from the sources Debian ships with libgtest-dev, built with the
# cross compiler. Each test program runs whole under Wine (the preset's
# emulator): listing its cases first would start Wine once more per program.
set(MPTEST_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${MPTEST_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

enable_testing()

function(mptest_windows_test name)
  add_executable(${name} ${ARGN} $<TARGET_OBJECTS:mptest_manifest>)
  # tests/windows/main.cpp: GoogleTest's main once the program's resources are registered
  target_link_libraries(${name} PRIVATE mptest_core gtest gmock)
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/windows/main.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# The platform-independent tests, as on Linux.
mptest_windows_test(core_tests tests/core/hex_test.cpp tests/core/history_test.cpp
                    tests/core/line_settings_test.cpp tests/core/receive_test.cpp tests/core/send_state_test.cpp)
# The Windows platform's own functions on the real system.
mptest_windows_test(windows_tests
  tests/windows/app_test.cpp
  tests/windows/dialogs_test.cpp
  tests/windows/ports_test.cpp
  tests/windows/test_dialog_test.cpp
  tests/windows/text_test.cpp
  tests/windows/tools_dialog_test.cpp)
target_link_libraries(windows_tests PRIVATE version) # reads mptest.exe's version information
add_dependencies(windows_tests mptest) # it starts mptest.exe

# The window layer's tables, written once in tests/ui and run here against
# the real system, as they run against the Qt layer on Linux.
add_library(mptest_testapi STATIC platform/windows/testapi.cpp platform/testapi/shared.cpp)
target_link_libraries(mptest_testapi PUBLIC mptest_platform gtest)
mptest_windows_test(window_tables tests/ui/tst_window_buttons.cpp tests/ui/tst_window_controls.cpp
                    tests/ui/tst_window_dialogs.cpp tests/ui/tst_window_threads.cpp tests/ui/support/window_fixture.cpp)
target_link_libraries(window_tables PRIVATE mptest_testapi)
# The real message boxes and file chooser, which the tables above script:
# a program of its own, as the script stays for the whole program.
mptest_windows_test(window_shell_tables tests/ui/tst_window_shell.cpp tests/ui/support/window_fixture.cpp
                    tests/support/temp_dir.cpp)
target_link_libraries(window_shell_tables PRIVATE mptest_testapi)
# The tables count every focus notification: they want the display to
# themselves, as a window another test program shows there takes the focus.
set_tests_properties(window_tables window_shell_tables PROPERTIES RUN_SERIAL TRUE)

# Every dialog's Chinese drawn whole under Wine, against reference pictures.
mptest_windows_test(glyph_tests tests/windows/glyphs_test.cpp)
target_link_libraries(glyph_tests PRIVATE gdiplus)
set_tests_properties(glyph_tests PROPERTIES RUN_SERIAL TRUE
  ENVIRONMENT "MPTEST_GLYPH_REFERENCES=Z:${CMAKE_SOURCE_DIR}/tests/windows/reference")
if(MPTEST_MAKENSIS) # the installer's first page too
  set_property(TEST glyph_tests APPEND PROPERTY ENVIRONMENT "MPTEST_INSTALLER=Z:${MPTEST_INSTALLER}")
  add_dependencies(glyph_tests mptest_installer)
endif()

# End to end: the console's serial send reaches the Linux virtual printer
# through Wine's COM1. The printer comes from the Linux build (build/default);
# without it the test is skipped.
add_executable(e2e_tests tests/windows/e2e/console_serial_test.cpp tests/windows/e2e/network_dialogs_test.cpp
  tests/windows/main.cpp $<TARGET_OBJECTS:mptest_manifest>)
target_link_libraries(e2e_tests PRIVATE mptest_core gtest)
set(MPTEST_PRINTER ${CMAKE_SOURCE_DIR}/build/default/mptest-printer CACHE FILEPATH "the Linux virtual printer")
add_test(NAME console_serial_e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/e2e/serial.sh ${CMAKE_BINARY_DIR} ${MPTEST_PRINTER})
set_tests_properties(console_serial_e2e PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
# The same under a Chinese locale: typed Chinese must not depend on the code page.
add_test(NAME console_serial_e2e_zh_CN
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/e2e/serial.sh ${CMAKE_BINARY_DIR} ${MPTEST_PRINTER} zh_CN.UTF-8)
set_tests_properties(console_serial_e2e_zh_CN PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)

# mptest-cli.exe's console send and a test print reach the Linux virtual
# printer through Wine's COM1 as the Linux mptest-cli's do.
set(MPTEST_LINUX_CLI ${CMAKE_SOURCE_DIR}/build/default/mptest-cli CACHE FILEPATH "the Linux mptest-cli")
add_test(NAME cli_e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/e2e/cli.sh ${CMAKE_BINARY_DIR} ${MPTEST_PRINTER} ${MPTEST_LINUX_CLI})
set_tests_properties(cli_e2e PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)

# mptest-cli.exe's jobs reach the Linux virtual printer on the loopback
# address through Winsock as the Linux mptest-cli's do.
add_test(NAME cli_network_e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/e2e/network.sh ${CMAKE_BINARY_DIR} ${MPTEST_PRINTER} ${MPTEST_LINUX_CLI})
set_tests_properties(cli_network_e2e PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)

# The console, the test dialog and the toolbox on the network port: the
# printer's files show what was asked, as the Linux mptest-cli's jobs give it.
add_test(NAME dialogs_network_e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/e2e/network_dialogs.sh ${CMAKE_BINARY_DIR} ${MPTEST_PRINTER} ${MPTEST_LINUX_CLI})
set_tests_properties(dialogs_network_e2e PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
