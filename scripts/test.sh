#!/usr/bin/env bash
# Sets the machine up, builds, and runs the whole test suite under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
source "$root/scripts/wine-env.sh"
tb_env_start
ctest --test-dir "$TB_BUILD" --output-on-failure -j2 --timeout 300 "$@"
