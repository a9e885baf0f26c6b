#!/usr/bin/env bash
# Runs every built fuzz target for SECONDS (default 30) on its committed seed
# corpus (fuzz/corpus/NAME); a crash, leak or sanitizer report fails the run.
#   scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
dir="$top/build/fuzz/fuzzers"
[[ -d "$dir" ]] || { echo "fuzz: no fuzz targets built"; exit 0; }
names=("$@")
if ((${#names[@]} == 0)); then
  for f in "$dir"/*; do [[ -x "$f" && -f "$f" ]] && names+=("$(basename "$f")"); done
fi
failed=0
for name in "${names[@]}"; do
  seeds="$top/fuzz/corpus/$name"
  work=$(mktemp -d)
  [[ -d "$seeds" ]] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  if ! "$dir/$name" -max_total_time="$seconds" -print_final_stats=0 "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 60 "$work.log"; failed=1
  fi
  rm -rf "$work" "$work.log"
done
exit $failed
