#!/usr/bin/env bash
# End to end through the protected path: curl -> velgrade -> (a recording
# relay) -> velgrade-server -> a python origin, with a throwaway authority and
# profiles, all on 127.0.0.1 ports chosen here.
# usage: secure_e2e.sh VELGRADE VELGRADE_SERVER VELGRADE_ADMIN
set -uo pipefail
velgrade=$1
server=$2
admin=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/e2e_common.sh
. "$here/e2e_common.sh"
make_organisation "$admin"

start_origin secure_origin.py
write_server_ini "noEncryptTypes = image/gif image/jpeg application/pdf
logoffPaths = /logoff
disconnectPaths = /disconnect
verbose = yes"
start_server

# Everything between the two proxies passes the recording relay.
python3 "$here/wire_relay.py" "$work/relay.port" "$server_port" "$work/wire.bin" &
relay_pid=$!
pids+=($relay_pid)
wait_for_file "$work/relay.port" || { echo "relay did not start"; exit 1; }
site_port=$(cat "$work/relay.port")

# velgrade signs on from the two lines of its standard input when asked;
# a second pair serves the sign-on after a log-off.
mkfifo "$work/login"
proxy_port=$(free_port)
mkdir -p "$work/client"
printf '[Velgrade]\nport=%s\nnoDelaySockets=1\n' "$proxy_port" >"$work/client/corvask.ini"
VELGRADE_DEBUG=1 "$velgrade" -c "$work/client" <"$work/login" 2>"$work/client.log" &
proxy_pid=$!
pids+=($proxy_pid)
exec 3>"$work/login"
printf '%s\nuser-secret-12\n%s\nuser-secret-12\n' "$work/alice.epf" "$work/alice.epf" >&3
wait_for_port "$proxy_port" || { echo "velgrade did not start:"; cat "$work/client.log"; exit 1; }
proxy="http://127.0.0.1:$proxy_port"
site="http://127.0.0.1:$site_port"
marker="MARKER-7c1e-CLEAR-PAGE"

# The first request: announcement, sign-on, handshake, then the page.
curl -sf -x "$proxy" "$site/page" >"$work/first.out"
check "the first request to the protected site brings the page" grep -q "$marker /page" "$work/first.out"
check "the server announced itself once" test "$(count 'Announcing the secure site' "$work/server.log")" -eq 1
check "the handshake took INIT, ACCEPT and INIT" test "$(count 'Sending INIT token' "$work/client.log")" -eq 2
curl -sf -x "$proxy" "$site/page2" >"$work/second.out"
check "a later request arrives" grep -q "$marker /page2" "$work/second.out"
check "a later request goes out wrapped at once" test "$(count 'Sending INIT token' "$work/client.log")" -eq 2
curl -sf -x "$proxy" "http://localhost:$site_port/lower" >"$work/lower.out"
check "another host name for the site is announced anew" \
  test "$(count 'Sending INIT token' "$work/client.log")" -eq 4 -a "$(count 'Announcing' "$work/server.log")" -eq 2
curl -sf -x "$proxy" "http://LOCALHOST:$site_port/upper" >"$work/upper.out"
check "the context is found whatever the host name's letter case" \
  test "$(count 'Sending INIT token' "$work/client.log")" -eq 4 -a "$(count 'Announcing' "$work/server.log")" -eq 2 \
  -a "$(grep -c "$marker /upper" "$work/upper.out")" -eq 1

curls=()
for i in 1 2 3 4 5 6 7 8; do
  curl -sf -x "$proxy" "$site/par$i" >"$work/par$i.out" &
  curls+=($!)
done
wait "${curls[@]}"
parallel_ok=1
for i in 1 2 3 4 5 6 7 8; do grep -q "$marker /par$i" "$work/par$i.out" || parallel_ok=0; done
check "eight parallel requests share the context" test "$parallel_ok" = 1 -a \
  "$(count 'Sending INIT token' "$work/client.log")" -eq 4

curl -sf -x "$proxy" "$site/big" -o "$work/big.out"
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 4096) & 0xFF for i in range(10 * 1024 * 1024)))' \
  >"$work/big.expected"
check "a 10 MiB answer arrives intact" cmp -s "$work/big.out" "$work/big.expected"
head -c 300000 /dev/urandom | base64 -w0 >"$work/post.body"
curl -sf -x "$proxy" --data-binary "@$work/post.body" -H 'Content-Type: text/plain' "$site/echo" >"$work/post.out"
check "a POST reaches the origin with its body" grep -q "$(head -c 64 "$work/post.body")" "$work/post.out"
check "the POST went as HTTP/1.0 with the client headers" \
  bash -c 'grep -q "^POST /echo HTTP/1.0" "$1" && grep -q "^Corvask-Client-Info: " "$1" && grep -q "^Corvask-Client-IP: " "$1"' _ "$work/post.out"
printf 'HEAD %s/page HTTP/1.0\r\n\r\n' "$site" | python3 "$here/raw_client.py" "$proxy_port" whole >"$work/head.out"
check "a HEAD request gets the head only" python3 -c '
import sys
answer = open(sys.argv[1], "rb").read()
sys.exit(0 if answer.startswith(b"HTTP/1.0 200") and answer.endswith(b"\r\n\r\n") else 1)' "$work/head.out"
check "the clear page never crossed between the proxies" bash -c '! grep -aq "$1" "$2"' _ "$marker" "$work/wire.bin"
check "tokens crossed between the proxies" grep -aq "application/x-Velgrade" "$work/wire.bin"

# Clear answers on the protected site: a real GIF passes, others close.
curl -sf -x "$proxy" "$site/img.gif" -o "$work/img.out"
check "a clear GIF image is relayed" bash -c 'head -c 6 "$1" | grep -q GIF87a' _ "$work/img.out"
curl -s -x "$proxy" "$site/fake.gif" -o "$work/fake.out"
check "a clear image/gif that is no GIF closes the browser connection" test ! -s "$work/fake.out"
curl -s -x "$proxy" "$site/doc.pdf" -o "$work/pdf.out"
check "a clear PDF closes the browser connection" test ! -s "$work/pdf.out"
check "the illegal content type is logged" grep -q "Illegal data received for content-type: application/pdf" "$work/client.log"

# A browser that gives up on a slow answer frees its transaction.
curl -s -x "$proxy" --max-time 1 "$site/slow" -o /dev/null
curl -sf -x "$proxy" "$site/after-slow" >"$work/after-slow.out"
check "the proxy serves on after a browser gave up" grep -q "$marker" "$work/after-slow.out"

# Disconnect and log-off instructions.
inits=$(count 'Sending INIT token' "$work/client.log")
curl -sf -x "$proxy" "$site/disconnect" >"$work/disc.out"
check "a disconnect page is delivered" grep -q "$marker /disconnect" "$work/disc.out"
check "a disconnect is logged" grep -q "Disconnecting from server at <127.0.0.1:$site_port>" "$work/client.log"
curl -sf -x "$proxy" "$site/after-disconnect" >"$work/after-disc.out"
check "after a disconnect a new context is built without a new announcement" \
  test "$(count 'Sending INIT token' "$work/client.log")" -eq $((inits + 2)) -a "$(count 'Announcing' "$work/server.log")" -eq 2
curl -sf -x "$proxy" "$site/logoff" >"$work/logoff.out"
check "a log-off page is delivered" grep -q "$marker /logoff" "$work/logoff.out"
check "the log-off signs the user off" grep -q "Logging off from server" "$work/client.log"
curl -sf -x "$proxy" "$site/after-logoff" >"$work/after-logoff.out"
check "after a log-off the user signs on again and the page arrives" grep -q "$marker /after-logoff" "$work/after-logoff.out"

# A server restart loses every context: the security error page with the
# server's identity makes the client build a new one.
kill "$server_pid"
wait "$server_pid" 2>/dev/null
start_server
curl -sf -x "$proxy" "$site/after-restart" >"$work/restart.out"
check "after a server restart the page arrives through a new context" grep -q "$marker /after-restart" "$work/restart.out"

# A server that answers garbage, or closes at once, behind the same address.
garbage_port=$(free_port)
python3 - "$garbage_port" "$work/garbage.ready" <<'PY' &
import socket, sys, threading
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(16)
open(sys.argv[2], "w").write("1")
n = 0
while True:
    conn, _ = listener.accept()
    n += 1
    try:
        conn.recv(65536)
        if n == 1:
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<b>plain text on a secure channel</b>")
        elif n == 2:
            conn.sendall(b"HTTP/1.0 200 Velgrade data follows\r\nContent-Type: application/x-Velgrade\r\nContent-Length: 5\r\n\r\n\x01\x02\x03\x04\x05")
        elif n == 4:
            conn.sendall(b"\x00\xff garbage \r\n\r\n garbage")
    except OSError:
        pass
    conn.close()
PY
pids+=($!)
wait_for_file "$work/garbage.ready"
printf '%s' "$garbage_port" >"$work/relay.port.target"
kill -USR1 "$relay_pid"
sleep 0.2
curl -s -x "$proxy" "$site/text" -o "$work/text.out"
check "text on the secure channel reaches the user, not the browser" \
  bash -c 'test ! -s "$1" && grep -q "plain text on a secure channel" "$2"' _ "$work/text.out" "$work/client.log"
check "text on the secure channel drops the context" grep -q "Text content received on secure channel" "$work/client.log"
curl -s -x "$proxy" "$site/bad-token" -o "$work/bad.out"
check "a token the session library refuses gives the security error page" \
  grep -q "Security Error" "$work/bad.out"
curl -s -x "$proxy" "$site/closed" -o "$work/closed.out"
check "a server that closes at once gives the network error page" grep -q "network error" "$work/closed.out"
curl -s -x "$proxy" "$site/garbage" -o "$work/garbage.out"
check "after a failed handshake a new one starts, and garbage from the server gives a page" \
  bash -c 'test -s "$1" && ! grep -q "No context has been established" "$1"' _ "$work/garbage.out"
check "velgrade is still running" kill -0 "$proxy_pid"
check "velgrade-server is still running" kill -0 "$server_pid"

exec 3>&-
kill "$proxy_pid"
wait "$proxy_pid" 2>/dev/null
check "velgrade ended cleanly (no sanitizer report)" bash -c '! grep -q "Sanitizer\|runtime error" "$1"' _ "$work/client.log"
echo "$passes passed, $failures failed"
if [ "$failures" -ne 0 ]; then
  echo "--- client log (tail)"; tail -40 "$work/client.log"
  echo "--- server log (tail)"; tail -20 "$work/server.log"
fi
[ "$failures" -eq 0 ]
