# Shared set-up of the benchmark scripts; sourced, never run.
#   $bench_tree              build/win, or build/win64 where only 64-bit code runs
#   bench_init NAME          work folder, clean-up on exit
#   bench_wine_up [fresh]    the project's Wine prefix for this benchmark
#   bench_world ARGS...      the world server on a free loopback port ($port)
#   bench_background CMD...  a server process stopped on exit
#   bench_need_sha FILE DIGEST WHAT, bench_mbs BYTES SECONDS, bench_mbs_ms BYTES MS
#   bench_aria2c URL FILE CONNECTIONS   prints aria2c's MB/s
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
bench_pids=()
bench_wine=
# The Windows tree the tests run from: 32-bit, or 64-bit where Wine can run
# nothing else.
bench_tree=$root/build/win
[ "$(tessaly_wine_arch)" = win64 ] && bench_tree=$root/build/win64

bench_cleanup() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -n "${work:-}" ] && rm -rf "$work"
  if [ -n "$bench_wine" ]; then
    tessaly_wine_down
  fi
}

bench_init() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  trap bench_cleanup EXIT
}

bench_wine_up() {
  export TESSALY_PREFIX=${TESSALY_PREFIX:-$root/build/bench-prefix}
  tessaly_display_up
  tessaly_wine_up "$@" >/dev/null 2>&1
  bench_wine=1
}

bench_background() {
  "$@" &
  bench_pids+=("$!")
}

bench_world() {
  rm -f "$work/port"
  bench_background timeout 3600 python3 "$root/standins/world/world.py" --port 0 \
    --root "$work/world" --port-file "$work/port" "$@" >/dev/null 2>&1
  local _
  for _ in $(seq 200); do
    [ -s "$work/port" ] && break
    sleep 0.1
  done
  [ -s "$work/port" ] || { echo "the world server did not start" >&2; exit 1; }
  port=$(cat "$work/port")
}

bench_need_sha() {
  [ "$(sha256sum <"$1" | cut -d' ' -f1)" = "$2" ] || { echo "$3: wrong file" >&2; exit 1; }
}

bench_mbs() {
  awk -v b="$1" -v s="$2" 'BEGIN {printf "%.1f", b / s / 1e6}'
}

bench_mbs_ms() {
  awk -v b="$1" -v ms="$2" 'BEGIN {printf "%.1f", b / (ms / 1000) / 1e6}'
}

bench_aria2c() {
  command -v aria2c >/dev/null || apt-get install -y aria2 >/dev/null
  local start end
  rm -f "$2"
  start=$(date +%s.%N)
  aria2c -q -x "$3" -s "$3" -k 1M --file-allocation=none -d "$(dirname "$2")" \
    -o "$(basename "$2")" "$1"
  end=$(date +%s.%N)
  awk -v f="$(stat -c %s "$2")" -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", f / (e - s) / 1e6}'
}
