#!/usr/bin/env bash
# The computer player's benchmark: decision time per piece at each strength, headless games
# without rising rows (lines per game, games that reach the 10,000-piece cap), headless matches
# with rising rows between strengths.
#   scripts/bench-cpu.sh [x64 build tree] [parts...]   (default: build/x64, decide games match)
# Runs in a Wine prefix of its own inside the tree (no display needed) and ends exactly the
# Wine server of that prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
shift || true
parts=${*:-decide games match}
if [ ! -f "$tree/build.ninja" ]; then
    "$root/scripts/build.sh" x64
fi
cmake --build "$tree" --target bench_cpu >/dev/null
base=$tree/cpubench
export WINEPREFIX=$base/prefix TMPDIR=$base/tmp
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$TMPDIR"
trap 'wineserver -k >/dev/null 2>&1 </dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/.stakka-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    touch "$WINEPREFIX/.stakka-ready"
fi
for part in $parts; do
    wine "$tree/bench/bench_cpu.exe" "$part" 2>/dev/null | tr -d '\r'
    echo
done
