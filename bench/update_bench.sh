#!/usr/bin/env bash
# An --update run next to a full run, both adding one new trading day to
# data files that hold 20 years of daily rows, against the local quote
# service. A first full run up to the day before makes the files; each
# measured run works on its own copy of them. Reports wall time (median of
# RUNS) and the bytes of the response bodies, counted by fetching the
# addresses of the service's request log again with curl. Also reports a
# floor: the update's addresses fetched by Qt's HTTP client, each answer
# followed by the least rewrite a newest-first file needs (first line, new
# row, old bytes; synced and renamed), with no reading or checking at all.
#   bench/update_bench.sh [options] [BUILD_DIR] [SYMBOLS] [DELAY_MS]
#     --source S   yahoo-chart (default), yahoo or tiingo
#     --to DATE    the new trading day (default 2025-06-11, a Wednesday)
#     --jobs N     kestrion-cli --jobs N (default: the source's own default)
#     --runs N     runs of each side (default 3)
# Example (the README's figure): bench/update_bench.sh build 500 0
set -euo pipefail

source=yahoo-chart to=2025-06-11 jobs='' runs=3 args=()
while (($#)); do
    case $1 in
        --source) source=$2; shift 2 ;;
        --to) to=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${args[0]:-$here/build}
bin=$build/bin
count=${args[1]:-500}
delay=${args[2]:-0}
from=$(date -d "$to -20 years" +%F)
before=$(date -d "$to -1 day" +%F)
work=$(mktemp -d)
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

source "$here/bench/bench_setup.sh"

cli=("$bin/kestrion-cli" --list "$work/list.mdb" --source "$source" --from "$from" --period daily --ext .csv
     ${jobs:+--jobs "$jobs"})
# Runs kestrion-cli on folder $1 with the options after it; prints seconds
# and leaves the paths it asked for in $work/$1.paths.
run() {
    local dir=$1; shift
    : >"$work/requests.log"
    local t0 t1
    t0=$(date +%s.%N)
    "${cli[@]}" --dir "$work/$dir" "$@" >/dev/null || echo "kestrion-cli exit $? ($dir)" >&2
    t1=$(date +%s.%N)
    awk '$1 == "GET" { print $2 }' "$work/requests.log" >"$work/$dir.paths"
    echo "$t1 - $t0" | bc -l
}
# Sum of the body sizes of the addresses in file $1.
body_bytes() {
    {
        echo 'user-agent = "Mozilla/5.0 (X11; Linux x86_64)"'
        if [[ $source == tiingo ]]; then echo "header = \"Authorization: Token $token\""; fi
        awk -v h="$host" '{ printf "url = \"http://%s%s\"\noutput = \"/dev/null\"\n", h, $1 }' "$1"
    } >"$work/sizes.cfg"
    curl -s -K "$work/sizes.cfg" -w '%{size_download}\n' | awk '{ s += $1 } END { print s }'
}

mkdir -p "$work/base"
echo "setting up: $count files, $from .. $before"
setup_s=$(run base --to "$before")
echo "setup run ${setup_s} s, $(du -sm "$work/base" | cut -f1) MB"

: >"$work/results"
# Every run works on copies of its own, all removed only at the end (see
# download_bench.sh for why).
for i in $(seq "$runs"); do
    cp -a "$work/base" "$work/full.$i"
    cp -a "$work/base" "$work/update.$i"
    cp -a "$work/base" "$work/floor.$i"
done
sync
for i in $(seq "$runs"); do
    full_s=$(run "full.$i" --to "$to")
    update_s=$(run "update.$i" --to "$to" --update)
    # The update's own addresses through Qt's HTTP client, each answer
    # followed by the least rewrite of its file (kestrion-http-floor).
    # The symbol is S<n> in the address (Tiingo writes it in lower case).
    awk -v h="$host" -v d="$work/floor.$i" '{ match(toupper($1), /[\/=]S[0-9]+/)
        printf "http://%s%s\t%s/%s.csv\n", h, $1, d, toupper(substr($1, RSTART + 1, RLENGTH - 1)) }' \
        "$work/update.$i.paths" >"$work/floor.$i.addresses"
    t0=$(date +%s.%N)
    if "$bin/kestrion-http-floor" --jobs "$floor_jobs" --rewrite ${token_header:+--header "$token_header"} \
        "$work/floor.$i.addresses" >/dev/null; then
        floor_s=$(echo "$(date +%s.%N) - $t0" | bc -l)
    else
        floor_s=nan
    fi
    echo "$full_s $update_s $floor_s" | tee -a "$work/results" |
        awk '{ printf "run: full %.3f s, update %.3f s, floor %.3f s\n", $1, $2, $3 }'
done
same=$(diff -rq "$work/full.$runs" "$work/update.$runs" >/dev/null && echo "yes" || echo "NO")
full_b=$(body_bytes "$work/full.$runs.paths")
update_b=$(body_bytes "$work/update.$runs.paths")

python3 - "$work/results" "$full_b" "$update_b" "$(wc -l <"$work/full.$runs.paths")" "$(wc -l <"$work/update.$runs.paths")" \
    "$same" "$count" "$source" "${jobs:-default}" "$delay" "$to" <<'PY'
import statistics, sys
path, full_b, update_b, full_n, update_n, same, count, source, jobs, delay, to = sys.argv[1:]
rows = [line.split() for line in open(path)]
full = statistics.median(float(r[0]) for r in rows)
update = statistics.median(float(r[1]) for r in rows)
full_b, update_b = int(full_b), int(update_b)
print(f"symbols                  {count} ({source}, --jobs {jobs}, delay {delay} ms), 20 years + {to}")
print(f"full run                 {full:.3f} s median, {full_n} requests, {full_b:,} body bytes")
print(f"--update run             {update:.3f} s median, {update_n} requests, {update_b:,} body bytes")
floor = statistics.median(float(r[2]) for r in rows)
print(f"floor                    {floor:.3f} s median (Qt client on the same addresses + least rewrite, synced)")
print(f"ratio update / full      bytes {100 * update_b / full_b:.2f} %, wall time {update / full:.3f} (floor {floor / full:.3f})")
print(f"files identical          {same}")
PY
