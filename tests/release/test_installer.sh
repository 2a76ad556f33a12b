#!/usr/bin/env bash
# The tree's installer as a player meets it, in a fresh prefix of its own (32-bit for the i686
# tree: WINEARCH from wine-env.sh) on the tree's Xvfb:
#   test_installer.sh <setup.exe>
# A silent install; the program started through the Start menu shortcut shows its window
# without an error box, plays and exits with 0; a silent uninstall
# leaves no file, shortcut or Add/Remove entry behind and keeps the player's options.
set -u
setup=$1
export STAKKA_WINE_MODE=display
. "$STAKKA_SOURCE_DIR/cmake/wine-env.sh"
work=$STAKKA_BUILD_DIR/installer-test
export WINEPREFIX=$work/prefix TMPDIR=$work/tmp
rm -rf "$work"
mkdir -p "$TMPDIR"
trap 'wineserver -k >/dev/null 2>&1 </dev/null' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wrun() { timeout -k 5 120 wine "$@" >>"$work/wine.log" 2>&1 </dev/null; }
# With 32-bit Wine present, "wine reg" is the 32-bit tool, which reads a 64-bit prefix's
# HKLM\Software through the 32-bit view: the 64-bit installer's keys need the 64-bit one.
view=()
[ "$WINEARCH" = win64 ] && view=(/reg:64)
reg_has() { wine reg query "$@" "${view[@]}" >/dev/null 2>&1 </dev/null; }
instdir="$WINEPREFIX/drive_c/Program Files/Stakka"
lnk='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Stakka.lnk'
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Stakka'
options='HKCU\Software\Kellmarvostian\Stakka\1.1'

wineboot -i >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f \
    >/dev/null 2>&1 </dev/null
wineserver -w >/dev/null 2>&1 </dev/null
echo "$(basename "$setup") in a fresh $WINEARCH prefix"
wrun "$setup" /S || fail "silent install failed"
[ -s "$instdir/stakka.exe" ] && [ -s "$instdir/stkgfx.dll" ] && [ -s "$instdir/beyond.mod" ] ||
    fail "not installed: $(ls "$instdir" 2>&1 | tr '\n' ' ')"
reg_has "$uninst" /v UninstallString || fail "no Add/Remove Programs entry"
echo "installed silently: $(ls "$instdir" | tr '\n' ' ')"

# Through the shortcut, as the Start menu starts it: a game for three seconds, then Exit.
timeout -k 5 120 wine start /wait "$lnk" >>"$work/wine.log" 2>&1 </dev/null &
run=$!
for _ in $(seq 1 150); do
    win=$(xdotool search --onlyvisible --name '^Stakka$' 2>/dev/null | head -1)
    [ -n "$win" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || fail "the program's window did not show"
xdotool key F2
sleep 3
xdotool search --onlyvisible --name '^Error$' >/dev/null 2>&1 && fail "an error box showed"
xdotool key alt+f e
wait "$run" || fail "the program did not exit with 0 ($?)"
reg_has "$options" || fail "no options stored"
echo "started from the Start-menu shortcut, played 3 s, exited"

wrun 'C:\Program Files\Stakka\uninstall.exe' /S || fail "the uninstaller failed"
# The uninstaller copies itself to the temporary folder; the copy does the work.
for _ in $(seq 1 300); do
    [ ! -e "$instdir" ] && ! reg_has "$uninst" && break
    sleep 0.2
done
[ -e "$instdir" ] && fail "the program folder remains"
reg_has "$uninst" && fail "the Add/Remove Programs entry remains"
[ -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Stakka.lnk" ] &&
    fail "the shortcut remains"
reg_has "$options" || fail "the uninstall removed the player's options"
echo "uninstalled silently"
[ "$failures" -eq 0 ] && { echo "all installer checks passed"; rm -rf "$work/prefix"; }
exit $((failures > 0))
