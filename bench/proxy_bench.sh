#!/usr/bin/env bash
# Side-by-side throughput in one run on loopback, each through ab against the
# same nginx: no proxy at all, tinyproxy, the velgrade proxy on the plain
# path, the protected path (velgrade -> velgrade-server -> nginx, one security
# context reused by every request), and a stunnel mutual-TLS tunnel (client
# and server certificates, a full handshake for every connection). Requests
# per second for a 1 KiB file at concurrency 1 and 16, and MB/s for a 10 MiB
# file. Prints a table and the ratios the goals are stated in.
# usage: bench/proxy_bench.sh [VELGRADE_PROGRAM]   (default: the release
# install tree, built with scripts/build.sh release; velgrade-server and
# velgrade-admin are taken from beside it)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
velgrade=${1:-$top/install/velgrade/velgrade}
small_requests=${BENCH_SMALL_REQUESTS:-20000}
large_requests=${BENCH_LARGE_REQUESTS:-200}
bin=$(dirname "$velgrade")
for tool in nginx tinyproxy ab python3 openssl stunnel4 "$velgrade" "$bin/velgrade-server" "$bin/velgrade-admin"; do
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

# The protected path: a throwaway organisation, velgrade-server in front of
# nginx and a second velgrade signed on as the user.
mkdir -p "$work/org" "$work/secure-client"
printf 'bench-server-pass\n' >"$work/org/server.password"
printf 'bench-user-pass\n' >"$work/org/user.password"
"$bin/velgrade-admin" create-ca --dir "$work/org/ca" --name "o=Bench" >/dev/null
"$bin/velgrade-admin" issue --ca "$work/org/ca" --name "cn=Server Bench,o=Bench" --server \
  --password-file "$work/org/server.password" --out "$work/org/server.epf" >/dev/null
"$bin/velgrade-admin" issue --ca "$work/org/ca" --name "cn=Bench User,o=Bench" \
  --password-file "$work/org/user.password" --out "$work/org/user.epf" >/dev/null
vserver_port=$(free_port)
cat >"$work/org/server.ini" <<INI
[Server]
listenAddress = 127.0.0.1
listenPort = $vserver_port
profile = $work/org/server.epf
passwordFile = $work/org/server.password
originHost = 127.0.0.1
originPort = $nginx_port
secureURL = /velgrade
insecureRedirectURL = http://127.0.0.1/
noEncryptTypes =
INI
"$bin/velgrade-server" --config "$work/org/server.ini" 2>"$work/org/server.log" &
pids+=($!)
secure_port=$(free_port)
cp "$top/app/corvask.ini" "$work/secure-client/corvask.ini"
sed -i "s/^port=.*/port=$secure_port/" "$work/secure-client/corvask.ini"
mkfifo "$work/secure-client/login"
"$velgrade" -c "$work/secure-client" --login <"$work/secure-client/login" >"$work/secure-client/stdout" \
  2>"$work/secure-client/stderr" &
pids+=($!)
exec 3>"$work/secure-client/login"
printf '%s\nbench-user-pass\n' "$work/org/user.epf" >&3
wait_for_port "$vserver_port"
wait_for_port "$secure_port"

# The stunnel tunnel: its own authority, a server and a client certificate,
# no session resumption, so every connection pays the whole handshake.
tls=$work/tls
mkdir -p "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Bench CA" \
  -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>/dev/null
for who in server client; do
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$who" \
    -keyout "$tls/$who.key" -out "$tls/$who.csr" 2>/dev/null
  openssl x509 -req -in "$tls/$who.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
    -out "$tls/$who.pem" 2>/dev/null
done
tunnel_server_port=$(free_port)
tunnel_client_port=$(free_port)
cat >"$tls/server.conf" <<CONF
foreground = yes
debug = 3
pid =
[bench]
accept = 127.0.0.1:$tunnel_server_port
connect = 127.0.0.1:$nginx_port
cert = $tls/server.pem
key = $tls/server.key
CAfile = $tls/ca.pem
verifyChain = yes
requireCert = yes
sessionCacheSize = 1
sessionCacheTimeout = 1
options = NO_TICKET
CONF
cat >"$tls/client.conf" <<CONF
foreground = yes
debug = 3
pid =
[bench]
client = yes
accept = 127.0.0.1:$tunnel_client_port
connect = 127.0.0.1:$tunnel_server_port
cert = $tls/client.pem
key = $tls/client.key
CAfile = $tls/ca.pem
verifyChain = yes
sessionResume = no
options = NO_TICKET
CONF
stunnel4 "$tls/server.conf" 2>"$tls/server.log" &
pids+=($!)
stunnel4 "$tls/client.conf" 2>"$tls/client.log" &
pids+=($!)
wait_for_port "$tunnel_server_port"
wait_for_port "$tunnel_client_port"

# measure PROXY_PORT|- CONCURRENCY REQUESTS FILE FIELD [SITE_PORT]: one ab
# figure for http://127.0.0.1:SITE_PORT/FILE (default: nginx itself).
measure() {
  local via=() out
  [ "$1" != - ] && via=(-X "127.0.0.1:$1")
  out=$(ab -q -n "$3" -c "$2" "${via[@]}" "http://127.0.0.1:${6:-$nginx_port}/$4" 2>&1)
  if ! grep -q "^Failed requests: *0" <<<"$out"; then
    echo "failed requests through ${1}: $(grep -E '^(Failed|Non-2xx)' <<<"$out" | tr '\n' ' ')" >&2
  fi
  case $5 in
    rps) awk '/^Requests per second/ {printf "%.0f", $4}' <<<"$out" ;;
    mbs) awk '/^Transfer rate/ {printf "%.0f", $3 / 1024}' <<<"$out" ;;
  esac
}

declare -A result
targets=(direct tinyproxy velgrade protected stunnel)
for target in "${targets[@]}"; do
  site=$nginx_port
  case $target in
    direct) port=- ;;
    tinyproxy) port=$tiny_port ;;
    velgrade) port=$velgrade_port ;;
    protected) port=$secure_port site=$vserver_port ;;
    stunnel) port=- site=$tunnel_client_port ;;
  esac
  measure "$port" 1 200 1k rps "$site" >/dev/null  # warm up (and, protected, sign on and build the context)
  result[$target,c1]=$(measure "$port" 1 "$small_requests" 1k rps "$site")
  result[$target,c16]=$(measure "$port" 16 "$small_requests" 1k rps "$site")
  result[$target,big]=$(measure "$port" 1 "$large_requests" 10m mbs "$site")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.0f%%", 100 * a / b; else print "-" }'; }
printf '\n%-22s %14s %14s %14s\n' "" "1 KiB c=1" "1 KiB c=16" "10 MiB"
printf '%-22s %14s %14s %14s\n' "" "requests/s" "requests/s" "MB/s"
for target in "${targets[@]}"; do
  printf '%-22s %14s %14s %14s\n' "$target" "${result[$target,c1]}" "${result[$target,c16]}" "${result[$target,big]}"
done
printf '%-22s %14s %14s %14s\n' "velgrade / tinyproxy" \
  "$(ratio "${result[velgrade,c1]}" "${result[tinyproxy,c1]}")" \
  "$(ratio "${result[velgrade,c16]}" "${result[tinyproxy,c16]}")" \
  "$(ratio "${result[velgrade,big]}" "${result[tinyproxy,big]}")"
printf '%-22s %14s %14s %14s\n' "protected / stunnel" \
  "$(ratio "${result[protected,c1]}" "${result[stunnel,c1]}")" \
  "$(ratio "${result[protected,c16]}" "${result[stunnel,c16]}")" \
  "$(ratio "${result[protected,big]}" "${result[stunnel,big]}")"
echo "(goals: plain small requests at least 100%, 10 MiB at least 80% of tinyproxy;"
echo " protected small requests at least 200%, 10 MiB at least 70% of stunnel)"
exec 3>&-
