#!/usr/bin/env bash
# check_package.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR RELEASE
# Makes the package with CPack from a configured and built tree, has lintian
# judge it, installs it with dpkg into an empty root over an older package of
# the earlier layout, checks it there and removes it again.
set -euo pipefail

source_dir=$1
build=$2
scratch=$3
release=$4

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

# The version the last build wrote, the one the program and the package carry.
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/packaging/version.cmake")
[ -n "$version" ] || { echo "FAIL: no version in $build/packaging/version.cmake" >&2; exit 1; }
echo "version: $version"
# The release, then the build's place after it: each later commit sorts higher.
case $version in
  "$release" | "$release+git"[0-9]*.[0-9a-f]*) ;;
  *) fail "version $version is not $release or $release+git<count>.<commit>" ;;
esac
if [ "$version" != "$release" ]; then
  count=${version#"$release+git"}
  count=${count%%.*}
  commit=${version##*.}
  dpkg --compare-versions "$version" gt "$release" || fail "$version does not sort above $release"
  dpkg --compare-versions "$version" lt "$release+git$((count + 1)).$commit" ||
    fail "$version does not sort below the next commit's version"
  IFS=. read -r major minor patch <<<"$release"
  dpkg --compare-versions "$version" lt "$major.$minor.$((patch + 1))" ||
    fail "$version does not sort below the next release"
fi

# The packages are made in the scratch folder, so the build tree gains nothing.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
shopt -s nullglob
debs=("$scratch"/cpack/varnelle_*.deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one package, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $deb ($(stat -c %s "$deb") bytes)"
[ "$(basename "$deb")" = "varnelle_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "package file name $(basename "$deb")"

# Debian's own judgement of the package: no error and no warning. The
# informational tags are shown; the test build is not made with Debian's
# hardening flags (the package preset is), so lintian's hardening notes on
# it say nothing about the package a researcher installs.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1 ||
    fail "lintian found errors or warnings"
  grep -v 'root privileges' "$scratch/lintian.log" >&2 || true
else
  fail "lintian is not installed"
fi

# The control data: the name, the version, the home page, and dependencies
# both computed from the binary and named by hand for what Qt loads at run
# time, and a Chinese font, without which every text is empty boxes.
[ "$(dpkg-deb --field "$deb" Package)" = varnelle ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "version is not $version"
grep -qE '^https://[^ ]+$' <<<"$(dpkg-deb --field "$deb" Homepage)" || fail "no Homepage"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6webenginecore6 libqt6widgets6 libqt6multimedia6 libc6 \
              libqt6sql6-sqlite libqt6svg6 qt6-translations-l10n ca-certificates; do
  grep -qE "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -qE "(^|, )fonts-noto-cjk \| fonts-wqy-microhei( |,|$)" <<<"$depends" ||
  fail "Depends lacks a Chinese font: $depends"
# "系统信息" starts the first of these programs it finds: the package names
# each of them, and no other.
programs=$(sed -n '/^QStringList SysInfoProgramNames/,/^}/p' "$source_dir/src/about/frmAbout.cpp" |
  grep -o 'QStringLiteral("[^"]*")' | sed 's/QStringLiteral("\(.*\)")/\1/' | sort | tr '\n' ' ')
[ -n "$programs" ] || fail "no system-information programs found in frmAbout.cpp"
suggested=$(dpkg-deb --field "$deb" Suggests | tr ',|' '\n\n' | tr -d ' ' | grep -v '^$' | sort | tr '\n' ' ')
[ "$suggested" = "$programs" ] || fail "Suggests: $suggested; the About window opens: $programs"
# No maintainer scripts: nothing runs at installation or removal that could
# touch a user's settings, lists or downloads.
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "control members other than control and md5sums: $control"

# The older package: this one with a lower version and the layout every
# build had before the command became lower case (/usr/bin/Varnelle, its
# manual page Varnelle.1).
older_version=$release
[ "$version" != "$release" ] || older_version="$release~older"
older=$scratch/older
dpkg-deb -R "$deb" "$older"
mv "$older/usr/bin/varnelle" "$older/usr/bin/Varnelle"
for man in usr/share/man/man1 usr/share/man/zh_CN/man1; do
  mv "$older/$man/varnelle.1.gz" "$older/$man/Varnelle.1.gz"
done
sed -i "s/^Version: .*/Version: $older_version/" "$older/DEBIAN/control"
(cd "$older" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
older_deb=$scratch/varnelle_${older_version}_older.deb
dpkg-deb -Zgzip -z1 --root-owner-group -b "$older" "$older_deb" >/dev/null
dpkg --compare-versions "$version" gt "$older_version" || fail "$version is not above $older_version"

# An empty root with a dpkg database of its own, and a user's files in it:
# everything the program writes. The package has no scripts to run, and dpkg
# needs no root rights there.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
install_deb() { # package file, log name
  dpkg --root="$root" --force-depends --force-script-chrootless --force-not-root -i "$1" \
    >"$scratch/$2.log" 2>&1 || { cat "$scratch/$2.log" >&2; echo "FAIL: dpkg -i $1" >&2; exit 1; }
}
installed_version() {
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' varnelle
}

install_deb "$older_deb" install-older
[ "$(installed_version)" = "install ok installed $older_version" ] ||
  fail "the older package is not installed: $(installed_version)"

home=$root/home/researcher
config=$home/.config/Varnelle
data=$home/.local/share/Varnelle
mkdir -p "$config" "$data/Varnelle" "$data/browser/storage" "$data/browser/cache" \
  "$home/Downloads/Varnelle"
echo "[设置]" >"$config/Varnelle.conf"
echo "[64]" >"$config/registry.ini"
for f in lists.db lists.db-wal lists.db-shm lists.lock; do echo "$f" >"$data/Varnelle/$f"; done
echo cookies >"$data/browser/storage/Cookies"
echo entry >"$data/browser/cache/index"
echo /home/researcher/Downloads/Varnelle/ >"$data/SaveList.dat"
for id in 101 102 103; do echo RIFF >"$data/$id.wav"; done
echo "%PDF-1.4" >"$home/Downloads/Varnelle/article.pdf"
users_files=$(cd "$home" && find . -type f -print0 | sort -z | xargs -0 md5sum)

# The upgrade a researcher makes with `apt install ./varnelle_*.deb`.
install_deb "$deb" install
[ "$(installed_version)" = "install ok installed $version" ] ||
  fail "after the upgrade: $(installed_version), not $version"
[ ! -e "$root/usr/bin/Varnelle" ] || fail "the older package's /usr/bin/Varnelle is left"
[ ! -e "$root/usr/share/man/man1/Varnelle.1.gz" ] || fail "the older manual page is left"
[ "$(cd "$home" && find . -type f -print0 | sort -z | xargs -0 md5sum)" = "$users_files" ] ||
  fail "the upgrade changed the user's files"

# Where a desktop looks: the command on PATH, the desktop entry under its id,
# the icons in the hicolor theme, the AppStream file; plus the Debian extras.
[ -x "$root/usr/bin/varnelle" ] || fail "no executable /usr/bin/varnelle"
[ "$(ls "$root/usr/bin")" = varnelle ] || fail "commands other than varnelle: $(ls "$root/usr/bin")"
desktop=usr/share/applications/io.varnelle.Varnelle.desktop
metainfo=usr/share/metainfo/io.varnelle.Varnelle.metainfo.xml
expect_file "$desktop" "desktop entry"
expect_file usr/share/icons/hicolor/scalable/apps/varnelle.svg "icon"
for size in 16 24 32 48 64 128 256; do
  png=usr/share/icons/hicolor/${size}x${size}/apps/varnelle.png
  expect_file "$png" "${size}px icon"
  if [ -f "$root/$png" ]; then
    # The PNG header: signature, IHDR's length and name, then width and height.
    dims=$(od -An -tu4 --endian=big -j16 -N8 "$root/$png" | tr -s ' ')
    [ "$dims" = " $size $size" ] || fail "$png is not ${size}x$size:$dims"
  fi
done
expect_file "$metainfo" "AppStream metainfo"
expect_file usr/share/doc/varnelle/copyright "copyright file"
expect_file usr/share/doc/varnelle/changelog.gz "changelog"
expect_file usr/share/man/man1/varnelle.1.gz "manual page"
expect_file usr/share/man/zh_CN/man1/varnelle.1.gz "Chinese manual page"
if [ -f "$root/$desktop" ]; then
  entry() { sed -n "s/^$1=//p" "$root/$desktop"; }
  [ "$(entry Exec)" = varnelle ] || fail "desktop entry starts $(entry Exec)"
  [ "$(entry TryExec)" = varnelle ] || fail "desktop entry tries $(entry TryExec)"
  [ "$(entry Icon)" = varnelle ] || fail "desktop entry names the icon $(entry Icon)"
  [ "$(entry SingleMainWindow)" = true ] || fail "desktop entry lacks SingleMainWindow=true"
  # One main category of the desktop menu, then its additional ones.
  main=$(entry Categories | tr ';' '\n' | grep -cxE \
    'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility' || true)
  [ "$main" = 1 ] || fail "desktop entry has $main main categories: $(entry Categories)"
  entry Categories | tr ';' '\n' | grep -qx Qt || fail "desktop entry lacks the category Qt"
  if command -v desktop-file-validate >/dev/null; then
    # Debian 12's validator predates version 1.5 of the format, which added
    # SingleMainWindow; everything else it finds is a fault.
    desktop-file-validate "$root/$desktop" 2>&1 | grep -v '"SingleMainWindow"' >"$scratch/desktop.log" || true
    [ ! -s "$scratch/desktop.log" ] || { cat "$scratch/desktop.log" >&2; fail "desktop-file-validate"; }
  else
    fail "desktop-file-validate is not installed (package desktop-file-utils)"
  fi
fi
if [ -f "$root/$metainfo" ]; then
  grep -q '<launchable type="desktop-id">io.varnelle.Varnelle.desktop</launchable>' \
    "$root/$metainfo" || fail "metainfo launches another desktop id"
  grep -q '<binary>varnelle</binary>' "$root/$metainfo" || fail "metainfo provides another binary"
  grep -q "<release version=\"$release\" date=\"[0-9-]*\"" "$root/$metainfo" ||
    fail "metainfo has no release $release"
  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/$metainfo" ||
    fail "metainfo licence"
  for tag in developer_name screenshots 'url type="homepage"'; do
    grep -q "<$tag>" "$root/$metainfo" || fail "metainfo lacks <$tag>"
  done
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/$metainfo" >"$scratch/appstream.log" 2>&1 ||
      { cat "$scratch/appstream.log" >&2; fail "appstreamcli validate"; }
  else
    fail "appstreamcli is not installed (package appstream)"
  fi
fi
grep -q 'License: GPL-3+' "$root/usr/share/doc/varnelle/copyright" || fail "copyright licence"
if [ -f "$root/usr/share/doc/varnelle/changelog.gz" ]; then
  zcat "$root/usr/share/doc/varnelle/changelog.gz" | head -1 | grep -qF "varnelle ($version) " ||
    fail "changelog entry is not $version"
fi
for page in man1 zh_CN/man1; do
  [ -f "$root/usr/share/man/$page/varnelle.1.gz" ] || continue
  zcat "$root/usr/share/man/$page/varnelle.1.gz" >"$scratch/page"
  grep -q '^\.TH VARNELLE 1' "$scratch/page" || fail "$page: manual page header"
  grep -qx '\.B varnelle' "$scratch/page" || fail "$page: the synopsis names another command"
  # Every file the program writes, named in FILES.
  for written in Varnelle.conf registry.ini lists.db 'lists.db\\-wal' 'lists.db\\-shm' lists.lock \
                 browser/storage browser/cache SaveList.dat 101.wav Downloads/Varnelle; do
    grep -q -- "$written" "$scratch/page" || fail "$page: FILES does not name $written"
  done
done
# Stripped: a package carries no debug sections.
if command -v readelf >/dev/null && readelf -S "$root/usr/bin/varnelle" | grep -q '\.debug_info'; then
  fail "the installed binary has debug information"
fi

# The installed program answers without a display, with the package's version.
if [ -x "$root/usr/bin/varnelle" ]; then
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/varnelle" --version 2>&1) ||
    fail "varnelle --version failed: $out"
  [ "$out" = "Varnelle $version" ] || fail "varnelle --version said: $out"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/varnelle" --help 2>&1) ||
    fail "varnelle --help failed: $out"
  grep -q -- '--version' <<<"$out" && grep -q 'ScienceDirect' <<<"$out" ||
    fail "varnelle --help said: $out"
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
[ "$(cd "$home" && find . -type f -print0 | sort -z | xargs -0 md5sum)" = "$users_files" ] ||
  fail "the removal changed the user's files"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
