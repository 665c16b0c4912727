#!/usr/bin/env bash
# Runs one benchmark of two builds in turns, one round each time, so that a
# busy machine hurts both alike, and prints every round's figures under the
# build's label. Usage:
#   bench/compare_builds.sh <rounds> <label>=<benchmark binary> <label>=<benchmark binary> [args...]
# The arguments after the two builds go to both (give them one round each,
# e.g. "500 200 1" for bench_transfer).
set -euo pipefail
rounds=$1
first=$2
second=$3
shift 3
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
for ((r = 1; r <= rounds; r++)); do
  for build in "$first" "$second"; do
    label=${build%%=*}
    "${build#*=}" "$@" 2>/dev/null | sed "s/^/[$label round $r] /"
  done
done
