#!/bin/bash
# Starts or stops what the tests of one build tree need, and only that:
#   wine-prefix.sh start|stop headless   the null-driver prefix and its persistent wineserver
#   wine-prefix.sh start|stop display    Xvfb (by PID), the X11 prefix and its wineserver
set -u
action=$1
export STAKKA_WINE_MODE=$2
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$STAKKA_WINE_DIR"
xpid_file=$STAKKA_WINE_DIR/xvfb.pid
xdisp_file=$STAKKA_WINE_DIR/xvfb.display

start_xvfb() {
  if [ -f "$xpid_file" ] && kill -0 "$(cat "$xpid_file")" 2>/dev/null; then
    return 0
  fi
  rm -f "$xdisp_file" "$xpid_file"
  # -displayfd lets the server pick a free display number: several trees can test at once.
  exec 3>"$xdisp_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$STAKKA_WINE_DIR/xvfb.log" 2>&1 &
  echo $! >"$xpid_file"
  exec 3>&-
  for _ in $(seq 1 100); do
    [ -s "$xdisp_file" ] && break
    sleep 0.1
  done
  if ! [ -s "$xdisp_file" ]; then
    echo "wine-prefix: Xvfb did not start" >&2
    cat "$STAKKA_WINE_DIR/xvfb.log" >&2
    return 1
  fi
  tr -d '\n' <"$xdisp_file" >"$xdisp_file.tmp" && mv "$xdisp_file.tmp" "$xdisp_file"
  export DISPLAY=":$(cat "$xdisp_file")"
}

# A prefix made before 32-bit Wine was installed can fail later ("could not load kernel32.dll"):
# the stamp records which Wine loaders were there, and a change makes the prefix afresh.
wine_loaders=$(ls /usr/lib/wine 2>/dev/null | tr '\n' ' ')
make_prefix() {
  [ "$(cat "$WINEPREFIX/.stakka-ready" 2>/dev/null)" = "$wine_loaders" ] && return 0
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  if [ "$STAKKA_WINE_MODE" = headless ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  else
    # A virtual desktop by default: programs start plainly (with a real exit code),
    # draw their caption and menu without a window manager, and share one desktop.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
  fi
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  echo "$wine_loaders" >"$WINEPREFIX/.stakka-ready"
}

case $action in
start)
  if [ "$STAKKA_WINE_MODE" = display ]; then
    start_xvfb || exit 1
  fi
  make_prefix
  # A persistent server saves a server start per test program.
  wineserver -p >/dev/null 2>&1 </dev/null
  exit 0
  ;;
stop)
  wineserver -k >/dev/null 2>&1 </dev/null
  if [ "$STAKKA_WINE_MODE" = display ] && [ -f "$xpid_file" ]; then
    pid=$(cat "$xpid_file")
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$xpid_file" "$xdisp_file"
  fi
  exit 0
  ;;
*)
  echo "usage: wine-prefix.sh start|stop headless|display" >&2
  exit 2
  ;;
esac
