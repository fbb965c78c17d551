#!/usr/bin/env bash
# The whole program left alone under Xvfb: over 10 s after start-up has settled, the presents
# (ZENDRA_TRACE_PRESENTS lines), the wake-ups (context switches of all its threads, from
# /proc/PID/task/*/status) and the processor time (nanoseconds on a processor of all its threads,
# /proc/PID/task/*/schedstat) as a share of one core. Goal: 0 presents, under 0.05 % CPU. Not a timed test: the figures depend on the load.
# Release build in build-bench (made here when missing).
# Usage: bash bench/idle_program.sh [SETTLE_SECONDS] [WINDOW_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
settle=${1:-5}
window=${2:-10}
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF >/dev/null
nice cmake --build build-bench -j4 --target zendra zendra_resources >/dev/null
program="$PWD/build-bench/zendra/zendra"

work=$(mktemp -d)
xvfb_pid=
zendra_pid=
cleanup() {
  [ -n "$zendra_pid" ] && kill "$zendra_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 9<> "$work/displayfd"
Xvfb -displayfd 9 -screen 0 1920x1080x24 -br -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  display=$(head -n1 "$work/displayfd" 2>/dev/null || true)
  [ -n "$display" ] && break
  sleep 0.1
done
export DISPLAY=":$display"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

ZENDRA_TRACE_PRESENTS=1 "$program" --backend=sdl >"$work/out" 2>"$work/err" &
zendra_pid=$!
for _ in $(seq 300); do
  grep -q "presented" "$work/out" && break
  sleep 0.05
done
grep -q "presented" "$work/out" || { echo "the program did not present a frame" >&2; exit 1; }
sleep "$settle"

cpu() { cat /proc/"$zendra_pid"/task/*/schedstat | awk '{s += $1} END {printf "%d", s / 1000}'; }
switches() { cat /proc/"$zendra_pid"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}'; }
presents() { grep -c "zendra: present " "$work/err" || true; }

c0=$(cpu) s0=$(switches) p0=$(presents) t0=$(date +%s%N)
sleep "$window"
c1=$(cpu) s1=$(switches) p1=$(presents) t1=$(date +%s%N)
threads=$(ls /proc/"$zendra_pid"/task | wc -l)

elapsed_ms=$(((t1 - t0) / 1000000))
cpu_us=$((c1 - c0))
echo "load: $(uptime)"
echo "idle window: ${elapsed_ms} ms after ${settle} s of settling; threads: $threads"
echo "presents: $((p1 - p0))"
echo "wake-ups (context switches, all threads): $((s1 - s0))"
awk -v c="$cpu_us" -v e="$elapsed_ms" 'BEGIN {printf "cpu: %.1f ms = %.3f %% of one core\n", c / 1000, 100 * c / 1000 / e}'
