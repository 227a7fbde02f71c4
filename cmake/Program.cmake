# The program's own folders, built alike on every system once the platform
# layer (mptest_platform) is defined: its pictures, its resources and the
# program itself but for the entry point. Of port/, only this system's half of
# the hardware contracts is built.

# Pictures compiled into the program.
mptest_embed_files(${CMAKE_BINARY_DIR}/generated/res_art.cpp
  ${CMAKE_SOURCE_DIR}/res/art/bitmap1.png
  ${CMAKE_SOURCE_DIR}/res/art/icon104.png)

# The program's resources: templates, menu and pictures as data. Each entry
# point hands them to the window layer (ResRegister) before it opens a window.
add_library(mptest_res STATIC
  res/download_res.cpp
  res/ports_res.cpp
  res/resources.cpp
  res/testprint_res.cpp
  res/tools_res.cpp
  ${CMAKE_BINARY_DIR}/generated/res_art.cpp)
target_include_directories(mptest_res PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_res PUBLIC mptest_platform)

# What the printer is told: every command stream, from plain parameters, over
# the platform's kernel half alone (text conversion), so that programs
# without windows can build them.
add_library(mptest_printer STATIC
  printer/codepage.cpp
  printer/download.cpp
  printer/drawer.cpp
  printer/image.cpp
  printer/info.cpp
  printer/status.cpp
  printer/testprint.cpp
  printer/text.cpp
  res/sample_receipt.cpp)
target_include_directories(mptest_printer PUBLIC ${CMAKE_SOURCE_DIR})
# The picture decoder, header only: its own folder, so that nothing else of
# the build system's headers reaches the Windows build.
find_path(MPTEST_STB_DIR stb_image.h PATHS /usr/include/stb NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
target_include_directories(mptest_printer SYSTEM PRIVATE ${MPTEST_STB_DIR})
target_link_libraries(mptest_printer PUBLIC ${MPTEST_PLATFORM_KERNEL})

if(WIN32)
  set(MPTEST_PORT_HALF port/windows)
else()
  set(MPTEST_PORT_HALF port/linux)
endif()
# The ports and the send engine, which report through SendReporter and need
# no window: the command line is built on them alone.
add_library(mptest_engine STATIC
  port/input.cpp
  port/network.cpp
  port/network_store.cpp
  port/port_model.cpp
  port/ports.cpp
  port/usb.cpp
  port/waits.cpp
  ${MPTEST_PORT_HALF}/network.cpp
  ${MPTEST_PORT_HALF}/open_failure.cpp
  ${MPTEST_PORT_HALF}/port_files.cpp
  ${MPTEST_PORT_HALF}/portio.cpp
  ${MPTEST_PORT_HALF}/usb_discovery.cpp
  send/download_file.cpp
  send/engine.cpp
  send/hex.cpp
  send/printer_id.cpp
  send/state.cpp
  send/usb_string.cpp
  res/texts.cpp)
target_include_directories(mptest_engine PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_engine PUBLIC mptest_printer ${MPTEST_PLATFORM_KERNEL})
# The line settings' words (port/line_settings) are compiled on Linux into the
# platform's kernel half, whose serial store writes them in serial.conf; on
# Windows the system keeps the store, so the engine compiles them for the
# command line.
if(WIN32)
  target_sources(mptest_engine PRIVATE port/line_settings.cpp)
endif()

add_library(mptest_core STATIC
  app/app.cpp
  send/epp.cpp
  send/files.cpp
  send/window_reports.cpp
  ui/console/console.cpp
  ui/console/console_receive.cpp
  ui/console/session_log.cpp
  ui/console/history.cpp
  ui/console/receive.cpp
  ui/download/font.cpp
  ui/download/frame.cpp
  ui/download/prnnum.cpp
  ui/download/version.cpp
  ui/epp/epp.cpp
  ui/ports/ports.cpp
  ui/testprint/black_mark.cpp
  ui/testprint/char_pages.cpp
  ui/testprint/common.cpp
  ui/testprint/current.cpp
  ui/testprint/test_dialog.cpp
  ui/testprint/usb_string.cpp
  ui/tools/code_page.cpp
  ui/tools/drawer.cpp
  ui/tools/image.cpp
  ui/tools/info.cpp
  ui/tools/tools_dialog.cpp)
target_include_directories(mptest_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_core PUBLIC mptest_engine mptest_platform mptest_res)

# mptest-cli's jobs, over the same core; each system's build makes the
# program from cli/main.cpp.
add_library(mptest_cli STATIC
  cli/cli.cpp
  cli/job_download.cpp
  cli/job_send.cpp
  cli/job_test.cpp
  cli/job_tools.cpp
  cli/numbers.cpp
  cli/options.cpp
  cli/passes.cpp
  cli/port_choice.cpp
  cli/report.cpp
  cli/sha256.cpp)
target_link_libraries(mptest_cli PUBLIC mptest_engine)
