#!/usr/bin/env bash
# Runs the demo offscreen: it must point a fresh settings folder at a local
# quote service that answers, and leave neither behind when the window goes.
#   tests/demo_test.sh BIN_DIR
set -uo pipefail

bin=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp)
export TMPDIR=$(mktemp -d)
trap 'rm -rf "$out" "$TMPDIR"' EXIT
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }

QT_QPA_PLATFORM=offscreen bash "$here/scripts/demo.sh" "$bin" >"$out" 2>&1 &
demo=$!
for _ in $(seq 300); do
    grep -q '^  download directory' "$out" && break
    kill -0 "$demo" 2>/dev/null || fail "the demo ended early"
    sleep 0.1
done
root=$(sed -n 's/^  settings *\(.*\)\/config\/Kestrion\/Kestrion.conf$/\1/p' "$out")
conf=$root/config/Kestrion/Kestrion.conf
[ -f "$conf" ] || fail "no settings file"
port=$(sed -n 's/^Yahoo%20Chart%20Host=http:\/\/127\.0\.0\.1:\([0-9]*\)$/\1/p' "$conf")
[ -n "$port" ] || fail "Yahoo Chart is not pointed at the local service"
grep -qx "DownloadDir=$root/downloads" "$conf" || fail "no download directory"
grep -qx "Data%20Source=Yahoo Chart" "$conf" || fail "source is not Yahoo Chart"

# The window reads those settings: a run with them stores a file.
XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data "$bin/kestrion-cli" --symbol MSFT >>"$out" 2>&1 \
    || fail "kestrion-cli with the demo settings"
[ -s "$root/downloads/MSFT.csv" ] || fail "no MSFT.csv"

for _ in $(seq 300); do
    # The demo's own window: other tests may have one of theirs open.
    window=$(pgrep -P "$demo" -f "^$bin/kestrion\$" | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the window did not start"
kill -TERM "$window"
wait "$demo"
pgrep -f "kestrion-quote-sim --port 0 --log $root/" >/dev/null && fail "the local service is still running"
[ -e "$root" ] && fail "$root is still there"
echo "PASS: the demo starts against the local service and leaves nothing behind"
