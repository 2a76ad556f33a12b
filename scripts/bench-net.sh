#!/usr/bin/env bash
# The two-player benchmark: prints the time from a landing on one side to the other side's
# Stats panel over loopback, and the real program's CPU use while it waits for a player and
# during a match (two copies on one Wine desktop, driven through their menus).
#   scripts/bench-net.sh [build tree] [seconds per CPU figure]   (defaults: build/x64, 10)
# Either tree: build/x86 runs the i686 program in a 32-bit prefix.
# Then the window's answer times while a name takes 5 s to resolve (bench/slowdns.c, built
# here with the host's gcc) and under hostile callers; NET_BENCH_PROGRAM=<folder of stakka.exe>
# measures another build's program in these two.
# Runs on its own Xvfb (display :93, or NET_BENCH_DISPLAY) in a prefix of its own inside the
# tree, and ends exactly what it started. Loopback only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
seconds=${2:-10}
if [ ! -f "$tree/build.ninja" ]; then
    "$root/scripts/build.sh" "$(basename "$tree")"
fi
cmake --build "$tree" --target stakka stkgfx midas11 beyond_mod bench_netplay >/dev/null

base=$tree/netbench
mkdir -p "$base"
. "$root/bench/desktop.sh"
trap end_private_desktop EXIT
# One desktop for both copies and the driver.
private_desktop "$base" "${NET_BENCH_DISPLAY:-:93}" 1000x700 "$tree"
bench=$tree/bench/bench_netplay.exe
bindir=$(winepath -w "$tree/bin" 2>/dev/null)
wine "$bench" latency 2>/dev/null | tr -d '\r'
# CPU seconds (utime + stime, in clock ticks) of the program's copies in this prefix.
copies() {
    # Wine shows a program's Windows path as its command line: only this tree's copies match.
    EXE="$bindir\\stakka.exe" ps -eo pid=,args= | EXE="$bindir\\stakka.exe" \
        awk 'index($0, ENVIRON["EXE"]) {print $1}'
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)
declare -A t0
# Lines are read as they come (no filter between that would hold them back).
wine "$bench" program "$bindir" "$seconds" 2>"$base/program.err" | while read -r line; do
    line=${line%$'\r'}
    case $line in
    "phase "*" start")
        for p in $(copies); do t0[$p]=$(ticks "$p"); done
        start=$(date +%s.%N)
        # NET_BENCH_SHOT=<file.ppm> keeps a screenshot of the desktop at the start of the
        # phase NET_BENCH_SHOT_PHASE (waiting or match; default match).
        if [ "${line#phase ${NET_BENCH_SHOT_PHASE:-match}}" != "$line" ] && [ -n "${NET_BENCH_SHOT:-}" ]; then
            import -window root -depth 8 "$NET_BENCH_SHOT" 2>/dev/null || true
        fi ;;
    "phase "*" end")
        phase=${line#phase }; phase=${phase% end}
        wall=$(echo "$(date +%s.%N) - $start" | bc -l)
        n=0
        for p in $(copies); do
            n=$((n + 1))
            used=$(( $(ticks "$p") - ${t0[$p]:-0} ))
            printf 'copy %d (pid %s) %s: CPU %.2f%% over %.1f s\n' "$n" "$p" "$phase" \
                "$(echo "100 * $used / $hz / $wall" | bc -l)" "$wall"
        done ;;
    *) echo "$line" ;;
    esac
done

progdir=$(winepath -w "${NET_BENCH_PROGRAM:-$tree/bin}" 2>/dev/null)
gcc -shared -fPIC -O2 -o "$base/slowdns.so" "$root/bench/slowdns.c" -ldl
LD_PRELOAD=$base/slowdns.so wine "$bench" lookup "$progdir" slow.stakka.test 2>/dev/null | tr -d '\r'
wine "$bench" hostile "$progdir" 2>/dev/null | tr -d '\r'
