#!/usr/bin/env bash
# The release packages of one tree as a download site sees them:
#   test_packages.sh <zip> <setup.exe> <the tree's objdump> <version>
# The zip holds exactly the program, its libraries, its music and two texts in one folder named
# after the version; its binaries are of the tree's architecture (PE32 for i686), import only
# Windows system libraries and midas11.dll, by ordinal, and carry the version. The installer is
# made for the same architecture and installs exactly the zip's files.
set -u
zip=$1 setup=$2 objdump=$3 version=$4
name=stakka-$version
case $objdump in
i686-*) format=pei-i386 ;;
*) format=pei-x86-64 ;;
esac
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Libraries every Windows has (ws2_32.dll: network play); nothing else besides our own.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll comctl32.dll shell32.dll
ole32.dll oleaut32.dll winmm.dll msvcrt.dll shlwapi.dll version.dll ws2_32.dll"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[ -s "$zip" ] || { echo "FAIL: no $zip: build the tree (scripts/build.sh)"; exit 1; }

files="HOWTOPLAY.txt LICENSE.txt beyond.mod midas11.dll stakka.exe stkgfx.dll"
want=$( (echo "$name/"; for f in $files; do echo "$name/$f"; done) | sort)
[ "$(unzip -Z1 "$zip" | sort)" = "$want" ] || fail "zip listing: $(unzip -Z1 "$zip" | tr '\n' ' ')"
unzip -q "$zip" -d "$tmp/zip"
dir=$tmp/zip/$name

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
for f in stakka.exe stkgfx.dll midas11.dll; do
    "$objdump" -f "$dir/$f" | grep -q "file format $format\$" || fail "$f is not $format"
    # The version block: each name is followed by its value (UTF-16 strings).
    [ "$(strings -n 3 -el "$dir/$f" | grep -A1 -x FileVersion | tail -1)" = "$version" ] ||
        fail "$f carries no version $version"
    for dll in $(imports "$dir/$f"); do
        case " $(echo $system_dlls) midas11.dll " in
        *" $dll "*) [ "$dll" != midas11.dll ] || [ "$f" = stakka.exe ] || fail "$f imports $dll" ;;
        *) fail "$f imports $dll" ;;
        esac
    done
done
[ -z "$(imports "$dir/stkgfx.dll")" ] || fail "stkgfx.dll imports code: it holds resources only"
# Memory: the common dialogs' library (3 to 6 MB under Wine) comes with the first chooser, and
# page-aligned sections let Wine map the files instead of copying them whole.
! imports "$dir/stakka.exe" | grep -qx comdlg32.dll || fail "stakka.exe loads comdlg32.dll at start"
for f in stakka.exe stkgfx.dll midas11.dll; do
    "$objdump" -p "$dir/$f" | grep -q 'FileAlignment[[:space:]]*00001000' || fail "$f: sections not page-aligned"
done
# The music library's functions by ordinal only: "<none>" where a name would be.
"$objdump" -p "$dir/stakka.exe" |
    awk '/DLL Name: midas11.dll/{m=1;next} m && (/DLL Name:/ || /^[[:space:]]*$/){exit} m' |
    grep -E '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+' >"$tmp/midas"
[ -s "$tmp/midas" ] && ! grep -v -q '<none>$' "$tmp/midas" ||
    fail "stakka.exe imports midas11.dll by name: $(cat "$tmp/midas")"

installed=$( (echo uninstall.exe; for f in $files; do echo "$f"; done) | sort)
"$objdump" -f "$setup" 2>/dev/null | grep -q "file format $format\$" || fail "$setup is not $format"
got=$(7zz l -slt "$setup" | sed -n 's/^Path = //p' | grep -v -x -F "$setup" |
      grep -v '^\$PLUGINSDIR' | sort)
[ "$got" = "$installed" ] || fail "$(basename "$setup") installs: $(echo $got)"
7zz e -y -o"$tmp/setup" "$setup" stakka.exe stkgfx.dll midas11.dll beyond.mod >/dev/null
for f in stakka.exe stkgfx.dll midas11.dll beyond.mod; do
    cmp -s "$dir/$f" "$tmp/setup/$f" || fail "$f differs between the zip and the installer"
done
[ "$failures" -eq 0 ] && echo "all package checks passed"
exit $((failures > 0))
