#!/usr/bin/env bash
# Throughput of tessaly-fetch (under Wine) against native curl, both writing a
# 512 MiB file served by nginx on loopback, five runs each; prints the medians,
# their ratio and the tool's peak memory.
#   FETCH  the tool (default tools/fetch/tessaly-fetch.exe of the test tree)
#   WINE   command that runs it (default: Wine in the project's prefix)
#   SIZE_MIB, RUNS  file size and runs (512, 5)
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"
size_mib=${SIZE_MIB:-512}
runs=${RUNS:-5}
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || apt-get install -y nginx-light >/dev/null
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

bench_init bench_fetch
if [ -z "${WINE:-}" ]; then
  bench_wine_up
  WINE=wine
  [ "$WINEARCH" = win64 ] && WINE=$root/scripts/wine64
fi
fetch=${FETCH:-$bench_tree/tools/fetch/tessaly-fetch.exe}
[ -f "$fetch" ] || { echo "bench_fetch: $fetch not built" >&2; exit 1; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/www" "$work/tmp"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
bench_background "$nginx_bin" -c "$work/nginx.conf" -p "$work"
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.1
done
url=http://127.0.0.1:$port/big.bin
bytes=$((size_mib * 1024 * 1024))
out=$work/out.bin
win_out="Z:${out//\//\\}"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

curl_mbs=()
for _ in $(seq "$runs"); do
  rm -f "$out"
  t=$(curl -s -o "$out" -w '%{time_total}' "$url")
  [ "$(stat -c %s "$out")" -eq "$bytes" ] || { echo "curl: short file" >&2; exit 1; }
  curl_mbs+=("$(bench_mbs "$bytes" "$t")")
done

tool_mbs=()
peak_kb=0
for _ in $(seq "$runs"); do
  rm -f "$out"
  line=$(/usr/bin/time -f '%M' -o "$work/time.txt" $WINE "$fetch" "$url" "$win_out" | tail -n 1)
  set -- $line
  [ "$1" = complete ] && [ "$2" = 0 ] && [ "$3" -eq "$bytes" ] || { echo "tool: $line" >&2; exit 1; }
  cmp -s "$out" "$work/www/big.bin" || { echo "tool: file differs" >&2; exit 1; }
  tool_mbs+=("$(bench_mbs_ms "$bytes" "$4")")
  kb=$(tail -n 1 "$work/time.txt")
  [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
done

curl_median=$(printf '%s\n' "${curl_mbs[@]}" | median)
tool_median=$(printf '%s\n' "${tool_mbs[@]}" | median)
echo "file: ${size_mib} MiB over loopback, $runs runs each"
echo "curl MB/s:          ${curl_mbs[*]}  (median $curl_median)"
echo "tessaly-fetch MB/s: ${tool_mbs[*]}  (median $tool_median)"
awk -v t="$tool_median" -v c="$curl_median" 'BEGIN {printf "ratio tool/curl: %.2f (goal >= 0.70)\n", t / c}'
awk -v k="$peak_kb" 'BEGIN {printf "tool peak memory (max RSS): %.1f MB (goal < 20)\n", k / 1024}'
