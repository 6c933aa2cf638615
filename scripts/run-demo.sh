#!/usr/bin/env bash
# The main job: builds the client and its stand-ins, starts the demo world
# (configuration server, game files, beacons) on a free loopback port, lets
# tessaly-headless download the demo game through the real download service,
# then starts tessaly.exe from the demo's branded folder, on $DISPLAY when one
# is usable or else on an Xvfb display, and writes a screenshot whose path it
# prints.
#   --movie   the artwork area plays the demo movie (background kind 1) through
#             the stand-in movie player, registered in the demo's prefix
set -euo pipefail
movie=0
for arg in "$@"; do
  case $arg in
    --movie) movie=1 ;;
    *) echo "usage: run-demo.sh [--movie]" >&2; exit 2 ;;
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
"$root/scripts/build.sh" $tree tessaly tessaly-headless dl_peer_id torvane_setup >/dev/null
[ $movie = 1 ] && "$root/scripts/build.sh" $tree flash_standin flash_demo_movie >/dev/null

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/world" "$demo/client"
cp "$build/app/tessaly.exe" "$build/tools/headless/tessaly-headless.exe" \
  "$build/standins/peer_id/dl_peer_id.dll" "$demo/client/"
cp -r "$root/res/skin/." "$demo/client/"
cp "$build/standins/host/torvane_setup.exe" "$demo/world/TorvaneSetup.exe"

world_pid=
cleanup() {
  [ -n "$world_pid" ] && kill "$world_pid" 2>/dev/null || true
  tessaly_wine_down
}
trap cleanup EXIT

python3 "$root/standins/world/world.py" --port 0 --root "$demo/world" \
  --port-file "$demo/world/port" >"$demo/world/stdout.log" 2>&1 &
world_pid=$!
for _ in $(seq 100); do
  [ -s "$demo/world/port" ] && break
  sleep 0.1
done
port=$(cat "$demo/world/port")
echo "demo world on 127.0.0.1:$port (log: $demo/world/world-beacons.log)"

# The demo branding, pointed at this world.
iconv -f UTF-16LE -t UTF-8 "$root/demo/tessaly.ini" | sed "s/^\(ConfigServer\|StatServer\)=.*\r$/\1=127.0.0.1:$port\r/" |
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

echo "== downloading the demo game with tessaly-headless"
mkdir -p "$demo/downloads"
(cd "$demo/client" && tessaly_wine tessaly-headless.exe "Z:${demo//\//\\}\\downloads\\" </dev/null) ||
  echo "tessaly-headless ended with an error (see above)"
echo "beacons the world received:"
sed 's/^/  /' "$demo/world/world-beacons.log" 2>/dev/null || true
seen=$(wc -l <"$demo/world/world-beacons.log" 2>/dev/null || echo 0)

echo "== starting tessaly.exe"
(cd "$demo/client" && tessaly_wine tessaly.exe </dev/null >/dev/null 2>&1) &
client=$!
title=$(iconv -f UTF-16LE -t UTF-8 "$demo/client/tessaly.ini" | sed -n 's/^GameTitle=\(.*\)\r$/\1/p')高速下载器
for _ in $(seq 100); do
  xdotool search --name "$title" >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1
shot=$root/build/demo-screenshot.png
import -window root "$shot"
echo "screenshot: $shot"
echo "beacons from tessaly.exe:"
tail -n +$((seen + 1)) "$demo/world/world-beacons.log" 2>/dev/null | sed 's/^/  /' || true

if [ $own_display = 1 ]; then
  kill "$client" 2>/dev/null || true
else
  echo "the client runs on $DISPLAY; close it from its tray menu (退出)"
  wait "$client" || true
fi
