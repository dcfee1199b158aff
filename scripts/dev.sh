#!/usr/bin/env bash
# Kestrion developer entry point, for a Debian 12 machine.
#   scripts/dev.sh run        install what is missing, build, start Kestrion
#   scripts/dev.sh test       install what is missing, build, run every test
#   scripts/dev.sh sanitize   the same tests built with ASan and UBSan
#   scripts/dev.sh build      install what is missing and build only
#   scripts/dev.sh demo       build, then start Kestrion against the local
#                             quote service in a throw-away settings folder
#                             (--keep keeps that folder)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmd=${1:-run}
jobs=$(nproc 2>/dev/null || echo 2)

packages=(
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
    qt6-webengine-dev qt6-webengine-dev-tools libqt6opengl6-dev
    qtkeychain-qt6-dev mdbtools-dev
    curl xvfb xauth appstream desktop-file-utils groff-base
    # Loaded at run time, so no build step notices when they are missing:
    # QtKeychain opens libsecret to reach the desktop's secret store, Qt
    # opens OpenSSL for https and the xcb plugin for a real window, and the
    # key store tests start a private session bus.
    libsecret-1-0 libssl3 qt6-qpa-plugins dbus-daemon fonts-dejavu-core
)
# npm fetches the Access sample file the list import tests read; a machine
# that has it already (from Node.js's own packages) needs no second copy.
command -v npm >/dev/null 2>&1 || packages+=(npm)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# Let ccache reuse objects across checkouts in different folders.
export CCACHE_BASEDIR=$here CCACHE_NOHASHDIR=1

build() { # build DIR [cmake options...]
    local dir=$1
    shift
    cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

case "$cmd" in
run)
    install_missing
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec "$here/build/bin/kestrion"
    ;;
build)
    install_missing
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ;;
test)
    install_missing
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ctest --test-dir "$here/build" --output-on-failure
    ;;
sanitize)
    install_missing
    build "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DKESTRION_SANITIZE=ON
    # Qt WebEngine itself trips the new/delete size check; our code does not.
    ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$here/build-asan" --output-on-failure
    ;;
demo)
    install_missing
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec bash "$here/scripts/demo.sh" "$here/build/bin" "${@:2}"
    ;;
*)
    echo "usage: scripts/dev.sh run|test|sanitize|build|demo" >&2
    exit 2
    ;;
esac
