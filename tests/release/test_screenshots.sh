#!/usr/bin/env bash
# The README's screenshot command works on this build and the committed pictures match it:
# every picture is made, shows more than a blank area, and has the size of the committed one
# (a window or dialog that changed size means docs/ needs regenerating).
set -u
out=$STAKKA_BUILD_DIR/screenshots-check
rm -rf "$out"
if ! STAKKA_SCREENSHOTS_NO_BUILD=1 "$STAKKA_SOURCE_DIR/scripts/screenshots.sh" "$STAKKA_BUILD_DIR" "$out"; then
    echo "FAIL: scripts/screenshots.sh failed"
    exit 1
fi
failures=0
for name in game pause graphics-options save-scheme controls choose-key; do
    f=$out/$name.png
    if [ ! -s "$f" ]; then
        echo "FAIL: $name.png was not made"; failures=$((failures + 1)); continue
    fi
    size=$(identify -format '%wx%h' "$f")
    colours=$(identify -format '%k' "$f")
    committed=$STAKKA_SOURCE_DIR/docs/$name.png
    want=$( [ -s "$committed" ] && identify -format '%wx%h' "$committed" || echo missing)
    if [ "$colours" -le 8 ]; then
        echo "FAIL: $name.png is nearly blank ($colours colours)"; failures=$((failures + 1))
    elif [ "$size" != "$want" ]; then
        echo "FAIL: $name.png is $size, docs/$name.png is $want: run scripts/screenshots.sh"
        failures=$((failures + 1))
    else
        echo "ok: $name.png $size, $colours colours"
    fi
done
[ "$(identify -format '%wx%h' "$out/game.png")" = "$(identify -format '%wx%h' "$out/pause.png")" ] ||
    { echo "FAIL: the game and pause pictures differ in size"; failures=$((failures + 1)); }
exit $((failures > 0))
