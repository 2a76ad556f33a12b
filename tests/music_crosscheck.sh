#!/usr/bin/env bash
# beyond.mod as two independent players see it: libxmp (the engine inside
# midas11.dll, through midasrender.exe under Wine) and openmpt123 (native).
# They must agree on the channel count and on the song's length.
#   music_crosscheck.sh RENDER_EXE MODULE
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${STAKKA_BUILD_DIR:?}"
: "${STAKKA_SOURCE_DIR:=$(cd "$here/.." && pwd)}"
render=${1:?render exe}
module=${2:?module}
TOLERANCE_MS=500

xmp=$("$STAKKA_SOURCE_DIR/cmake/wine-run.sh" "$render" info "Z:$module" | tr -d '\r')
echo "libxmp:     $xmp"
xmp_channels=$(printf '%s\n' "$xmp" | sed -n 's/.*channels=\([0-9]*\).*/\1/p')
xmp_ms=$(printf '%s\n' "$xmp" | sed -n 's/.*length_ms=\([0-9]*\).*/\1/p')

mpt=$(openmpt123 --info "$module" 2>&1)
mpt_channels=$(printf '%s\n' "$mpt" | sed -n 's/^Channels\.*: *\([0-9]*\).*/\1/p')
mpt_duration=$(printf '%s\n' "$mpt" | sed -n 's/^Duration\.*: *//p')
mpt_type=$(printf '%s\n' "$mpt" | sed -n 's/^Type\.*: *//p')
# "01:46.639" (or "1:01:46.639") to milliseconds
mpt_ms=$(printf '%s\n' "$mpt_duration" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%d", s * 1000 + 0.5 }')
echo "openmpt123: channels=$mpt_channels length_ms=$mpt_ms type=$mpt_type"

fail=0
if [ -z "$xmp_channels" ] || [ -z "$mpt_channels" ] || [ "$xmp_channels" != "$mpt_channels" ]; then
  echo "FAIL: channel counts differ or are missing"; fail=1
fi
if [ "$xmp_channels" != 4 ]; then
  echo "FAIL: beyond.mod must have 4 channels"; fail=1
fi
if [ -z "$xmp_ms" ] || [ -z "$mpt_ms" ]; then
  echo "FAIL: a length is missing"; fail=1
else
  diff=$((xmp_ms - mpt_ms)); diff=${diff#-}
  echo "length difference: ${diff} ms"
  [ "$diff" -le "$TOLERANCE_MS" ] || { echo "FAIL: lengths differ by more than ${TOLERANCE_MS} ms"; fail=1; }
  [ "$xmp_ms" -ge 60000 ] || { echo "FAIL: shorter than 60 s before it loops"; fail=1; }
fi
case "$mpt_type" in
  *"M.K."*) ;;
  *) echo "FAIL: openmpt123 does not see an M.K. module"; fail=1 ;;
esac
[ "$fail" -eq 0 ] && echo PASS
exit $fail
