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
#   RUNS, SIZE_MIB, RATE_MIB       9, 1024, 2 (per connection while measuring)
#   BUSY_S, IDLE_S                 20, 30
set -euo pipefail
# An Xvfb display of the benchmark's own, with no window manager.
unset DISPLAY
# shellcheck source=bench/bench-lib.sh
source "$(dirname "$0")/bench-lib.sh"
build=$(cd "${BUILD:-$bench_tree}" && pwd)
runs=${RUNS:-9}
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
# Resident kB by mapping (file name; anonymous memory is heaps, thread stacks
# and program images Wine had to copy), "kB name" lines sorted by name.
rss_by_mapping() {
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = $6 == "" ? "(anonymous)" : $6}
       /^Rss:/ {kb[name] += $2}
       END {for (n in kb) print kb[n], n}' "/proc/$1/smaps" | sort -k 2
}
status_kb() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB$/\1/p" "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The wineserver of this prefix: it runs in a folder named after the prefix's
# device and inode (under /tmp/.wine-UID, or a temporary folder).
wineserver_pid() {
  local dir p device inode
  read -r device inode < <(stat -c '%d %i' "$WINEPREFIX")
  dir=$(printf 'server-%x-%x' "$device" "$inode")
  for p in /proc/[0-9]*; do
    [[ "$(readlink "$p/cwd" 2>/dev/null)" == */"$dir" ]] &&
      [[ "$(cat "$p/comm" 2>/dev/null)" == wineserver* ]] &&
      { echo "${p#/proc/}"; return 0; }
  done
  echo "bench_window: no wineserver in $dir" >&2
  exit 1
}
percent() { awk -v t="$1" -v hz="$hz" -v s="$2" 'BEGIN {printf "%.2f", t / hz / s * 100}'; }
# CPU of the process over the interval, and the wineserver's beside it in
# $server_cpu (it carries every message and wait of the prefix's processes,
# the engine's too).
cpu_percent() {  # pid seconds
  local before after server server_before
  server=$(wineserver_pid)
  before=$(cpu_ticks "$1")
  server_before=$(cpu_ticks "$server")
  sleep "$2"
  after=$(cpu_ticks "$1")
  server_cpu=$(percent $(($(cpu_ticks "$server") - server_before)) "$2")
  percent $((after - before)) "$2"
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
# Where the ready window's button is: the window is centred, so every copy
# has it at the same place.
wait_for ActionButton 60 'name="开始下载"'
IFS=, read -r x y w h < <(element ActionButton | sed -n 's/.*location=\([-0-9,]*\).*/\1/p')
button_x=$((x + w / 2))
button_y=$((y + h / 2))
plain_median=$(printf '%s\n' "${plain_ms[@]}" | median)
client_median=$(printf '%s\n' "${client_ms[@]}" | median)
echo "start-up to the first painted window, $runs runs each (after one discarded):"
echo "  plain window  ${plain_ms[*]} ms, median $plain_median ms"
echo "  tessaly.exe   ${client_ms[*]} ms, median $client_median ms"
awk -v c="$client_median" -v p="$plain_median" \
  'BEGIN {printf "  ratio         %.2f (goal within 1.5)\n", c / p}'

# --- 2. the plain window's working set ------------------------------------
wine_restart
plain_pid=
timed _ plain_pid "$work/plain" "$plain_title" "$build/bench/bench_plain_window.exe"
sleep 5
plain_hwm=$(status_kb "$plain_pid" VmHWM)
rss_by_mapping "$plain_pid" >"$work/plain.rss"
cpu_percent "$plain_pid" 10 >"$work/cpu"
plain_idle=$(cat "$work/cpu")
plain_server=$server_cpu

# --- 3. a 1 GiB game through the window ------------------------------------
# The measured client is never read through accessibility: answering a
# reader loads COM marshalling and threads into its process (some 4 MB), which
# a person's client does not carry. It is clicked where the last start-up
# run's identical, centred window had its button, and followed through the
# beacons it sends.
beacons() { grep -c -F "$1" "$work/world/world-beacons.log" 2>/dev/null || true; }
wait_beacons() {  # text count seconds
  local deadline=$((SECONDS + $3))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(beacons "$1")" -ge "$2" ] && return 0
    [ -d "/proc/$pid" ] || { echo "bench_window: tessaly.exe ended" >&2; exit 1; }
    sleep 0.2
  done
  import -window root "$build/bench-window-failure.png" 2>/dev/null || true
  echo "bench_window: timed out waiting for beacon $1 (screen: $build/bench-window-failure.png)" >&2
  sed 's/^/  /' "$work/world/world-beacons.log" >&2 || true
  exit 1
}
click_at() {
  xdotool mousemove "$1" "$2" click 1
  sleep 0.3
  xdotool mousemove 5 790
}
wine_restart
branded "$work/client"
: >"$work/world/world-beacons.log"
timed _ pid "$work/client" "$title" tessaly.exe
wait_beacons "gs=downerstart" 1 60
# The configuration arrives after the first beacon; the button then reads
# "开始下载" (seen on the reference copy above).
sleep 3
ready_hwm=$(status_kb "$pid" VmHWM)
click_at "$button_x" "$button_y"
wait_beacons "style=start" 1 120
sleep 3
cpu_percent "$pid" "$busy_s" >"$work/cpu"
busy=$(cat "$work/cpu")
busy_server=$server_cpu
click_at "$button_x" "$button_y"
wait_beacons "style=pause" 1 30
sleep 3
cpu_percent "$pid" "$idle_s" >"$work/cpu"
idle=$(cat "$work/cpu")
idle_server=$server_cpu
click_at "$button_x" "$button_y"
wait_beacons "style=start" 2 60
curl -sf "http://127.0.0.1:$port/_control/set?rate=0" >/dev/null
started=$SECONDS
wait_beacons "gs=completeins" 1 900
took=$((SECONDS - started))
peak=$(status_kb "$pid" VmHWM)
rss=$(status_kb "$pid" VmRSS)
rss_by_mapping "$pid" >"$work/client.rss"
bench_need_sha "$TESSALY_PREFIX/drive_c/bench/Demo/Bench.pak" \
  "$(python3 "$root/standins/world/world.py" --digest "Bench.pak:${size_mib}M")" tessaly.exe
# Now the window may be read: it shows the completed layout.
wait_for ActionButton 30 'name="开始安装"'
import -window root "$build/bench-window-complete.png" 2>/dev/null || true

echo "peak working set (VmHWM of the Wine process):"
awk -v k="$plain_hwm" 'BEGIN {printf "  plain window                    %.1f MB\n", k * 1024 / 1e6}'
awk -v k="$ready_hwm" 'BEGIN {printf "  tessaly.exe, ready              %.1f MB\n", k * 1024 / 1e6}'
awk -v k="$peak" -v r="$rss" -v m="$size_mib" \
  'BEGIN {printf "  tessaly.exe, through %d MiB   %.1f MB (now %.1f MB; goal < 30)\n", m, k * 1024 / 1e6, r * 1024 / 1e6}'
awk -v k="$peak" -v p="$plain_hwm" \
  'BEGIN {printf "  difference                      %.1f MB over the plain window\n", (k - p) * 1024 / 1e6}'
echo "  where tessaly.exe's resident memory exceeds the plain window's (kB, now):"
join -1 2 -2 2 -a 2 -e 0 -o 0,1.1,2.1 "$work/plain.rss" "$work/client.rss" |
  awk '{d = $3 - $2; if (d >= 100) printf "    %6d  %s\n", d, $1}' | sort -rn | head -n 16
echo "CPU of tessaly.exe (one core; the engine is another process):"
echo "  downloading at $rate_mib MiB/s a connection, ${busy_s} s  $busy % (goal < 2); wineserver $busy_server %"
echo "  paused, ${idle_s} s                              $idle % (goal < 0.2); wineserver $idle_server %"
echo "  the plain window, 10 s                       $plain_idle %; wineserver $plain_server %"
echo "the rest of the game at full speed took $took s; the file is identical"
