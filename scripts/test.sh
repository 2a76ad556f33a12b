#!/usr/bin/env bash
# The test command: installs what is missing, builds both targets with their tests and runs the
# whole suite in each tree under Wine: build/x86 (i686, the build that ships, in 32-bit prefixes)
# and build/x64 (x86_64), each in its own throwaway prefixes, end-to-end runs on its own Xvfb.
# Where this machine cannot run 32-bit programs it says so in one line and runs build/x64 only.
#   scripts/test.sh [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=$(date +%s)
"$root/scripts/setup.sh"
set +e
wine32=$("$root/scripts/wine32.sh" check)
rc=$?
set -e
case $rc in
0) trees=(x86 x64) ;;
3) echo "test: $wine32"; trees=(x64) ;;
*) exit 1 ;;
esac
for t in "${trees[@]}"; do
    "$root/scripts/build.sh" "$t"
done

# Whatever happens to ctest, end what the harness started for each tree, and only that.
cleanup() {
    for t in "${trees[@]}"; do
        for mode in headless display; do
            STAKKA_BUILD_DIR=$root/build/$t STAKKA_WINE_ARCH=$([ "$t" = x86 ] && echo win32 || echo win64) \
                "$root/cmake/wine-prefix.sh" stop "$mode" >/dev/null 2>&1 || true
        done
    done
}
trap cleanup EXIT
# The trees take turns: each run already keeps both cores busy.
failed=()
summary=()
for t in "${trees[@]}"; do
    echo "test: build/$t"
    set +e
    ctest --test-dir "$root/build/$t" --output-on-failure -j 2 "$@" | tee "$root/build/$t/ctest.log"
    rc=${PIPESTATUS[0]}
    set -e
    [ "$rc" -eq 0 ] || failed+=("$t")
    summary+=("build/$t: $(grep -E 'tests passed' "$root/build/$t/ctest.log" | tail -1)")
done
printf 'test: %s\n' "${summary[@]}"
echo "test: wall time $(( $(date +%s) - start )) s"
[ "${#failed[@]}" -eq 0 ] || { echo "test: failed in ${failed[*]}" >&2; exit 1; }
