# What the Windows program ships with, beside mptest.exe: mptest-cli.exe,
# LICENSE.txt (the
# project's licence and the run-time libraries' terms), the user guide in
# Chinese, and the installer makensis builds from them. scripts/package puts
# the same files in the zip.
set(MPTEST_STAGE ${CMAKE_BINARY_DIR}/stage)
set(MPTEST_INSTALLER ${CMAKE_BINARY_DIR}/mptest-${PROJECT_VERSION}-windows-x64-setup.exe)
# 使用说明.txt: the user guide as plain text, with mptest-cli.exe's part.
add_custom_command(OUTPUT ${MPTEST_STAGE}/LICENSE.txt ${MPTEST_STAGE}/使用说明.txt ${MPTEST_STAGE}/mptest.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MPTEST_STAGE}
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/windows/make-license.sh ${CMAKE_SOURCE_DIR}/LICENSE ${MPTEST_STAGE}/LICENSE.txt
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/windows/make-guide.sh ${CMAKE_SOURCE_DIR}/docs/user-guide.zh.md
          ${CMAKE_SOURCE_DIR}/packaging/windows/cli-guide.zh.txt ${MPTEST_STAGE}/使用说明.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/generated/mptest.ico ${MPTEST_STAGE}/mptest.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/docs/user-guide.zh.md
          ${CMAKE_SOURCE_DIR}/packaging/windows/make-guide.sh ${CMAKE_SOURCE_DIR}/packaging/windows/cli-guide.zh.txt
          ${CMAKE_SOURCE_DIR}/packaging/windows/make-license.sh ${CMAKE_BINARY_DIR}/generated/mptest.ico
  VERBATIM)
add_custom_target(mptest_stage ALL DEPENDS ${MPTEST_STAGE}/LICENSE.txt ${MPTEST_STAGE}/使用说明.txt)
add_test(NAME user_guide_text
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/guide.sh ${MPTEST_STAGE}/使用说明.txt
          ${CMAKE_SOURCE_DIR}/docs/user-guide.zh.md)

find_program(MPTEST_MAKENSIS makensis)
if(MPTEST_MAKENSIS)
  add_custom_command(OUTPUT ${MPTEST_INSTALLER}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:mptest> ${MPTEST_STAGE}/mptest.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:mptest-cli> ${MPTEST_STAGE}/mptest-cli.exe
    COMMAND ${MPTEST_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${MPTEST_STAGE}
            -DOUTFILE=${MPTEST_INSTALLER} ${CMAKE_SOURCE_DIR}/packaging/windows/mptest.nsi
    DEPENDS mptest mptest-cli mptest_stage ${CMAKE_SOURCE_DIR}/packaging/windows/mptest.nsi
            ${CMAKE_SOURCE_DIR}/packaging/windows/describe-uninstaller.sh
    COMMENT "Building the installer with makensis"
    VERBATIM)
  add_custom_target(mptest_installer ALL DEPENDS ${MPTEST_INSTALLER})
  # A silent install into the test prefix and a silent uninstall.
  add_test(NAME installer_round_trip
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/installer.sh ${MPTEST_INSTALLER})
  set_tests_properties(installer_round_trip PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
