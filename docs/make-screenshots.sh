#!/usr/bin/env bash
# Saves docs/select-collection.png and docs/new-collection.png: both dialogs as they open under
# Wine on the virtual display, with sample collections. Needs a build (scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/wine-env.sh"
tb_env_start
wine "$TB_BUILD/bin/dialog_screenshots.exe" "$root/docs"
