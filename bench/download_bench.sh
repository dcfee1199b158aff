#!/usr/bin/env bash
# Times kestrion-cli on an N-symbol list against the local quote service,
# which answers after a fixed delay, next to curl fetching the same addresses
# (copied from the service's request log) one after another over one
# kept-alive connection. Each side runs RUNS times; medians are compared.
# Also reports kestrion-cli's peak memory, and Qt's HTTP client alone on the same
# addresses (kestrion-http-floor): the least a Qt program spends on them.
#   bench/download_bench.sh [options] [BUILD_DIR] [SYMBOLS] [DELAY_MS]
#     --source S   yahoo-chart (default), yahoo or tiingo
#     --jobs N     kestrion-cli --jobs N (default: the source's own default)
#     --runs N     runs of each side (default 3)
# Examples: the 4-in-flight and the one-at-a-time figures of the README:
#   bench/download_bench.sh --jobs 4 build 1000 20
#   bench/download_bench.sh --jobs 1 build 1000 0
set -euo pipefail

source=yahoo-chart jobs='' runs=3 args=()
while (($#)); do
    case $1 in
        --source) source=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${args[0]:-$here/build}
bin=$build/bin
count=${args[1]:-1000}
delay=${args[2]:-20}
work=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

source "$here/bench/bench_setup.sh"

# Runs a command, printing "SECONDS PEAK_KB EXIT".
timed() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
rc = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL)
print(f"{time.monotonic() - start:.3f} {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss} {rc}")
PY
}

cli=("$bin/kestrion-cli" --list "$work/list.mdb" --source "$source" --from 2024-01-01 --to 2024-12-31
     --period daily --ext .csv ${jobs:+--jobs "$jobs"})
: >"$work/results"
# Each run writes into folders of its own, removed only after the last run:
# ext4 without a journal (as on the build machines) passes over every inode
# freed in the last minutes when it makes a file, so deleting one run's
# thousands of files just before the next would bill whichever side comes
# first for that search.
for run in $(seq "$runs"); do
    dl=$work/dl.$run curl_dir=$work/curl.$run
    mkdir -p "$dl" "$curl_dir"
    : >"$work/requests.log"
    read -r cli_s peak_kb cli_rc < <(timed "${cli[@]}" --dir "$dl")
    stored=$(find "$dl" -name '*.csv' | wc -l)
    # The very addresses kestrion-cli asked for, in its order, with the
    # header fields the source needs.
    {
        echo 'user-agent = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36"'
        if [[ $source == tiingo ]]; then echo "header = \"Authorization: Token $token\""; fi
        awk -v h="$host" -v d="$curl_dir" '$1 == "GET" { printf "url = \"http://%s%s\"\noutput = \"%s/%d\"\n", h, $2, d, NR }' \
            "$work/requests.log"
    } >"$work/curl.cfg"
    requests=$(grep -c '^GET' "$work/requests.log")
    awk -v h="$host" '$1 == "GET" { print "http://" h $2 }' "$work/requests.log" >"$work/addresses"
    read -r curl_s _ _ < <(timed curl -s -K "$work/curl.cfg")
    # Qt's HTTP client alone, as many at a time as kestrion-cli, no files.
    read -r floor_s _ floor_rc < <(timed "$bin/kestrion-http-floor" --jobs "$floor_jobs" \
        ${token_header:+--header "$token_header"} "$work/addresses")
    if ((floor_rc != 0)); then floor_s=nan; fi
    echo "$cli_s $curl_s $peak_kb $cli_rc $stored $requests $floor_s" | tee -a "$work/results" |
        awk '{ printf "run: kestrion-cli %.3f s (exit %s, %s files, %s requests), curl %.3f s, Qt client alone %.3f s\n", $1, $4, $5, $6, $2, $7 }'
done

python3 - "$count" "$delay" "$source" "${jobs:-default}" "$work/results" <<'PY'
import statistics, sys
count, delay, source, jobs, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
rows = [line.split() for line in open(path)]
cli = statistics.median(float(r[0]) for r in rows)
curl = statistics.median(float(r[1]) for r in rows)
peak_kb = max(int(r[2]) for r in rows)
print(f"symbols                      {count} ({source}, --jobs {jobs}, delay {delay} ms per response)")
print(f"curl wall time, median       {curl:.3f} s   (one connection, one request after another)")
print(f"kestrion-cli wall time, med. {cli:.3f} s   (runs: {', '.join(r[0] for r in rows)})")
floor = statistics.median(float(r[6]) for r in rows)
print(f"Qt client alone, median      {floor:.3f} s   (QNetworkAccessManager, as many at a time, no files)")
print(f"ratio kestrion-cli / curl    {cli / curl:.2f}   (Qt client alone / curl {floor / curl:.2f})")
print(f"wall time per ticker         curl {1000 * curl / count:.2f} ms, kestrion-cli {1000 * cli / count:.2f} ms")
print(f"kestrion-cli peak memory     {peak_kb / 1024:.1f} MB")
PY
