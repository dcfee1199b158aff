#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets:
# the layout, the desktop entry and AppStream data, the man page, and that
# the installed programs find their files under <prefix>/share/kestrion.
#   tests/install_test.sh BUILD_DIR
set -euo pipefail

build=$1
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
passes=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        echo "PASS   : $what"
        passes=$((passes + 1))
    else
        echo "FAIL!  : $what"
        sed 's/^/         /' "$work/out"
        failures=$((failures + 1))
    fi
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/kestrion bin/kestrion-cli \
    share/kestrion/dbase.mdb share/kestrion/Kestrion.html \
    share/kestrion/yahoofinance.bmp share/kestrion/wallstreetcity.bmp share/kestrion/tiingo.bmp \
    share/applications/org.kestrion.Kestrion.desktop \
    share/metainfo/org.kestrion.Kestrion.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.kestrion.Kestrion.svg \
    share/icons/hicolor/48x48/apps/org.kestrion.Kestrion.png \
    share/icons/hicolor/256x256/apps/org.kestrion.Kestrion.png \
    share/man/man1/kestrion-cli.1.gz; do
    check "installed $f" test -s "$prefix/$f"
done
check "nothing for tests or development is installed" \
    bash -c "! find '$prefix' -name 'test_*' -o -name 'kestrion-quote-sim' -o -name 'kestrion-make-list' | grep -q ."
check "desktop entry is valid" desktop-file-validate "$prefix/share/applications/org.kestrion.Kestrion.desktop"
check "AppStream metainfo is valid" appstreamcli validate --no-net "$prefix/share/metainfo/org.kestrion.Kestrion.metainfo.xml"
check "man page renders" bash -c "zcat '$prefix/share/man/man1/kestrion-cli.1.gz' | groff -man -Tutf8 -ww -z"
check "installed kestrion-cli --help" bash -c "'$prefix/bin/kestrion-cli' --help | grep -q -- --metastock"

# A list run of the installed runner against the local quote service, with
# the default list: the user's copy of share/kestrion/dbase.mdb.
"$build/bin/kestrion-quote-sim" --port 0 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
host=127.0.0.1:$(head -n1 "$work/sim.out" | sed 's/.*://')
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/Kestrion" "$work/dl"
printf '[Services]\nYahoo%%20History%%20Host=%s\nWSC%%20Query%%20Host=%s\nWSC%%20File%%20Host=%s\n' \
    "$host" "$host" "$host" >"$XDG_CONFIG_HOME/Kestrion/Kestrion.conf"
shipped_sum=$(md5sum <"$prefix/share/kestrion/dbase.mdb")
check "installed kestrion-cli runs the default list" bash -c "
    '$prefix/bin/kestrion-cli' --dir '$work/dl' --source yahoo --ext .csv --from 2024-01-01 --to 2024-03-31 > '$work/cli.out'
    grep -q '^MSFT ok $work/dl/MSFT.csv\$' '$work/cli.out' && grep -q '^BCE.TO ok $work/dl/BCE-TO.csv\$' '$work/cli.out'"
check "the default list is the user's copy" test -f "$XDG_DATA_HOME/Kestrion/Kestrion/dbase.mdb"
check "the shipped list is never written" bash -c "[ \"\$(md5sum <'$prefix/share/kestrion/dbase.mdb')\" = '$shipped_sum' ]"

# The installed window starts (offscreen), and SIGTERM saves its settings.
check "installed kestrion starts and saves its settings on SIGTERM" bash -c "
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 '$prefix/bin/kestrion' >'$work/gui.out' 2>&1 &
    pid=\$!
    sleep 5
    kill -0 \$pid && kill -TERM \$pid && wait \$pid
    grep -q '^Data%20Format=5' '$XDG_CONFIG_HOME/Kestrion/Kestrion.conf'"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
