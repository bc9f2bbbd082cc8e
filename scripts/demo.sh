#!/usr/bin/env bash
# Sets the machine up, builds TB_RULE.dll, and shows it working under Wine the way the mail
# client's rules engine uses it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/wine-env.sh"
tb_env_start
cd "$TB_BUILD/bin"
wine tb_probe.exe TB_RULE.dll "${1:-Invoices}"
