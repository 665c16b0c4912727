# Shared by run.sh and test.sh: installs what is missing, configures and builds.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-webengine-dev qt6-multimedia-dev libqt6svg6
  libqt6sql6-sqlite qt6-pdf-dev
  libicu-dev libgl-dev libcpp-httplib-dev libssl-dev openssl zlib1g-dev libbrotli-dev dbus-daemon
  fonts-noto-cjk xdg-utils curl qt6-translations-l10n
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local preset=$1
  cmake --preset "$preset"
  cmake --build --preset "$preset"
}
