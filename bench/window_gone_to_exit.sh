#!/usr/bin/env bash
# The whole program under Xvfb, timed from outside (not a timed test): from the moment its main
# window is gone from the X server to the moment the process has ended; goal < 100 ms. Each run
# starts `zendra`, waits for the first frame, clicks the frame's close button, answers the close
# question with "y", then polls the window (xwininfo, about 2 ms a poll, so the figure may be up
# to one poll short) and the process state (/proc, a read without a fork).
# Release build in build-bench (made here when missing); ZENDRA_PROGRAM=<path> times another build
# (the test build, say). SILENT_COLLECTOR=1 points the usage events at a local server that takes
# the connection and never answers (written to the program folder's settings.txt for the run), so
# the "Run" hit is still under way when the window goes.
# Usage: bash bench/window_gone_to_exit.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
program=${ZENDRA_PROGRAM:-}
if [ -z "$program" ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF >/dev/null
  cmake --build build-bench -j4 --target zendra zendra_resources >/dev/null
  program="$PWD/build-bench/zendra/zendra"
fi

work=$(mktemp -d)
xvfb_pid=
zendra_pid=
silent_pid=
machine="$(dirname "$program")/settings.txt"
cleanup() {
  [ -n "$zendra_pid" ] && kill "$zendra_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$silent_pid" ] && kill "$silent_pid" 2>/dev/null || true
  [ -n "$silent_pid" ] && rm -f "$machine"
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

if [ "${SILENT_COLLECTOR:-0}" = 1 ]; then
  [ -e "$machine" ] && { echo "$machine exists; not replacing it" >&2; exit 1; }
  python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)
print(s.getsockname()[1], flush=True)
held = []
while True:
    c, _ = s.accept(); held.append(c)
' > "$work/port" &
  silent_pid=$!
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  printf '; Zendra settings 1\n["Software\\\\Velmora\\\\Zendra\\\\Server"]\n"CollectorHost"="127.0.0.1:%s"\n' "$(cat "$work/port")" > "$machine"
fi

now_us() { local t=$EPOCHREALTIME; echo $((${t/./} )); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
wait_for() {
  for _ in $(seq 300); do
    if grep -q "$2" "$1"; then return 0; fi
    sleep 0.05
  done
  return 1
}
# The process has ended once /proc shows it as a zombie (or not at all).
ended() {
  local stat
  { read -r stat < "/proc/$1/stat"; } 2>/dev/null || return 0
  stat=${stat##*) }
  [ "${stat:0:1}" = Z ]
}

gone=() closed=()
for i in $(seq "$runs"); do
  "$program" --backend=sdl >"$work/out" 2>/dev/null &
  zendra_pid=$!
  wait_for "$work/out" "presented"
  sleep 0.5
  id=$(xdotool search --onlyvisible --name '^Zendra$' | head -n1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + WIDTH - 19)) $((Y + 15)) sleep 0.3 click 1 sleep 1.0 key y
  while xwininfo -id "$id" >/dev/null 2>&1; do :; done
  t1=$(now_us)
  until ended "$zendra_pid"; do :; done
  t2=$(now_us)
  wait "$zendra_pid" || true
  zendra_pid=
  gone+=($(((t2 - t1) / 1000)))
  closed+=("$(grep -m1 'closed in' "$work/out" | sed 's/.* in \([0-9]*\) ms/\1/')")
done

echo "load: $(uptime)"
echo "window gone to process gone (ms), median of $runs: $(printf '%s\n' "${gone[@]}" | median)  [${gone[*]}]"
echo "the program's own 'closed in' (ms), median: $(printf '%s\n' "${closed[@]}" | median)  [${closed[*]}]"
