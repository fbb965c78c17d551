#!/usr/bin/env bash
# The whole program under Xvfb, timed by its own output (not a timed test):
#   start-up   `zendra` to the first presented frame of the main window with the tab strip
#              ("zendra: presented WxH in N ms", counted from the start of main); goal < 300 ms
#   shutdown   two clean editor tabs, from the accepted close question to the end of the run
#              ("zendra: closed in N ms"); goal < 500 ms
#   24 MP      `zendra o <24 MP JPEG>` to the first frame showing it ("zendra: photo shown in N
#              ms"), beside `djpeg -outfile /dev/null` of the same file
# Release build in build-bench (made here when missing). Usage: bash bench/frame_startup.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF >/dev/null
cmake --build build-bench -j4 --target zendra zendra_resources >/dev/null
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

# A display of our own.
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
export ZENDRA_CHOOSER=builtin
mkdir -p "$TMPDIR"

convert -size 6000x4000 gradient:'#204080-#e0c080' -fill '#c04020' -draw 'circle 3000,2000 3000,1000' \
  -quality 92 "$work/big.jpg"
convert -size 1200x800 gradient:'#3060a0-#e0c080' "$work/a.jpg"
convert -size 800x600 gradient:'#60a030-#2040a0' "$work/b.png"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Waits until the output file has a line matching $2; prints the first match.
wait_for() {
  for _ in $(seq 300); do
    if grep -q "$2" "$1"; then grep -m1 "$2" "$1"; return 0; fi
    sleep 0.05
  done
  return 1
}
start() { # out-file args...
  local out=$1; shift
  "$program" --backend=sdl "$@" >"$out" 2>/dev/null &
  zendra_pid=$!
}
window() { xdotool search --onlyvisible --name '^Zendra$' | head -n1; }
close_program() {
  local id; id=$(window)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + WIDTH - 19)) $((Y + 15)) sleep 0.3 click 1 sleep 1.0 key y
  wait "$zendra_pid" || true
  zendra_pid=
}

startup=() closing=() shown=() djpeg=()
for i in $(seq "$runs"); do
  start "$work/out" ; wait_for "$work/out" "presented" >/dev/null
  startup+=("$(grep -m1 presented "$work/out" | sed 's/.* in \([0-9]*\) ms/\1/')")
  sleep 0.5; close_program

  # Two clean tabs: one from the command line, one through the album's path question.
  # (The pixel report tells when the second tab is there; the other runs go without it.)
  ZENDRA_REPORT_PIXELS=1 start "$work/out" o "$work/a.jpg"; wait_for "$work/out" "photo shown" >/dev/null
  id=$(window); eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + 3 + 150 + 40)) $((Y + 56)) sleep 0.3 click 1 sleep 0.6
  ph=$((HEIGHT - 89)); top=$((ph / 2 - 40)); [ $top -lt 160 ] && top=160
  xdotool mousemove $((X + 13 + (WIDTH - 26) / 2)) $((Y + 74 + top + 17)) sleep 0.3 click 1 sleep 1.0
  xdotool type --delay 5 "$work/b.png"; xdotool key Return
  wait_for "$work/out" "tab $work/b.png" >/dev/null
  sleep 0.5; close_program
  closing+=("$(grep -m1 'closed in' "$work/out" | sed 's/.* in \([0-9]*\) ms/\1/')")

  start "$work/out" o "$work/big.jpg"; wait_for "$work/out" "photo shown" >/dev/null
  shown+=("$(grep -m1 'photo shown' "$work/out" | sed 's/.* in \([0-9]*\) ms/\1/')")
  sleep 0.3; close_program

  t0=$(date +%s%N); djpeg -outfile /dev/null "$work/big.jpg"; t1=$(date +%s%N)
  djpeg+=($(((t1 - t0) / 1000000)))
done

echo "load: $(uptime)"
echo "start-up to the first frame (ms), median of $runs: $(printf '%s\n' "${startup[@]}" | median)  [${startup[*]}]"
echo "shutdown with two clean tabs (ms), median: $(printf '%s\n' "${closing[@]}" | median)  [${closing[*]}]"
echo "zendra o 24 MP JPEG to the first frame showing it (ms), median: $(printf '%s\n' "${shown[@]}" | median)  [${shown[*]}]"
echo "djpeg -outfile /dev/null of the same file (ms), median: $(printf '%s\n' "${djpeg[@]}" | median)  [${djpeg[*]}]"
