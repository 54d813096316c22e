#!/usr/bin/env bash
# The main job: installs what is missing, builds the release tree into
# install/velgrade and starts the proxy there on 127.0.0.1:8080 with the
# corvask.ini installed beside it (in the foreground; Ctrl-C ends it).
# Point a browser's HTTP proxy, or curl -x http://127.0.0.1:8080, at it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" release
echo "installed into $top/install/velgrade:"
ls "$top/install/velgrade"
exec "$top/install/velgrade/velgrade" "$@"
