# The Debian package: where every installed file goes, and CPack's DEB settings.
# `./ravlo.sh package` builds it in build/package; the other build trees only carry the rules.
#
#   /usr/bin/ravlo, ravlo-demo        thin commands in front of the launcher
#   /usr/lib/ravlo/                   the program, the simulated unit, the launcher (tools/run-demo.sh)
#   /usr/share/ravlo/                 the defaults a new working folder gets, the version for --version
#   /usr/share/doc/ravlo/             the operator's guide (guide.md, images/), copyright, changelog
#   /usr/share/applications, icons, metainfo, man
#
# Nothing is done at installation or removal (no maintainer scripts): the operator's working
# folders in the home folders are the launcher's business and stay when the package goes.

set(RAVLO_APP_ID org.example.ravlo)
set(pkg ${CMAKE_CURRENT_LIST_DIR})
set(pkg_out ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS ravlo RUNTIME DESTINATION lib/ravlo)
if(TARGET unitsim)
  install(TARGETS unitsim RUNTIME DESTINATION lib/ravlo)
endif()
install(PROGRAMS ${CMAKE_SOURCE_DIR}/tools/run-demo.sh DESTINATION lib/ravlo RENAME ravlo-launch)
install(PROGRAMS ${pkg}/ravlo ${pkg}/ravlo-demo DESTINATION bin)

install(FILES
  ${CMAKE_SOURCE_DIR}/resources/defaults/u.txt
  ${CMAKE_SOURCE_DIR}/resources/defaults/t1.txt
  ${CMAKE_SOURCE_DIR}/resources/defaults/t2.txt
  ${CMAKE_SOURCE_DIR}/resources/vid.jpg
  DESTINATION share/ravlo)

# The launcher answers --version from this file: in a build tree it reads it in packaging/,
# installed in /usr/share/ravlo. Written at each configuration, so that it follows project().
file(MAKE_DIRECTORY ${pkg_out})
file(CONFIGURE OUTPUT ${pkg_out}/version CONTENT "${PROJECT_VERSION}\n")
install(FILES ${pkg_out}/version DESTINATION share/ravlo)

install(FILES ${pkg}/ravlo.desktop DESTINATION share/applications RENAME ${RAVLO_APP_ID}.desktop)
install(FILES ${pkg}/ravlo.svg DESTINATION share/icons/hicolor/scalable/apps RENAME ${RAVLO_APP_ID}.svg)
install(FILES ${pkg}/ravlo.metainfo.xml DESTINATION share/metainfo RENAME ${RAVLO_APP_ID}.metainfo.xml)

# The manual page and the changelog are compressed without a name or a time in the header,
# so that the package's bytes depend on their text only. This is done when CMake runs and
# again whenever either text changes.
foreach(text ravlo.1 changelog)
  execute_process(COMMAND gzip -9nc ${pkg}/${text} OUTPUT_FILE ${pkg_out}/${text}.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pkg}/${text})
endforeach()
# One page tells of both commands.
file(CREATE_LINK ravlo.1.gz ${pkg_out}/ravlo-demo.1.gz SYMBOLIC)
install(FILES ${pkg_out}/ravlo.1.gz ${pkg_out}/ravlo-demo.1.gz DESTINATION share/man/man1)
install(FILES ${pkg}/copyright ${pkg_out}/changelog.gz DESTINATION share/doc/ravlo)
# The operator's guide beside its pictures, so that its relative links (images/...) hold.
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md DESTINATION share/doc/ravlo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images/ DESTINATION share/doc/ravlo/images FILES_MATCHING PATTERN "*.png")
install(FILES ${pkg}/lintian-overrides DESTINATION share/lintian/overrides RENAME ravlo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ravlo developers")
set(CPACK_PACKAGE_CONTACT "Ravlo developers <ravlo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator program for a remote GSM camera unit")
set(CPACK_PACKAGE_DESCRIPTION [=[
Ravlo receives the JPEG pictures of a remote camera unit over a GSM modem
on a serial port. It answers the unit's data calls, dials the unit on
request, files every picture in an archive and shows four at a time. It
keeps the unit's settings and sends them, with the PC's clock, over a
direct cable or a data call.

The command ravlo starts it in the working folder ~/ravlo; ravlo-demo starts
it with a simulated modem and camera unit, to try it without a modem.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are those dpkg-shlibdeps finds in the program and the simulated unit, and
# Qt's translations, without which the standard dialogs speak English (platform/language.h).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# The windows are laid out for the metrics of Liberation Sans (platform/fonts.h); without it
# the captions of the narrow buttons overflow. A font is no library, so it is named here.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# The folders as dpkg expects them, whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
