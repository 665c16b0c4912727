#!/usr/bin/env bash
# Runs one benchmark of two builds in turns, one round each time, so that a
# busy machine hurts both alike, and prints every round's figures under the
# build's label. Usage:
#   bench/compare_builds.sh <rounds> <label>=<build> <label>=<build> [args...]
# A build is a benchmark binary, or @<commit>: that commit is checked out in a
# temporary worktree and the benchmark named by $BENCH (default bench_transfer)
# built there, with this tree's bench/ folder, so both builds run the same
# benchmark (a commit from before the benchmark learnt a figure reports it too).
# The arguments after the two builds go to both (give them one round each,
# e.g. "500 200 1" for bench_transfer).
set -euo pipefail
rounds=$1
first=$2
second=$3
shift 3
bench=${BENCH:-bench_transfer}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
cleanup() {
  for tree in "$scratch"/*/; do
    [[ -d $tree ]] && git -C "$here" worktree remove --force "$tree" >/dev/null 2>&1 || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT

# The binary of a build: given, or built from a commit.
binary_of() {
  local label=${1%%=*} build=${1#*=}
  if [[ $build != @* ]]; then
    echo "$build"
    return
  fi
  local tree=$scratch/$label
  git -C "$here" worktree add --detach "$tree" "${build#@}" >/dev/null 2>&1
  rm -rf "$tree/bench"
  cp -r "$here/bench" "$tree/bench"
  cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DVARNELLE_BUILD_TESTS=ON -DVARNELLE_BUILD_BENCH=ON \
    >/dev/null
  nice cmake --build "$tree/build" --target "$bench" >/dev/null
  echo "$tree/build/bench/$bench"
}

first_bin=$(binary_of "$first")
second_bin=$(binary_of "$second")
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
for ((r = 1; r <= rounds; r++)); do
  for build in "${first%%=*}=$first_bin" "${second%%=*}=$second_bin"; do
    label=${build%%=*}
    echo "[$label round $r] load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    "${build#*=}" "$@" 2>/dev/null | sed "s/^/[$label round $r] /"
  done
done
