#!/usr/bin/env bash
# Benchmark of the music library under Wine with a private sound server:
# CPU use while the music plays (whole process and the mixing thread, in
# percent of one core) and how long MIDASstopModule, MIDASstopBackgroundPlay
# and MIDASclose take (20 rounds each: median and worst).
#   scripts/bench-music.sh [BUILD_DIR]     (default: build/x64, built beforehand)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
bench=$build/tests/bench_midas.exe
if [ ! -f "$bench" ]; then
  echo "bench-music: $bench is missing; build the x86_64 tree first" >&2
  exit 1
fi
export STAKKA_BUILD_DIR=$build STAKKA_SOURCE_DIR=$root STAKKA_WINE_MODE=headless
"$root/cmake/wine-prefix.sh" start headless
trap '"$root/cmake/wine-prefix.sh" stop headless' EXIT
"$root/tests/music_pulse.sh" bench "$bench"
