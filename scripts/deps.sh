#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the fuzzers need,
# skipping the apt run when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6-dev libgl-dev
  libjpeg62-turbo-dev libwmf-dev libemf2svg-dev libexif-dev qt6-image-formats-plugins
  clang libclang-rt-14-dev clang-format-14
  xvfb xauth xdotool imagemagick
  bubblewrap libxcb1-dev
  desktop-file-utils appstream man-db groff-base dpkg-dev file
  fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
