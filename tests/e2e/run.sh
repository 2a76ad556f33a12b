#!/bin/bash
# Runs an end-to-end script under ctest, in the tree's X11 prefix on its Xvfb:
#   run.sh <script.py> <folder with stakka.exe and its libraries> [script arguments...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
export STAKKA_WINE_MODE=display
. "$here/../../cmake/wine-env.sh"
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no display from the harness"; exit 1; }
work=$STAKKA_BUILD_DIR/e2e/$(basename "$1" .py)
mkdir -p "$work"
exec python3 "$here/$1" "$(realpath "$2")" "$work" "${@:3}"
