# Sourced by the test harness: the Wine environment of one build tree.
#   STAKKA_BUILD_DIR  the build tree (required)
#   STAKKA_WINE_MODE  headless (default: Wine's null graphics driver, no X server) or
#                     display (X11 driver on the tree's own Xvfb, virtual desktop 800x600)
#   STAKKA_WINE_ARCH  win32 for the i686 tree (32-bit prefixes), win64 (default) otherwise
: "${STAKKA_BUILD_DIR:?STAKKA_BUILD_DIR must name the build tree}"
STAKKA_WINE_MODE=${STAKKA_WINE_MODE:-headless}
STAKKA_WINE_DIR=$STAKKA_BUILD_DIR/wine
export WINEPREFIX=$STAKKA_WINE_DIR/prefix-$STAKKA_WINE_MODE
# Debian's Wine keeps the server socket under $TMPDIR and records it in the prefix, so
# every call for one prefix must see the same TMPDIR (or wineserver -k misses the server).
export TMPDIR=$STAKKA_WINE_DIR/tmp-$STAKKA_WINE_MODE
export WINEARCH=${STAKKA_WINE_ARCH:-win64}
export WINEDEBUG=-all
# No Mono/Gecko installers, and no automatic debugger: a crash must end the process.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$TMPDIR"
if [ "$STAKKA_WINE_MODE" = display ]; then
  if [ -f "$STAKKA_WINE_DIR/xvfb.display" ]; then
    export DISPLAY=":$(cat "$STAKKA_WINE_DIR/xvfb.display")"
  fi
else
  unset DISPLAY
fi
