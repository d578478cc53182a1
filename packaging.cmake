# The Debian package, made by CPack: scripts/package makes it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamblin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tamblin developers <tamblin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen, key-driven front end for MPlayer and mpv")
# The summary comes first; CPack puts this after it, each line indented.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tamblin plays media full screen with MPlayer or mpv, driven by the keys of a
keypad, a keyboard or a remote control, or by touch. Without a file to play it
shows a menu, with a menu for each media folder; a clip chosen again starts
where it was left. It keeps the display on while it runs. A device can
boot into it: tamblin-session runs it again each time a run ends, from an X
session or from the cage kiosk compositor.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/tamblin")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends from the binaries' libraries, and the player.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mplayer | mpv")
# The menu speaks through the desktop's speech service, with Debian's own voice.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-wqy-microhei, speech-dispatcher, speech-dispatcher-espeak-ng, espeak-ng")
# The Wayland session runs in it; the session mounts USB sticks through udiskie where no desktop
# does.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cage, udiskie")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# A native package's change log, compressed without a time stamp.
set(CHANGELOG ${CMAKE_BINARY_DIR}/changelog.txt)
string(TIMESTAMP CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CHANGELOG}
"tamblin (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${CHANGELOG_DATE}
")
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9 -n -c ${CHANGELOG} > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CHANGELOG}
    VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
