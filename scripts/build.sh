#!/usr/bin/env bash
# scripts/build.sh [release|asan|tsan|fuzz|tsa] [cmake --build args...]
# Configures (once) and builds one configuration in build/<config>. `tsa` compiles
# with clang and its thread-safety analysis (unoptimised: only the warnings count).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
config=${1:-release}; shift || true
dir="$here/build/$config"
declare -A type=([release]=RelWithDebInfo [asan]=Asan [tsan]=Tsan [fuzz]=Fuzz [tsa]=Debug)
[[ -n "${type[$config]:-}" ]] || { echo "unknown configuration $config" >&2; exit 2; }
extra=()
if [[ $config == fuzz ]]; then
  extra+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF)
elif [[ $config == tsa ]]; then
  extra+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLET_THREAD_SAFETY=ON -DQUILLET_BENCH=OFF
          -DCMAKE_C_FLAGS_DEBUG=-O0 -DCMAKE_CXX_FLAGS_DEBUG=-O0)
fi
if command -v ccache >/dev/null; then
  extra+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
fi
# Configure every time: folders join the build when they get a CMakeLists.txt.
if [[ -f "$dir/CMakeCache.txt" ]]; then
  cmake -S "$here" -B "$dir" >/dev/null
else
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${type[$config]}" "${extra[@]}"
fi
cmake --build "$dir" -j "$(nproc)" "$@"
