# The full version of the build (cmake/BuildVersion.cmake): written at
# configure time and brought up to date by the target varnelle_version at
# every build. A target whose sources include VarnelleFullVersion.h depends on
# that target, so the header is current before they compile.

set(VARNELLE_MAINTAINER "The Varnelle developers <developers@varnelle.io>"
    CACHE STRING "Maintainer named in the Debian package")

# The release history of the AppStream file is where a release's day is
# written down; the package's changelog falls back on it without git.
set(varnelle_metainfo ${CMAKE_SOURCE_DIR}/src/app/io.varnelle.Varnelle.metainfo.xml.in)
file(READ ${varnelle_metainfo} varnelle_releases)
string(REPLACE "." "\\." varnelle_version_pattern "${PROJECT_VERSION}")
if(NOT varnelle_releases MATCHES
   "<release version=\"${varnelle_version_pattern}\" date=\"([0-9]+-[0-9]+-[0-9]+)\"")
  message(FATAL_ERROR "Version ${PROJECT_VERSION} has no release in the history of "
                      "${varnelle_metainfo}: add it with the day it is released.")
endif()
set(VARNELLE_RELEASE_DATE ${CMAKE_MATCH_1})

find_package(Git QUIET)
set(varnelle_version_command
    ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBINARY_DIR=${CMAKE_BINARY_DIR}
    -DRELEASE=${PROJECT_VERSION} -DRELEASE_DATE=${VARNELLE_RELEASE_DATE}
    "-DMAINTAINER=${VARNELLE_MAINTAINER}" -DGIT_EXECUTABLE=${GIT_EXECUTABLE}
    -P ${CMAKE_SOURCE_DIR}/cmake/BuildVersion.cmake)
execute_process(COMMAND ${varnelle_version_command} COMMAND_ERROR_IS_FATAL ANY)
add_custom_target(varnelle_version
                  COMMAND ${varnelle_version_command}
                  BYPRODUCTS ${CMAKE_BINARY_DIR}/generated/VarnelleFullVersion.h
                             ${CMAKE_BINARY_DIR}/packaging/version.cmake
                             ${CMAKE_BINARY_DIR}/packaging/changelog
                  COMMENT "Version of this commit" VERBATIM)
# Sets CPACK_PACKAGE_VERSION to the version as of this configure; CPack reads
# the file again when it packs, so a package made later carries the version of
# the last build.
include(${CMAKE_BINARY_DIR}/packaging/version.cmake)
set(VARNELLE_FULL_VERSION ${CPACK_PACKAGE_VERSION})
message(STATUS "Varnelle ${VARNELLE_FULL_VERSION}")
