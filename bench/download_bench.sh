#!/usr/bin/env bash
# Times kestrion-cli on a 1000-symbol list against the local quote service
# with a fixed delay per response, next to curl fetching the same 1000 URLs
# over one kept-alive connection, and reports kestrion-cli's peak memory.
#   bench/download_bench.sh [BUILD_DIR] [SYMBOLS] [DELAY_MS]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
bin=$build/bin
count=${2:-1000}
delay=${3:-20}
work=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/kestrion-quote-sim" --port 0 --delay-ms "$delay" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(head -n1 "$work/sim.out" | sed 's/.*://')
host=127.0.0.1:$port

symbols=()
for i in $(seq 1 "$count"); do symbols+=("S$i"); done
"$build/data/kestrion-make-list" "$work/list.mdb" "${symbols[@]}"

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Kestrion" "$work/dl"
cat >"$XDG_CONFIG_HOME/Kestrion/Kestrion.conf" <<CONF
[Services]
Yahoo%20History%20Host=$host
WSC%20Query%20Host=$host
WSC%20File%20Host=$host
Fetch%20Timeout=30
CONF

# Same requests as the run: a year of daily quotes per symbol.
query='a=0&b=01&c=2024&d=11&e=31&f=2024'
: >"$work/curl.cfg"
for s in "${symbols[@]}"; do
    printf 'url = "http://%s/table.csv?%s&s=%s&y=0&g=d&ignore=.csv"\noutput = "%s/curl-%s.csv"\n' \
        "$host" "$query" "$s" "$work" "$s" >>"$work/curl.cfg"
done

now() { date +%s.%N; }
t0=$(now)
curl -s --config "$work/curl.cfg"
t1=$(now)
python3 - "$bin/kestrion-cli" "$work" <<'PY' >"$work/cli.out"
import resource, subprocess, sys, time
cli, work = sys.argv[1], sys.argv[2]
start = time.monotonic()
rc = subprocess.call([cli, "--list", work + "/list.mdb", "--dir", work + "/dl", "--source", "yahoo",
                      "--from", "2024-01-01", "--to", "2024-12-31", "--period", "daily", "--ext", ".csv"],
                     stdout=subprocess.DEVNULL)
elapsed = time.monotonic() - start
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(f"{elapsed:.3f} {peak_kb} {rc}")
PY
read -r cli_s peak_kb cli_rc <"$work/cli.out"
curl_s=$(echo "$t1 - $t0" | bc -l 2>/dev/null || python3 -c "print($t1 - $t0)")
stored=$(ls "$work/dl" | grep -c '\.csv$' || true)

python3 - "$count" "$delay" "$curl_s" "$cli_s" "$peak_kb" "$cli_rc" "$stored" <<'PY'
import sys
count, delay = int(sys.argv[1]), int(sys.argv[2])
curl_s, cli_s, peak_kb, rc, stored = float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5]), sys.argv[6], sys.argv[7]
injected = count * delay / 1000.0
print(f"symbols                      {count} (delay {delay} ms per response)")
print(f"curl wall time               {curl_s:.3f} s")
print(f"kestrion-cli wall time       {cli_s:.3f} s   (exit {rc}, {stored} files)")
print(f"ratio kestrion-cli / curl    {cli_s / curl_s:.2f}   (target <= 1.30)")
print(f"per-ticker overhead          curl {1000 * (curl_s - injected) / count:.2f} ms, "
      f"kestrion-cli {1000 * (cli_s - injected) / count:.2f} ms beyond the injected delay")
print(f"kestrion-cli peak memory     {peak_kb / 1024:.1f} MB   (target < 60 MB)")
PY
