#!/usr/bin/env bash
# Installs what is missing, builds the program alone (no tests) and makes the
# Debian package build-package/varnelle_<version>_<architecture>.deb.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# dpkg-shlibdeps (dpkg-dev) and file compute the package's dependencies.
packages+=(dpkg-dev file)
install_missing
build package
# One package in the folder, so "./build-package/varnelle_*.deb" names it.
rm -f "$root"/build-package/varnelle_*.deb
cpack --preset package
deb=$(cd "$root" && ls build-package/varnelle_*.deb)
echo
echo "Install it with: sudo apt install ./$deb"
