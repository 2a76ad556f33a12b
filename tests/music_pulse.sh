#!/usr/bin/env bash
# Real sound from midas11.dll under Wine, through a private PulseAudio server.
#
#   music_pulse.sh record BENCH_EXE RENDER_EXE TEST_MIDAS_EXE
#       The test: records the sink while the library plays beyond.mod, checks
#       the recording is not silent, matches the library's own offline
#       rendering of the same span and falls silent after MIDASstopModule;
#       then runs test_midas.exe with the device present.
#   music_pulse.sh bench BENCH_EXE
#       The benchmark: CPU use while playing, stop and close times.
#
# Runs from ctest (STAKKA_BUILD_DIR etc. set) or by hand with those set.
# The server and the recorder are started here and ended here, by PID.
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${STAKKA_BUILD_DIR:?}"
: "${STAKKA_SOURCE_DIR:=$(cd "$here/.." && pwd)}"
export STAKKA_WINE_MODE=${STAKKA_WINE_MODE:-headless}
. "$here/pulse-env.sh"
wine_run="$STAKKA_SOURCE_DIR/cmake/wine-run.sh"
mode=${1:?mode}
bench=${2:?bench exe}
work=$STAKKA_BUILD_DIR/music-$mode
rm -rf "$work"
mkdir -p "$work"

trap 'pulse_stop' EXIT
trap 'exit 1' INT TERM
pulse_start "$work/pulse" || exit 1
# Wine's default 30 ms left short gaps under load; the library queues far
# more than this, so the latency only sets how much Wine asks at once.
export PULSE_LATENCY_MSEC=100

if [ "$mode" = bench ]; then
  "$wine_run" "$bench" --idle 5 --play 10 --after 5 --cycles 20
  exit $?
fi

render=${3:?render exe}
test_midas=${4:?test_midas exe}
module=$(dirname "$bench")/beyond.mod
play_s=8
after_s=2

pulse_record_start "$work/recording.raw"
# The sink runs all the time, so its monitor yields silence at once: wait
# until the recorder has a third of a second of it before playing.
for _ in $(seq 1 100); do
  [ "$(stat -c %s "$work/recording.raw" 2>/dev/null || echo 0)" -ge $((44100 * 4 / 3)) ] && break
  sleep 0.1
done
"$wine_run" "$bench" --play "$play_s" --after "$after_s" >"$work/bench.out" 2>&1
rc=$?
sleep 0.3
pulse_record_stop
cat "$work/bench.out"
if [ "$rc" -ne 0 ]; then
  echo "music_pulse: the player failed ($rc)" >&2
  exit 1
fi
grep -q '^device=open' "$work/bench.out" || { echo "music_pulse: Wine found no sound device" >&2; exit 1; }
played_ms=$(sed -n 's/^played_ms=\([0-9]*\).*/\1/p' "$work/bench.out")

# The library's own rendering of the same module from its start.
"$wine_run" "$render" render "Z:$module" "Z:$work/render.raw" $((play_s + 4)) >/dev/null || { echo "music_pulse: offline rendering failed" >&2; exit 1; }

python3 "$here/music_compare.py" "$work/recording.raw" "$work/render.raw" "$played_ms" || exit 1

# The abuse tests once more, now with a real device behind the library.
STAKKA_AUDIO=pulse "$wine_run" "$test_midas" --gtest_brief=1 || exit 1
exit 0
