#!/usr/bin/env bash
# Installs what is missing, builds Varnelle and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build default
exec "$root/build/src/app/varnelle" "$@"
