#!/usr/bin/env bash
# The main job: installs what is missing, builds, and downloads the clock-in
# records of terminal 1 on the built-in simulated line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup.sh
bash scripts/build.sh plain >/dev/null
if [[ -x build/plain/bin/mvcomm ]]; then
  from=$(date -d '-28 days' +%F); to=$(date +%F)
  exec build/plain/bin/mvcomm --simulate readdata 1 "$from" "$to" "$@"
else
  exec build/plain/examples/readdata_example/readdata_example "$@"
fi
