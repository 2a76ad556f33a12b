#!/bin/bash
# Runs one benchmark script against the real program:
#   run.sh <script.py> <folder with stakka.exe and its libraries> [script arguments...]
# It starts its own Xvfb on display :91 (E2E_DISPLAY) with a prefix of its own beside the
# program's folder (made once, with a virtual desktop), and ends exactly those.
set -u
script=$1
bindir=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop.sh"
trap end_private_desktop EXIT
base=${E2E_WORK:-$(dirname "$bindir")/e2e}
mkdir -p "$base"
private_desktop "$base" "${E2E_DISPLAY:-:91}" 800x600 "$(dirname "$bindir")"
work=$base/$(basename "$script" .py)
mkdir -p "$work"
python3 "$here/$script" "$bindir" "$work" "$@"
