#!/usr/bin/env bash
# The memory benchmark: prints, from one run under one Wine, the resident memory (RSS) of an
# empty-window program (the floor, bench/floor.c, built here with the tree's compiler) and of
# Stakka, 5 s after its window shows (idle) and 5 s into a game.
#   scripts/bench-memory.sh [build tree] [more program folders...]
#     build tree       default build/x64; build/x86 runs the i686 program in a 32-bit prefix
#     program folders  other copies of stakka.exe and its files (say, an earlier build of the
#                      same target), measured in the same run against the same floor
#   MEM_BENCH_DETAIL=1 also prints, per point, the ten mappings holding the most memory.
# Runs on its own Xvfb (display :95, or MEM_BENCH_DISPLAY) in a prefix of its own inside the
# tree, and ends exactly what it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
shift || true
settle=5
if [ ! -f "$tree/build.ninja" ]; then
    "$root/scripts/build.sh" "$(basename "$tree")"
fi
cmake --build "$tree" --target stakka stkgfx midas11 beyond_mod >/dev/null
cc=$(sed -n 's/^CMAKE_C_COMPILER:[A-Z]*=//p' "$tree/CMakeCache.txt")
base=$tree/membench
mkdir -p "$base"
"$cc" -O2 -Wall -Wextra -mwindows -static -o "$base/floor.exe" "$root/bench/floor.c"

. "$root/bench/desktop.sh"
trap end_private_desktop EXIT
private_desktop "$base" "${MEM_BENCH_DISPLAY:-:95}" 800x600 "$tree"
# Each program starts from the same store: no options of an earlier run.
wine reg delete 'HKCU\Software\Kellmarvostian' /f >/dev/null 2>&1 || true

# The Linux process of a Windows program: Wine shows its Windows path as the command line.
pid_of() {
    local exe
    exe=$(winepath -w "$1" 2>/dev/null)
    ps -eo pid=,args= | EXE=$exe awk 'index($0, ENVIRON["EXE"]) {print $1; exit}'
}
rss_mb() { awk '/^VmRSS:/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
detail() {
    [ -n "${MEM_BENCH_DETAIL:-}" ] || return 0
    echo "  largest mappings of $2 (RSS kB):"
    awk '/^[0-9a-f]+-[0-9a-f]+ / {name = (NF >= 6) ? $6 : "[anonymous]"}
         /^Rss:/ {sum[name] += $2}
         END {for (n in sum) printf "%8d  %s\n", sum[n], n}' "/proc/$1/smaps" | sort -rn | head -10
}
# Waits until the window titled $1 has the focus; prints its X id.
wait_window() {
    local win=
    for _ in $(seq 1 200); do
        win=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$win" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ] && break
        sleep 0.1
    done
    echo "$win"
}

(cd "$base" && wine floor.exe 30 >/dev/null 2>&1 </dev/null) &
floor_run=$!
[ -n "$(wait_window Floor)" ] || { echo "bench-memory: the floor's window did not show" >&2; exit 1; }
sleep "$settle"
pid=$(pid_of "$base/floor.exe")
floor=$(rss_mb "$pid")
detail "$pid" floor
xdotool key alt+F4
wait "$floor_run" || true
printf '%-40s %8s %8s %10s %10s\n' program "idle MB" "game MB" "idle+" "game+"
printf '%-40s %8s %8s\n' "floor ($(basename "$tree"))" "$floor" "-"

for bin in "$tree/bin" "$@"; do
    bin=$(realpath "$bin")
    (cd "$bin" && wine stakka.exe >/dev/null 2>&1 </dev/null) &
    run=$!
    [ -n "$(wait_window Stakka)" ] || { echo "bench-memory: no window from $bin" >&2; exit 1; }
    sleep "$settle"
    pid=$(pid_of "$bin/stakka.exe")
    idle=$(rss_mb "$pid")
    detail "$pid" "$bin idle"
    xdotool key F2
    sleep "$settle"
    game=$(rss_mb "$pid")
    detail "$pid" "$bin game"
    xdotool key alt+f e
    wait "$run" || true
    printf '%-40s %8s %8s %10s %10s\n' "${bin#$root/}" "$idle" "$game" \
        "$(echo "$idle - $floor" | bc -l | xargs printf '%+.1f')" \
        "$(echo "$game - $floor" | bc -l | xargs printf '%+.1f')"
done
