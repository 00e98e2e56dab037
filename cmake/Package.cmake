# `make deb`: a Debian package of what `cmake --install` lays out, under /usr. Its dependencies are
# read from the libraries the program links (dpkg-shlibdeps), and the fonts package it uses.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PLIM_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines short enough for Debian's package tools (at most 80 columns).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "plim keeps a thought as one line of one Markdown file you own, captured from"
    "a drawer that a global shortcut opens over any window. Entries can carry"
    "reminders written in a few words, such as 20m, tomorrow 9am or every weekday"
    "9am, which ring in the tray and as desktop notifications. A keyboard-driven"
    "notes window lists the file by day, and every action is also a command for"
    "scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLIM_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PLIM_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the libraries: the OpenDyslexic font is the system's, not a copy.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-opendyslexic")
# The Wayland platform plugin, for a native Wayland window where the session is Wayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
