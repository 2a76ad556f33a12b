#!/usr/bin/env python3
"""Compares a recording of midas11.dll's output with its offline rendering.

  music_compare.py RECORDING.raw RENDER.raw PLAYED_MS

Both files are raw s16le stereo at 44.1 kHz. The recording holds silence,
then the music from (about) the start of the module, then silence again from
MIDASstopModule on. Checks:
  - the music part is not silent;
  - it is the rendering: a stretch of it is found in the rendering sample
    for sample, and at that alignment nearly every sample agrees;
  - the music stops with MIDASstopModule: it ends no later than the
    rendering position reached when the player called stop (plus the
    server's latency), and the recording stays silent afterwards.
"""
import array
import math
import sys

RATE = 44100
CH = 2
NEEDLE_FRAMES = 512
STOP_TOLERANCE_S = 0.2         # server latency (100 ms) plus scheduling slack;
                               # the library's own queue (370 ms) must not show
MIN_SILENT_TAIL_S = 1.0
SAMPLE_TOLERANCE = 2           # least significant bits
MIN_MATCH = 0.98


def load(path):
    a = array.array("h")
    with open(path, "rb") as f:
        a.frombytes(f.read())
    if sys.byteorder != "little":
        a.byteswap()
    return a


def main(argv):
    rec, ren, played_ms = load(argv[1]), load(argv[2]), float(argv[3])
    nz = [i for i in range(0, len(rec), CH) if rec[i] or rec[i + 1]]
    if not nz:
        print("FAIL: the recording is silent")
        return 1
    first, last = nz[0] // CH, nz[-1] // CH
    total = len(rec) // CH
    music = rec[first * CH:(last + 1) * CH]
    rms = math.sqrt(sum(s * s for s in music) / len(music))
    print("recording: %.2f s, music from %.3f s to %.3f s, rms %.0f" %
          (total / RATE, first / RATE, last / RATE, rms))
    if rms < 300:
        print("FAIL: the music is nearly silent")
        return 1

    # Find a stretch from half a second into the music in the rendering.
    start = first + RATE // 2
    needle = rec[start * CH:(start + NEEDLE_FRAMES) * CH].tobytes()
    hay = ren.tobytes()
    at = hay.find(needle)
    while at >= 0 and at % (CH * 2):
        at = hay.find(needle, at + 1)
    if at < 0:
        print("FAIL: the recording matches the rendering nowhere")
        return 1
    offset = at // (CH * 2) - start     # rendering frame = recording frame + offset
    head_missing = (first + offset) / RATE
    agree = n = 0
    for i in range(first * CH, (last + 1) * CH):
        j = i + offset * CH
        if 0 <= j < len(ren):
            n += 1
            agree += abs(rec[i] - ren[j]) <= SAMPLE_TOLERANCE
    match = agree / n if n else 0
    print("alignment: recording starts %.3f s into the module; %.4f of %d samples agree" %
          (head_missing, match, n))
    if match < MIN_MATCH:
        print("FAIL: the recording differs from the rendering")
        return 1

    span = (last - first) / RATE
    print("music lasted %.3f s in the recording; the player played %.3f s" % (span, played_ms / 1000))
    if span > played_ms / 1000 + STOP_TOLERANCE_S:
        print("FAIL: the music lasted longer than it was played")
        return 1
    end_in_module = (last + offset) / RATE
    tail = (total - 1 - last) / RATE
    print("music ends %.3f s into the module; stop was called at %.3f s; silent tail %.2f s" %
          (end_in_module, played_ms / 1000, tail))
    if end_in_module > played_ms / 1000 + STOP_TOLERANCE_S:
        print("FAIL: the music went on after MIDASstopModule")
        return 1
    if tail < MIN_SILENT_TAIL_S:
        print("FAIL: the recording is not silent after MIDASstopModule")
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
