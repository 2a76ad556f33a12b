#!/usr/bin/env bash
# The screen benchmark: prints, from one run, what a frame step that is not due costs against a
# bare tick read, the whole well against one band, how late frame steps act during a fast game
# under the real main loop, the real program's CPU use with no game, paused and playing, and
# the time from launch to its window.
#   scripts/bench-screen.sh [build tree]   (default: build/x64; build/x86 runs the i686 program
#                                           in a 32-bit prefix)
# Runs on its own Xvfb (display :91, or E2E_DISPLAY) in a prefix of its own inside the tree,
# and ends exactly what it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
if [ ! -f "$tree/build.ninja" ]; then
    "$root/scripts/build.sh" "$(basename "$tree")"
fi
cmake --build "$tree" --target stakka stkgfx midas11 beyond_mod bench_screen >/dev/null
# Not under ctest: the runner starts its own display and prefix.
unset STAKKA_BUILD_DIR
exec "$root/bench/run.sh" bench.py "$tree/bin" "$tree/tests/bench_screen.exe"
