#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Usage: scripts/setup.sh [run|test|bench]
#   test adds the oracle tools the tests call; bench adds the tools the benchmarks compare with.
set -euo pipefail
mode=${1:-run}

pkgs=(
  build-essential cmake ninja-build ccache pkg-config
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev libtiff-dev zlib1g-dev libraw-dev
  libexiv2-dev libsdl2-dev libx11-dev libxext-dev libxkbcommon-dev libfreetype-dev libfontconfig-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation2 fonts-wqy-microhei
  libcurl4-openssl-dev libcups2-dev libcairo2-dev libwmf-dev xdg-utils
  file
)
if [ "$mode" = test ]; then
  pkgs+=(
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libfuzzer-14-dev libclang-rt-14-dev
    xvfb xauth x11-apps x11-utils xdotool xclip imagemagick libimage-exiftool-perl libjpeg-turbo-progs poppler-utils
    desktop-file-utils appstream shared-mime-info libfile-mimeinfo-perl librsvg2-bin libglib2.0-bin
  )
fi
if [ "$mode" = bench ]; then
  # Only for comparing speed; never linked into the program.
  pkgs+=(
    libbenchmark-dev libjpeg-turbo-progs libopencv-dev python3-opencv python3-numpy libvips-tools libfftw3-dev
    liblqr-1-0-dev enfuse hugin-tools
  )
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
