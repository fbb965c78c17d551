#!/usr/bin/env bash
# Installs what is missing, builds the program folder build/zendra/ and starts Zendra.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
program=build/zendra/zendra
headless=0
[ "${ZENDRA_BACKEND:-}" = headless ] && headless=1
for arg in "$@"; do
  case "$arg" in
    --backend=headless) headless=1 ;;
    --backend=sdl) headless=0 ;;
  esac
done
if [ "$headless" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if command -v xvfb-run >/dev/null 2>&1 && command -v xauth >/dev/null 2>&1; then
    echo "No display: starting Zendra on a virtual X screen (xvfb-run). Nothing appears on a monitor; end it with Ctrl+C." >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$@"
  fi
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset) and no xvfb-run to make one." >&2
  echo "Start Zendra from a desktop session, install a virtual X server (apt-get install xvfb xauth)," >&2
  echo "or draw one frame offscreen: bash scripts/run.sh --backend=headless" >&2
  exit 1
fi
exec "$program" "$@"
