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
. "$root/bench/desktop.sh"
if [ "$(tree_winearch "$tree")" = win32 ]; then
    cc=i686-w64-mingw32-gcc-posix
else
    cc=x86_64-w64-mingw32-gcc-posix
fi
base=$tree/membench
mkdir -p "$base"
"$cc" -O2 -Wall -Wextra -mwindows -static -o "$base/floor.exe" "$root/bench/floor.c"

trap end_private_desktop EXIT
private_desktop "$base" "${MEM_BENCH_DISPLAY:-:95}" 800x600 "$tree"
# Each program starts from the same store: no options of an earlier run.
wine reg delete 'HKCU\Software\Kellmarvostian' /f >/dev/null 2>&1 || true

# The Linux process of a Windows program of this prefix. A 64-bit program may be started through
# start.exe (when the 32-bit loader comes first): the program is the process whose command line
# begins with its own name.
pid_of() {
    local p
    for p in $(ps -eo pid=,args= | awk -v n="$1" '{a = tolower($2)
            if (substr(a, length(a) - length(n) + 1) == n) print $1}'); do
        if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$p"
            return
        fi
    done
}
rss_mb() { awk '/^VmRSS:/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
# RSS per mapped file (anonymous memory as one), largest first; the whole table is kept in
# membench/<label>.maps for comparing two points.
detail() {
    [ -n "${MEM_BENCH_DETAIL:-}" ] || return 0
    awk '/^[0-9a-f]+-[0-9a-f]+ / {name = (NF >= 6) ? $6 : "[anonymous]"}
         /^Rss:/ {sum[name] += $2}
         END {for (n in sum) printf "%8d  %s\n", sum[n], n}' "/proc/$1/smaps" | sort -rn \
        >"$base/$3.maps"
    cat "/proc/$1/smaps" >"$base/$3.smaps"
    echo "  largest mappings of $2 (RSS kB; all in ${base#$root/}/$3.maps):"
    head -10 "$base/$3.maps"
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
pid=$(pid_of floor.exe)
floor=$(rss_mb "$pid")
detail "$pid" floor floor
xdotool key alt+F4
wait "$floor_run" || true
printf '%-40s %8s %8s %10s %10s\n' program "idle MB" "game MB" "idle+" "game+"
printf '%-40s %8s %8s\n' "floor ($(basename "$tree"))" "$floor" "-"

n=0
for bin in "$tree/bin" "$@"; do
    bin=$(realpath "$bin")
    (cd "$bin" && wine stakka.exe >/dev/null 2>&1 </dev/null) &
    run=$!
    [ -n "$(wait_window Stakka)" ] || { echo "bench-memory: no window from $bin" >&2; exit 1; }
    sleep "$settle"
    pid=$(pid_of stakka.exe)
    idle=$(rss_mb "$pid")
    n=$((n + 1))
    detail "$pid" "$bin idle" "idle$n"
    xdotool key F2
    sleep "$settle"
    game=$(rss_mb "$pid")
    detail "$pid" "$bin game" "game$n"
    xdotool key alt+f e
    wait "$run" || true
    printf '%-40s %8s %8s %10s %10s\n' "${bin#$root/}" "$idle" "$game" \
        "$(echo "$idle - $floor" | bc -l | xargs printf '%+.1f')" \
        "$(echo "$game - $floor" | bc -l | xargs printf '%+.1f')"
done
