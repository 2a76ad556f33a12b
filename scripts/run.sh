#!/usr/bin/env bash
# The run command: builds only the game and starts it under Wine.
#
# It looks for a display first, installs what the game needs if it is missing, then builds
# stakka.exe, stkgfx.dll, midas11.dll and beyond.mod for x86_64 (32-bit Wine cannot run on
# every Linux kernel) in a tree of its own, build/game: no tests, no sanitizers, no packages.
# One line per step; a step's output is shown only when it fails (it is kept in build/run.log).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display to show the game on (DISPLAY is not set)" >&2
    exit 1
fi

triple=x86_64-w64-mingw32
tree=$root/build/game
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
step "music library (libxmp, $triple)" "$root/scripts/build-libxmp.sh" "$triple"
if [ ! -f "$tree/build.ninja" ]; then
    step "configuring build/game" cmake -S "$root" -B "$tree" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" \
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
