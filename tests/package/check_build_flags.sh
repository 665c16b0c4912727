#!/usr/bin/env bash
# check_build_flags.sh SOURCE_DIR SCRATCH_DIR
# The package preset compiles and links with Debian's hardening flags. The
# test build is not that build, so its package cannot show it; configuring the
# preset (no compiling) shows the flags each file and the program get.
set -euo pipefail

source_dir=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

cd "$source_dir"
cmake --preset package -B "$scratch/build" >"$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log" >&2; echo "FAIL: configuring the package preset" >&2; exit 1; }

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# compile_commands.json has one "command" line before each "file" line.
compile=$(awk '/"command":/ { command = $0 } /"file": ".*\/src\/app\/main\.cpp"/ { print command }' \
  "$scratch/build/compile_commands.json")
[ -n "$compile" ] || fail "no compile command for src/app/main.cpp"
for flag in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Werror=format-security -O2 \
            "-ffile-prefix-map=$source_dir=."; do
  grep -qF -- " $flag " <<<" $compile " || fail "main.cpp is compiled without $flag: $compile"
done

link=$(sed -n '/^build src\/app\/varnelle:/,/^$/p' "$scratch/build/build.ninja" | grep 'LINK_FLAGS' || true)
for flag in -Wl,-z,relro -Wl,-z,now; do
  grep -qF -- "$flag" <<<"$link" || fail "varnelle is linked without $flag: $link"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "build flag checks passed"
