#!/usr/bin/env bash
# End to end form signing: curl -> velgrade -> velgrade-server -> a python
# web site with a two-form page on a path the server marks for signing. Once
# with libcvapi32.so beside velgrade (real signatures, checked by the server
# and by openssl), once without it (empty values).
# usage: signing_e2e.sh VELGRADE VELGRADE_SERVER VELGRADE_ADMIN LIBCVAPI32
set -uo pipefail
velgrade=$1
server=$2
admin=$3
toolkit=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/e2e_common.sh
. "$here/e2e_common.sh"
command -v openssl >/dev/null 2>&1 || { echo "skipped: openssl is not installed"; exit 77; }
make_organisation "$admin"

start_origin signing_origin.py
write_server_ini "signDataPaths = /order
signatureHeader = X-Velgrade-Signature
verbose = yes"
start_server
site="http://127.0.0.1:$server_port"

# start_client NAME WITH_TOOLKIT OPTION ANSWER...: a copy of velgrade in
# $work/NAME/app (the session library found through a link, the toolkit
# beside it or not), signing on from its standard input, which then gives
# the ANSWER lines. Sets proxy.
start_client() {
  local name=$1 with=$2 option=$3
  shift 3
  local dir="$work/$name"
  mkdir -p "$dir/app"
  ln -s "$(cd "$(dirname "$velgrade")/../session" && pwd)" "$dir/session"
  cp "$velgrade" "$(dirname "$velgrade")/libvelgres.so" "$dir/app/"
  [ "$with" = yes ] && cp "$toolkit" "$dir/app/libcvapi32.so"
  local port
  port=$(free_port)
  printf '[Velgrade]\nport=%s\nnoDelaySockets=1\n' "$port" >"$dir/app/corvask.ini"
  { printf '%s\nuser-secret-12\n' "$work/alice.epf"; printf '%s\n' "$@"; } >"$dir/input"
  VELGRADE_DEBUG=1 "$dir/app/velgrade" -c "$dir/app" "$option" <"$dir/input" 2>"$dir/client.log" &
  pids+=($!)
  wait_for_port "$port" || { echo "velgrade ($name) did not start:"; cat "$dir/client.log"; exit 1; }
  proxy="http://127.0.0.1:$port"
}

# check_page FILE EXPECTED_MARK(any|empty): the answer's Content-Length fits
# its body, which holds the field once, right before the first form end;
# the mark goes to FILE.mark.
check_page() {
  python3 - "$1" "$2" <<'PY'
import re, sys
raw = open(sys.argv[1], "rb").read()
head, _, body = raw.partition(b"\r\n\r\n")
length = int(re.search(rb"(?im)^content-length:\s*(\d+)", head).group(1))
field = re.search(rb'<INPUT TYPE="hidden" NAME="CorvaskSigClient" VALUE="([^"]*)">\n</form>', body)
ok = (length == len(body) and field is not None and body.count(b"CorvaskSigClient") == 1
      and body.index(b"CorvaskSigClient") < body.lower().index(b"</form>")
      and b'<input name="b"></FORM>' in body)
mark = field.group(1) if field else b""
ok = ok and ((sys.argv[2] == "empty") == (mark == b""))
open(sys.argv[1] + ".mark", "wb").write(mark)
sys.exit(0 if ok else 1)
PY
}

# check_echo FILE TEXT VERDICT SIGNED(yes|empty|no): the echoed request's
# Content-Length fits its body; the body is TEXT, followed (unless no) by
# the signature field and CR LF; the verdict header is VERDICT. A signature
# goes to FILE.sig (DER) and the signed text to FILE.txt.
check_echo() {
  python3 - "$@" <<'PY'
import base64, re, sys, urllib.parse
raw = open(sys.argv[1], "rb").read()
text, verdict, signed = sys.argv[2].encode(), sys.argv[3].encode(), sys.argv[4]
# The site echoes its header lines with bare line feeds.
head, _, body = raw.partition(b"\n\n")
length = int(re.search(rb"(?im)^content-length:\s*(\d+)", head).group(1))
found = re.search(rb"(?im)^x-velgrade-signature:\s*(\S+)", head)
ok = length == len(body) and found is not None and found.group(1) == verdict
ok = ok and len(re.findall(rb"(?im)^x-velgrade-signature:", head)) == 1
if signed == "no":
    ok = ok and body == text
else:
    prefix = text + b"&CorvaskSigSubmit="
    ok = ok and body.startswith(prefix) and body.endswith(b"\r\n")
    value = body[len(prefix):-2]
    ok = ok and ((signed == "empty") == (value == b""))
    if value:
        der = base64.b64decode(urllib.parse.unquote_to_bytes(value.decode()), validate=True)
        open(sys.argv[1] + ".sig", "wb").write(der)
    open(sys.argv[1] + ".txt", "wb").write(text)
sys.exit(0 if ok else 1)
PY
}
urlencode() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""), end="")' "$1"; }
verify() {  # verify SIGNATURE DATA: the embedded signer signed DATA
  openssl cms -verify -binary -inform DER -in "$1" -content "$2" -noverify -out /dev/null >/dev/null 2>&1
}

# With the toolkit: real signatures.
start_client with yes --confirm-signing=yes
curl -sf -i -x "$proxy" "$site/order" >"$work/with.page"
check "a marked page gets the field before its first </form> only, with a matching Content-Length" \
  check_page "$work/with.page" any
text="a=1&CorvaskSigClient=$(urlencode "$(cat "$work/with.page.mark")")"
curl -sf -x "$proxy" --data-binary "$text" "$site/echo" >"$work/with.post"
check "the submitted form arrives signed, with its Content-Length, and the server finds it valid" \
  check_echo "$work/with.post" "$text" valid yes
check "the signature verifies over the signed text" verify "$work/with.post.sig" "$work/with.post.txt"
python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[2] ^= 1; open(sys.argv[1] + ".bad", "wb").write(d)' \
  "$work/with.post.txt"
check "the same text with one byte changed fails verification" bash -c '! "$@"' _ \
  openssl cms -verify -binary -inform DER -in "$work/with.post.sig" -content "$work/with.post.txt.bad" -noverify -out /dev/null
curl -sf -x "$proxy" --data-binary "CorvaskSigClient=x&a=1" "$site/echo" >"$work/with.first"
check "a body beginning with CorvaskSigClient is not signed" \
  check_echo "$work/with.first" "CorvaskSigClient=x&a=1" missing no
curl -sf -x "$proxy" --data-binary "a=1&CorvaskSigClient=bm90IGEgbWFyaw%3D%3D" "$site/echo" >"$work/with.foreign"
check "a signed form over a mark the server never gave is invalid" \
  check_echo "$work/with.foreign" "a=1&CorvaskSigClient=bm90IGEgbWFyaw%3D%3D" invalid yes

# Without the toolkit: empty values; the confirmations come from standard
# input (yes, then no).
start_client without no --confirm-signing=ask y n
curl -sf -i -x "$proxy" "$site/order" >"$work/without.page"
check "without libcvapi32.so a marked page gets the field with an empty value" check_page "$work/without.page" empty
# A restarted server has lost the context: the form is sent again on a new
# one without a second question.
kill "$server_pid"
wait "$server_pid" 2>/dev/null
start_server
curl -sf -x "$proxy" --data-binary "a=1&CorvaskSigClient=" "$site/echo" >"$work/without.post"
check "without libcvapi32.so a confirmed form ends in CorvaskSigSubmit= and CR LF" \
  check_echo "$work/without.post" "a=1&CorvaskSigClient=" missing empty
check "a form sent again on a new context is confirmed once" \
  test "$(grep -o "Submit Signed Form" "$work/without/client.log" | wc -l)" -eq 1 -a \
  "$(count "re-authenticating" "$work/without/client.log")" -ge 1
curl -s -x "$proxy" --data-binary "a=2&CorvaskSigClient=" "$site/echo" >"$work/without.declined"
check "a declined signed form gets the history-back page and never reaches the site" \
  bash -c '! grep -q "a=2" "$1" && grep -qi "history" "$1"' _ "$work/without.declined"

for name in with without; do
  check "velgrade ($name) reported no sanitizer error" bash -c '! grep -q "Sanitizer\|runtime error" "$1"' _ \
    "$work/$name/client.log"
done
echo "$passes passed, $failures failed"
if [ "$failures" -ne 0 ]; then
  for name in with without; do echo "--- client log $name (tail)"; tail -30 "$work/$name/client.log"; done
  echo "--- server log (tail)"; tail -20 "$work/server.log"
fi
[ "$failures" -eq 0 ]
