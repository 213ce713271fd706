#!/usr/bin/env bash
# Installs the Debian packages Folvane needs to build, run and test.
# Only packages that are missing are installed; apt-get runs as root, else through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libpugixml-dev libexpat1-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev
  tzdata python3 python3-openpyxl
  adwaita-icon-theme
  xvfb imagemagick xauth
  ncdu gdu
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
