#!/usr/bin/env bash
# Installs every Debian package that Mireva needs to build, run and test.
# Asks apt only for what is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libwebkit2gtk-4.0-dev
  wx3.2-i18n adwaita-icon-theme
  libcurl4-openssl-dev libxml2-dev libpng-dev libgif-dev libsqlite3-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps imagemagick fonts-noto-cjk
  python3 xdg-utils wget curl gifsicle skkdic
  librsvg2-bin desktop-file-utils appstream dpkg-dev lintian
  openbox xdotool wmctrl dbus dbus-x11 at-spi2-core python3-pyatspi gir1.2-atspi-2.0 procps
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
