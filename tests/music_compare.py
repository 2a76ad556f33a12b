#!/usr/bin/env python3
"""Judges a recording of midas11.dll playing beyond.mod twice (3 s, a pause, 2 s).
  music_compare.py RECORDING.raw RENDER.raw STREAMS.log REF_TIME REF_FRAME
Raw files are s16le stereo at 44.1 kHz; RENDER is the library's own offline
rendering from the module's start. STREAMS.log has "time count" lines: the
server's playback streams over time; REF_TIME is the wall time of recording
frame REF_FRAME. Checks: exactly two bursts of sound, each as long as its
play (a stop silences at once), each the rendering from its first note on,
piece by piece, sample for sample; and no stream open between the games.
"""
import array
import sys

RATE, CH = 44100, 2
BLOCK = RATE // 100          # 10 ms
PIECE = RATE // 10           # compared a tenth of a second at a time
NEEDLE = 256
PLAYS = [(2.6, 3.2), (1.6, 2.2)]   # seconds heard: the play, less the stream's start; a stop
                             # silences at once (no queue of 370 ms may follow)
MAX_LOST_START = 0.4         # the first note may be cut this much, no more
MARGIN = 0.5                 # seconds of slack between the clocks


def load(path):
    a = array.array("h")
    with open(path, "rb") as f:
        a.frombytes(f.read())
    return a


def bursts(rec):
    loud = [any(rec[i:i + BLOCK * CH]) for i in range(0, len(rec), BLOCK * CH)]
    out = []
    for b, on in enumerate(loud):
        if on and out and b - out[-1][1] < 50:
            out[-1][1] = b + 1
        elif on:
            out.append([b, b + 1])
    return [(s * BLOCK, e * BLOCK) for s, e in out]


def matches(rec, ren, start, end):
    """Share of pieces found in the rendering where they belong, and the lead of the first."""
    hay, found, pieces, lead = ren.tobytes(), 0, 0, None
    for p0 in range(start, end - PIECE, PIECE):
        piece = rec[p0 * CH:(p0 + PIECE) * CH]
        pieces += 1
        lo = max(0, p0 - start - PIECE) * CH * 2
        hi = (p0 - start + int((MAX_LOST_START + 0.3) * RATE) + PIECE) * CH * 2
        at = hay.find(piece[:NEEDLE * CH].tobytes(), lo, hi)
        while at >= 0 and at % (CH * 2):
            at = hay.find(piece[:NEEDLE * CH].tobytes(), at + 1, hi)
        if at < 0:
            continue
        ref = ren[at // 2:at // 2 + PIECE * CH]
        if sum(abs(a - b) <= 2 for a, b in zip(piece, ref)) >= 0.98 * len(piece):
            found += 1
            if lead is None:
                lead = at // (CH * 2) - (p0 - start)
    return found / max(pieces, 1), lead


def main(rec_path, ren_path, log_path, ref_time, ref_frame):
    rec, ren = load(rec_path), load(ren_path)
    heard = bursts(rec)
    print("bursts (s): " + ", ".join("%.2f-%.2f" % (s / RATE, e / RATE) for s, e in heard))
    if len(heard) != 2:
        return "FAIL: expected two bursts of music, heard %d" % len(heard)
    for (s, e), (lo, hi) in zip(heard, PLAYS):
        share, lead = matches(rec, ren, s, e)
        print("burst %.2f s: %.0f%% matched, first note cut by %s s" %
              ((e - s) / RATE, 100 * share, None if lead is None else "%.3f" % (lead / RATE)))
        if not lo <= (e - s) / RATE <= hi:
            return "FAIL: a burst of %.2f s for a play of %.1f-%.1f s" % ((e - s) / RATE, lo, hi)
        if share < 0.9 or lead is None or lead > MAX_LOST_START * RATE:
            return "FAIL: the burst is not the module from its first note"
    frame = lambda t: ref_frame + (t - ref_time) * RATE
    gap = (heard[0][1] + MARGIN * RATE, heard[1][0] - MARGIN * RATE)
    inside = (heard[0][0] + MARGIN * RATE, heard[0][1] - MARGIN * RATE)
    counts = [(frame(float(t)), int(n)) for t, n in (l.split() for l in open(log_path))]
    between = [n for f, n in counts if gap[0] <= f <= gap[1]]
    playing = [n for f, n in counts if inside[0] <= f <= inside[1]]
    print("streams between the games: %s; while playing: %s" % (between, playing))
    if len(between) < 3 or any(between):
        return "FAIL: the device stays open while nothing plays"
    if not playing or not all(playing):
        return "FAIL: no stream seen while the music played"
    print("PASS")
    return 0


if __name__ == "__main__":
    a = sys.argv
    sys.exit(main(a[1], a[2], a[3], float(a[4]), int(a[5])))
