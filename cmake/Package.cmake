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
# A Debian revision: the package is made from the upstream sources, so its changelog is
# Debian's own, changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmor Launcher developers <launcher@quillmor.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillmor.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's window-system plugins are only recommended by its libraries; without them no window opens.
# Its SVG icon engine is a plugin too, which dpkg-shlibdeps cannot see; without it the windows
# have no icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# Qt's own catalogues translate the standard dialogs and network errors; the launcher's
# texts are translated without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
include(CPack)

# The package's documentation as Debian has it: the copyright in the machine-readable format, and
# the changelog gzipped without a file name or time stamp, so that two builds give one package.
include(GNUInstallDirs)
set(QUILLMOR_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(debian_doc ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${debian_doc}/changelog.Debian
    @ONLY)
execute_process(COMMAND gzip -9n --to-stdout ${debian_doc}/changelog.Debian
    OUTPUT_FILE ${debian_doc}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${debian_doc}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmor-launcher)
