#!/usr/bin/env bash
# Throughput of the stand-in download engine (tdengine-get under Wine) against
# aria2c with the same number of connections, both fetching a generated file
# from the world server on loopback with a per-connection rate limit. One run
# each; prints both figures and their ratio.
#   ENGINE_DIR   folder with tdengine-get.exe, the library and tdengine.exe
#                (default engine/ of the test tree)
#   SIZE_MIB, CONNECTIONS, RATE_MIB   200, 4, 20
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"
engine_dir=${ENGINE_DIR:-$bench_tree/engine}
size_mib=${SIZE_MIB:-200}
connections=${CONNECTIONS:-4}
rate_mib=${RATE_MIB:-20}
[ -f "$engine_dir/tdengine-get.exe" ] || { echo "bench_engine: $engine_dir not built" >&2; exit 1; }

bench_init bench_engine
bench_wine_up
bench_world --game-file "bench.bin:${size_mib}M" --rate $((rate_mib * 1024 * 1024))
url=http://127.0.0.1:$port/game/bench.bin
digest=$(python3 "$root/standins/world/world.py" --digest "bench.bin:${size_mib}M")
bytes=$((size_mib * 1024 * 1024))

mkdir -p "$work/aria" "$work/engine"
aria_mbs=$(bench_aria2c "$url" "$work/aria/bench.bin" "$connections")
bench_need_sha "$work/aria/bench.bin" "$digest" aria2c

line=$(TDENGINE_CONNECTIONS=$connections tessaly_wine "$engine_dir/tdengine-get.exe" "$url" \
  "Z:${work//\//\\}\\engine\\" | tr -d '\r' | tail -n 1)
set -- $line
[ "$1" = complete ] && [ "$2" -eq "$bytes" ] || { echo "engine: $line" >&2; exit 1; }
bench_need_sha "$work/engine/bench.bin" "$digest" engine
engine_mbs=$(bench_mbs_ms "$bytes" "$3")

echo "file: ${size_mib} MiB, $connections connections, ${rate_mib} MiB/s per connection, one run each"
echo "aria2c MB/s:       $aria_mbs"
echo "tdengine MB/s:     $engine_mbs"
awk -v t="$engine_mbs" -v a="$aria_mbs" 'BEGIN {printf "ratio engine/aria2c: %.2f (goal >= 0.90)\n", t / a}'
