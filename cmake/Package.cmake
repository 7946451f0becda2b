# The Debian package: what `cmake --install` puts under a prefix, under /usr, with the
# runtime dependencies read off the libraries the program links (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmor-launcher)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillmor Launcher developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Level manager and launcher for the game Quillmor")
set(CPACK_PACKAGE_DESCRIPTION
    "Lists the game's built-in level, the installed levels and the levels that level feeds \
offer; plays, installs, updates and deletes levels, and manages the list of feeds.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmor Launcher developers <launcher@quillmor.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillmor.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's window-system plugins are only recommended by its libraries; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Qt's own catalogues translate the standard dialogs and network errors; the launcher's
# texts are translated without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
include(CPack)
