#!/usr/bin/env bash
# The main job: builds the client and its stand-ins, starts the demo world
# (configuration server, game files, beacons) on a free loopback port, makes
# the branded demo folder and starts tessaly.exe. With a usable $DISPLAY the
# person drives the window. Without one the script starts an Xvfb display and
# drives the window itself with real mouse clicks at the places the window
# reports through Active Accessibility: ready -> start -> downloading ->
# paused -> resumed -> complete -> "开始安装" runs the demo game's installer.
# It saves a screenshot of each state and prints their paths and the beacons
# the world received.
#   --movie   the artwork area plays the demo movie (background kind 1) through
#             the stand-in movie player, registered in the demo's prefix
#   --tips    once the window is ready, clicks the tips link, saves a
#             screenshot of the tips window and closes it; the stand-in browser
#             is registered in the demo's prefix to play the tips page (this
#             machine has no HTML engine)
set -euo pipefail
movie=0
tips=0
for arg in "$@"; do
  case $arg in
    --movie) movie=1 ;;
    --tips) tips=1 ;;
    *) echo "usage: run-demo.sh [--movie] [--tips]" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/setup-host.sh"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
# The 32-bit client, or its 64-bit build where 32-bit code cannot run.
tree=win
[ "$(tessaly_wine_arch)" = win64 ] && tree=win64
build=$root/build/$tree
"$root/scripts/build.sh" $tree tessaly dl_peer_id torvane_setup dozurudire_setup demo_game_setup \
  access_dump >/dev/null
[ $movie = 1 ] && "$root/scripts/build.sh" $tree flash_standin flash_demo_movie >/dev/null
[ $tips = 1 ] && "$root/scripts/build.sh" $tree standin_browser >/dev/null

# The engine takes file names in the system's ANSI code page: the game's
# Chinese folder name needs a Chinese locale for Wine (code page 936).
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 >/dev/null 2>&1 || echo "no zh_CN.UTF-8 locale: Chinese folder names may not work"
fi

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/world" "$demo/client" "$demo/shots"
cp "$build/app/tessaly.exe" "$build/standins/peer_id/dl_peer_id.dll" "$demo/client/"
cp -r "$root/res/skin/." "$demo/client/"
cp "$build/standins/host/torvane_setup.exe" "$demo/world/TorvaneSetup.exe"
cp "$build/standins/accelerator/dozurudire_setup.exe" "$demo/world/DozurudireSetup.exe"
cp "$build/standins/game/demo_game_setup.exe" "$demo/world/TessalyDemoSetup.exe"

world_pid=
client=
cleanup() {
  [ -n "$client" ] && kill "$client" 2>/dev/null || true
  [ -n "$world_pid" ] && kill "$world_pid" 2>/dev/null || true
  tessaly_wine_down
}
trap cleanup EXIT

# The game: the installer stand-in and two data files, served at 256 KiB/s a
# connection so that the downloading state lasts several seconds.
python3 "$root/standins/world/world.py" --port 0 --root "$demo/world" \
  --port-file "$demo/world/port" --game-file TessalyDemoSetup.exe@TessalyDemoSetup.exe \
  --game-file TessalyDemo.pak1:16M --game-file TessalyDemo.pak2:4M --rate 262144 \
  >"$demo/world/stdout.log" 2>&1 &
world_pid=$!
for _ in $(seq 100); do
  [ -s "$demo/world/port" ] && break
  sleep 0.1
done
port=$(cat "$demo/world/port")
echo "demo world on 127.0.0.1:$port (log: $demo/world/world-beacons.log)"

# The demo branding, pointed at this world.
iconv -f UTF-16LE -t UTF-8 "$root/demo/tessaly.ini" |
  sed "s/^\(ConfigServer\|StatServer\)=.*\r$/\1=127.0.0.1:$port\r/" |
  { cat; printf 'FervoUrl=http://127.0.0.1:%s/files/DozurudireSetup.exe\r\n' "$port"; } |
  iconv -f UTF-8 -t UTF-16LE >"$demo/client/tessaly.ini"
if [ $movie = 1 ]; then
  # Kind 1 ("BkgResType" 2): one movie file beside the program; the player
  # lives in a folder of its own, as an installed one would.
  cp "$build/standins/flash/demo.tmov" "$demo/client/"
  mkdir -p "$demo/player"
  cp "$build/standins/flash/flash_standin.dll" "$demo/player/"
  iconv -f UTF-16LE -t UTF-8 "$demo/client/tessaly.ini" |
    sed "s/^BkgResType=.*\r$/BkgResType=2\r/; s/^BkgRes=.*\r$/BkgRes=demo.tmov\r/" |
    iconv -f UTF-8 -t UTF-16LE >"$demo/client/tessaly.ini.new"
  mv "$demo/client/tessaly.ini.new" "$demo/client/tessaly.ini"
fi
if [ $tips = 1 ]; then
  mkdir -p "$demo/browser"
  cp "$build/standins/browser/standin_browser.dll" "$demo/browser/"
fi
# The tips window's title is the game title; the main window's adds 高速下载器.
game_title=$(iconv -f UTF-16LE -t UTF-8 "$demo/client/tessaly.ini" | sed -n 's/^GameTitle=\(.*\)\r$/\1/p')
title=${game_title}高速下载器

own_display=0
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then
  own_display=1
  unset DISPLAY
fi
export TESSALY_PREFIX=$root/build/demo-prefix
tessaly_display_up
tessaly_wine_up fresh
if [ $movie = 1 ]; then
  tessaly_wine regsvr32 /s "Z:${demo//\//\\}\\player\\flash_standin.dll" </dev/null ||
    echo "the stand-in movie player could not be registered"
fi
if [ $tips = 1 ]; then
  tessaly_wine regsvr32 /s "Z:${demo//\//\\}\\browser\\standin_browser.dll" </dev/null ||
    echo "the stand-in browser could not be registered"
fi

echo "== starting tessaly.exe"
(cd "$demo/client" && LANG=zh_CN.UTF-8 tessaly_wine tessaly.exe </dev/null >/dev/null 2>&1) &
client=$!

if [ $own_display = 0 ]; then
  echo "the client runs on $DISPLAY; close it from its tray menu (退出)"
  wait "$client" || true
  client=
  echo "beacons the world received:"
  sed 's/^/  /' "$demo/world/world-beacons.log" 2>/dev/null || true
  exit 0
fi

# What a screen reader reads of the window, one line per element: the main
# window, or the window titled $1.
# The main title carries the percentage while downloading: the window's title
# now. It may change between the look-up and the reading: then read again.
read_window() {
  local now out i
  for i in 1 2 3 4 5; do
    now=${1:-$(xdotool search --name "^$title" getwindowname 2>/dev/null | head -n 1 || true)}
    out=$(tessaly_wine "$build/tools/access_dump/access-dump.exe" "${now:-$title}" </dev/null 2>/dev/null || true)
    [ -n "$out" ] && break
    sleep 0.2
  done
  printf '%s\n' "$out"
}
# The line of the element whose help text is the control's name ($2: the
# title of another window).
element() { read_window "${2:-}" | grep -F "help=\"$1\"" | head -n 1 || true; }
# Waits up to $2 seconds until the element's line contains $3.
wait_for() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    element "$1" | grep -qF "$3" && return 0
    sleep 0.5
  done
  echo "timed out waiting for $1 to show $3" >&2
  return 1
}
# A real left click in the middle of the control ($2: of another window).
click() {
  local loc x y w h
  loc=$(element "$1" "${2:-}" | sed -n 's/.*location=\([-0-9,]*\).*/\1/p')
  IFS=, read -r x y w h <<<"$loc"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  sleep 0.3
  # Away again, so that the screenshot shows no hover.
  xdotool mousemove 5 790
}
shot() {
  sleep 0.5
  import -window root "$demo/shots/$1.png"
  echo "screenshot ($1): $demo/shots/$1.png"
}

wait_for ActionButton 60 'name="开始下载"'
wait_for TextTips1 30 'name=""'
shot 1-ready
if [ $tips = 1 ]; then
  # The tips link shows once the tips file has arrived; the window it opens
  # is titled with the game title and holds the page panel.
  for _ in $(seq 60); do
    element TextlinkTips | grep -v invisible | grep -q . && break
    sleep 0.5
  done
  click TextlinkTips
  for _ in $(seq 60); do
    element testBkg "$game_title" | grep -q . && break
    sleep 0.5
  done
  if element testBkg "$game_title" | grep -q .; then
    sleep 1
    shot 1-tips
    click closebtn "$game_title"
    sleep 1
  else
    echo "the tips window did not open" >&2
  fi
fi
click ActionButton
wait_for TextTips1 120 '正在下载中...'
sleep 2
shot 2-downloading
click ActionButton
wait_for TextTips1 30 '已暂停'
shot 3-paused
click ActionButton
wait_for TextTips1 60 '正在下载中...'
sleep 1
shot 4-resumed
wait_for ActionButton 180 'name="开始安装"'
shot 5-complete
click ActionButton
for _ in $(seq 40); do
  marker=$(find "$TESSALY_PREFIX/drive_c/downloads" -name 'TessalyDemoSetup.exe.ran' 2>/dev/null | head -n 1)
  [ -n "$marker" ] && break
  sleep 0.5
done
sleep 1
shot 6-installer
if [ -n "${marker:-}" ]; then
  echo "the demo game's installer ran: $marker"
else
  echo "the demo game's installer did not run" >&2
fi
echo "downloaded files:"
find "$TESSALY_PREFIX/drive_c/downloads" -type f -printf '  %p %s bytes\n' 2>/dev/null || true
echo "beacons the world received:"
sed 's/^/  /' "$demo/world/world-beacons.log" 2>/dev/null || true
