#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz over its checked-in corpus and
# then for the given number of seconds more (default 5). New inputs go to a
# scratch folder; findings that matter become corpus files by hand.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for target in "$top"/build/fuzz/tests/*/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  mkdir -p "$scratch/$name"
  corpus=("$scratch/$name")
  [ -d "$top/tests/fuzz/corpus/$name" ] && corpus+=("$top/tests/fuzz/corpus/$name")
  echo "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$scratch/" "${corpus[@]}" > "$scratch/$name.log" 2>&1; then
    tail -40 "$scratch/$name.log"
    status=1
  fi
done
exit $status
