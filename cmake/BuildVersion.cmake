# The version a build carries, written where the program and the package read it.
#
# A release's version is project(VERSION). A build from a git checkout adds
# "+git<N>.<commit>", N counting the commits since the one that set that
# release's version in CMakeLists.txt. Debian orders
#   0.3.0 < 0.3.0+git1.a < 0.3.0+git2.b < 0.4.0 < 0.4.0+git0.c < 0.4.0+git1.d
# so the package of every later commit upgrades the one before, and a version
# bump sorts above every build of the release before it. Without git (a source
# tarball) the version is the release's alone.
#
# Runs (cmake -P) at configure time and at every build, so a new commit needs
# no new configure. Each output is rewritten only when its text changes, so a
# commit recompiles the few files that show the version and nothing else.
#
# Input variables: SOURCE_DIR, BINARY_DIR, RELEASE (x.y.z), RELEASE_DATE
# (YYYY-MM-DD, the release's day from the release history), MAINTAINER,
# GIT_EXECUTABLE (may be empty).
# Outputs below BINARY_DIR:
#   generated/VarnelleFullVersion.h  VARNELLE_FULL_VERSION for --version and the About window
#   packaging/version.cmake          the package version, read by CPack when it packs
#   packaging/changelog              the Debian changelog entry of this build

function(varnelle_git out)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" ${ARGN}
                  OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(full_version "${RELEASE}")
set(commits "")
set(commit "")
set(commit_time "")
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
  varnelle_git(commit rev-parse --short=8 HEAD)
endif()
if(commit)
  # The commit that made the project line name this release's version. Until
  # it is committed every commit counts, which still sorts above the release
  # before.
  varnelle_git(base log -1 --format=%H -S "VERSION ${RELEASE}" -- CMakeLists.txt)
  if(base)
    varnelle_git(commits rev-list --count "${base}..HEAD")
  else()
    varnelle_git(commits rev-list --count HEAD)
  endif()
  varnelle_git(commit_time log -1 --format=%ct HEAD)
  varnelle_git(shallow rev-parse --is-shallow-repository)
  if(shallow STREQUAL "true")
    message(WARNING "A shallow clone counts too few commits for the version "
                    "${RELEASE}+git${commits}; run `git fetch --unshallow` before packaging.")
  endif()
  set(full_version "${RELEASE}+git${commits}.${commit}")
endif()

# The changelog's date is the day of the commit or the release, never the day
# of the build: the same sources give the same package.
if(commit_time)
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  if(commits EQUAL 0)
    set(changelog_item "Varnelle ${RELEASE}, commit ${commit}.")
  else()
    set(changelog_item "Varnelle ${RELEASE} and the ${commits} commits after it, up to ${commit}.")
  endif()
else()
  # Noon of the release day. CMake has no calendar, so the weekday the
  # changelog format asks for comes from Zeller's congruence.
  string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" matched "${RELEASE_DATE}")
  if(NOT matched)
    message(FATAL_ERROR "The release date \"${RELEASE_DATE}\" is not YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  set(day_text ${CMAKE_MATCH_3})
  math(EXPR m "${CMAKE_MATCH_2}")
  math(EXPR day "${day_text}")
  math(EXPR month_index "${m} - 1")
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET months ${month_index} month)
  set(y ${year})
  if(m LESS 3)
    math(EXPR m "${m} + 12")
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${day} + (13 * (${m} + 1)) / 5 + ${y} + ${y} / 4 - ${y} / 100 + ${y} / 400) % 7")
  set(weekdays Sat Sun Mon Tue Wed Thu Fri)
  list(GET weekdays ${weekday} weekday_name)
  set(changelog_date "${weekday_name}, ${day_text} ${month} ${year} 12:00:00 +0000")
  set(changelog_item "Varnelle ${RELEASE}.")
endif()

function(varnelle_write path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()

varnelle_write("${BINARY_DIR}/generated/VarnelleFullVersion.h"
               "#pragma once\n\n// The release's version and, in a git checkout, the commit's place after it.\n#define VARNELLE_FULL_VERSION \"${full_version}\"\n")
varnelle_write("${BINARY_DIR}/packaging/version.cmake"
               "set(CPACK_PACKAGE_VERSION \"${full_version}\")\n")
varnelle_write("${BINARY_DIR}/packaging/changelog"
               "varnelle (${full_version}) stable; urgency=medium\n\n  * ${changelog_item}\n\n -- ${MAINTAINER}  ${changelog_date}\n")
