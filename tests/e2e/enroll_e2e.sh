#!/usr/bin/env bash
# End to end enrollment with the real programs: velgrade-admin registers
# pending enrollments and a card holder and serves the direct route;
# velgrade-server serves the enrollment steps and card registrations behind
# a recording relay; velgrade enrolls from its command line and standard
# input, signs on and browses the protected site with curl.
# usage: enroll_e2e.sh VELGRADE VELGRADE_SERVER VELGRADE_ADMIN
# Exits 77 (skipped) when curl or python3 is missing.
set -uo pipefail
velgrade=$1
server=$2
admin=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=e2e_common.sh
source "$here/e2e_common.sh"
wait_for_text() {  # wait_for_text PATTERN FILE
  for _ in $(seq 1 400); do grep -q "$1" "$2" 2>/dev/null && return 0; sleep 0.05; done
  return 1
}

ca=$work/ca
"$admin" create-ca --dir "$ca" --name "o=Example" >/dev/null || { echo "create-ca failed"; exit 1; }
printf 'server-secret-1\n' >"$work/server.password"
chmod 600 "$work/server.password"
"$admin" issue --ca "$ca" --name "cn=Server One,o=Example" --password-file "$work/server.password" \
  --out "$work/server.epf" --server >/dev/null || { echo "server profile failed"; exit 1; }
register() {  # register REF CODE NAME
  "$admin" register-enrollment --ca "$ca" --ref "$1" --auth "$2" --name "$3" >/dev/null
}
register 10000001 DIRECT-CODE-01 "cn=Dora Direct,o=Example"
register 10000002 SERVER-CODE-02 "cn=Sam Server,o=Example"
register 10000003 RECOVR-CODE-03 "cn=Dora Direct,o=Example"
register 10000004 PASSWD-CODE-04 "cn=Pat Short,o=Example"
register 10000005 PASSWD-CODE-05 "cn=Pat Short,o=Example"
register 10000007 YESYES-CODE-07 "cn=Dora Direct,o=Example"
card=4000123412341234
temporary=87654321
"$admin" register-card --ca "$ca" --card "$card" --temp-password "$temporary" --field2 "BRANCH7" \
  --ref 10000006 --auth CARDHD-CODE-06 --name "cn=Carl Card,o=Example" >/dev/null ||
  { echo "register-card failed"; exit 1; }
check "a reference number is registered only once" \
  bash -c '! "$1" register-enrollment --ca "$2" --ref 10000001 --auth X --name "cn=X,o=Example" 2>/dev/null' \
  _ "$admin" "$ca"
check "the store holds no code, card number or temporary password" \
  bash -c '! grep -q "DIRECT-CODE-01\|CARDHD-CODE-06\|$1\|$2" "$3/enrollments.txt"' _ "$card" "$temporary" "$ca"

"$admin" serve-enrollment --ca "$ca" --listen 127.0.0.1:0 >"$work/service.out" 2>"$work/service.log" &
pids+=($!)
wait_for_text "listening on" "$work/service.out" || { echo "enrollment service did not start"; exit 1; }
service_port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/service.out")

start_origin secure_origin.py
write_server_ini "enrollmentAuthority = $ca
sepURL = /sep
registerURL = /register"
start_server
python3 "$here/wire_relay.py" "$work/relay.port" "$server_port" "$work/wire.bin" &
pids+=($!)
wait_for_file "$work/relay.port" || { echo "relay did not start"; exit 1; }
site="http://127.0.0.1:$(cat "$work/relay.port")"
marker="MARKER-7c1e-CLEAR-PAGE"

# client NAME SEPBYPROXY [REGISTER_URL]: a configuration folder for velgrade.
client() {
  local folder=$work/$1
  mkdir -p "$folder/profiles"
  cat >"$folder/corvask.ini" <<INI
[Velgrade]
port=$(free_port)
noDelaySockets=1
sepURL=$site/sep
registerURL=${3:-$site/register}
INI
  printf '[Corvask Settings]\nSEPByProxy=%s\nEnrollmentServer=127.0.0.1:%s\n' "$2" "$service_port" \
    >>"$folder/corvask.ini"
}
port_of() { sed -n 's/^port=//p' "$1/corvask.ini"; }

# enroll NAME PROGRAM INPUT ARGS...: starts velgrade in folder NAME with the
# lines of INPUT on standard input; waits until it reports an outcome.
enroll() {
  local name=$1 program=$2 input=$3
  shift 3
  local folder=$work/$name
  if [ "$program" = "$velgrade" ]; then
    VELGRADE_DEBUG=1 "$program" -c "$folder" "$@" <"$input" 2>"$folder/log" &
  else
    VELGRADE_DEBUG=1 "$program" "$@" <"$input" 2>"$folder/log" &
  fi
  last_pid=$!
  pids+=($last_pid)
  wait_for_text "registration completed successfully\|error: \|Registration Error" "$folder/log"
  sleep 0.3
}
stop_client() { kill "$last_pid" 2>/dev/null; wait "$last_pid" 2>/dev/null; }
browses() {  # browses NAME: a protected page arrives through the client
  curl -sf --max-time 20 -x "http://127.0.0.1:$(port_of "$work/$1")" "$site/page" | grep -q "$marker"
}
only_ini_left() {  # only_ini_left NAME SUM: the folder holds nothing new, corvask.ini unchanged
  test -z "$(ls -A "$work/$1/profiles")" && test "$(md5sum <"$work/$1/corvask.ini")" = "$2"
}

# Direct route.
client direct 0
printf '%s\nfirst-password-1\n' "$work/direct/profiles/dora.epf" >"$work/direct.in"
enroll direct "$velgrade" "$work/direct.in" -operation=create -referencenumber=10000001 \
  -authorizationcode=DIRECT-CODE-01
check "direct: the enrollment completes" grep -q "registration completed successfully" "$work/direct/log"
check "direct: the profile is private to its owner" test "$(stat -c %a "$work/direct/profiles/dora.epf")" = 600
check "direct: the new profile is remembered" grep -q "^LastProfile=$work/direct/profiles/dora.epf" \
  "$work/direct/corvask.ini"
check "direct: the user is signed on and browses the protected site" browses direct
check "direct: the code is not in the log" bash -c '! grep -q DIRECT-CODE-01 "$1"' _ "$work/direct/log"
stop_client
cp "$work/direct/profiles/dora.epf" "$work/dora.before"

# Recovery replaces the profile; the new password opens it.
printf '%s\nsecond-password-2\n' "$work/direct/profiles/dora.epf" >"$work/recover.in"
enroll direct "$velgrade" "$work/recover.in" -operation=recover -referencenumber=10000003 \
  -authorizationcode=RECOVR-CODE-03
check "recovery completes and replaces the profile" bash -c \
  'grep -q "registration completed successfully" "$1" && ! cmp -s "$2" "$3"' _ "$work/direct/log" \
  "$work/dora.before" "$work/direct/profiles/dora.epf"
check "recovery: the previous profile moved to LastProfile1" grep -q "^LastProfile1=" "$work/direct/corvask.ini"
check "recovery: the user browses with the recovered profile" browses direct
stop_client

# Creating over an existing profile asks first; "no" leaves it alone.
cp "$work/direct/profiles/dora.epf" "$work/dora.recovered"
printf 'crl\n' >"$work/direct/profiles/dora.crl"
printf '%s\nthird-password-3\nno\n' "$work/direct/profiles/dora.epf" >"$work/overwrite-no.in"
enroll direct "$velgrade" "$work/overwrite-no.in" -operation=create -referencenumber=10000004 \
  -authorizationcode=PASSWD-CODE-04
check "creating over a profile asks, and no keeps it and its companions" bash -c \
  'grep -q "already exists in the directory" "$1" && cmp -s "$2" "$3" && test -f "$4"' _ "$work/direct/log" \
  "$work/dora.recovered" "$work/direct/profiles/dora.epf" "$work/direct/profiles/dora.crl"
stop_client
printf '%s\nfourth-password-4\nyes\n' "$work/direct/profiles/dora.epf" >"$work/overwrite-yes.in"
enroll direct "$velgrade" "$work/overwrite-yes.in" -operation=create -referencenumber=10000007 \
  -authorizationcode=YESYES-CODE-07
check "yes deletes the profile and its companions and creates a new one" bash -c \
  'grep -q "registration completed successfully" "$1" && ! cmp -s "$2" "$3" && test ! -e "$4"' _ \
  "$work/direct/log" "$work/dora.recovered" "$work/direct/profiles/dora.epf" "$work/direct/profiles/dora.crl"
stop_client

# Through the server, started from a parameter file.
client server 1
printf '[Velgrade]\nreferencenumber=10000002\nauthorizationcode=SERVER-CODE-02\noperation=create\n' \
  >"$work/params.ini"
printf '%s\nserver-password-3\n' "$work/server/profiles/sam.epf" >"$work/server.in"
VELGRADE_DEBUG=1 "$velgrade" "$work/params.ini" -c "$work/server" <"$work/server.in" 2>"$work/server/log" &
last_pid=$!
pids+=($last_pid)
wait_for_text "registration completed successfully\|error: " "$work/server/log"
check "server route: the enrollment completes" grep -q "registration completed successfully" "$work/server/log"
check "server route: the steps crossed with their content type" grep -aq "application/x-Corvask-SEP" "$work/wire.bin"
check "server route: the authorization code never crossed" bash -c '! grep -aq SERVER-CODE-02 "$1"' _ "$work/wire.bin"
check "server route: the user browses the protected site" browses server
stop_client

# Refusals leave nothing behind.
refused() {  # refused NAME SEP INPUT PATTERN ARGS...
  local name=$1 sep=$2 input=$3 pattern=$4
  shift 4
  client "$name" "$sep"
  local sum
  sum=$(md5sum <"$work/$name/corvask.ini")
  enroll "$name" "$velgrade" "$input" "$@"
  check "$name: refused with the expected message" grep -q "$pattern" "$work/$name/log"
  check "$name: no profile and no changed file" only_ini_left "$name" "$sum"
  stop_client
}
printf '%s\nsome-password-4\n' "$work/wrong-code/profiles/x.epf" >"$work/wrong-code.in"
refused wrong-code 0 "$work/wrong-code.in" "could not create the profile" -operation=create \
  -referencenumber=10000004 -authorizationcode=WRONG-CODE-000
printf '%s\nsome-password-5\n' "$work/reused/profiles/x.epf" >"$work/reused.in"
refused reused 0 "$work/reused.in" "could not create the profile" -operation=create \
  -referencenumber=10000001 -authorizationcode=DIRECT-CODE-01
printf '%s\nshort1\nshort2\nshort3\nshort4\nshort5\n' "$work/short-direct/profiles/x.epf" >"$work/short.in"
refused short-direct 0 "$work/short.in" "could not create the profile" -operation=create \
  -referencenumber=10000004 -authorizationcode=PASSWD-CODE-04
check "short-direct: the refusal was shown four times" \
  test "$(grep -c "Cannot change your Corvask password" "$work/short-direct/log")" -eq 4
printf '%s\nshort1\nshort2\nshort3\nshort4\nshort5\n' "$work/short-server/profiles/x.epf" >"$work/short2.in"
refused short-server 1 "$work/short2.in" "Registration error: check the information" -operation=create \
  -referencenumber=10000005 -authorizationcode=PASSWD-CODE-05
printf '%s\nsome-password-6\n' "$work/server-code/profiles/x.epf" >"$work/server-code.in"
refused server-code 1 "$work/server-code.in" "Velgrade registration failed" -operation=create \
  -referencenumber=10000002 -authorizationcode=SERVER-CODE-02

# The financial edition reads corvask.ini beside the program.
financial() {  # financial NAME REGISTER_URL: a program folder for the financial edition
  local folder=$work/$1
  mkdir -p "$folder/bin" "$folder/profiles"
  cp "$velgrade" "$(dirname "$velgrade")/libvelgres.so" "$folder/bin/"
  ln -s "$(cd "$(dirname "$velgrade")/../session" && pwd)" "$folder/session"
  client "$1" 0 "$2"
  mv "$folder/corvask.ini" "$folder/bin/corvask.ini"
  printf '[Velgrade]\nVersionType=financial\n' >>"$folder/bin/corvask.ini"
  python3 - "$folder/bin/corvask.ini" <<'PY'
import sys
path = sys.argv[1]
lines = open(path).read().splitlines()
out, seen = [], False
for line in lines:
    if line == "[Velgrade]" and seen:
        continue
    seen = seen or line == "[Velgrade]"
    out.append(line)
text = "\n".join(out) + "\n"
text = text.replace("VersionType=financial\n", "")
text = text.replace("[Velgrade]\n", "[Velgrade]\nVersionType=financial\n", 1)
open(path, "w").write(text)
PY
}
financial card "$site/register"
printf '%s\ncard-password-7\n%s\n%s\nBRANCH7\n\n' "$work/card/profiles/carl.epf" "$card" "$temporary" \
  >"$work/card.in"
: >"$work/wire.bin"
enroll card "$work/card/bin/velgrade" "$work/card.in" -operation=create
check "card holder: the enrollment completes" grep -q "registration completed successfully" "$work/card/log"
check "card holder: the registration answer had its content type" \
  grep -aq "application/x-Corvask-Registration" "$work/wire.bin"
check "card holder: neither card number nor temporary password crossed" \
  bash -c '! grep -aq "$1\|$2" "$3"' _ "$card" "$temporary" "$work/wire.bin"
check "card holder: the user browses the protected site" \
  bash -c 'curl -sf --max-time 20 -x "http://127.0.0.1:$1" "$2/page" | grep -q "$3"' _ \
  "$(port_of "$work/card/bin")" "$site" "$marker"
stop_client
: >"$work/card.again"
printf '%s\ncard-password-7\n%s\n%s\nBRANCH7\n\n' "$work/card/profiles/again.epf" "$card" "$temporary" \
  >"$work/card.again"
enroll card "$work/card/bin/velgrade" "$work/card.again" -operation=create
check "card holder: a second registration is refused" grep -q "Registration Error: Forbidden" "$work/card/log"
stop_client

# Malformed registration answers from a registration server of our own.
modes="wrong-type ref-only undecodable"
# The padding cases are encrypted with the openssl command (CAST5 lives in
# its legacy provider).
if echo 12345678 | openssl enc -provider legacy -provider default -cast5-cbc -K 00112233445566778899aabbccddeeff \
  -iv 0011223344556677 >/dev/null 2>&1; then
  modes="$modes pad-zero pad-nine"
else
  echo "note: the openssl command has no CAST5; the padding cases are left out"
fi
for mode in $modes; do
  python3 "$here/fake_registration.py" "$work/fake-$mode.port" "$mode" "$temporary" "$card#BRANCH7" &
  pids+=($!)
  wait_for_file "$work/fake-$mode.port" || { echo "fake registration server did not start"; exit 1; }
  financial "fake-$mode" "http://127.0.0.1:$(cat "$work/fake-$mode.port")/register"
  printf '%s\ncard-password-8\n%s\n%s\nBRANCH7\n\n' "$work/fake-$mode/profiles/x.epf" "$card" "$temporary" \
    >"$work/fake-$mode.in"
  enroll "fake-$mode" "$work/fake-$mode/bin/velgrade" "$work/fake-$mode.in" -operation=create
  case $mode in
    wrong-type) expected="Registration Error: OK" ;;
    ref-only) expected="incorrectly formatted data" ;;
    *) expected="Unable to decrypt the data" ;;
  esac
  check "registration answer $mode: refused with the expected text" grep -q "$expected" "$work/fake-$mode/log"
  check "registration answer $mode: no profile written" test -z "$(ls -A "$work/fake-$mode/profiles")"
  stop_client
done

for name in direct server card; do
  check "$name: no sanitizer report" bash -c '! grep -q "Sanitizer\|runtime error" "$1"' _ "$work/$name/log"
done
echo "$passes passed, $failures failed"
if [ "$failures" -ne 0 ]; then
  for name in direct server card short-server; do echo "--- $name log (tail)"; tail -15 "$work/$name/log"; done
  echo "--- server log (tail)"; tail -20 "$work/server.log"
fi
[ "$failures" -eq 0 ]
