# What `cmake --install` lays out, and `./orvelo package` packs into a .deb: the program, its
# resources where it looks for them beside itself (../share/orvelo), the desktop entry, icons,
# AppStream metadata, manual page, the service for a headless node and its user.
include(GNUInstallDirs)
install(TARGETS orvelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The timecode font is Debian's fonts-dseg file, linked rather than copied (a package depends on
# fonts-dseg instead of carrying a second copy); the link is relative inside /usr, as Debian wants.
if(EXISTS ${ORVELO_TIMECODE_FONT})
  install(CODE "set(ORVELO_TIMECODE_FONT \"${ORVELO_TIMECODE_FONT}\")")
  install(CODE [[
    set(link "${CMAKE_INSTALL_PREFIX}/share/orvelo/resources/digital-7.ttf")
    set(target "${ORVELO_TIMECODE_FONT}")
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      cmake_path(GET link PARENT_PATH folder)
      file(RELATIVE_PATH target "${folder}" "${ORVELO_TIMECODE_FONT}")
    endif()
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/orvelo/resources")
    message(STATUS "Installing: $ENV{DESTDIR}${link} -> ${target}")
    file(CREATE_LINK "${target}" "$ENV{DESTDIR}${link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
  ]])
endif()

install(FILES resources/org.orvelo.Orvelo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/icons/org.orvelo.Orvelo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES resources/org.orvelo.Orvelo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvelo)

# The unit names the program where it is installed, which is known only when installing (a
# package installs into /usr whatever prefix the build was configured with).
install(CODE "set(ORVELO_UNIT_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/systemd/orvelo.service.in\")")
install(CODE [[
  set(CMAKE_INSTALL_FULL_BINDIR "${CMAKE_INSTALL_PREFIX}/bin")
  set(unit "${CMAKE_INSTALL_PREFIX}/lib/systemd/system/orvelo.service")
  message(STATUS "Installing: $ENV{DESTDIR}${unit}")
  configure_file("${ORVELO_UNIT_TEMPLATE}" "$ENV{DESTDIR}${unit}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${unit}")
]])
install(FILES resources/systemd/orvelo.sysusers DESTINATION lib/sysusers.d RENAME orvelo.conf)

# Made at build time: the manual page from the option list --help prints, the changelog, and the
# icon at the sizes desktops look for. The sanitizer builds, which install nothing, leave them out.
if(ORVELO_SANITIZE OR ORVELO_TSAN)
  return()
endif()
add_executable(orvelo_manual src/app/manual/main.cpp)
target_link_libraries(orvelo_manual PRIVATE orvelo_app)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/orvelo.1.gz
                   COMMAND orvelo_manual ${CMAKE_BINARY_DIR}/orvelo.1
                   COMMAND ${GZIP_PROGRAM} -9nf ${CMAKE_BINARY_DIR}/orvelo.1
                   DEPENDS orvelo_manual VERBATIM)
string(TIMESTAMP ORVELO_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(resources/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND ${GZIP_PROGRAM} -9nkf ${CMAKE_BINARY_DIR}/changelog
                   DEPENDS ${CMAKE_BINARY_DIR}/changelog VERBATIM)
set(made ${CMAKE_BINARY_DIR}/orvelo.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/orvelo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvelo)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/org.orvelo.Orvelo.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                               ${PROJECT_SOURCE_DIR}/resources/icons/org.orvelo.Orvelo.svg
                       DEPENDS ${PROJECT_SOURCE_DIR}/resources/icons/org.orvelo.Orvelo.svg VERBATIM)
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND made ${png})
  endforeach()
endif()
add_custom_target(orvelo_made_for_install ALL DEPENDS ${made})

# `./orvelo package`: a .deb from the same install. Libraries come from dpkg-shlibdeps; the
# GStreamer plugins, QML modules and font are loaded at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvelo)
set(CPACK_PACKAGE_VENDOR "The Orvelo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show-control media player driven by a lighting console")
set(CPACK_PACKAGE_DESCRIPTION "Orvelo plays video and audio for a show. A lighting console selects, pauses,
loops and stops tracks over Art-Net or sACN, sets live video effects and
generated patterns, and receives timecode back. It is also an Art-Net/RDM
node, a CITP/MSEX media server and an NDI source, and phones drive it through
its web remote. A systemd service runs it as a headless node.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Orvelo developers <dev@orvelo.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvelo.org")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav, \
gstreamer1.0-alsa, fonts-dseg, qt6-qpa-plugins, qml6-module-qtquick, qml6-module-qtquick-controls, \
qml6-module-qtquick-layouts, qml6-module-qtquick-dialogs, qml6-module-qtquick-window, \
qml6-module-qtquick-templates, qml6-module-qtqml-workerscript, qml6-module-qtqml-models, \
qml6-module-qtquick-shapes, qml6-module-qt-labs-platform, qml6-module-qt-labs-folderlistmodel, \
adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/resources/debian/postinst
                                       ${PROJECT_SOURCE_DIR}/resources/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
