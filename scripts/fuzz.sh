#!/usr/bin/env bash
# Runs every built fuzz target for SECONDS (default 30) on its committed seed
# corpus (fuzz/corpus/NAME); a crash, leak, sanitizer report or an input that
# takes over 10 s fails the run.
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
# One target per core at a time; each works on a scratch copy of its seeds.
run_one() {
  local name=$1 work
  work=$(mktemp -d)
  [[ -d "$top/fuzz/corpus/$name" ]] && cp -r "$top/fuzz/corpus/$name"/. "$work"/
  if "$dir/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=0 "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name ok (${seconds}s)"
  else
    echo "fuzz: $name FAILED"; tail -n 60 "$work.log"
    rm -rf "$work" "$work.log"; return 1
  fi
  rm -rf "$work" "$work.log"
}
export -f run_one
export top dir seconds
printf '%s\n' "${names[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run_one "$@"' _ {}
