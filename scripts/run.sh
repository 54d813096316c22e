#!/usr/bin/env bash
# The main job: installs what is missing, builds the release tree into
# install/velgrade and runs it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" release
echo "installed into $top/install/velgrade:"
ls "$top/install/velgrade"
