#!/usr/bin/env bash
# Installs what is missing, builds the program folder build/zendra/ and starts Zendra.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: set DISPLAY (or start Xvfb) to see the window." >&2
fi
exec build/zendra/zendra "$@"
