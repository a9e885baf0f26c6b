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
# Asserts stay on in every flavour (no NDEBUG); debug info only where a
# sanitizer report needs it, since it doubles the compile time on 2 cores.
opt() { args+=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="$1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$1"); }
case "$flavour" in
  plain) args+=(-DMVCOMM_SANITIZE= -DMVCOMM_WERROR=ON); opt "-O2" ;;
  # g++ 12 warns falsely (stringop-overflow) on sanitized code; the plain
  # build is the one that must be warning-free.
  asan)  args+=(-DMVCOMM_SANITIZE="address;undefined" -DMVCOMM_BENCH=OFF); opt "-O1 -g1" ;;
  tsan)  args+=(-DMVCOMM_SANITIZE=thread -DMVCOMM_BENCH=OFF); opt "-O1 -g1" ;;
  fuzz)  args+=(-DMVCOMM_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++); opt "-O1 -g1" ;;
  *) echo "usage: $0 plain|asan|tsan|fuzz [targets...]" >&2; exit 2 ;;
esac
[[ -f "$dir/build.ninja" ]] || cmake "${args[@]}" >/dev/null
targets=()
(($#)) && targets=(--target "$@")
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
