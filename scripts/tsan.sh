#!/usr/bin/env bash
# The ThreadSanitizer job: builds the test executables of the folders whose code runs on more
# than one thread (platform, algorithms, album, ui, editor, dialogs, app) and the program with -fsanitize=thread
# (-O1, no benchmarks, no fuzz targets) in build-tsan/, and runs their tests; the program tests
# start the instrumented program under their own Xvfb. Any report fails the run (halt_on_error,
# exit code 66). Suppressions, for third-party libraries only, are in scripts/tsan.supp, each
# with its reason.
# Usage: bash scripts/tsan.sh [ctest -R pattern]   (default: every test of those folders)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}

jobs=$(nproc)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENDRA_TSAN=ON -DZENDRA_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" >/dev/null
# Only what the job runs: those test executables, the program and its data.
cmake --build build-tsan -j "$jobs" --target platform_tests algorithms_tests album_tests ui_tests editor_tests dialogs_tests app_tests \
  zendra zendra_resources

export TMPDIR="$PWD/build-tsan/tmp"
rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"

# Reports end the process at once with exit code 66, in the test executables and in every
# program a test starts (they inherit this environment).
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
pattern=${1:-'^(platform|algorithms|album|ui|editor|dialogs|app)\.'}
ctest --test-dir build-tsan -j "$jobs" -R "$pattern" --output-on-failure --timeout 900
