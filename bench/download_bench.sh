#!/usr/bin/env bash
# Download benchmark (not a test). Serves one file from a local nginx (127.0.0.1 only, at a free
# port, stopped on every way out) and times its download, for each counted run:
#   page   the module-selection page's download stage on the real page (bench_download.exe), with
#          a thread asking the page for an answer every 10 ms: the page's longest answer is shown
#   bare   a bare WinInet loop with the same agent, access type and flags, 16383-byte reads
#   before the page of another build (BENCH_BEFORE: a bench_download.exe built from an earlier
#          tree), when given
#   curl   native curl, for scale
# Prints each command's median seconds and MB/s, and the ratios page/bare (and before/bare).
#
#   bench/download_bench.sh
#
# Environment:
#   BENCH_MB         size of the file in MB (default 50)
#   BENCH_REPS       counted runs per command (default 5), after one warm-up run of each
#   BENCH_CPU        processor the Wine commands are pinned to (default 0)
#   BENCH_BEFORE     path of an earlier build's bench_download.exe, measured as "before"
#   BENCH_DATA       where the served file is kept (default build/bench-data)
#   BENCH_WINEPREFIX the Wine prefix (default build/bench-wineprefix)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
data=${BENCH_DATA:-$build/bench-data}
mb=${BENCH_MB:-50}
reps=${BENCH_REPS:-5}
cpu=${BENCH_CPU:-0}
before=${BENCH_BEFORE:-}
export WINEPREFIX=${BENCH_WINEPREFIX:-$build/bench-wineprefix}
source "$here/scripts/wine-env.sh"

bench_exe=$build/bin/bench_download.exe
[ -f "$bench_exe" ] || { echo "build first: $bench_exe is missing" >&2; exit 1; }
command -v nginx >/dev/null || { echo "nginx is missing: run scripts/setup.sh" >&2; exit 1; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT

# The served file: random bytes, made once per size.
mkdir -p "$data/www"
served=$data/www/bench.bin
if [ "$(stat -c %s "$served" 2>/dev/null || echo 0)" != $((mb * 1048576)) ]; then
    head -c $((mb * 1048576)) /dev/urandom > "$served"
fi

# A free port on the loopback, picked by the system.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    types { application/octet-stream bin; }
    server { listen 127.0.0.1:$port; root $data/www; }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
url=http://127.0.0.1:$port
for _ in $(seq 100); do
    curl -fsI "$url/bench.bin" >/dev/null 2>&1 && break
    kill -0 "$nginx_pid" 2>/dev/null || { cat "$work/nginx/error.log" >&2; exit 1; }
    sleep 0.1
done
curl -fsI "$url/bench.bin" >/dev/null || { echo "nginx does not answer" >&2; exit 1; }

ensure_wine_prefix
start_display
winpath() { winepath -w "$1" 2>/dev/null; }
mkdir -p "$work/download"
folder=$(winpath "$work/download")

measure_page() { taskset -c "$cpu" wine "$bench_exe" page "$url" "$folder"; }
measure_bare() { taskset -c "$cpu" wine "$bench_exe" bare "$url" "$folder"; }
measure_before() { taskset -c "$cpu" wine "$before" page "$url" "$folder"; }
measure_curl() {
    local start end
    start=$(date +%s.%N)
    curl -fso "$work/download/curl.bin" "$url/bench.bin"
    end=$(date +%s.%N)
    rm -f "$work/download/curl.bin"
    echo "seconds=$(echo "$end - $start" | bc -l) bytes=$((mb * 1048576)) longest_answer_ms=0"
}

methods=(bare page)
[ -n "$before" ] && methods+=(before)
methods+=(curl)
declare -A results answers
for method in "${methods[@]}"; do "measure_$method" >/dev/null; done  # warm-up
for _ in $(seq "$reps"); do
    for method in "${methods[@]}"; do
        line=$("measure_$method" | grep seconds=) || { echo "$method failed" >&2; exit 1; }
        seconds=${line#seconds=}; seconds=${seconds%% *}
        results[$method]+="$seconds "
        answer=${line##*longest_answer_ms=}
        answers[$method]+="$answer "
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
maximum() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -n 1; }
printf '%-8s %10s %10s %18s\n' command seconds MB/s longest_answer_ms
declare -A medians
for method in "${methods[@]}"; do
    m=$(echo "${results[$method]}" | median)
    medians[$method]=$m
    printf '%-8s %10.3f %10.1f %18s\n' "$method" "$m" "$(echo "$mb / $m" | bc -l)" \
        "$(echo "${answers[$method]}" | maximum)"
done
for ratio in page/bare before/bare page/before; do
    a=${ratio%/*}; b=${ratio#*/}
    [ -n "${medians[$a]:-}" ] && [ -n "${medians[$b]:-}" ] || continue
    printf '%-12s %6.2f\n' "$ratio" "$(echo "${medians[$a]} / ${medians[$b]}" | bc -l)"
done
