#!/usr/bin/env bash
# Real sound from midas11.dll under Wine, through a private PulseAudio server.
#   music_pulse.sh BENCH_EXE RENDER_EXE TEST_MIDAS_EXE
# Records the sink while the library plays beyond.mod twice with a pause
# between (as two games do) and watches the server's streams meanwhile:
# music_compare.py checks what was heard. Then runs test_midas.exe with the
# device present. The server, recorder and watcher are ended here, by PID.
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${STAKKA_BUILD_DIR:?}"
. "$here/pulse-env.sh"
wine_run="$here/../cmake/wine-run.sh"
bench=${1:?bench exe} render=${2:?render exe} test_midas=${3:?test_midas exe}
work=$STAKKA_BUILD_DIR/music-pulse
rm -rf "$work" && mkdir -p "$work"
WATCH_PID=
trap '[ -n "$WATCH_PID" ] && kill "$WATCH_PID" 2>/dev/null; pulse_stop' EXIT
pulse_start "$work/pulse" || exit 1
# Wine's default 30 ms left short gaps under load.
export PULSE_LATENCY_MSEC=100

pulse_record_start "$work/recording.raw"
# The sink's monitor yields silence at once: wait for a third of a second of it.
bytes=0
for _ in $(seq 1 100); do
  bytes=$(stat -c %s "$work/recording.raw" 2>/dev/null || echo 0)
  [ "$bytes" -ge $((44100 * 4 / 3)) ] && break
  sleep 0.1
done
ref="$(date +%s.%N) $((bytes / 4))"   # wall time of a recording frame
# How many playback streams the server has, ten times a second.
(while :; do echo "$(date +%s.%N) $(pactl list short sink-inputs | wc -l)"; sleep 0.1; done) \
  >"$work/streams.log" 2>/dev/null &
WATCH_PID=$!
"$wine_run" "$bench" --idle 1 --play 3 --after 2.5 --replay 2 >"$work/bench.out" 2>&1
rc=$?
sleep 0.5
kill "$WATCH_PID"; WATCH_PID=
pulse_record_stop
cat "$work/bench.out"
[ "$rc" -eq 0 ] || { echo "music_pulse: the player failed ($rc)" >&2; exit 1; }
grep -q '^device=open' "$work/bench.out" || { echo "music_pulse: Wine found no sound device" >&2; exit 1; }
"$wine_run" "$render" render "Z:$(dirname "$bench")/beyond.mod" "Z:$work/render.raw" 4 >/dev/null ||
  { echo "music_pulse: offline rendering failed" >&2; exit 1; }
python3 "$here/music_compare.py" "$work/recording.raw" "$work/render.raw" "$work/streams.log" $ref || exit 1
# The abuse tests once more, now with a real device behind the library.
STAKKA_AUDIO=pulse "$wine_run" "$test_midas" --gtest_brief=1
