# Shared setup of the end-to-end scripts, sourced after they set "here":
# a work folder removed on exit (kept when KEEP_WORK is set) with the
# processes listed in pids stopped first, pass/fail counting, loopback port
# helpers, and a throwaway organisation made with velgrade-admin.
# Exits 77 (skipped) when curl or python3 is missing.
for tool in curl python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  if [ -n "${KEEP_WORK:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

failures=0
passes=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
    echo "ok: $name"
  else
    failures=$((failures + 1))
    echo "FAILED: $name"
  fi
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_for_port() {  # wait_for_port PORT
  for _ in $(seq 1 200); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1',$1),timeout=1)" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
wait_for_file() {  # wait_for_file PATH
  for _ in $(seq 1 200); do [ -s "$1" ] && return 0; sleep 0.05; done
  return 1
}
count() { grep -c "$1" "$2" 2>/dev/null || true; }
wait_for_count() {  # wait_for_count PATTERN FILE N: until FILE has N lines matching
  for _ in $(seq 1 100); do [ "$(count "$1" "$2")" -ge "$3" ] && return 0; sleep 0.05; done
  return 1
}

# make_organisation ADMIN: an authority in $work/ca, the server's profile
# $work/server.epf and a user's $work/alice.epf, with their passwords in
# $work/server.password and $work/user.password.
make_organisation() {
  local admin=$1
  "$admin" create-ca --dir "$work/ca" --name "o=Example" >/dev/null || { echo "create-ca failed"; exit 1; }
  printf 'server-secret-1\n' >"$work/server.password"
  chmod 600 "$work/server.password"
  printf 'user-secret-12\n' >"$work/user.password"
  "$admin" issue --ca "$work/ca" --name "cn=Server One,o=Example" --password-file "$work/server.password" \
    --out "$work/server.epf" --server >/dev/null || { echo "server profile failed"; exit 1; }
  "$admin" issue --ca "$work/ca" --name "cn=Alice Smith,o=Example" --password-file "$work/user.password" \
    --out "$work/alice.epf" >/dev/null || { echo "user profile failed"; exit 1; }
}

# start_origin SCRIPT: runs a Python origin of this folder, which writes its
# port to $work/origin.port; sets origin_port.
start_origin() {
  python3 "$here/$1" "$work/origin.port" &
  pids+=($!)
  wait_for_file "$work/origin.port" || { echo "origin did not start"; exit 1; }
  origin_port=$(cat "$work/origin.port")
}

# write_server_ini SETTINGS: $work/server.ini for velgrade-server on a free
# port (server_port) in front of the origin, with the organisation's server
# profile, followed by the extra SETTINGS lines.
write_server_ini() {
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
$1
INI
}

# start_server: (re)starts velgrade-server ($server) with $work/server.ini
# and waits until it listens; sets server_pid.
start_server() {
  "$server" --config "$work/server.ini" >>"$work/server.log" 2>&1 &
  server_pid=$!
  pids+=($server_pid)
  wait_for_port "$server_port" || { echo "velgrade-server did not start:"; cat "$work/server.log"; exit 1; }
}
