#!/usr/bin/env bash
# Peak memory of kestrion-cli storing one huge answer from the local quote
# service (a history table of SIZE MiB), for the plain data file and for the
# MetaStock downloader, next to the answer's size.
#   bench/memory_bench.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
bin=$build/bin
size=${2:-300}
work=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/kestrion-quote-sim" --port 0 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
host=127.0.0.1:$(head -n1 "$work/sim.out" | sed 's/.*://')

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Kestrion" "$work/plain" "$work/ms"
printf '[Services]\nYahoo%%20History%%20Host=%s\nFetch%%20Timeout=30\n' "$host" >"$XDG_CONFIG_HOME/Kestrion/Kestrion.conf"

peak() { # peak KiB, exit status and seconds of one kestrion-cli run
    python3 - "$bin/kestrion-cli" "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
rc = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, rc, f"{time.monotonic() - start:.2f}")
PY
}
read -r plain_kb plain_rc plain_s < <(peak --source yahoo --symbol "HUGE${size}_A" --dir "$work/plain" --ext .csv)
stored=$(stat -c %s "$work/plain/HUGE${size}_A.csv" 2>/dev/null || echo 0)
read -r ms_kb ms_rc ms_s < <(peak --source yahoo --metastock --symbol "HUGE${size}_A" --dir "$work/ms")

python3 - "$size" "$stored" "$plain_kb" "$plain_rc" "$plain_s" "$ms_kb" "$ms_rc" "$ms_s" <<'PY'
import sys
size, stored = int(sys.argv[1]), int(sys.argv[2])
plain_kb, plain_rc, plain_s, ms_kb, ms_rc, ms_s = int(sys.argv[3]), sys.argv[4], sys.argv[5], int(sys.argv[6]), sys.argv[7], sys.argv[8]
print(f"answer                         {size} MiB; stored {stored / 2**20:.1f} MiB (exit {plain_rc}, {plain_s} s)")
print(f"peak memory, data file         {plain_kb / 1024:.1f} MB   (target < 60 MB; ratio to target {plain_kb / 1024 / 60:.2f})")
print(f"peak memory, MetaStock output  {ms_kb / 1024:.1f} MB   (exit {ms_rc}: refused as no price table, {ms_s} s;"
      f" ratio to target {ms_kb / 1024 / 60:.2f})")
PY
