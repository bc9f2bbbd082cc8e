#!/usr/bin/env bash
# Builds in release mode into build-bench/ and prints the benchmark figures (never fails on
# them): bash scripts/bench.sh [runs (7)] [messages (100)] [groups: any of e p d (all)]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/bench-env.sh"
cd "$TB_BUILD/bin"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(wine --version)"
rc=0; wine tb_bench.exe "$@" || rc=$?
[ "$rc" = 0 ] || echo "tb_bench ended with exit code $rc (figures above are what it measured)"
