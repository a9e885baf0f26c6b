#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh plain|asan|tsan|fuzz [ninja targets...]
# Build folders: build/plain, build/asan, build/tsan, build/fuzz.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-plain}
shift || true
dir="$top/build/$flavour"
args=(-G Ninja -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "$flavour" in
  plain) args+=(-DMVCOMM_SANITIZE= -DMVCOMM_WERROR=ON) ;;
  asan)  args+=(-DMVCOMM_SANITIZE="address;undefined" -DMVCOMM_BENCH=OFF -DMVCOMM_WERROR=ON) ;;
  tsan)  args+=(-DMVCOMM_SANITIZE=thread -DMVCOMM_BENCH=OFF) ;;
  fuzz)  args+=(-DMVCOMM_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 plain|asan|tsan|fuzz [targets...]" >&2; exit 2 ;;
esac
[[ -f "$dir/build.ninja" ]] || cmake "${args[@]}" >/dev/null
targets=()
(($#)) && targets=(--target "$@")
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
