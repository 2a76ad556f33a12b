#!/usr/bin/env bash
# End to end under Wine: the installer as a player meets it.
#   test_installer.sh <setup.exe> <lnkrun.exe>
# In a fresh prefix of its own (on the tree's Xvfb): silent install; the program started
# through the Start menu shortcut's target and working folder finds its graphics library
# and its music, shows its window, plays, exits cleanly; a silent uninstall leaves no
# installed file, shortcut or Add/Remove entry behind and keeps the player's options;
# an uninstall with /REMOVEOPTIONS removes them too.
set -u
setup=$1 lnkrun=$2
export STAKKA_WINE_MODE=display
. "$STAKKA_SOURCE_DIR/cmake/wine-env.sh"
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no display from the harness"; exit 1; }

# A prefix of our own: installing must not leave anything in the prefix other tests use.
work=$STAKKA_BUILD_DIR/installer-test
export WINEPREFIX=$work/prefix
export TMPDIR=$work/tmp
rm -rf "$work"
mkdir -p "$TMPDIR"
watcher=
cleanup() {
    [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
    wineserver -k >/dev/null 2>&1 </dev/null
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# Runs a Windows program with its output in a file (Wine's helpers must not hold our stdout).
wrun() { local log=$1; shift; timeout -k 5 120 wine "$@" >"$log" 2>&1 </dev/null; }
reg_has() { wine reg query "$@" >/dev/null 2>&1 </dev/null; }

drive_c=$WINEPREFIX/drive_c
instdir="$drive_c/Program Files/Stakka"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Stakka.lnk"
shortcut_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Stakka.lnk'
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Stakka'
options_key='HKCU\Software\Kellmarvostian\Stakka\1.1'
installed=(stakka.exe stkgfx.dll midas11.dll beyond.mod HOWTOPLAY.txt LICENSE.txt uninstall.exe)

echo "prefix: $WINEPREFIX (display $DISPLAY)"
wineboot -i >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1 </dev/null
wineserver -k >/dev/null 2>&1 </dev/null
wineserver -w >/dev/null 2>&1 </dev/null

install() {
    if wrun "$work/install.log" "$setup" /S; then
        pass "silent install exits 0"
    else
        fail "silent install failed"; cat "$work/install.log"
    fi
}

# Waits for the uninstaller: it copies itself to the temporary folder and the copy does
# the work after the started one has returned.
uninstall() {
    wrun "$work/uninstall.log" 'C:\Program Files\Stakka\uninstall.exe' /S "$@" ||
        fail "uninstaller $* exits non-zero"
    for _ in $(seq 1 300); do
        [ ! -e "$instdir" ] && [ ! -e "$shortcut" ] && ! reg_has "$uninst_key" && break
        sleep 0.2
    done
    timeout 60 wineserver -w >/dev/null 2>&1 </dev/null
}

check_uninstalled() {
    local what=$1
    if [ -e "$instdir" ]; then
        fail "$what: $instdir remains: $(ls -A "$instdir" | tr '\n' ' ')"
    else
        pass "$what: program folder removed"
    fi
    [ -e "$shortcut" ] && fail "$what: the Start menu shortcut remains" || pass "$what: shortcut removed"
    reg_has "$uninst_key" && fail "$what: the Add/Remove Programs entry remains" ||
        pass "$what: Add/Remove Programs entry removed"
    # Nothing of ours left anywhere on drive C (the options live in the registry).
    local left
    left=$(find "$drive_c" -iname 'stakka*' -o -iname 'stkgfx.dll' -o -iname 'midas11.dll' \
                -o -iname 'beyond.mod' 2>/dev/null | grep -v -i '/temp/' || true)
    [ -z "$left" ] && pass "$what: no file of the program left on drive C" ||
        fail "$what: left behind: $left"
}

# --- install ----------------------------------------------------------------------------
install
for f in "${installed[@]}"; do
    [ -s "$instdir/$f" ] || fail "not installed: $f"
done
extra=$(ls -A "$instdir" 2>/dev/null | grep -v -x -F "$(printf '%s\n' "${installed[@]}")" || true)
[ -z "$extra" ] || fail "unexpected files installed: $extra"
[ -s "$shortcut" ] && pass "Start menu shortcut made" || fail "no Start menu shortcut at $shortcut"
if reg_has "$uninst_key" /v UninstallString; then
    pass "registered in Add/Remove Programs"
    wine reg query "$uninst_key" >"$work/uninst-key.txt" 2>/dev/null </dev/null
    grep -q 'DisplayVersion.*1\.1' "$work/uninst-key.txt" || fail "Add/Remove entry lacks DisplayVersion 1.1"
    grep -q 'Publisher.*Kellmarvostian' "$work/uninst-key.txt" || fail "Add/Remove entry lacks the publisher"
else
    fail "no Add/Remove Programs entry"
fi

# --- play through the shortcut -----------------------------------------------------------
# No copy of the music anywhere but beside the program: finding it must not depend on luck.
find "$drive_c" -iname beyond.mod | grep -v -F "$instdir/" && fail "a stray beyond.mod exists"
python3 "$STAKKA_SOURCE_DIR/tests/release/watch_files.py" "$instdir" "$work/opened.log" &
watcher=$!
for _ in $(seq 1 50); do grep -q ready "$work/opened.log" 2>/dev/null && break; sleep 0.1; done

timeout -k 5 120 wine "$lnkrun" "$shortcut_win" 4000 >"$work/run.log" 2>&1 </dev/null &
run=$!
for _ in $(seq 1 300); do
    grep -q '^played=' "$work/run.log" 2>/dev/null && break
    grep -q '^playfield=' "$work/run.log" 2>/dev/null && [ -z "${shot_due:-}" ] && shot_due=$SECONDS
    if [ -n "${shot_due:-}" ] && [ $((SECONDS - shot_due)) -ge 2 ] && [ ! -e "$work/playing.png" ]; then
        import -window root -depth 8 "png:$work/playing.png" 2>/dev/null
    fi
    kill -0 "$run" 2>/dev/null || break
    sleep 0.2
done
wait "$run"
run_rc=$?
kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
watcher=
tr -d '\r' <"$work/run.log" >"$work/run.txt"
cat "$work/run.txt"
[ "$run_rc" -eq 0 ] && pass "started through the shortcut, played, exited cleanly" ||
    fail "run through the shortcut failed (lnkrun $run_rc)"
grep -q -x 'target=C:\\Program Files\\Stakka\\stakka.exe' "$work/run.txt" ||
    fail "the shortcut does not point at the installed program"
workdir=$(sed -n 's/^workdir=//p' "$work/run.txt")
if [ -z "$workdir" ] || [ "${workdir,,}" = 'c:\program files\stakka' ]; then
    fail "the shortcut's working folder is '$workdir', not a folder of its own"
else
    pass "working folder $workdir is not the program folder"
fi
grep -q -x 'exit=0' "$work/run.txt" || fail "the program did not exit with 0"
grep -q '^error-box=' "$work/run.txt" && fail "the program showed an error box"
grep -q -x 'OPEN stkgfx.dll' "$work/opened.log" && pass "stkgfx.dll opened from the program folder" ||
    fail "stkgfx.dll was not opened from the program folder"
grep -q -x 'READ beyond.mod' "$work/opened.log" && pass "beyond.mod read from the program folder" ||
    fail "beyond.mod was not read from the program folder"
if [ -s "$work/playing.png" ]; then
    colours=$(identify -format '%k' "$work/playing.png" 2>/dev/null || echo 0)
    [ "$colours" -gt 16 ] && pass "screenshot of the running game: $colours colours" ||
        fail "the screen shows next to nothing ($colours colours)"
else
    fail "no screenshot of the running game"
fi
reg_has "$options_key" && pass "the program stored its options" || fail "no options stored at $options_key"

# --- silent uninstall keeps the options ---------------------------------------------------
uninstall
check_uninstalled "silent uninstall"
reg_has "$options_key" && pass "silent uninstall keeps the options" ||
    fail "silent uninstall removed the player's options"

# --- uninstall asked to remove the options ------------------------------------------------
install
uninstall /REMOVEOPTIONS
check_uninstalled "uninstall /REMOVEOPTIONS"
reg_has 'HKCU\Software\Kellmarvostian\Stakka' && fail "/REMOVEOPTIONS left the options" ||
    pass "/REMOVEOPTIONS removed the options"
reg_has 'HKCU\Software\Kellmarvostian' && fail "/REMOVEOPTIONS left an empty company key" ||
    pass "no empty company key left"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; logs in $work"
    exit 1
fi
echo "all installer checks passed"
wineserver -k >/dev/null 2>&1 </dev/null
wineserver -w >/dev/null 2>&1 </dev/null
rm -rf "$work/prefix"
exit 0
