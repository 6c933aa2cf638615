#!/usr/bin/env bash
# The client's download path end to end: tessaly-headless (service, worker,
# engine binding and the stand-in engine under Wine) against aria2c with the
# same number of connections, from the world server limited per connection.
# Then the client process's peak working set during a larger download, and
# its CPU use while every task is paused.
#   BUILD        the Windows build tree (default: the test tree)
#   SIZE_MIB, CONNECTIONS, RATE_MIB, MEMORY_MIB, IDLE_S   200, 4, 20, 1024, 20
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"
build=$(cd "${BUILD:-$bench_tree}" && pwd)
size_mib=${SIZE_MIB:-200}
connections=${CONNECTIONS:-4}
rate_mib=${RATE_MIB:-20}
memory_mib=${MEMORY_MIB:-1024}
idle_s=${IDLE_S:-20}
for f in tools/headless/tessaly-headless.exe standins/host/torvane_setup.exe \
         standins/peer_id/dl_peer_id.dll; do
  [ -f "$build/$f" ] || { echo "bench_headless: $build/$f not built" >&2; exit 1; }
done

bench_init bench_headless
export TESSALY_PREFIX=${TESSALY_PREFIX:-$build/bench-headless-prefix}
bench_wine_up fresh
bench_world --game-file "bench.bin:${size_mib}M" --game-file "big.bin:${memory_mib}M" \
  --rate $((rate_mib * 1024 * 1024)) --set-rate-path /game/
bytes=$((size_mib * 1024 * 1024))

# A current host, so that the engine loads at once.
cp "$build/standins/host/torvane_setup.exe" "$work/"
(cd "$work" && tessaly_wine torvane_setup.exe /S)

# One branded folder per run, each listing one game file.
branded() {  # name file
  local dir=$work/$1
  mkdir -p "$dir/games"
  cp "$build/tools/headless/tessaly-headless.exe" "$build/standins/peer_id/dl_peer_id.dll" "$dir/"
  printf '[Tessaly]\r\nGameId=1001\r\nConfigServer=127.0.0.1:%s\r\nStatServer=127.0.0.1:%s\r\n' \
    "$port" "$port" >"$dir/tessaly.ini"
  python3 - "$port" "$2" "$dir/GameInfo.xml" <<'PY'
import sys, urllib.request
port, name, out = sys.argv[1:]
xml = urllib.request.urlopen("http://127.0.0.1:%s/Configuration/1001.xml" % port).read().decode("utf-8")
head, rest = xml.split("<gameurls>", 1)
tail = rest.split("</gameurls>", 1)[1]
url = "http://127.0.0.1:%s/game/%s" % (port, name)
open(out, "w", encoding="utf-8", newline="").write(
    head + "<gameurls><gameurl>%s</gameurl></gameurls>" % url + tail)
PY
}
run() {  # name args...
  local dir=$work/$1
  shift
  (cd "$dir" && TDENGINE_CONNECTIONS=$connections tessaly_wine tessaly-headless.exe \
    "Z:${dir//\//\\}\\games\\" "$@" | tr -d '\r')
}
digest() { python3 "$root/standins/world/world.py" --digest "$1"; }

mkdir -p "$work/aria"
aria_mbs=$(bench_aria2c "http://127.0.0.1:$port/game/bench.bin" "$work/aria/bench.bin" "$connections")
bench_need_sha "$work/aria/bench.bin" "$(digest "bench.bin:${size_mib}M")" aria2c
rm -f "$work/aria/bench.bin"

branded speed bench.bin
out=$(run speed)
ms=$(sed -n 's/^game download took \([0-9]*\) ms$/\1/p' <<<"$out")
[ -n "$ms" ] || { echo "headless: $out" >&2; exit 1; }
bench_need_sha "$work/speed/games/bench.bin" "$(digest "bench.bin:${size_mib}M")" headless
rm -f "$work/speed/games/bench.bin"
client_mbs=$(bench_mbs_ms "$bytes" "$ms")
echo "download ${size_mib} MiB, $connections connections at $rate_mib MiB/s each:"
echo "  aria2c            $aria_mbs MB/s"
echo "  tessaly-headless  $client_mbs MB/s (from the start of the game tasks)"
awk -v a="$aria_mbs" -v c="$client_mbs" 'BEGIN {printf "  ratio             %.2f (goal 0.9)\n", c / a}'

branded memory big.bin
out=$(run memory)
grep -q '^done: complete' <<<"$out" || { echo "headless: $out" >&2; exit 1; }
peak=$(sed -n 's/^peak working set \([0-9]*\) bytes$/\1/p' <<<"$out")
rm -f "$work/memory/games/big.bin"
awk -v p="$peak" -v m="$memory_mib" \
  'BEGIN {printf "peak working set of the client during %d MiB: %.1f MB (goal < 30)\n", m, p / 1e6}'

branded idle big.bin
out=$(run idle --pause-after 3 --idle-seconds "$idle_s")
grep -q '^done: paused' <<<"$out" || { echo "headless: $out" >&2; exit 1; }
echo "client CPU while paused: $(sed -n 's/^idle cpu \(.*\)$/\1/p' <<<"$out") of one core (goal < 1 %)"
