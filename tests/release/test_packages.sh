#!/usr/bin/env bash
# The release packages as a download site sees them:
#   test_packages.sh <i686 package dir> <x86_64 package dir> <version>
# The i686 zip holds exactly the program, its libraries, its music and two texts in one folder
# named after the version; its binaries are i686 and import only Windows system libraries and
# midas11.dll, by ordinal. Both installers are made for their architecture and install exactly
# the zip's files.
set -u
ship=$1 here=$2 version=$3
name=stakka-$version
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Libraries every Windows has (ws2_32.dll: network play); nothing else besides our own.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll comctl32.dll shell32.dll
ole32.dll oleaut32.dll winmm.dll msvcrt.dll shlwapi.dll version.dll ws2_32.dll"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
zip=$ship/$name-win32.zip
[ -s "$zip" ] || { echo "FAIL: no $zip: build the i686 tree (scripts/build.sh x86)"; exit 1; }

files="HOWTOPLAY.txt LICENSE.txt beyond.mod midas11.dll stakka.exe stkgfx.dll"
want=$( (echo "$name/"; for f in $files; do echo "$name/$f"; done) | sort)
[ "$(unzip -Z1 "$zip" | sort)" = "$want" ] || fail "zip listing: $(unzip -Z1 "$zip" | tr '\n' ' ')"
unzip -q "$zip" -d "$tmp/zip"
dir=$tmp/zip/$name

objdump=i686-w64-mingw32-objdump
imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
for f in stakka.exe stkgfx.dll midas11.dll; do
    "$objdump" -f "$dir/$f" | grep -q 'file format pei-i386' || fail "$f is not i686"
    for dll in $(imports "$dir/$f"); do
        case " $(echo $system_dlls) midas11.dll " in
        *" $dll "*) [ "$dll" != midas11.dll ] || [ "$f" = stakka.exe ] || fail "$f imports $dll" ;;
        *) fail "$f imports $dll" ;;
        esac
    done
done
[ -z "$(imports "$dir/stkgfx.dll")" ] || fail "stkgfx.dll imports code: it holds resources only"
# The music library's functions by ordinal only: "<none>" where a name would be.
"$objdump" -p "$dir/stakka.exe" |
    awk '/DLL Name: midas11.dll/{m=1;next} m && (/DLL Name:/ || /^[[:space:]]*$/){exit} m' |
    grep -E '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+' >"$tmp/midas"
[ -s "$tmp/midas" ] && ! grep -v -q '<none>$' "$tmp/midas" ||
    fail "stakka.exe imports midas11.dll by name: $(cat "$tmp/midas")"

installed=$( (echo uninstall.exe; for f in $files; do echo "$f"; done) | sort)
for s in "$ship/$name-setup.exe:pei-i386" "$here/$name-win64-setup.exe:pei-x86-64"; do
    f=${s%:*}
    x86_64-w64-mingw32-objdump -f "$f" 2>/dev/null | grep -q "file format ${s#*:}\$" ||
        fail "$f is not ${s#*:}"
    got=$(7zz l -slt "$f" | sed -n 's/^Path = //p' | grep -v -x -F "$f" |
          grep -v '^\$PLUGINSDIR' | sort)
    [ "$got" = "$installed" ] || fail "$(basename "$f") installs: $(echo $got)"
done
7zz e -y -o"$tmp/setup" "$ship/$name-setup.exe" stakka.exe stkgfx.dll midas11.dll beyond.mod \
    >/dev/null
for f in stakka.exe stkgfx.dll midas11.dll beyond.mod; do
    cmp -s "$dir/$f" "$tmp/setup/$f" || fail "$f differs between the zip and the installer"
done
[ "$failures" -eq 0 ] && echo "all package checks passed"
exit $((failures > 0))
