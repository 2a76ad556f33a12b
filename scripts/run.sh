#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts Stakka under Wine
# (the x86_64 build: 32-bit Wine cannot run on every Linux kernel).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" x64
bin=$root/build/x64/bin
for f in stakka.exe stkgfx.dll; do
    if [ ! -f "$bin/$f" ]; then
        echo "run: the build did not make $bin/$f" >&2
        exit 1
    fi
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display to show the game on (DISPLAY is not set)" >&2
    exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
cd "$bin"
exec wine stakka.exe
