#!/usr/bin/env bash
# Installs what is missing, builds Varnelle and runs every test headless.
# VARNELLE_WERROR=1 builds with warnings as errors (CI does).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# The package test makes, checks and installs a Debian package.
packages+=(dpkg-dev file appstream lintian desktop-file-utils)
# Reference-manager exports are read back by real parsers.
packages+=(biber python3-bibtexparser)
install_missing
preset=default
[ "${VARNELLE_WERROR:-0}" = 1 ] && preset=ci
build "$preset"
export QT_QPA_PLATFORM=offscreen
# Chromium cannot use its sandbox as root; off for every user keeps runs alike.
export QTWEBENGINE_DISABLE_SANDBOX=1
ctest --preset "$preset"
