#!/usr/bin/env bash
# Real sound from midas11.dll under Wine, through a private PulseAudio server.
#   music_pulse.sh BENCH_EXE RENDER_EXE TEST_MIDAS_EXE
# The library plays beyond.mod twice with a pause between (as two games do)
# while the sink is recorded and the server's streams are counted: each play
# must be heard from its first note, sample for sample as the library renders
# the module offline, and no stream may stay open between the two. Then
# test_midas.exe runs with the device present.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pulse-env.sh"
wine_run="$here/../cmake/wine-run.sh"
work=${STAKKA_BUILD_DIR:?}/music-pulse
rm -rf "$work" && mkdir -p "$work"
WATCH_PID=
trap '[ -z "$WATCH_PID" ] || kill "$WATCH_PID"; pulse_stop' EXIT
pulse_start "$work/pulse" || exit 1
export PULSE_LATENCY_MSEC=100 # Wine's default 30 ms left short gaps under load
parec -d "$PULSE_SINK.monitor" --raw --format=s16le --rate=44100 --channels=2 \
  --latency-msec=100 >"$work/rec.raw" 2>/dev/null </dev/null &
PAREC_PID=$!
for _ in $(seq 1 100); do # the monitor yields silence at once: wait for 1/3 s of it
  [ "$(stat -c %s "$work/rec.raw" 2>/dev/null || echo 0)" -ge 58800 ] && break
  sleep 0.1
done
# Ten times a second: the recording's length in bytes and the server's playback streams.
(while :; do echo "$(stat -c %s "$work/rec.raw") $(pactl list short sink-inputs | wc -l)"
  sleep 0.1; done) >"$work/streams.log" 2>/dev/null &
WATCH_PID=$!
"$wine_run" "$1" --idle 1 --play 3 --after 2.5 --replay 2 | tee "$work/bench.out"
sleep 0.5
kill "$WATCH_PID"
WATCH_PID=
_end_pid "$PAREC_PID"
grep -q '^device=open' "$work/bench.out" || { echo "music_pulse: no sound device" >&2; exit 1; }
"$wine_run" "$2" render "Z:$(dirname "$1")/beyond.mod" "Z:$work/render.raw" 4 >/dev/null || exit 1
python3 - "$work" <<'PY' || exit 1
import array, sys
RATE, NEEDLE, LOST, MARGIN = 44100, 256, 17640, 22050  # frames: the first note may be cut by
rec, ren = array.array("h"), array.array("h")          # LOST; MARGIN is the clocks' slack
rec.frombytes(open(sys.argv[1] + "/rec.raw", "rb").read())
ren.frombytes(open(sys.argv[1] + "/render.raw", "rb").read())
bursts = []  # [start, end) in frames of each sound (stereo s16le); gaps under 0.5 s are joined
for f in range(0, len(rec) // 2, 441):
    if any(rec[f * 2:f * 2 + 882]):
        if bursts and f - bursts[-1][1] < MARGIN: bursts[-1][1] = f + 441
        else: bursts.append([f, f + 441])
print("bursts (s):", [(s / RATE, e / RATE) for s, e in bursts])
# Two, each as long as its play less the stream's start (a stop silences at once), and each a
# second of the rendering, sample for sample, from no later than LOST after its start.
assert [2.6 <= (e - s) / RATE <= 3.2 for s, e in bursts[:1]] + [1.6 <= (e - s) / RATE <= 2.2 for s, e in bursts[1:]] == [True, True], "FAIL: not two plays of the right length"
for s, e in bursts:
    at = ren.tobytes().find(rec[s * 2 + 882:(s + 441 + NEEDLE) * 2].tobytes(), 0, (LOST + 882 + NEEDLE) * 4) // 2
    same = sum(abs(a - b) <= 2 for a, b in zip(rec[s * 2 + 882:(s + 441 + RATE) * 2], ren[at:at + RATE * 2]))
    assert at >= 0 and at % 2 == 0 and same >= 0.98 * 2 * RATE, "FAIL: not the module from its first note (%d, %d)" % (at, same)
log = [(int(b) // 4, int(n)) for b, n in (l.split() for l in open(sys.argv[1] + "/streams.log"))]
between = [n for f, n in log if bursts[0][1] + MARGIN <= f <= bursts[1][0] - MARGIN]
playing = [n for f, n in log if bursts[0][0] + MARGIN <= f <= bursts[0][1] - MARGIN]
assert len(between) >= 3 and not any(between) and playing and all(playing), "FAIL: streams between the games %s, while playing %s" % (between, playing)
print("PASS")
PY
# The abuse tests once more, now with a real device behind the library.
"$wine_run" "$3" --gtest_brief=1
