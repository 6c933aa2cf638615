#!/usr/bin/env bash
# Throughput of the stand-in download engine (tdengine-get under Wine) against
# aria2c with the same number of connections, both fetching a generated file
# from the world server on loopback with a per-connection rate limit. One run
# each; prints both figures and their ratio.
#   ENGINE_DIR   folder with tdengine-get.exe, the library and tdengine.exe
#                (default build/win64/engine)
#   SIZE_MIB, CONNECTIONS, RATE_MIB   200, 4, 20
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
engine_dir=${ENGINE_DIR:-$root/build/win64/engine}
size_mib=${SIZE_MIB:-200}
connections=${CONNECTIONS:-4}
rate_mib=${RATE_MIB:-20}
[ -f "$engine_dir/tdengine-get.exe" ] || { echo "bench_engine: $engine_dir not built" >&2; exit 1; }
command -v aria2c >/dev/null || apt-get install -y aria2 >/dev/null

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
export TESSALY_PREFIX=${TESSALY_PREFIX:-$root/build/bench-prefix}
tessaly_wine_up

work=$(mktemp -d /tmp/bench_engine.XXXXXX)
world_pid=
cleanup() {
  if [ -n "$world_pid" ]; then
    kill "$world_pid" 2>/dev/null || true
    wait "$world_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  tessaly_wine_down
}
trap cleanup EXIT

timeout 900 python3 "$root/standins/world/world.py" --port 0 --root "$work/world" \
  --port-file "$work/port" --game-file "bench.bin:${size_mib}M" \
  --rate $((rate_mib * 1024 * 1024)) >/dev/null 2>&1 &
world_pid=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(cat "$work/port")
url=http://127.0.0.1:$port/game/bench.bin
digest=$(python3 "$root/standins/world/world.py" --digest "bench.bin:${size_mib}M")
bytes=$((size_mib * 1024 * 1024))

mkdir -p "$work/aria" "$work/engine"
start=$(date +%s.%N)
aria2c -q -x "$connections" -s "$connections" -k 1M --file-allocation=none \
  -d "$work/aria" -o bench.bin "$url"
end=$(date +%s.%N)
[ "$(sha256sum <"$work/aria/bench.bin" | cut -d' ' -f1)" = "$digest" ] || { echo "aria2c: wrong file" >&2; exit 1; }
aria_mbs=$(awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", b / (e - s) / 1e6}')

line=$(TDENGINE_CONNECTIONS=$connections tessaly_wine "$engine_dir/tdengine-get.exe" "$url" \
  "Z:${work//\//\\}\\engine\\" | tr -d '\r' | tail -n 1)
set -- $line
[ "$1" = complete ] && [ "$2" -eq "$bytes" ] || { echo "engine: $line" >&2; exit 1; }
[ "$(sha256sum <"$work/engine/bench.bin" | cut -d' ' -f1)" = "$digest" ] || { echo "engine: wrong file" >&2; exit 1; }
engine_mbs=$(awk -v b="$bytes" -v ms="$3" 'BEGIN {printf "%.1f", b / (ms / 1000) / 1e6}')

echo "file: ${size_mib} MiB, $connections connections, ${rate_mib} MiB/s per connection, one run each"
echo "aria2c MB/s:       $aria_mbs"
echo "tdengine MB/s:     $engine_mbs"
awk -v t="$engine_mbs" -v a="$aria_mbs" 'BEGIN {printf "ratio engine/aria2c: %.2f (goal >= 0.90)\n", t / a}'
