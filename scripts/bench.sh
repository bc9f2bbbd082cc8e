#!/usr/bin/env bash
# Builds in release mode and prints the benchmark figures (never fails on them).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TB_BUILD=${TB_BUILD:-$root/build-bench}
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$TB_BUILD" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTB_BUILD_BENCH=ON -DTB_BUILD_TESTS=OFF >/dev/null
cmake --build "$TB_BUILD" -j"$(nproc)" >/dev/null
source "$root/scripts/wine-env.sh"
tb_env_start
cd "$TB_BUILD/bin"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(wine --version)"
wine tb_bench.exe "$@"; echo "rc=$?"
