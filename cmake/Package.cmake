# The Debian package, made by CPack from what the build installs:
#   cpack --preset package          (or: cpack --config <build>/CPackConfig.cmake)
# Everything a Debian system expects of a package beyond the program's own
# files (copyright, changelog) is installed here as well, so `cmake --install`
# and the package hold the same tree.

# Debian builds its packages with the flags of dpkg-buildflags: stack
# protector, _FORTIFY_SOURCE, read-only relocations bound at start, format
# checks, and paths of the build tree mapped away from the binary. The package
# preset turns this on; the test and developer builds keep their plain flags.
option(VARNELLE_DEBIAN_BUILD_FLAGS "Compile and link with the flags of dpkg-buildflags" OFF)
if(VARNELLE_DEBIAN_BUILD_FLAGS)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT DPKG_BUILDFLAGS)
    message(FATAL_ERROR "dpkg-buildflags is missing: install dpkg-dev")
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # hardening=+all adds what Debian 12 leaves to the package: bind-now.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE flags_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  string(APPEND CMAKE_CXX_FLAGS " ${flags_CPPFLAGS} ${flags_CXXFLAGS}")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " ${flags_LDFLAGS}")
  message(STATUS "Debian build flags: ${CMAKE_CXX_FLAGS} | ${CMAKE_EXE_LINKER_FLAGS}")
endif()

set(varnelle_docdir ${CMAKE_INSTALL_DATADIR}/doc/varnelle)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${varnelle_docdir})
# The changelog entry names this build's version (cmake/BuildVersion.cmake).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog >
                           ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(varnelle_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_dependencies(varnelle_changelog varnelle_version)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${varnelle_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelle)
set(CPACK_PACKAGE_VENDOR "The Varnelle developers")
set(CPACK_PACKAGE_CONTACT "${VARNELLE_MAINTAINER}")
# CPACK_PACKAGE_VERSION: the full version, set by cmake/Versioning.cmake and
# read again at packing time from the file the last build wrote.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/version.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
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
# Every text of the windows is Chinese: without a font that has the glyphs
# they are empty boxes, so a Chinese font is a dependency, not a wish.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6svg6, qt6-translations-l10n, ca-certificates, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei | fonts-arphic-uming")
# Qt Multimedia plays the prompt sounds through PulseAudio's protocol; without
# a server the sounds are silent and nothing else changes. xdg-utils opens
# files and folders.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, xdg-utils")
# "系统信息" in the About window starts the first of these found on the PATH.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "hardinfo | kinfocenter | gnome-system-monitor")

include(CPack)
