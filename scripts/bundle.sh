#!/usr/bin/env bash
# Builds TB_RULE.dll if needed and packs the release bundle for users:
#   ${TB_BUILD:-build}/dist/TB_RULE-<version>.zip
# holding one folder with TB_RULE.dll, install.cmd, uninstall.cmd, README.txt and SHA256SUMS.txt.
# File times are the last commit's, so the same sources give the same zip.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TB_BUILD:-$root/build}
export TB_BUILD=$build

bash "$root/scripts/build.sh" --target TB_RULE

version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=TB_RULE-$version
dist=$build/dist
stage=$dist/$name
zipfile=$dist/$name.zip
rm -rf "$stage" "$zipfile"
mkdir -p "$stage"

cp "$build/bin/TB_RULE.dll" "$stage/"
# Batch files and Notepad want CRLF line ends, whatever the checkout did.
for text in install.cmd uninstall.cmd README.txt; do
    sed 's/\r*$/\r/' "$root/install/$text" > "$stage/$text"
done
files=(TB_RULE.dll install.cmd uninstall.cmd README.txt)
(cd "$stage" && sha256sum "${files[@]}" > SHA256SUMS.txt)
files+=(SHA256SUMS.txt)

stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
for f in "${files[@]}"; do touch -d "@$stamp" "$stage/$f"; done
(cd "$dist" && TZ=UTC zip -q -X -D "$zipfile" "${files[@]/#/$name/}")

(cd "$stage" && sha256sum --quiet -c SHA256SUMS.txt)
unzip -l "$zipfile"
echo "bundle: $zipfile"
