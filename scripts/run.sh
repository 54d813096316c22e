#!/usr/bin/env bash
# The main job. Installs what is missing and builds the release tree into
# install/velgrade, then:
#   scripts/run.sh          runs the demonstration: a throwaway organisation
#                           (authority, server profile, user profile) in a
#                           temporary folder, a small web site, velgrade-server
#                           in front of it and velgrade signed on as the user;
#                           curl fetches a protected page through velgrade, the
#                           bytes between the two proxies are recorded and
#                           summed up, then everything stops (exit 0 on success)
#   scripts/run.sh proxy [OPTIONS...]
#                           starts just the proxy on 127.0.0.1:8080 with the
#                           corvask.ini installed beside it (in the foreground;
#                           Ctrl-C ends it). Point a browser's HTTP proxy, or
#                           curl -x http://127.0.0.1:8080, at it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" release
bin=$top/install/velgrade

if [ "${1:-}" = proxy ]; then
  shift
  echo "installed into $bin:"
  ls "$bin"
  exec "$bin/velgrade" "$@"
fi

work=$(mktemp -d)
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
  for _ in $(seq 1 200); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1',$1),timeout=1)" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  exit 1
}
wait_for_file() {
  for _ in $(seq 1 200); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "$1 did not appear" >&2
  exit 1
}
step() { printf '\n== %s\n' "$*"; }

step "A throwaway organisation in $work"
printf 'demo-server-password\n' >"$work/server.password"
printf 'demo-user-password\n' >"$work/user.password"
chmod 600 "$work/server.password" "$work/user.password"
"$bin/velgrade-admin" create-ca --dir "$work/ca" --name "o=Demo Organisation"
"$bin/velgrade-admin" issue --ca "$work/ca" --name "cn=Server Demo,o=Demo Organisation" --server \
  --password-file "$work/server.password" --out "$work/server.epf"
"$bin/velgrade-admin" issue --ca "$work/ca" --name "cn=Dana Demo,o=Demo Organisation" \
  --password-file "$work/user.password" --out "$work/user.epf"

step "The protected web site (python3 http.server)"
mkdir -p "$work/site"
secret="The quarterly figures: 42 widgets, confidential."
printf '<html><body><h1>Protected page</h1><p>%s</p></body></html>\n' "$secret" >"$work/site/index.html"
origin_port=$(free_port)
(cd "$work/site" && exec python3 -m http.server "$origin_port" --bind 127.0.0.1) >"$work/origin.log" 2>&1 &
pids+=($!)
wait_for_port "$origin_port"
echo "origin on 127.0.0.1:$origin_port"

step "velgrade-server in front of it"
server_port=$(free_port)
cat >"$work/server.ini" <<INI
[Server]
listenAddress = 127.0.0.1
listenPort = $server_port
profile = $work/server.epf
passwordFile = $work/server.password
originHost = 127.0.0.1
originPort = $origin_port
secureURL = /velgrade
insecureRedirectURL = http://www.example.com/get-velgrade.html
verbose = yes
INI
"$bin/velgrade-server" --config "$work/server.ini" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for_port "$server_port"
echo "velgrade-server on 127.0.0.1:$server_port"

# Between the two proxies: a relay that records every byte it passes.
python3 "$top/tests/e2e/wire_relay.py" "$work/relay.port" "$server_port" "$work/wire.bin" &
pids+=($!)
wait_for_file "$work/relay.port"
site_port=$(cat "$work/relay.port")

step "velgrade, signed on as the user"
proxy_port=$(free_port)
mkdir -p "$work/client"
printf '[Velgrade]\nport=%s\n' "$proxy_port" >"$work/client/corvask.ini"
mkfifo "$work/client/login"
VELGRADE_DEBUG=1 "$bin/velgrade" -c "$work/client" --login <"$work/client/login" >"$work/client.out" \
  2>"$work/client.log" &
pids+=($!)
exec 3>"$work/client/login"
printf '%s\ndemo-user-password\n' "$work/user.epf" >&3
wait_for_port "$proxy_port"
echo "velgrade on 127.0.0.1:$proxy_port"

step "curl -x http://127.0.0.1:$proxy_port http://127.0.0.1:$site_port/index.html"
curl -sf -x "http://127.0.0.1:$proxy_port" "http://127.0.0.1:$site_port/index.html" | tee "$work/page.html"
grep -q "$secret" "$work/page.html" || { echo "the page did not arrive" >&2; exit 1; }
curl -sf -x "http://127.0.0.1:$proxy_port" "http://127.0.0.1:$site_port/index.html" >/dev/null

step "What travelled between velgrade and velgrade-server"
grep -E "Received (INIT|ACCEPT|WRAP) token|Sending (INIT|WRAP) token|Created new client security context" \
  "$work/client.log" | sed 's/^Velgrade: @[^ ]* [^ ]* /  /'
python3 - "$work/wire.bin" "$secret" <<'PY'
import sys
wire = open(sys.argv[1], "rb").read()
secret = sys.argv[2].encode()
tokens = wire.count(b"Content-Type: application/x-Velgrade")
print(f"  {len(wire)} bytes crossed in all; {tokens} token messages (application/x-Velgrade).")
print("  The first request went in the clear and was answered with the announcement:")
start = wire.find(b"HTTP/1.0 302")
if start >= 0:
    for line in wire[start:wire.find(b"\r\n\r\n", start)].split(b"\r\n"):
        print("    " + line.decode("latin-1"))
print("  The page text " + ("DID cross in the clear!" if secret in wire else "never crossed in the clear."))
sys.exit(1 if secret in wire else 0)
PY
exec 3>&-

step "Stopping everything"
