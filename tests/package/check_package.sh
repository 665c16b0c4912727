#!/usr/bin/env bash
# check_package.sh BUILD_DIR SCRATCH_DIR VERSION
# Makes the package with CPack from a configured and built tree, installs it
# into an empty root with dpkg, checks it there and removes it again.
set -euo pipefail

build=$1
scratch=$2
version=$3

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_file() { # path below the root, description
  [ -f "$root/$1" ] || fail "$2 missing: /$1"
}

rm -rf "$scratch"
mkdir -p "$scratch"

# The packages are made in the scratch folder, so the build tree gains nothing.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
shopt -s nullglob
debs=("$scratch"/cpack/varnelle_*.deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one package, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# Debian's own judgement of the package: errors fail, the rest is shown.
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || fail "lintian found errors"
  grep -v 'root privileges' "$scratch/lintian.log" >&2 || true
else
  fail "lintian is not installed"
fi

# The control data: the name, the project's version, and dependencies both
# computed from the binary and named by hand for what Qt loads at run time.
[ "$(dpkg-deb --field "$deb" Package)" = varnelle ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6webenginecore6 libqt6widgets6 libqt6multimedia6 libc6 \
              libqt6sql6-sqlite libqt6svg6 qt6-translations-l10n ca-certificates; do
  grep -qE "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q fonts-noto-cjk <<<"$(dpkg-deb --field "$deb" Recommends)" || fail "Recommends lacks fonts-noto-cjk"
# No maintainer scripts: nothing runs at installation or removal that could
# touch a user's settings, lists or downloads.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "control members other than control and md5sums: $control"

# An empty root with a dpkg database of its own, and a user's files in it.
# The package has no scripts to run, and dpkg needs no root rights there.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
home=$root/home/researcher
mkdir -p "$home/.config/Varnelle" "$home/.local/share/Varnelle" "$home/Downloads/Varnelle"
echo "[设置]" >"$home/.config/Varnelle/Varnelle.conf"
echo list >"$home/.local/share/Varnelle/SaveList.dat"
echo "%PDF-1.4" >"$home/Downloads/Varnelle/article.pdf"
users_files=$(cd "$home" && find . -type f | sort)

dpkg --root="$root" --force-depends --force-script-chrootless --force-not-root -i "$deb" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log" >&2; echo "FAIL: dpkg -i" >&2; exit 1; }

# Where a desktop looks: the program on PATH, the desktop entry under its id,
# the icon in the hicolor theme, the AppStream file; plus the Debian extras.
[ -x "$root/usr/bin/Varnelle" ] || fail "no executable /usr/bin/Varnelle"
desktop=usr/share/applications/io.varnelle.Varnelle.desktop
metainfo=usr/share/metainfo/io.varnelle.Varnelle.metainfo.xml
expect_file "$desktop" "desktop entry"
expect_file usr/share/icons/hicolor/scalable/apps/varnelle.svg "icon"
expect_file "$metainfo" "AppStream metainfo"
expect_file usr/share/doc/varnelle/copyright "copyright file"
expect_file usr/share/doc/varnelle/changelog.gz "changelog"
expect_file usr/share/man/man1/Varnelle.1.gz "manual page"
if [ -f "$root/$desktop" ]; then
  grep -qx 'Exec=Varnelle' "$root/$desktop" || fail "desktop entry does not start Varnelle"
  grep -qx 'Icon=varnelle' "$root/$desktop" || fail "desktop entry names another icon"
fi
if [ -f "$root/$metainfo" ]; then
  grep -q '<launchable type="desktop-id">io.varnelle.Varnelle.desktop</launchable>' \
    "$root/$metainfo" || fail "metainfo launches another desktop id"
  grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "metainfo release is not $version"
  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/$metainfo" ||
    fail "metainfo licence"
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/$metainfo" >"$scratch/appstream.log" 2>&1 ||
      { cat "$scratch/appstream.log" >&2; fail "appstreamcli validate"; }
  else
    fail "appstreamcli is not installed (package appstream)"
  fi
fi
grep -q 'License: GPL-3+' "$root/usr/share/doc/varnelle/copyright" || fail "copyright licence"
if [ -f "$root/usr/share/man/man1/Varnelle.1.gz" ]; then
  zcat "$root/usr/share/man/man1/Varnelle.1.gz" | grep -q '^\.TH VARNELLE 1' || fail "manual page"
fi
# Stripped: a package carries no debug sections.
if command -v readelf >/dev/null && readelf -S "$root/usr/bin/Varnelle" | grep -q '\.debug_info'; then
  fail "the installed binary has debug information"
fi

# The installed program answers without a display.
if [ -x "$root/usr/bin/Varnelle" ]; then
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/Varnelle" --version 2>&1) ||
    fail "Varnelle --version failed: $out"
  [ "$out" = "Varnelle $version" ] || fail "Varnelle --version said: $out"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/Varnelle" --help 2>&1) ||
    fail "Varnelle --help failed: $out"
  grep -q -- '--version' <<<"$out" && grep -q 'ScienceDirect' <<<"$out" ||
    fail "Varnelle --help said: $out"
fi

# Removal: every file of the package goes, the user's stay as they were.
installed=$(dpkg --root="$root" -L varnelle | sort)
dpkg --root="$root" --force-depends --force-script-chrootless --force-not-root --purge varnelle \
  >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log" >&2; fail "dpkg --purge"; }
while IFS= read -r path; do
  [ -f "$root$path" ] && fail "left after removal: $path"
done <<<"$installed"
left=$([ ! -d "$root/usr" ] || (cd "$root" && find usr -type f | sort))
[ -z "$left" ] || fail "files left under /usr after removal: $left"
[ "$(cd "$home" && find . -type f | sort)" = "$users_files" ] || fail "the user's files changed"
grep -qx list "$home/.local/share/Varnelle/SaveList.dat" || fail "the user's list changed"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
