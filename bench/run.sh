#!/bin/bash
# Runs one script against the real program (the benchmark; tests/e2e/run.sh runs the tests):
#   run.sh <script.py> <folder with stakka.exe and its libraries> [script arguments...]
# Under ctest (STAKKA_BUILD_DIR set, DISPLAY fixture) it uses the tree's X11 prefix and Xvfb.
# Run by hand it starts its own Xvfb on display :91 (E2E_DISPLAY) and uses a prefix of its
# own (E2E_PREFIX, made once with a virtual desktop by default), and ends exactly those.
set -u
script=$1
bindir=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
xvfb_pid=
cleanup() {
    if [ -z "${STAKKA_BUILD_DIR:-}" ]; then
        wineserver -k >/dev/null 2>&1 </dev/null
        if [ -n "$xvfb_pid" ]; then
            kill "$xvfb_pid" 2>/dev/null
            wait "$xvfb_pid" 2>/dev/null
        fi
    fi
}
trap cleanup EXIT

if [ -n "${STAKKA_BUILD_DIR:-}" ]; then
    export STAKKA_WINE_MODE=display
    . "$here/../cmake/wine-env.sh"
    [ -n "${DISPLAY:-}" ] || { echo "FAIL: no display from the harness"; exit 1; }
    work=$STAKKA_BUILD_DIR/e2e/$(basename "$script" .py)
else
    base=${E2E_WORK:-$(dirname "$bindir")/e2e}
    export WINEPREFIX=${E2E_PREFIX:-$base/prefix}
    export TMPDIR=$base/tmp
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    export DISPLAY=${E2E_DISPLAY:-:91}
    mkdir -p "$TMPDIR"
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$base/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
    if [ ! -f "$WINEPREFIX/.stakka-ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
        touch "$WINEPREFIX/.stakka-ready"
    fi
    work=$base/$(basename "$script" .py)
fi
mkdir -p "$work"
python3 "$here/$script" "$bindir" "$work" "$@"
