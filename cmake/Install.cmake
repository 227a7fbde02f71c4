# What `cmake --install` puts in place on Linux, and the Debian package CPack
# makes of it: the programs, the desktop entry with its icons, the AppStream
# metadata, the manual pages and the package's own documents.
include(GNUInstallDirs)

set(MPTEST_APP_ID org.mptest.mptest)
set(MPTEST_MAINTAINER "mptest authors <mptest@example.org>")
set(MPTEST_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(MPTEST_GENERATED ${CMAKE_BINARY_DIR}/generated/install)
file(MAKE_DIRECTORY ${MPTEST_GENERATED})

set(MPTEST_PROGRAMS mptest mptest-printer mptest-cli)
install(TARGETS ${MPTEST_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${MPTEST_PACKAGING}/linux/${MPTEST_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/mptest-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME mptest.png)
endforeach()
configure_file(${MPTEST_PACKAGING}/linux/${MPTEST_APP_ID}.metainfo.xml
               ${MPTEST_GENERATED}/${MPTEST_APP_ID}.metainfo.xml @ONLY)
install(FILES ${MPTEST_GENERATED}/${MPTEST_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and documents go in compressed, without a time stamp in the
# archive, so the same sources make the same package.
set(MPTEST_COMPRESSED)
function(mptest_gzip source name)
  add_custom_command(OUTPUT ${MPTEST_GENERATED}/${name}.gz
    COMMAND gzip -9nc ${source} > ${MPTEST_GENERATED}/${name}.gz
    DEPENDS ${source} VERBATIM)
  set(MPTEST_COMPRESSED ${MPTEST_COMPRESSED} ${MPTEST_GENERATED}/${name}.gz PARENT_SCOPE)
endfunction()
# The manual pages in English and in Simplified Chinese (man -L zh_CN).
file(MAKE_DIRECTORY ${MPTEST_GENERATED}/zh_CN)
foreach(page ${MPTEST_PROGRAMS})
  configure_file(${MPTEST_PACKAGING}/man/${page}.1 ${MPTEST_GENERATED}/${page}.1 @ONLY)
  mptest_gzip(${MPTEST_GENERATED}/${page}.1 ${page}.1)
  configure_file(${MPTEST_PACKAGING}/man/zh_CN/${page}.1 ${MPTEST_GENERATED}/zh_CN/${page}.1 @ONLY)
  mptest_gzip(${MPTEST_GENERATED}/zh_CN/${page}.1 zh_CN/${page}.1)
  install(FILES ${MPTEST_GENERATED}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${MPTEST_GENERATED}/zh_CN/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)
endforeach()
mptest_gzip(${CMAKE_SOURCE_DIR}/CHANGELOG.md changelog)
execute_process(COMMAND date -R -u -d "${MPTEST_RELEASE_DATE}" OUTPUT_VARIABLE MPTEST_CHANGELOG_DATE
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${MPTEST_PACKAGING}/linux/changelog.Debian.in ${MPTEST_GENERATED}/changelog.Debian @ONLY)
mptest_gzip(${MPTEST_GENERATED}/changelog.Debian changelog.Debian)
add_custom_target(mptest_install_files ALL DEPENDS ${MPTEST_COMPRESSED})
# Everything the install and the package take from the build, so that a
# fresh build folder needs only this target before CPack.
add_custom_target(mptest_package_contents)
add_dependencies(mptest_package_contents ${MPTEST_PROGRAMS} mptest_install_files)

# The licence in Debian's machine-readable form, the project's own terms.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE MPTEST_LICENSE)
string(FIND "${MPTEST_LICENSE}" "Permission" MPTEST_TERMS_AT)
string(SUBSTRING "${MPTEST_LICENSE}" ${MPTEST_TERMS_AT} -1 MPTEST_LICENSE_DEB)
string(STRIP "${MPTEST_LICENSE_DEB}" MPTEST_LICENSE_DEB)
string(REPLACE "\n\n" "\n.\n" MPTEST_LICENSE_DEB "${MPTEST_LICENSE_DEB}")
string(REPLACE "\n" "\n " MPTEST_LICENSE_DEB "${MPTEST_LICENSE_DEB}")
configure_file(${MPTEST_PACKAGING}/linux/copyright.in ${MPTEST_GENERATED}/copyright @ONLY)
install(FILES ${MPTEST_GENERATED}/copyright ${MPTEST_GENERATED}/changelog.gz ${MPTEST_GENERATED}/changelog.Debian.gz
              ${CMAKE_SOURCE_DIR}/docs/user-guide.zh.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---------------------------------------------------------------- the .deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mptest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "${MPTEST_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test and service utility for KQ receipt printers")
# The extended description, as the package shows it (lines under 80 columns).
set(CPACK_PACKAGE_DESCRIPTION [=[
mptest sends command bytes (typed as text or hex, or command files) to a
KQ receipt printer on a parallel port, a serial port or USB, runs built-in
test prints, and downloads firmware, fonts and a machine number into the
printer. Its interface is in Simplified Chinese. mptest-printer, a virtual
printer, stands in where no printer is attached.
.
Serial ports need membership of the dialout group, USB and parallel
printers the lp group: sudo usermod -aG dialout,lp USER, then log in again.]=])
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not name: Qt's window-system plugins, its Chinese
# texts (the file chooser, message-box buttons) and a font with Chinese glyphs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The install as the package lays it out, checked in a scratch root (in the
# build the package is made from: not a sanitizer's).
if(NOT MPTEST_SANITIZE)
  add_test(NAME install_tree
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
endif()
