#!/usr/bin/env bash
# Builds the program in Release into build-release/ and makes its Debian package there:
# build-release/zendra_<version>_<arch>.deb, its library dependencies found by dpkg-shlibdeps.
# Install it with `sudo apt install ./build-release/zendra_*.deb`, remove it with
# `sudo apt remove zendra`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
# Only what the package holds is built: the install step does not build everything first.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-release -j "$(nproc)" --target zendra marrowby zendra_resources zendra_desktop
rm -f build-release/zendra_*.deb
(cd build-release && cpack -G DEB >/dev/null)
ls build-release/zendra_*.deb
