#!/usr/bin/env bash
# Makes the README's chart picture from the local quote service's data, so
# it always shows what the current chart window draws:
#   scripts/chart_screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
# (defaults: build, docs/chart.png). Builds what it needs, downloads one
# symbol through kestrion-cli from kestrion-quote-sim in a private settings
# folder, and draws the chart offscreen with `kestrion --chart ... --export`.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
out=${2:-$here/docs/chart.png}
symbol=MSFT

export CCACHE_BASEDIR=$here CCACHE_NOHASHDIR=1
[ -f "$build/build.ninja" ] || cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kestrion kestrion-cli kestrion-quote-sim >/dev/null

tmp=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

"$build/bin/kestrion-quote-sim" --port 0 >"$tmp/sim.out" &
sim=$!
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$tmp/sim.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "kestrion-quote-sim did not start" >&2; exit 1; }

mkdir -p "$tmp/config/Kestrion" "$tmp/dl"
cat >"$tmp/config/Kestrion/Kestrion.conf" <<CONF
[Services]
Yahoo Chart Host=http://127.0.0.1:$port
Fetch Timeout=10
CONF

XDG_CONFIG_HOME=$tmp/config DBUS_SESSION_BUS_ADDRESS= "$build/bin/kestrion-cli" --dir "$tmp/dl" --symbol "$symbol" \
    --source yahoo-chart --from 2023-01-02 --to 2024-06-28 --ext .csv >/dev/null
mkdir -p "$(dirname "$out")"
XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen "$build/bin/kestrion" --chart "$tmp/dl/$symbol.csv" \
    --export "$out" --size 1200x700 --sma 20,50
echo "wrote $out"
