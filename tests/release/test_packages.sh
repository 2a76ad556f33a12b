#!/usr/bin/env bash
# The release packages, checked from outside as a download site would see them.
#   test_packages.sh <i686 package dir> <x86_64 package dir> <version>
# The i686 zip holds exactly the program, its two libraries, its music, the how-to-play
# text and the licence, in one folder named after the version; its binaries are i686 and
# import only Windows system libraries (and the program midas11.dll). Both installers
# are made for their architecture and carry exactly the same files.
set -u
ship=$1 here=$2 version=$3
name=stakka-$version
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Libraries that every Windows has; nothing else may be needed besides our own.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll comctl32.dll
shell32.dll ole32.dll oleaut32.dll winmm.dll msvcrt.dll shlwapi.dll version.dll"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

zip=$ship/$name-win32.zip
setup=$ship/$name-setup.exe
for f in "$zip" "$setup"; do
    [ -s "$f" ] || { echo "FAIL: $f is missing: build the i686 tree (scripts/build.sh x86)"; exit 1; }
done
echo "zip: $zip ($(stat -c %s "$zip") bytes)"
echo "installer: $setup ($(stat -c %s "$setup") bytes)"

# --- the zip's listing ----------------------------------------------------------------
expected=$(printf '%s\n' "$name/" "$name/HOWTOPLAY.txt" "$name/LICENSE.txt" "$name/beyond.mod" \
           "$name/midas11.dll" "$name/stakka.exe" "$name/stkgfx.dll" | sort)
actual=$(unzip -Z1 "$zip" | sort)
if [ "$actual" = "$expected" ]; then
    pass "zip listing: $(echo $actual)"
else
    fail "zip listing differs:"; diff <(echo "$expected") <(echo "$actual")
fi
unzip -q "$zip" -d "$tmp/zip" || fail "the zip does not unpack"
dir=$tmp/zip/$name
for f in stakka.exe stkgfx.dll midas11.dll beyond.mod; do
    [ -s "$dir/$f" ] || fail "$f is empty in the zip"
done

# --- architecture and imports -----------------------------------------------------------
objdump=i686-w64-mingw32-objdump
imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
check_i686() {
    local f=$1
    if "$objdump" -f "$f" | grep -q 'file format pei-i386' &&
       "$objdump" -p "$f" | grep -q -E '^Magic[[:space:]]+010b'; then
        pass "$(basename "$f") is i686 (PE32)"
    else
        fail "$(basename "$f") is not an i686 PE32 file: $("$objdump" -f "$f" | grep format)"
    fi
}
check_imports() {
    local f=$1 allowed=$2 dll bad=""
    for dll in $(imports "$f"); do
        echo "$allowed" | tr ' ' '\n' | grep -q -x -F "$dll" || bad="$bad $dll"
    done
    [ -z "$bad" ] && pass "$(basename "$f") imports only: $(imports "$f" | tr '\n' ' ')" ||
        fail "$(basename "$f") imports$bad"
}
for f in stakka.exe stkgfx.dll midas11.dll; do
    check_i686 "$dir/$f"
done
check_imports "$dir/stakka.exe" "$system_dlls midas11.dll"
imports "$dir/stakka.exe" | grep -q -x midas11.dll || fail "stakka.exe does not import midas11.dll"
check_imports "$dir/midas11.dll" "$system_dlls"
[ -z "$(imports "$dir/stkgfx.dll")" ] && pass "stkgfx.dll imports nothing (resources only)" ||
    fail "stkgfx.dll imports $(imports "$dir/stkgfx.dll" | tr '\n' ' ')"
# The program links the music library by ordinal only.
"$objdump" -p "$dir/stakka.exe" | awk '/DLL Name: midas11.dll/{m=1;next} m && (/DLL Name:/ || /^[[:space:]]*$/){exit} m' |
    grep -E '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]' >"$tmp/midas-imports"
by_ordinal=$(grep -c '<none>$' "$tmp/midas-imports")
by_name=$(grep -v -c '<none>$' "$tmp/midas-imports")
[ "$by_ordinal" -gt 0 ] && [ "$by_name" -eq 0 ] &&
    pass "stakka.exe imports $by_ordinal functions of midas11.dll, all by ordinal" ||
    fail "stakka.exe imports from midas11.dll: $by_ordinal by ordinal, $by_name by name"

# --- the texts ----------------------------------------------------------------------------
for f in HOWTOPLAY.txt LICENSE.txt; do
    lines=$(wc -l <"$dir/$f")
    crlf=$(grep -c $'\r$' "$dir/$f")
    [ "$lines" -gt 0 ] && [ "$crlf" -eq "$lines" ] && pass "$f has Windows line ends" ||
        fail "$f: $crlf of $lines lines end in CR LF"
done
grep -q 'MIT License' "$dir/LICENSE.txt" && grep -q 'Kellmarvostian' "$dir/LICENSE.txt" ||
    fail "LICENSE.txt is not the MIT licence of Kellmarvostian"
grep -q "Stakka $version" "$dir/HOWTOPLAY.txt" || fail "HOWTOPLAY.txt does not name version $version"
for key in F2 F3 Pause Left Right Up Down Ctrl; do
    grep -q -w "$key" "$dir/HOWTOPLAY.txt" || fail "HOWTOPLAY.txt does not mention the key $key"
done

# --- the installers -------------------------------------------------------------------------
installed=$(printf '%s\n' HOWTOPLAY.txt LICENSE.txt beyond.mod midas11.dll stakka.exe stkgfx.dll \
            uninstall.exe | sort)
check_installer() {
    local f=$1 format=$2 listing
    if [ ! -s "$f" ]; then
        fail "installer $f is missing"
        return
    fi
    # (this objdump reads both PE flavours)
    if x86_64-w64-mingw32-objdump -f "$f" 2>/dev/null | grep -q "file format $format\$"; then
        pass "$(basename "$f") is $format"
    else
        fail "$(basename "$f") is not $format"
    fi
    # 7-Zip reads NSIS installers: the listing is what the installer would write.
    listing=$(7zz l -slt "$f" | sed -n 's/^Path = //p' | grep -v -x -F -e "$f" | grep -v '^\$PLUGINSDIR' |
              sort)
    if [ "$listing" = "$installed" ]; then
        pass "$(basename "$f") installs: $(echo $listing)"
    else
        fail "$(basename "$f") contents differ:"; diff <(echo "$installed") <(echo "$listing")
    fi
}
check_installer "$setup" pei-i386
check_installer "$here/$name-win64-setup.exe" pei-x86-64
# The installer's own files are byte for byte those of the zip.
7zz e -y -o"$tmp/setup" "$setup" stakka.exe stkgfx.dll midas11.dll beyond.mod >/dev/null 2>&1
for f in stakka.exe stkgfx.dll midas11.dll beyond.mod; do
    cmp -s "$dir/$f" "$tmp/setup/$f" || fail "$f differs between the zip and the installer"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all package checks passed"
