#!/usr/bin/env bash
# Starts Kestrion against the local quote service, in a throw-away settings
# folder, so it can be tried without internet and without touching the
# user's own settings, lists or downloads.
#   scripts/demo.sh BIN_DIR [--keep]
set -euo pipefail

bin=$1
shift
keep=0
for arg in "$@"; do
    case "$arg" in
    --keep) keep=1 ;;
    *)
        echo "usage: scripts/dev.sh demo [--keep]" >&2
        exit 2
        ;;
    esac
done

root=$(mktemp -d "${TMPDIR:-/tmp}/kestrion-demo.XXXXXX")
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    if [ "$keep" = 1 ]; then
        echo "Kept the demo folder: $root"
    else
        rm -rf "$root"
        echo "Removed the demo folder and stopped the local quote service."
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$root/config/Kestrion" "$root/data" "$root/state" "$root/cache" "$root/downloads"

# Port 0 lets the service pick a free port; it prints the one it took.
"$bin/kestrion-quote-sim" --port 0 --log "$root/requests.log" >"$root/sim.out" 2>&1 &
sim_pid=$!
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/^kestrion-quote-sim listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$root/sim.out")
    [ -n "$port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "The local quote service did not start:" >&2
    cat "$root/sim.out" >&2
    exit 1
fi
host="127.0.0.1:$port"

start_year=$(($(date +%Y) - 1))
cat >"$root/config/Kestrion/Kestrion.conf" <<CONF
[Settings]
Data%20Source=Yahoo Chart
DownloadDir=$root/downloads
StartMonth=Jan
StartDay=01
StartYear=$start_year
File%20Extension=.csv

[Services]
Yahoo%20History%20Host=$host
WSC%20Query%20Host=$host
WSC%20File%20Host=$host
Chart%20Host=$host
Yahoo%20Chart%20Host=http://$host
Tiingo%20Host=http://$host
CONF

cat <<TXT
Kestrion demo
  local quote service  http://$host (its requests are logged in $root/requests.log)
  settings             $root/config/Kestrion/Kestrion.conf
  download directory   $root/downloads
Press "Get Historical Data" to download the starter list from the local
service. Tiingo works too (its key here is sim-tiingo-token), and so do the
chart, View File and Convert to MS. Close the window to end the demo; the
folder above is then removed (scripts/dev.sh demo --keep keeps it).
TXT

status=0
XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_STATE_HOME="$root/state" \
    XDG_CACHE_HOME="$root/cache" KESTRION_TIINGO_TOKEN=sim-tiingo-token \
    "$bin/kestrion" || status=$?
echo "The demo stored $(find "$root/downloads" -type f | wc -l) file(s) in $root/downloads."
exit "$status"
