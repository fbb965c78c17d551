#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

# A fresh clone in another folder still hits the cache.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}

jobs=$(nproc)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENDRA_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" >/dev/null
cmake --build build-test -j "$jobs"

# Each checkout's tests keep their files apart from any other run on the machine.
export TMPDIR="$PWD/build-test/tmp"
rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-test -j "$jobs" --output-on-failure --timeout 600
