# desktop.sh - sourced by the benchmark runners: a private Xvfb display and a Wine prefix of
# their own with one virtual desktop that every Wine process of the prefix shares, and the end of
# exactly those two.
#   private_desktop <work folder> <display> <desktop size> [tree]
#       sets WINEPREFIX, TMPDIR, DISPLAY; the prefix is 32-bit when the tree is the i686 one
#   end_private_desktop
xvfb_pid=
# win32 for an i686 build tree, win64 otherwise.
tree_winearch() {
    if grep -q '^CMAKE_C_COMPILER_AR:FILEPATH=.*i686' "$1/CMakeCache.txt" 2>/dev/null; then
        echo win32
    else
        echo win64
    fi
}
private_desktop() {
    local base=$1 loaders
    export WINEPREFIX=$base/prefix TMPDIR=$base/tmp DISPLAY=$2
    export WINEARCH=$(tree_winearch "${4:-}")
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    mkdir -p "$TMPDIR"
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$base/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
    # Made afresh when Wine's loaders changed (a prefix from before 32-bit Wine can break).
    loaders=$(ls /usr/lib/wine 2>/dev/null | tr '\n' ' ')
    if [ "$(cat "$WINEPREFIX/.stakka-ready" 2>/dev/null)" != "$loaders" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$3" /f >/dev/null 2>&1
        # The desktop setting takes effect at the prefix's next start.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        echo "$loaders" >"$WINEPREFIX/.stakka-ready"
    fi
}
end_private_desktop() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
