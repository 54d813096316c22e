#!/usr/bin/env bash
# End to end: curl and raw clients through the velgrade program to real
# origin servers (nginx, and a recording echo server) and through a real
# forward proxy (tinyproxy), all on 127.0.0.1 ports chosen here.
# usage: proxy_e2e.sh VELGRADE_PROGRAM
# Exits 77 (skipped) when nginx, tinyproxy, ab or curl is missing.
set -uo pipefail
velgrade=$1
here=$(cd "$(dirname "$0")" && pwd)
for tool in nginx tinyproxy ab; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
# shellcheck source=e2e_common.sh
source "$here/e2e_common.sh"
# The nginx workers run as another user and must reach the files.
chmod 755 "$work"

# Origin servers.
mkdir -p "$work/www" "$work/nginx"
head -c 1024 /dev/urandom >"$work/www/1k"
head -c 10485760 /dev/urandom >"$work/www/10m"
nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
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
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/stderr" &
pids+=($!)
python3 "$here/echo_origin.py" "$work/echo.port" &
pids+=($!)
for _ in $(seq 1 100); do [ -f "$work/echo.port" ] && break; sleep 0.05; done
echo_port=$(cat "$work/echo.port")
tiny_port=$(free_port)
printf 'Port %s\nListen 127.0.0.1\nMaxClients 64\nLogLevel Info\nLogFile "%s/tinyproxy.log"\n' \
  "$tiny_port" "$work" >"$work/tinyproxy.conf"
tinyproxy -d -c "$work/tinyproxy.conf" &
pids+=($!)
wait_for_port "$nginx_port" && wait_for_port "$tiny_port" || { echo "servers did not start"; exit 1; }

# start_velgrade NAME EXTRA_INI [OPTIONS...]: sets proxy_port, proxy_pid, own_address.
start_velgrade() {
  local name=$1 extra=$2
  shift 2
  mkdir -p "$work/$name"
  proxy_port=$(free_port)
  printf '[Velgrade]\nport=%s\nnoDelaySockets=1\n%b' "$proxy_port" "$extra" >"$work/$name/corvask.ini"
  "$velgrade" -c "$work/$name" "$@" 2>"$work/$name/stderr" &
  proxy_pid=$!
  pids+=($proxy_pid)
  wait_for_port "$proxy_port" || { echo "velgrade did not start:"; cat "$work/$name/stderr"; exit 1; }
  own_address=$(sed -n 's/.*this machine \([0-9.]*\)).*/\1/p' "$work/$name/stderr")
}

start_velgrade main ""
proxy="http://127.0.0.1:$proxy_port"
origin="http://127.0.0.1:$nginx_port"
echo_url="http://127.0.0.1:$echo_port"

# Plain requests.
check "GET of 1 KiB arrives intact" cmp -s <(curl -sf -x "$proxy" "$origin/1k") "$work/www/1k"
check "GET of 10 MiB arrives intact" cmp -s <(curl -sf -x "$proxy" "$origin/10m") "$work/www/10m"
printf 'HEAD %s/1k HTTP/1.0\r\n\r\n' "$origin" | python3 "$here/raw_client.py" "$proxy_port" whole >"$work/head.out"
check "HEAD answer is relayed" grep -q "^HTTP/1.0 200 OK" "$work/head.out"
check "HEAD answer has no body" python3 -c '
import sys
answer = open(sys.argv[1], "rb").read()
sys.exit(0 if answer.endswith(b"\r\n\r\n") and answer.count(b"\r\n\r\n") == 1 else 1)' "$work/head.out"
echo_answer=$(curl -sf -x "$proxy" --http1.1 -H 'Connection: keep-alive' -d 'a=1&b=2' "$echo_url/form")
check "POST reaches the origin as HTTP/1.0 with its body" grep -q "^POST /form HTTP/1.0" <<<"$echo_answer"
check "POST body arrives" grep -q "a=1&b=2" <<<"$echo_answer"
check "no Connection or Proxy-Connection line reaches the origin" \
  bash -c '! grep -qi "^\(proxy-\)\?connection:" <<<"$1"' _ "$echo_answer"
bytes_request() { printf 'GET %s/bytes HTTP/1.1\r\nHost: x\r\nProxy-Connection: keep-alive\r\nX-A: 1\r\n\r\n' "$echo_url"; }
whole=$(bytes_request | python3 "$here/raw_client.py" "$proxy_port" whole)
bytewise=$(bytes_request | python3 "$here/raw_client.py" "$proxy_port" bytewise)
check "a request sent one byte at a time is framed the same" test "$whole" = "$bytewise"
check "the framed request is the downgraded one" grep -q "^GET /bytes HTTP/1.0" <<<"$whole"

# Failure pages, byte for byte.
browser_page() {  # browser_page REQUEST_LINE HEADER REASON
  printf 'HTTP/1.0 400 Bad Request\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n'
  printf '<html><head><title>Browser Error</title></head>\n<body bgcolor="#ffffff" text="#000000"><h1>Browser Error</h1>\n'
  printf 'The Velgrade client proxy on %s:%s was unable to process the request:<p>' "$own_address" "$proxy_port"
  printf '<blockquote><b><hr size=4><pre>\n%s%s</pre><hr size=4></b></blockquote><p>\nReason: %s\n</body></html>' "$1" "$2" "$3"
}
alert_page() {  # alert_page MESSAGE ALERT_TEXT
  printf 'HTTP/1.0 500 Error from Velgrade proxy\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n'
  printf '<html><head><title>Error</title></head><body>\n<noscript>\n<B>%s</B>\n<hr size=4>\n' "$1"
  printf '<font size=-2>Error from client proxy on %s:%s</font>\n</noscript>\n' "$own_address" "$proxy_port"
  printf '<SCRIPT LANGUAGE="JavaScript">\n<!-- Begin to hide script contents from old browsers.\n\talert("%s")\n// End the hiding here. -->\n</SCRIPT>\n</body></html>' "$2"
}
same() {
  cmp -s <(printf '%s' "$1") <(printf '%s' "$2") && return 0
  diff <(printf '%s\n' "$1") <(printf '%s\n' "$2") | head -20
  return 1
}

got=$(printf 'GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n' | python3 "$here/raw_client.py" "$proxy_port" whole)
want=$(browser_page $'GET /index.html HTTP/1.0\r\n' $'Host: h\r\n\r\n' "Couldn't determine the destination host name.")
check "origin-form request gets the host-name page" same "$got" "$want"
got=$(printf 'CONNECT example.test:443 HTTP/1.1\r\nHost: example.test:443\r\n\r\n' | python3 "$here/raw_client.py" "$proxy_port" whole)
want=$(browser_page $'CONNECT example.test:443 HTTP/1.0\r\n' $'Host: example.test:443\r\n\r\n' "Couldn't determine the destination host name.")
check "CONNECT request gets the host-name page" same "$got" "$want"
got=$(curl -s -i -x "$proxy" "http://nowhere.invalid/")
want=$(alert_page "Unable to locate the server: nowhere.invalid<P>The server does not have a DNS entry.<P>Check that the site name in the location field is correctly spelled and try again." \
  'Unable to locate the server: nowhere.invalid \nThe server does not have a DNS entry. \nCheck that the site name in the location field is correctly spelled and try again.')
check "a name that does not resolve gets alert page 2078" same "$got" "$want"
closed_port=$(free_port)
got=$(curl -s -i -x "$proxy" "http://127.0.0.1:$closed_port/")
want=$(alert_page "The requested item could not be loaded due to a network error.<P>Error 10061 (Connection refused) connecting to remote server." \
  'The requested item could not be loaded due to a network error. \nError 10061 (Connection refused) connecting to remote server.')
check "a refused connection gets the alert page naming the socket error" same "$got" "$want"
before=$(curl -sf "$echo_url/count")
got=$(printf 'GET %s/x HTTP/1.0\r\nHost: h\r\ncORVASK-anything: 1\r\n\r\n' "$echo_url" | python3 "$here/raw_client.py" "$proxy_port" whole)
want=$(browser_page "GET $echo_url/x HTTP/1.0"$'\r\n' $'Host: h\r\ncORVASK-anything: 1\r\n\r\n' "Illegal HTTP header received.")
check "a Corvask header gets page 2070" same "$got" "$want"
after=$(curl -sf "$echo_url/count")
check "nothing is sent onward for a Corvask header" test "$after" -eq $((before + 1))

# A browser that leaves while its request is served costs nothing.
fds() { ls "/proc/$proxy_pid/fd" | wc -l; }
cpu() { awk '{print $14 + $15}' "/proc/$proxy_pid/stat"; }
base_fds=$(fds)
printf 'GET %s/hang HTTP/1.0\r\n\r\n' "$echo_url" | python3 "$here/raw_client.py" "$proxy_port" close
python3 -c "import socket; s=socket.create_connection(('127.0.0.1',$proxy_port)); s.close()"
printf 'GET %s/x HTTP/1.0\r\nHo' "$echo_url" | python3 "$here/raw_client.py" "$proxy_port" close
sleep 0.5
cpu_before=$(cpu)
sleep 1
cpu_after=$(cpu)
check "no busy loop after browsers left (cpu ticks $cpu_before -> $cpu_after)" test $((cpu_after - cpu_before)) -le 5
check "no descriptor kept for browsers that left" test "$(fds)" -eq "$base_fds"
ab -q -n 10000 -c 4 -X "127.0.0.1:$proxy_port" "$origin/1k" >"$work/ab.txt" 2>&1
check "10,000 requests all succeed" grep -q "^Failed requests: *0" "$work/ab.txt"
sleep 0.3
check "no descriptor leaked after 10,000 requests" test "$(fds)" -eq "$base_fds"

# The upstream proxy.
start_velgrade chained "chainProxy=127.0.0.1 $tiny_port\n"
check "with chainProxy set, requests go through tinyproxy" \
  cmp -s <(curl -sf -x "http://127.0.0.1:$proxy_port" "$origin/1k") "$work/www/1k"
check "tinyproxy saw the request" grep -q "127.0.0.1:$nginx_port/1k" "$work/tinyproxy.log"
via=$(curl -sf -D - -o /dev/null -x "http://127.0.0.1:$proxy_port" "$origin/1k")
check "the answer came through tinyproxy" grep -qi "^via:.*tinyproxy" <<<"$via"

mkdir -p "$work/www/pac"
printf '<html><VelgradeChainProxy:127.0.0.1:%s></html>' "$tiny_port" >"$work/www/pac/set"
printf '<html><VelgradeChainProxy:NONE></html>' >"$work/www/pac/none"
printf '<html><VelgradeChainProxy:bad_host:80></html>' >"$work/www/pac/bad"
start_velgrade fetched "FetchChainProxy=1\n" --chain-proxy-url "$origin/pac/set"
via=$(curl -sf -D - -o /dev/null -x "http://127.0.0.1:$proxy_port" "$origin/1k")
check "a configuration URL with the marker sets the chain proxy" grep -qi "^via:.*tinyproxy" <<<"$via"
start_velgrade cleared "FetchChainProxy=1\nchainProxy=127.0.0.1 $tiny_port\n" --chain-proxy-url "$origin/pac/none"
via=$(curl -sf -D - -o /dev/null -x "http://127.0.0.1:$proxy_port" "$origin/1k")
check "NONE clears the chain proxy" bash -c '! grep -qi "^via:.*tinyproxy" <<<"$1"' _ "$via"
check "NONE shows no message" bash -c '! grep -q "error:" "$1"' _ "$work/cleared/stderr"
for bad in missing bad; do
  start_velgrade "fetch-$bad" "FetchChainProxy=1\n" --chain-proxy-url "$origin/pac/$bad"
  check "configuration URL '$bad' shows message 2136" \
    grep -q "velgrade: error: There was a problem in retrieving the Velgrade intermediate proxy settings from" \
    "$work/fetch-$bad/stderr"
done

# SIGTERM ends the program cleanly.
kill -TERM "$proxy_pid"
wait "$proxy_pid"
check "SIGTERM ends velgrade with status 0" test $? -eq 0

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
