#!/usr/bin/env bash
# The test command: installs what is missing, builds both targets and runs every test
# (under Wine, in build/x64's own throwaway prefixes; end-to-end runs on their own Xvfb).
#   scripts/test.sh [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

tree=$root/build/x64
# Whatever happens to ctest, end what the harness started for this tree, and only that.
cleanup() {
    for mode in headless display; do
        STAKKA_BUILD_DIR=$tree "$root/cmake/wine-prefix.sh" stop "$mode" >/dev/null 2>&1 || true
    done
}
trap cleanup EXIT
ctest --test-dir "$tree" --output-on-failure -j 2 "$@"
