#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer tree and runs every test,
# then builds the fuzz targets and runs each over its corpus for a few seconds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" sanitize
"$top/scripts/build.sh" fuzz
"$top/scripts/fuzz.sh" "${VELGRADE_FUZZ_SECONDS:-5}"
cd "$top/build/sanitize"
ctest --output-on-failure -j "$(nproc)" --timeout 600
