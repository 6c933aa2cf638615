#!/usr/bin/env bash
# The window client as a person runs it: tessaly.exe from a branded folder on
# an Xvfb display of its own, against the world server, with the stand-in host
# installed so that the engine loads at once.
#   1. Start-up: from process start to the first painted main window, beside
#      bench_plain_window.exe (one plain painted window of the same size and
#      style) started and detected the same way; RUNS of each, alternating,
#      each on a freshly started wineserver; medians and their ratio.
#   2. A 1 GiB game downloaded through the window, started by a real click on
#      "ActionButton": tessaly.exe's CPU while downloading and while paused
#      (utime + stime over a fixed interval; the engine is another process),
#      and its peak working set through the whole download (VmHWM of the Wine
#      process that runs it), beside the plain window's.
#   BUILD                          the Windows build tree (default: the test tree)
#   RUNS, SIZE_MIB, RATE_MIB       5, 1024, 2 (per connection while measuring)
#   BUSY_S, IDLE_S                 20, 30
set -euo pipefail
# An Xvfb display of the benchmark's own, with no window manager.
unset DISPLAY
source "$(dirname "$0")/bench-lib.sh"
build=$(cd "${BUILD:-$bench_tree}" && pwd)
runs=${RUNS:-5}
size_mib=${SIZE_MIB:-1024}
rate_mib=${RATE_MIB:-2}
busy_s=${BUSY_S:-20}
idle_s=${IDLE_S:-30}
for f in app/tessaly.exe bench/bench_plain_window.exe standins/host/torvane_setup.exe \
         standins/peer_id/dl_peer_id.dll tools/access_dump/access-dump.exe; do
  [ -f "$build/$f" ] || { echo "bench_window: $build/$f not built" >&2; exit 1; }
done
probe=$root/bench/window_probe.py
title=Demo高速下载器
plain_title="plain window"
hz=$(getconf CLK_TCK)

bench_init bench_window
export TESSALY_PREFIX=${TESSALY_PREFIX:-$build/bench-window-prefix}
bench_wine_up fresh
bench_world --game-file "Bench.pak:${size_mib}M" --rate $((rate_mib * 1024 * 1024)) \
  --set-rate-path /game/
cp "$build/standins/host/torvane_setup.exe" "$work/"
(cd "$work" && tessaly_wine torvane_setup.exe /S)

# A branded folder as the e2e tests make it.
branded() {  # dir
  mkdir -p "$1"
  cp "$build/app/tessaly.exe" "$build/standins/peer_id/dl_peer_id.dll" \
    "$root/res/skin/downloader.ico" "$1/"
  cp -r "$root/res/skin/images" "$1/"
  printf '[Tessaly]\r\nGameId=1001\r\nGameTitle=Demo\r\nBkgResType=1\r\nBkgRes=images\\bkg1.png\r\nDefaultPath=C:\\bench\\\r\nShowFervo=0\r\nConfigServer=127.0.0.1:%s\r\nStatServer=127.0.0.1:%s\r\n' \
    "$port" "$port" | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$1/tessaly.ini"
}
loader() { if [ "$WINEARCH" = win64 ]; then echo "$root/scripts/wine64"; else echo wine; fi; }
# Every Wine process of this prefix ends; the next program starts on a warm,
# empty wineserver, as the first did.
wine_restart() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  tessaly_wine cmd /c exit </dev/null >/dev/null 2>&1
}
# Prints "<ms> <pid>" for a program started in folder $1 with a window titled $2.
start_timed() {  # dir title exe [args...]
  local dir=$1 want=$2
  shift 2
  (cd "$dir" && python3 "$probe" startup "$want" 90 "$(loader)" "$@") ||
    echo "bench_window: $1/$3 showed no painted window" >&2
}
# Reads "<ms> <pid>" into the named variables, or ends the benchmark.
timed() {  # ms-var pid-var dir title exe [args...]
  local out
  out=$(start_timed "${@:3}")
  [ -n "$out" ] || exit 1
  read -r "$1" "$2" <<<"$out"
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
status_kb() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB$/\1/p" "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpu_percent() {  # pid seconds
  local before after
  before=$(cpu_ticks "$1")
  sleep "$2"
  after=$(cpu_ticks "$1")
  awk -v t=$((after - before)) -v hz="$hz" -v s="$2" 'BEGIN {printf "%.2f", t / hz / s * 100}'
}

# What a screen reader reads of the window, by help name (as run-demo.sh).
element() {
  local now out i
  for i in 1 2 3 4 5; do
    now=$(xdotool search --name "^$title" getwindowname 2>/dev/null | head -n 1 || true)
    out=$(tessaly_wine "$build/tools/access_dump/access-dump.exe" "${now:-$title}" </dev/null 2>/dev/null || true)
    [ -n "$out" ] && break
    sleep 0.2
  done
  printf '%s\n' "$out" | grep -F "help=\"$1\"" | head -n 1 || true
}
wait_for() {  # help-name seconds text
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    element "$1" | grep -qF "$3" && return 0
    sleep 0.5
  done
  import -window root "$build/bench-window-failure.png" 2>/dev/null || true
  echo "bench_window: timed out waiting for $1 to show $3 (screen: $build/bench-window-failure.png)" >&2
  exit 1
}
click() {
  local loc x y w h
  loc=$(element "$1" | sed -n 's/.*location=\([-0-9,]*\).*/\1/p')
  IFS=, read -r x y w h <<<"$loc"
  [ -n "${h:-}" ] || { echo "bench_window: no $1 to click" >&2; exit 1; }
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  sleep 0.3
  xdotool mousemove 5 790
}

# --- 1. start-up ---------------------------------------------------------
plain_ms=()
client_ms=()
mkdir -p "$work/plain"
for i in $(seq 0 "$runs"); do
  wine_restart
  timed ms _ "$work/plain" "$plain_title" "$build/bench/bench_plain_window.exe"
  [ "$i" -gt 0 ] && plain_ms+=("$ms")
  wine_restart
  branded "$work/start$i"
  timed ms _ "$work/start$i" "$title" tessaly.exe
  [ "$i" -gt 0 ] && client_ms+=("$ms")
done
plain_median=$(printf '%s\n' "${plain_ms[@]}" | median)
client_median=$(printf '%s\n' "${client_ms[@]}" | median)
echo "start-up to the first painted window, $runs runs each (after one discarded):"
echo "  plain window  ${plain_ms[*]} ms, median $plain_median ms"
echo "  tessaly.exe   ${client_ms[*]} ms, median $client_median ms"
awk -v c="$client_median" -v p="$plain_median" \
  'BEGIN {printf "  ratio         %.2f (goal within 1.5)\n", c / p}'

# --- 2. the plain window's working set ------------------------------------
wine_restart
timed _ plain_pid "$work/plain" "$plain_title" "$build/bench/bench_plain_window.exe"
sleep 5
plain_hwm=$(status_kb "$plain_pid" VmHWM)
plain_idle=$(cpu_percent "$plain_pid" 10)

# --- 3. a 1 GiB game through the window ------------------------------------
wine_restart
branded "$work/client"
timed _ pid "$work/client" "$title" tessaly.exe
wait_for ActionButton 60 'name="开始下载"'
wait_for TextTips1 30 'name=""'
ready_hwm=$(status_kb "$pid" VmHWM)
click ActionButton
wait_for TextTips1 120 '正在下载中...'
# No reading through accessibility while measuring: that is work done in
# the client's process on another's behalf.
sleep 3
busy=$(cpu_percent "$pid" "$busy_s")
click ActionButton
wait_for TextTips1 30 '已暂停'
sleep 3
idle=$(cpu_percent "$pid" "$idle_s")
click ActionButton
wait_for TextTips1 60 '正在下载中...'
curl -sf "http://127.0.0.1:$port/_control/set?rate=0" >/dev/null
started=$SECONDS
deadline=$((SECONDS + 900))
while [ $SECONDS -lt $deadline ]; do
  [ -d "/proc/$pid" ] || { echo "bench_window: tessaly.exe ended during the download" >&2; exit 1; }
  element ActionButton | grep -qF 'name="开始安装"' && break
  sleep 2
done
element ActionButton | grep -qF 'name="开始安装"' ||
  { echo "bench_window: the download did not complete" >&2; exit 1; }
peak=$(status_kb "$pid" VmHWM)
rss=$(status_kb "$pid" VmRSS)
bench_need_sha "$TESSALY_PREFIX/drive_c/bench/Demo/Bench.pak" \
  "$(python3 "$root/standins/world/world.py" --digest "Bench.pak:${size_mib}M")" tessaly.exe
import -window root "$work/complete.png" 2>/dev/null && cp "$work/complete.png" "$build/bench-window-complete.png"

echo "peak working set (VmHWM of the Wine process):"
awk -v k="$plain_hwm" 'BEGIN {printf "  plain window                    %.1f MB\n", k * 1024 / 1e6}'
awk -v k="$ready_hwm" 'BEGIN {printf "  tessaly.exe, ready              %.1f MB\n", k * 1024 / 1e6}'
awk -v k="$peak" -v r="$rss" -v m="$size_mib" \
  'BEGIN {printf "  tessaly.exe, through %d MiB   %.1f MB (now %.1f MB; goal < 30)\n", m, k * 1024 / 1e6, r * 1024 / 1e6}'
awk -v k="$peak" -v p="$plain_hwm" \
  'BEGIN {printf "  difference                      %.1f MB over the plain window\n", (k - p) * 1024 / 1e6}'
echo "CPU of tessaly.exe (one core; the engine is another process):"
echo "  downloading at $rate_mib MiB/s a connection, ${busy_s} s  $busy % (goal < 2)"
echo "  paused, ${idle_s} s                              $idle % (goal < 0.2)"
echo "  the plain window, 10 s                       $plain_idle %"
echo "the rest of the game at full speed took $((SECONDS - started)) s; the file is identical"
