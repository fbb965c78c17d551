#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one: scripts/fuzz.sh NAME [SECONDS]
# New crashes land in fuzz/corpus/NAME/ once fixed, so the normal test run replays them.
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1; seconds=${2:-60}
bash scripts/setup.sh test
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZENDRA_FUZZ=ON -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "fuzz_$name"
mkdir -p "build-fuzz/corpus-$name"
"build-fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" "build-fuzz/corpus-$name" "fuzz/corpus/$name"
