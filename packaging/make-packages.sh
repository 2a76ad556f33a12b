#!/usr/bin/env bash
# Makes the release packages of one build tree: the portable zip and the NSIS installer.
#   make-packages.sh <bin dir> <source dir> <output dir> <version> <version quad> <x86|x64>
#                    <strip tool> [icon]
# Every input must be there: a missing file stops the build instead of packing less.
set -euo pipefail

bin=$1 src=$2 out=$3 version=$4 quad=$5 arch=$6 strip=$7 icon=${8:-}

case $arch in
x86) tag=win32 setup=stakka-$version-setup.exe ;;
x64) tag=win64 setup=stakka-$version-win64-setup.exe ;;
*) echo "make-packages: unknown architecture '$arch'" >&2; exit 2 ;;
esac
name=stakka-$version
zipfile=$name-$tag.zip

# The program and what it needs at run time, then the texts for the player.
program_files=(stakka.exe stkgfx.dll midas11.dll beyond.mod)
missing=0
for f in "${program_files[@]}"; do
    if [ ! -s "$bin/$f" ]; then
        echo "make-packages: $bin/$f is missing or empty" >&2
        missing=1
    fi
done
for f in "$src/packaging/HOWTOPLAY.txt" "$src/LICENSE" "$src/packaging/stakka.nsi"; do
    if [ ! -s "$f" ]; then
        echo "make-packages: $f is missing or empty" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] || exit 1

stage=$out/$name
rm -rf "$stage" "$out/$zipfile" "$out/$setup"
mkdir -p "$stage"
for f in "${program_files[@]}"; do
    cp "$bin/$f" "$stage/$f"
done
# The build keeps debugging information; the player's copies do without it.
# One file a call: strip given two files keeps the first one's page-aligned sections only.
for f in stakka.exe midas11.dll; do
    "$strip" --strip-debug "$stage/$f"
done
# Windows line ends, so that Notepad shows the texts properly.
sed 's/\r$//; s/$/\r/' "$src/packaging/HOWTOPLAY.txt" >"$stage/HOWTOPLAY.txt"
sed 's/\r$//; s/$/\r/' "$src/LICENSE" >"$stage/LICENSE.txt"

# The zip holds one folder named after the version, so unpacking never scatters files.
(cd "$out" && zip -q -X -r "$zipfile" "$name")

nsis_args=(-V2 -NOCD "-DVERSION=$version" "-DVERSION_QUAD=$quad" "-DARCH=$arch"
           "-DSTAGEDIR=$stage" "-DOUTFILE=$out/$setup")
if [ -n "$icon" ]; then
    [ -s "$icon" ] || { echo "make-packages: icon $icon is missing" >&2; exit 1; }
    nsis_args+=("-DICON=$icon")
fi
makensis "${nsis_args[@]}" "$src/packaging/stakka.nsi"

for f in "$out/$zipfile" "$out/$setup"; do
    [ -s "$f" ] || { echo "make-packages: $f was not made" >&2; exit 1; }
    echo "make-packages: $f ($(stat -c %s "$f") bytes)"
done
