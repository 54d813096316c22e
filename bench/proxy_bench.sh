#!/usr/bin/env bash
# Side-by-side throughput of the velgrade proxy, tinyproxy and no proxy at
# all, in one run on loopback: requests per second for a 1 KiB file at
# concurrency 1 and 16, and MB/s for a 10 MiB file, each through ab against
# the same nginx. Prints a table and velgrade's ratio to tinyproxy.
# usage: bench/proxy_bench.sh [VELGRADE_PROGRAM]   (default: the release
# install tree, built with scripts/build.sh release)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
velgrade=${1:-$top/install/velgrade/velgrade}
small_requests=${BENCH_SMALL_REQUESTS:-20000}
large_requests=${BENCH_LARGE_REQUESTS:-200}
for tool in nginx tinyproxy ab python3 "$velgrade"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_for_port() {
  for _ in $(seq 1 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1',$1),timeout=1)" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  exit 1
}

mkdir -p "$work/www" "$work/nginx" "$work/velgrade"
head -c 1024 /dev/urandom >"$work/www/1k"
head -c 10485760 /dev/urandom >"$work/www/10m"
nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { listen 127.0.0.1:$nginx_port; root $work/www; }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
pids+=($!)
tiny_port=$(free_port)
printf 'Port %s\nListen 127.0.0.1\nMaxClients 100\nLogLevel Error\nLogFile "%s/tinyproxy.log"\n' \
  "$tiny_port" "$work" >"$work/tinyproxy.conf"
tinyproxy -d -c "$work/tinyproxy.conf" &
pids+=($!)
velgrade_port=$(free_port)
cp "$top/app/corvask.ini" "$work/velgrade/corvask.ini"
sed -i "s/^port=.*/port=$velgrade_port/" "$work/velgrade/corvask.ini"
"$velgrade" -c "$work/velgrade" 2>"$work/velgrade/stderr" &
pids+=($!)
wait_for_port "$nginx_port"
wait_for_port "$tiny_port"
wait_for_port "$velgrade_port"

# measure PROXY_PORT|- CONCURRENCY REQUESTS FILE FIELD: one ab figure.
measure() {
  local via=() out
  [ "$1" != - ] && via=(-X "127.0.0.1:$1")
  out=$(ab -q -n "$3" -c "$2" "${via[@]}" "http://127.0.0.1:$nginx_port/$4" 2>&1)
  if ! grep -q "^Failed requests: *0" <<<"$out"; then
    echo "failed requests through ${1}: $(grep -E '^(Failed|Non-2xx)' <<<"$out" | tr '\n' ' ')" >&2
  fi
  case $5 in
    rps) awk '/^Requests per second/ {printf "%.0f", $4}' <<<"$out" ;;
    mbs) awk '/^Transfer rate/ {printf "%.0f", $3 / 1024}' <<<"$out" ;;
  esac
}

declare -A result
for target in direct tinyproxy velgrade; do
  case $target in
    direct) port=- ;;
    tinyproxy) port=$tiny_port ;;
    velgrade) port=$velgrade_port ;;
  esac
  measure "$port" 1 200 1k rps >/dev/null  # warm up
  result[$target,c1]=$(measure "$port" 1 "$small_requests" 1k rps)
  result[$target,c16]=$(measure "$port" 16 "$small_requests" 1k rps)
  result[$target,big]=$(measure "$port" 1 "$large_requests" 10m mbs)
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.0f%%", 100 * a / b; else print "-" }'; }
printf '\n%-22s %14s %14s %14s\n' "" "1 KiB c=1" "1 KiB c=16" "10 MiB"
printf '%-22s %14s %14s %14s\n' "" "requests/s" "requests/s" "MB/s"
for target in direct tinyproxy velgrade; do
  printf '%-22s %14s %14s %14s\n' "$target" "${result[$target,c1]}" "${result[$target,c16]}" "${result[$target,big]}"
done
printf '%-22s %14s %14s %14s\n' "velgrade / tinyproxy" \
  "$(ratio "${result[velgrade,c1]}" "${result[tinyproxy,c1]}")" \
  "$(ratio "${result[velgrade,c16]}" "${result[tinyproxy,c16]}")" \
  "$(ratio "${result[velgrade,big]}" "${result[tinyproxy,big]}")"
echo "(goal: small requests at least 100%, 10 MiB at least 80% of tinyproxy)"
