#!/usr/bin/env bash
# Builds in release mode into build-bench/ and prints the benchmark figures (never fails on
# them): bash scripts/bench.sh [runs (7)] [messages (100)] [groups: any of e p d (all)]
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
rc=0; wine tb_bench.exe "$@" || rc=$?
[ "$rc" = 0 ] || echo "tb_bench ended with exit code $rc (figures above are what it measured)"
