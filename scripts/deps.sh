#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the fuzzers and the
# package check need, on anything from a minimal root (debootstrap
# --variant=minbase) up. Only real package names are listed: dpkg-query never
# reports a virtual one as installed, which would make every run call apt.
# A machine that has them all makes no apt call.
set -euo pipefail
packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libjpeg62-turbo-dev libsodium-dev libexif-dev
  # metafiles: libwmf links expat, and draws text (any WMF, really) with the
  # URW base-35 fonts, which libwmf only recommends
  libwmf-dev libexpat1-dev fonts-urw-base35 libemf2svg-dev
  # run time: the metafile helper's sandbox, Qt's extra picture readers
  bubblewrap qt6-image-formats-plugins
  # the snapshot window's empty caption under X11 is set through xcb
  libxcb1-dev
  # fuzzing
  clang libclang-rt-14-dev
  # the formatting check
  clang-format-14
  # tests, trying the viewer under Xvfb, checking the installed tree and .deb
  xvfb xauth xdotool imagemagick
  desktop-file-utils appstream man-db groff-base dpkg-dev file lintian
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
