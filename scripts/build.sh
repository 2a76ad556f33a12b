#!/usr/bin/env bash
# Configures and builds Stakka for one or both Windows targets.
#   scripts/build.sh [x64|x86|all]   (default: all)
# Trees: build/x64 (x86_64) and build/x86 (i686, ships), each with its tests and undefined-
# behaviour traps; both run under Wine (i686 under 32-bit Wine: scripts/wine32.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
jobs=$(nproc 2>/dev/null || echo 2)

build_one() {
    local name=$1 toolchain=$2
    local dir=$root/build/$name
    # A tree configured before the i686 tests existed is configured once more, with them.
    if [ ! -f "$dir/build.ninja" ] || ! grep -q '^STAKKA_TESTS:BOOL=ON' "$dir/CMakeCache.txt"; then
        cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
            -DSTAKKA_TESTS=ON -DSTAKKA_UBSAN=ON >/dev/null
    fi
    echo "build: $name"
    cmake --build "$dir" -j "$jobs"
}

case $which in
x64) build_one x64 toolchain-x86_64.cmake ;;
x86) build_one x86 toolchain-i686.cmake ;;
all)
    build_one x64 toolchain-x86_64.cmake
    build_one x86 toolchain-i686.cmake
    ;;
*) echo "usage: scripts/build.sh [x64|x86|all]" >&2; exit 2 ;;
esac
