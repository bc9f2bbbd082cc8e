#!/usr/bin/env bash
# The whole flow through TB_RULE.dll, as the mail client's rules engine drives it: sets the
# machine up, builds, creates the Wine prefix with a demo mailbox, registers the test mail
# client's automation server "Outlook.Application", builds a rule with the action's dialog
# (driven by a script; a picture of it is saved), describes the rule, fires it on every
# message, and prints the "Group" values before and after with the DLL's debug trace lines.
#   bash scripts/demo.sh [collection-name]        (default: Invoices)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
name=${1:-Invoices}
bash "$root/scripts/setup.sh"
echo "Building..."
# Only what the demo runs (the DLL, the MAPI provider, the simulator and the server).
log="$(mktemp)"
if ! bash "$root/scripts/build.sh" --target tb_rulehost >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    exit 1
fi
rm -f "$log"
source "$root/scripts/wine-env.sh"
tb_env_start

demo="$TB_BUILD/demo"
rm -rf "$demo"
mkdir -p "$demo"
cd "$demo"
bin="$TB_BUILD/bin"
host=(wine "$bin/tb_rulehost.exe" --dll "$(winepath -w "$bin/TB_RULE.dll")" --mailbox mailbox.txt --rules rules.txt)

echo
echo "== The demo mailbox ($demo/mailbox.txt)"
"${host[@]}" demo-mailbox >/dev/null
"${host[@]}" list

echo
echo "== The mail client's automation server"
wine "$bin/tb_mailserver.exe" register mailbox.txt

echo
echo "== Collections the user already has: Travel, Receipts"
wine reg delete 'HKCU\Software\Tallybook\Groups' /f >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Tallybook\Groups\Group1' /v Name /t REG_SZ /d Travel /f >/dev/null
wine reg add 'HKCU\Software\Tallybook\Groups\Group2' /v Name /t REG_SZ /d Receipts /f >/dev/null

echo
echo "== Building a rule: the select-collection dialog, \"New >>\", type \"$name\", OK, OK"
"${host[@]}" configure --script "newshot:new-collection.bmp;new:$name;shot:select-collection.bmp;ok" \
    | grep -v '^Dialog picture: ' || true
for picture in new-collection select-collection; do
    if [ -f "$picture.bmp" ]; then
        convert "$picture.bmp" "$picture.png" && rm -f "$picture.bmp"
        echo "Dialog screenshot: $demo/$picture.png"
    fi
done

echo
echo "== The rule as the rules engine shows it"
"${host[@]}" describe

echo
echo "== Firing the rule on every message (with the DLL's debug trace lines, if any)"
"${host[@]}" run || true
