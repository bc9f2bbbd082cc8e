#!/usr/bin/env bash
# The soak: 10,000 rule firings through the rules-engine simulator's core with the automation
# server out of process, then 1,000 configure/cancel cycles of the collection dialog, all in one
# host process; prints its handle count and private bytes after a warm-up and at the end, then
# checks that no automation server process is left behind. Not part of the test suite.
#   bash scripts/soak.sh [--firings N] [--cycles N]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/bench-env.sh"

soak="$TB_BUILD/soak"
rm -rf "$soak"
mkdir -p "$soak"
cd "$soak"
bin="$TB_BUILD/bin"
wine "$bin/tb_rulehost.exe" --mailbox mailbox.txt demo-mailbox >/dev/null
# The server ends at its maximum lifetime whatever happens: longer than the soak.
wine "$bin/tb_mailserver.exe" register mailbox.txt --lifetime 7200 >/dev/null
echo "machine: $(nproc) cores, $(wine --version)"
status=0
wine "$bin/tb_soak.exe" --dll "$(winepath -w "$bin/TB_RULE.dll")" --mailbox mailbox.txt "$@" || status=$?

# The server ends when its last object is released; give it a moment, then count what is left.
# Only this build's server counts: other builds on the machine may run their own.
server=$(winepath -w "$bin/tb_mailserver.exe" | sed 's/[\\.]/\\&/g')
left=0
waited=0
for _ in $(seq 60); do
    left=$(pgrep -fc "$server" || true)
    [ "$left" -eq 0 ] && break
    sleep 0.5
    waited=$((waited + 1))
done
echo "automation server processes left after the soak: $left (looked for $((waited / 2)) s)"
wine "$bin/tb_mailserver.exe" unregister >/dev/null 2>&1 || true
exit $status
