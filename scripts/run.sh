#!/usr/bin/env bash
# The run command: builds only the game and starts it under Wine.
#   scripts/run.sh       x86_64, the fast path: 64-bit Wine as the game's packages install it
#   scripts/run.sh x86   the i686 program that ships, under 32-bit Wine (installed if missing)
#
# It looks for a display first, installs what the game needs if it is missing, then builds
# stakka.exe, stkgfx.dll, midas11.dll and beyond.mod in a tree of its own (build/game, or
# build/game-x86): no tests, no sanitizers, no packages. The i686 program runs in a 32-bit
# prefix of its own, build/game-x86/prefix, unless WINEPREFIX names one.
# One line per step; a step's output is shown only when it fails (it is kept in build/run.log).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-x64}
case $target in
x64) triple=x86_64-w64-mingw32 tree=$root/build/game toolchain=toolchain-x86_64.cmake ;;
x86) triple=i686-w64-mingw32 tree=$root/build/game-x86 toolchain=toolchain-i686.cmake ;;
*) echo "usage: scripts/run.sh [x64|x86]" >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display to show the game on (DISPLAY is not set)" >&2
    exit 1
fi

log=$root/build/run.log
mkdir -p "$root/build"
: >"$log"

step() {
    local what=$1
    shift
    echo "run: $what"
    if ! "$@" >>"$log" 2>&1; then
        echo "run: $what failed:" >&2
        cat "$log" >&2
        exit 1
    fi
}

step "system packages" "$root/scripts/setup.sh" game
if [ "$target" = x86 ]; then
    # Exit 3: this machine cannot run 32-bit programs; the script's one line says so.
    echo "run: 32-bit Wine"
    set +e
    "$root/scripts/wine32.sh" ensure >>"$log" 2>&1
    rc=$?
    set -e
    if [ "$rc" -ne 0 ]; then
        echo "run: 32-bit Wine failed:" >&2
        tail -5 "$log" >&2
        exit 1
    fi
    export WINEARCH=win32 WINEPREFIX=${WINEPREFIX:-$tree/prefix}
fi
step "music library (libxmp, $triple)" "$root/scripts/build-libxmp.sh" "$triple"
if [ ! -f "$tree/build.ninja" ]; then
    step "configuring ${tree#$root/}" cmake -S "$root" -B "$tree" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
        -DSTAKKA_TESTS=OFF -DSTAKKA_UBSAN=OFF -DSTAKKA_PACKAGES=OFF
fi
step "building the game" cmake --build "$tree" --target stakka stkgfx midas11 beyond_mod

bin=$tree/bin
for f in stakka.exe stkgfx.dll midas11.dll beyond.mod; do
    if [ ! -f "$bin/$f" ]; then
        echo "run: the build did not make $bin/$f" >&2
        exit 1
    fi
done
# Wine's own chatter (sound drivers it probes, prefix updates) goes to a log, not the console.
winelog=$root/build/wine.log
echo "run: starting Stakka (Wine's messages: build/wine.log)"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
cd "$bin"
exec wine stakka.exe >>"$winelog" 2>&1
