#!/usr/bin/env bash
# Fetches three well-known symbols from each current quote source over the
# internet and prints one line per file: source, symbol, rows, last date.
# Needs a build (scripts/dev.sh build) and a network; Tiingo is checked only
# when KESTRION_TIINGO_TOKEN holds a key, and each shipped service description
# only when its KESTRION_<NAME>_KEY does. Not part of the test suite.
#   scripts/live-check.sh [BUILD_DIR]
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=${1:-$here/build}/bin/kestrion-cli
[ -x "$cli" ] || { echo "live-check: no $cli; run scripts/dev.sh build first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings folder of its own, so the real services' default hosts are used
# whatever the user's settings point at.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

sources=(yahoo-chart)
if [ -n "${KESTRION_TIINGO_TOKEN:-}" ]; then
    sources+=(tiingo)
else
    echo "tiingo: skipped (set KESTRION_TIINGO_TOKEN to check it)"
fi

# The shipped descriptions: --list-sources says which have a key at hand and
# which periods each gives (a monthly-only service is asked for months).
declare -A period=([yahoo-chart]=daily [tiingo]=daily)
while IFS=$'\t' read -r name _ _ present periods origin _; do
    [ "$origin" = "shipped file" ] || continue
    if [ "$present" != "key present: yes" ]; then
        var=KESTRION_$(tr 'a-z-' 'A-Z_' <<<"$name")_KEY
        echo "$name: skipped (set $var to check it)"
        continue
    fi
    sources+=("$name")
    case ",$periods," in *,daily,*) period[$name]=daily ;; *) period[$name]=${periods%%,*} ;; esac
done < <("$cli" --list-sources)

status=0
for source in "${sources[@]}"; do
    from=$(date -d '-40 days' +%F)
    [ "${period[$source]}" = daily ] || from=$(date -d '-400 days' +%F)
    for symbol in AAPL MSFT SPY; do
        dir=$work/$source
        mkdir -p "$dir"
        if ! line=$("$cli" --source "$source" --symbol "$symbol" --dir "$dir" --from "$from" \
            --period "${period[$source]}" --ext .csv); then
            echo "$source $symbol ${line:-failed}"
            status=1
            continue
        fi
        file=$dir/$symbol.csv
        rows=$(($(wc -l <"$file") - 1))
        last=$(sed -n 2p "$file" | cut -d, -f1)
        echo "$source $symbol rows=$rows last=$last"
    done
done
exit $status
