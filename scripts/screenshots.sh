#!/usr/bin/env bash
# Makes the README's screenshots: a game in progress, the pause screen, each dialog and a
# match against the computer.
#   scripts/screenshots.sh [x64 build tree] [output folder]
# (defaults: build/x64 and docs/). Runs the x86_64 build under Wine on a private Xvfb in a
# prefix of its own, with the options at their defaults, and drives the program from
# outside with the end-to-end driver (tools/stkdrive.cpp). Ends exactly what it
# started: its Xvfb by PID and its prefix's wineserver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(realpath -m "${1:-$root/build/x64}")
out=$(realpath -m "${2:-$root/docs}")

# The screenshot test runs it on a tree that ctest has already built.
if [ -z "${STAKKA_SCREENSHOTS_NO_BUILD:-}" ]; then
    if [ ! -f "$tree/build.ninja" ]; then
        "$root/scripts/build.sh" x64
    fi
    cmake --build "$tree" --target stakka stkgfx midas11 beyond_mod stkdrive >/dev/null
fi
bin=$tree/bin
drive=$tree/tests/stkdrive.exe
mkdir -p "$out"

work=$tree/screenshots
export WINEPREFIX=$work/prefix
export TMPDIR=$work/tmp
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$TMPDIR"

xvfb_pid=
cleanup() {
    exec 4>&- 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 </dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# A display of our own, numbered by the server so that it never collides with another.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$work/display")"

if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    # One virtual desktop: the caption and menu are drawn without a window manager.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1 </dev/null
    wineserver -k >/dev/null 2>&1 </dev/null || true
    wineserver -w >/dev/null 2>&1 </dev/null || true
    touch "$WINEPREFIX/.ready"
fi
# The pictures show what a new player sees: the options at their defaults.
wine reg delete 'HKCU\Software\Kellmarvostian' /f >/dev/null 2>&1 </dev/null || true

winpath() { echo "Z:$1" | tr '/' '\\'; }

# The driver answers one line per command on a pipe of ours.
mkfifo "$work/to-driver" "$work/from-driver" 2>/dev/null || true
wine "$drive" <"$work/to-driver" >"$work/from-driver" 2>"$work/driver.log" &
exec 4>"$work/to-driver" 5<"$work/from-driver"
rm -f "$work/to-driver" "$work/from-driver"

reply=
ask() {
    echo "$*" >&4
    if ! read -r -t 60 reply <&5; then
        echo "screenshots: no answer to '$*'" >&2
        exit 1
    fi
    reply=${reply%$'\r'}
    case $reply in
    ok*) ;;
    *) echo "screenshots: '$*' -> $reply" >&2; exit 1 ;;
    esac
}

# Crops the rectangle of the last answer (or the union of two) from the screen.
shot() {
    local name=$1 x y w h
    read -r _ x y w h <<<"$2"
    if [ $# -gt 2 ]; then
        local x2 y2 w2 h2
        read -r _ x2 y2 w2 h2 <<<"$3"
        local r=$((x + w > x2 + w2 ? x + w : x2 + w2)) b=$((y + h > y2 + h2 ? y + h : y2 + h2))
        x=$((x < x2 ? x : x2)) y=$((y < y2 ? y : y2))
        w=$((r - x)) h=$((b - y))
    fi
    sleep 0.7   # let the windows finish painting
    import -window root -depth 8 -crop "${w}x${h}+${x}+${y}" +repage \
        -define png:exclude-chunks=date,time,tIME "png:$out/$name.png"
    echo "screenshots: $out/$name.png (${w}x${h})"
}

IDM_NEWGAME=24331 IDM_PAUSE=106 IDM_GRAPHICS=102 IDM_CONTROLS=107
IDC_SAVESCHEME=120 IDC_KEYFIELD1=105 EN_SETFOCUS=256 VK_LEFT=37

ask start "$(winpath "$bin/stakka.exe")" "$(winpath "$bin")"
main=$reply
ask cmd $IDM_NEWGAME
ask play 9 7
sleep 2
shot game "$main"

ask cmd $IDM_PAUSE
shot pause "$main"

ask cmd $IDM_GRAPHICS
ask window Graphics Options
shot graphics-options "$reply"
ask dlgcmd Graphics Options $IDC_SAVESCHEME 0
ask window Save Scheme
shot save-scheme "$reply"
ask close Save Scheme
ask close Graphics Options

ask cmd $IDM_CONTROLS
ask window Set Controls
controls=$reply
shot controls "$controls"
ask dlgcmd Set Controls $IDC_KEYFIELD1 $EN_SETFOCUS
ask window Choose Key
shot choose-key "$controls" "$reply"
# The key it already had: the binding stays as it was.
ask winkey Choose Key $VK_LEFT
ask close Set Controls

# Against the computer: the dialog, then a match at Hard while the driver plays on, and the
# result once the driver's careless stack has topped out.
IDM_MULTIPLAYER=104 IDC_STRENGTH_HARD=103 IDOK=1
ask cmd $IDM_MULTIPLAYER
ask window Multi Player
shot multi-player "$reply"
ask click Multi Player $IDC_STRENGTH_HARD
sleep 0.3
ask dlgcmd Multi Player $IDOK 0
ask cmd $IDM_NEWGAME
ask play 14 3
shot match "$main"
# In rounds that each answer within the driver's minute.
for seed in 5 6 7; do ask play 15 $seed; done
shot match-end "$main"

ask quit
[ "$reply" = "ok 0" ] || { echo "screenshots: the program exited with '${reply#ok }'" >&2; exit 1; }
echo "screenshots: done"
