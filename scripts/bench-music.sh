#!/usr/bin/env bash
# Benchmark of the music library under Wine, with a private sound server and without one:
# CPU use (percent of one core) idle, while the music plays and between games, and how long
# MIDASstopModule, MIDASstopBackgroundPlay and MIDASclose take (20 rounds: median and worst).
#   scripts/bench-music.sh [BUILD_DIR]     (default: build/x64, built beforehand; build/x86 runs
#                                           the i686 library in the tree's 32-bit prefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
bench=$build/tests/bench_midas.exe
if [ ! -f "$bench" ]; then
  echo "bench-music: $bench is missing; build the tree first (scripts/build.sh)" >&2
  exit 1
fi
export STAKKA_BUILD_DIR=$build STAKKA_SOURCE_DIR=$root STAKKA_WINE_MODE=headless
. "$root/bench/desktop.sh" # tree_winearch only
export STAKKA_WINE_ARCH=$(tree_winearch "$build")
. "$root/tests/pulse-env.sh"
"$root/cmake/wine-prefix.sh" start headless
trap 'pulse_stop; "$root/cmake/wine-prefix.sh" stop headless' EXIT
echo "== without a sound server"
PULSE_SERVER=unix:$build/no-sound-server "$root/cmake/wine-run.sh" "$bench" --idle 5 --play 5 --after 5
echo "== with a sound server"
pulse_start "$build/bench-pulse"
PULSE_LATENCY_MSEC=100 "$root/cmake/wine-run.sh" "$bench" --idle 5 --play 10 --after 5 --cycles 20
