# desktop.sh - sourced by the benchmark runners: a private Xvfb display and a Wine prefix of
# their own with one virtual desktop that every Wine process of the prefix shares, and the end of
# exactly those two.
#   private_desktop <work folder> <display> <desktop size>   (sets WINEPREFIX, TMPDIR, DISPLAY)
#   end_private_desktop
xvfb_pid=
private_desktop() {
    local base=$1
    export WINEPREFIX=$base/prefix TMPDIR=$base/tmp DISPLAY=$2
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    mkdir -p "$TMPDIR"
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$base/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
    if [ ! -f "$WINEPREFIX/.stakka-ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$3" /f >/dev/null 2>&1
        # The desktop setting takes effect at the prefix's next start.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.stakka-ready"
    fi
}
end_private_desktop() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
