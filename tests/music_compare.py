#!/usr/bin/env python3
"""Compares a recording of midas11.dll's output with its offline rendering.

  music_compare.py RECORDING.raw RENDER.raw PLAYED_MS

Both files are raw s16le stereo at 44.1 kHz. The recording holds silence,
then the music from (about) the start of the module, then silence again from
MIDASstopModule on. Checks:
  - the music part is not silent;
  - it is the rendering: piece by piece it is found in the rendering and
    agrees sample for sample (a few pieces may be lost to gaps when the
    machine is busy);
  - the music stops with MIDASstopModule: it ends no later than the
    rendering position reached when the player called stop (plus the
    server's latency), and the recording stays silent afterwards.
"""
import array
import math
import sys

RATE = 44100
CH = 2
CHUNK_FRAMES = RATE // 10
NEEDLE_FRAMES = 256
SEARCH_FRAMES = 2 * RATE      # how far a gap may shift the stream
MIN_PIECES = 0.9              # share of pieces that must match exactly
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

    if first < RATE // 10:
        print("FAIL: the recording began after the music had started")
        return 1

    # The recording is matched to the rendering a tenth of a second at a
    # time: each piece is looked for near where the previous one was found,
    # so a gap in the sound server's stream (a busy machine) costs only the
    # pieces it touches instead of everything after it.
    hay = ren.tobytes()
    offset = None           # rendering frame = recording frame + offset
    pieces = matched = jumps = 0
    last_offset = None
    for p0 in range(first, last + 1 - CHUNK_FRAMES, CHUNK_FRAMES):
        piece = rec[p0 * CH:(p0 + CHUNK_FRAMES) * CH]
        if not any(piece):
            continue
        pieces += 1
        needle = piece[:NEEDLE_FRAMES * CH].tobytes()
        if offset is None:
            lo, hi = 0, len(hay)
        else:
            lo = max(0, (p0 + offset - SEARCH_FRAMES) * CH * 2)
            hi = min(len(hay), (p0 + offset + SEARCH_FRAMES + CHUNK_FRAMES) * CH * 2)
        at = hay.find(needle, lo, hi)
        while at >= 0 and at % (CH * 2):
            at = hay.find(needle, at + 1, hi)
        if at < 0:
            continue
        found = at // (CH * 2) - p0
        if offset is not None and found != offset:
            jumps += 1
        offset = found
        j0 = (p0 + offset) * CH
        ref = ren[j0:j0 + CHUNK_FRAMES * CH]
        if len(ref) < len(piece):
            continue
        agree = sum(1 for a, b in zip(piece, ref) if abs(a - b) <= SAMPLE_TOLERANCE)
        if agree >= MIN_MATCH * len(piece):
            matched += 1
            last_offset = offset
    share = matched / pieces if pieces else 0.0
    print("matched %d of %d pieces of 0.1 s sample for sample (%.3f), %d gap(s)" %
          (matched, pieces, share, jumps))
    if offset is None or last_offset is None:
        print("FAIL: the recording matches the rendering nowhere")
        return 1
    print("alignment: the recording starts %.3f s into the module" % ((first + offset) / RATE))
    if share < MIN_PIECES:
        print("FAIL: the recording differs from the rendering")
        return 1
    offset = last_offset

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
