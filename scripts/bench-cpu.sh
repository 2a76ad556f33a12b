#!/usr/bin/env bash
# The computer player's benchmark: decision time per piece at each strength, headless games
# without rising rows (lines per game, games that reach the 10,000-piece cap), headless matches
# with rising rows between strengths, and the real program's CPU use during a single game and
# during a match against the computer (Hard).
#   scripts/bench-cpu.sh [x64 build tree] [parts...]
#   parts: decide games match program (default: all four); CPU_BENCH_SECONDS (default 20)
# Runs in a Wine prefix of its own inside the tree; "program" also on its own Xvfb (display
# :95, or CPU_BENCH_DISPLAY). Ends exactly what it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
shift || true
parts=${*:-decide games match program}
if [ ! -f "$tree/build.ninja" ]; then
    "$root/scripts/build.sh" x64
fi
cmake --build "$tree" --target bench_cpu stakka stkgfx midas11 beyond_mod stkdrive >/dev/null
base=$tree/cpubench
mkdir -p "$base"
. "$root/bench/desktop.sh"
trap end_private_desktop EXIT
private_desktop "$base" "${CPU_BENCH_DISPLAY:-:95}" 800x600

# The real program: CPU seconds (utime + stime) of its process over a phase.
program() {
    local seconds=${CPU_BENCH_SECONDS:-20} bin=$tree/bin work=$base/program
    mkdir -p "$work"
    wine reg delete 'HKCU\Software\Kellmarvostian' /f >/dev/null 2>&1 </dev/null || true
    winpath() { echo "Z:$1" | tr '/' '\\'; }
    mkfifo "$work/to" "$work/from" 2>/dev/null || true
    wine "$tree/tests/stkdrive.exe" <"$work/to" >"$work/from" 2>"$work/driver.log" &
    exec 4>"$work/to" 5<"$work/from"
    ask() { echo "$*" >&4; read -r -t 60 reply <&5; reply=${reply%$'\r'}; }
    ask start "$(winpath "$bin/stakka.exe")" "$(winpath "$bin")"
    local exe pid
    exe="$(winpath "$bin/stakka.exe")"
    pid=$(EXE="$exe" ps -eo pid=,args= | EXE="$exe" awk 'index($0, ENVIRON["EXE"]) {print $1}' | head -1)
    ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
    local hz
    hz=$(getconf CLK_TCK)
    measure() {
        local t0 w0 t1 w1
        t0=$(ticks); w0=$(date +%s.%N)
        sleep "$seconds"
        t1=$(ticks); w1=$(date +%s.%N)
        printf '%-34s CPU %6.2f%% of a core over %.1f s\n' "$1" \
            "$(echo "100 * ($t1 - $t0) / $hz / ($w1 - $w0)" | bc -l)" "$(echo "$w1 - $w0" | bc -l)"
    }
    echo "the real program (pid $pid), its pieces left to fall by themselves"
    ask cmd 24331                      # New Game
    measure "single game"
    ask cmd 24500                      # Stop Game
    ask cmd 104                        # Multi Player
    ask window Multi Player
    ask click Multi Player 103         # Hard
    sleep 0.3
    ask dlgcmd Multi Player 1 0        # OK
    ask cmd 24331                      # New Game: a match
    measure "match against the computer (Hard)"
    import -window root -depth 8 "$work/match.png" 2>/dev/null || true
    ask quit
    exec 4>&- 5<&-
}

for part in $parts; do
    if [ "$part" = program ]; then
        program
    else
        wine "$tree/bench/bench_cpu.exe" "$part" 2>/dev/null | tr -d '\r'
    fi
    echo
done
