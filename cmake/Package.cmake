# The Debian package, made by CPack from what the build installs:
#   cpack --preset package          (or: cpack --config <build>/CPackConfig.cmake)
# Everything a Debian system expects of a package beyond the program's own
# files (copyright, changelog) is installed here as well, so `cmake --install`
# and the package hold the same tree.

set(VARNELLE_MAINTAINER "The Varnelle developers <developers@varnelle.io>"
    CACHE STRING "Maintainer named in the Debian package")

# The day of the build stands for the release day in the AppStream file and
# the package's changelog; SOURCE_DATE_EPOCH, when set, fixes it.
string(TIMESTAMP VARNELLE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VARNELLE_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)

set(varnelle_docdir ${CMAKE_INSTALL_DATADIR}/doc/varnelle)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${varnelle_docdir})
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog >
                           ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(varnelle_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${varnelle_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelle)
set(CPACK_PACKAGE_VENDOR "The Varnelle developers")
set(CPACK_PACKAGE_CONTACT "${VARNELLE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collect the full-text PDF files of journal articles")
# The summary above is the first line; CPack indents these lines and turns the
# empty one into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Varnelle helps researchers collect the full-text PDF files of journal
articles from the ScienceDirect site. The site is searched in a web browser
embedded in Varnelle; Varnelle lists the articles of the result pages, finds
the address of each PDF file and downloads the files one at a time or with up
to six workers, checking what really arrived.

The user interface is in Simplified Chinese.")

# The libraries the binary links come from dpkg-shlibdeps. What it cannot see
# is what Qt loads at run time: the SQLite driver of the kept lists, the SVG
# icon engine and image plugin (the window icon), Qt's Chinese translations,
# and the certificates the OpenSSL back-end of Qt Network verifies against.
# The xcb platform plugin ships in libqt6gui6, which the binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6svg6, qt6-translations-l10n, ca-certificates")
# Qt Multimedia plays the prompt sounds through PulseAudio's protocol; without
# a server the sounds are silent and nothing else changes. The Chinese font
# draws the windows' texts on a system without one; xdg-utils opens files.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, fonts-noto-cjk, xdg-utils")

include(CPack)
