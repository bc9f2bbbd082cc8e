#!/usr/bin/env bash
# Configures and builds everything into ${TB_BUILD:-build}.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TB_BUILD:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE="${TB_BUILD_TYPE:-Release}" >/dev/null
cmake --build "$build" -j"$(nproc)" "$@"
