#!/usr/bin/env python3
"""Writes "beyond.mod", Stakka's background music.

A 4-channel ProTracker module (M.K.) with synthesized 8-bit samples and an
original tune in D major: ten patterns of four bars at 90 beats a minute,
about 107 s before it starts over. It is meant to sit under a game for an
hour, so it is slow, soft and without drums:

  channel 1  bass      soft sine bass, root and fifth
  channel 2  lead      a mellow FM bell carrying the melody
  channel 3  pad       whole chords in one looped sample (just intonation,
                       two slightly detuned voices per note, so it shimmers)
  channel 4  echo      the melody again three rows later and quieter, or a
                       slow music-box arpeggio where the lead rests

Usage: gen_music.py OUTPUT.mod [--info]
Python 3 standard library only; the output is the same on every run.
"""

import math
import struct
import sys

# ---- module format constants ------------------------------------------------

ROWS = 64
CHANNELS = 4
SAMPLE_SLOTS = 31
ROWS_PER_BAR = 16
SPEED = 6            # ticks per row (ProTracker's default)
TEMPO = 90           # BPM in the tracker's sense: 4 rows make a beat here
RESTART_BYTE = 0x7F  # makes players see a ProTracker module, not a NoiseTracker one
MAX_SAMPLE_BYTES = 0xFFFF * 2

# Amiga periods at finetune 0, octaves 1..3 of the tracker.
PERIODS = [
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
]
NOTE_NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]

# Every tonal sample has a fundamental period of WAVE samples, so all of them
# sound in tune with each other at the same tracker note.
WAVE = 32

# Sample numbers (1-based as in the pattern data).
S_BASS, S_BELL, S_MAJOR, S_MINOR = 1, 2, 3, 4

# Channel volumes (0..64).
VOL_BASS = 44
VOL_BASS_SOFT = 30
VOL_LEAD = 40
VOL_ECHO = 16
VOL_PAD = 26
VOL_ARP = 18
ECHO_DELAY = 3


def period_of(name):
    """'F#2' -> Amiga period."""
    pitch = NOTE_NAMES.index(name[:2])
    octave = int(name[2])
    if not 1 <= octave <= 3:
        raise ValueError("note out of the tracker's range: " + name)
    return PERIODS[(octave - 1) * 12 + pitch]


def transpose(name, semitones):
    index = (int(name[2]) - 1) * 12 + NOTE_NAMES.index(name[:2]) + semitones
    if not 0 <= index < len(PERIODS):
        raise ValueError("transposed note out of range")
    return NOTE_NAMES[index % 12] + str(index // 12 + 1)


# ---- samples ----------------------------------------------------------------

def to_bytes(values, peak=126.0):
    """Scales floats to signed 8-bit, peak at `peak`."""
    top = max(1e-9, max(abs(v) for v in values))
    out = bytearray()
    for v in values:
        q = int(round(v / top * peak))
        out.append(q & 0xFF)
    if len(out) % 2:
        out.append(0)
    return bytes(out)


def make_bass():
    # Sine an octave below the other samples with a touch of second harmonic,
    # plucked: a short attack, then a long exponential fade to silence.
    n = 9000
    wave = WAVE * 2
    out = []
    for i in range(n):
        ph = 2 * math.pi * i / wave
        env = min(1.0, i / 40.0) * math.exp(-i / 3200.0)
        tail = min(1.0, (n - i) / 400.0)
        out.append((math.sin(ph) + 0.25 * math.sin(2 * ph) + 0.06 * math.sin(3 * ph)) * env * tail)
    return to_bytes(out), 0, 0


def make_bell():
    # Two-operator FM with a fading index: bright at the strike, round after.
    n = 24000
    out = []
    for i in range(n):
        ph = 2 * math.pi * i / WAVE
        index = 1.2 * math.exp(-i / 2500.0) + 0.15
        env = min(1.0, i / 30.0) * math.exp(-i / 5200.0)
        tail = min(1.0, (n - i) / 600.0)
        value = math.sin(ph + index * math.sin(ph)) + 0.12 * math.sin(4 * ph) * math.exp(-i / 900.0)
        out.append(value * env * tail)
    return to_bytes(out), 0, 0


def make_pad(ratios, cycles):
    """A looped chord. `ratios` are the chord tones as whole multiples of a
    common base and `cycles` the root's cycles per loop, so every tone (and
    its detuned twin, one cycle more per loop) joins up at the loop point.
    The sample opens with the same loop faded in, as a slow swell."""
    root = ratios[0]
    loop = WAVE * cycles
    voices = []
    for r in ratios:
        c = cycles * r // root
        if c * root != cycles * r:
            raise ValueError("chord tone does not close the loop")
        voices.append(c)
    one = []
    for i in range(loop):
        v = 0.0
        for c in voices:
            for cyc, weight in ((c, 1.0), (c + 1, 0.8)):
                ph = 2 * math.pi * cyc * i / loop
                v += weight * (math.sin(ph) + 0.22 * math.sin(2 * ph) + 0.08 * math.sin(3 * ph))
        one.append(v)
    swell = [v * (i / loop) ** 1.5 for i, v in enumerate(one)]
    data = to_bytes(swell + one, peak=110.0)
    return data, loop, loop


def build_samples():
    bass = make_bass()
    bell = make_bell()
    major = make_pad((4, 5, 6), 128)
    minor = make_pad((10, 12, 15), 130)
    return [
        ("soft bass", bass, VOL_BASS),
        ("glass bell", bell, VOL_LEAD),
        ("pad major", major, VOL_PAD),
        ("pad minor", minor, VOL_PAD),
    ]


# ---- the tune ---------------------------------------------------------------
# A bar is 16 rows; each note is (row, note) or (row, note, volume).

CHORDS = {
    # name: (pad sample, pad root, bass root, bass fifth, arpeggio tones)
    "D":   (S_MAJOR, "D-1", "D-1", "A-1", ["D-2", "F#2", "A-2", "D-3"]),
    "G":   (S_MAJOR, "G-1", "G-1", "D-1", ["G-2", "B-2", "D-3", "G-2"]),
    "A":   (S_MAJOR, "A-1", "A-1", "E-1", ["A-2", "C#3", "E-3", "C#3"]),
    "Bm":  (S_MINOR, "B-1", "B-1", "F#1", ["B-2", "D-3", "F#3", "D-3"]),
    "F#m": (S_MINOR, "F#1", "F#1", "C#1", ["F#2", "A-2", "C#3", "A-2"]),
    "Em":  (S_MINOR, "E-1", "E-1", "B-1", ["E-2", "G-2", "B-2", "G-2"]),
}

MELODY = {
    "A1": [[(0, "A-2"), (6, "F#2"), (8, "A-2"), (12, "D-3")],
           [(0, "C#3"), (6, "B-2"), (8, "F#2")],
           [(0, "G-2"), (4, "A-2"), (6, "B-2"), (8, "D-3"), (14, "B-2")],
           [(0, "A-2"), (12, "E-2")]],
    "A2": [[(0, "A-2"), (6, "F#2"), (8, "A-2"), (12, "D-3")],
           [(0, "E-3"), (6, "D-3"), (8, "C#3"), (12, "B-2")],
           [(0, "B-2"), (4, "A-2"), (6, "G-2"), (8, "B-2"), (12, "A-2")],
           [(0, "F#2"), (4, "E-2"), (8, "D-2")]],
    "B1": [[(0, "B-2"), (4, "D-3"), (8, "B-2"), (12, "A-2")],
           [(0, "C#3"), (6, "E-3"), (8, "C#3"), (12, "A-2")],
           [(0, "A-2"), (4, "C#3"), (8, "F#3")],
           [(0, "E-3"), (4, "D-3"), (8, "B-2")]],
    "B2": [[(0, "G-2"), (6, "B-2"), (8, "D-3"), (12, "E-3")],
           [(0, "F#3"), (4, "E-3"), (8, "C#3"), (12, "E-3")],
           [(0, "C#3"), (8, "A-2"), (12, "C#3")],
           [(0, "B-2")]],
    "C1": [[(0, "G-2"), (8, "B-2")],
           [(0, "D-3"), (12, "B-2")],
           [(0, "A-2"), (8, "F#2")],
           [(0, "E-2"), (8, "A-2")]],
    "C2": [[(0, "E-3"), (8, "D-3"), (12, "B-2")],
           [(0, "D-3"), (8, "G-2")],
           [(0, "F#2"), (4, "A-2"), (8, "D-3")],
           [(0, "C#3"), (8, "E-3")]],
    "D1": [[(0, "B-2"), (8, "A-2")],
           [(0, "G-2"), (4, "A-2"), (8, "C#3")],
           [(0, "D-3")],
           [(8, "A-2", 24)]],
}

PROGRESSIONS = {
    "home":   ["D", "Bm", "G", "A"],
    "lift":   ["G", "A", "F#m", "Bm"],
    "wander": ["Em", "G", "D", "A"],
    "close":  ["G", "A", "D", "D"],
}

# (progression, melody or None, what channel 4 does: "echo" or "arp")
PATTERNS = [
    ("home", None, "arp"),     # 0 intro: chords and bass, the music box alone
    ("home", "A1", "echo"),    # 1
    ("home", "A2", "echo"),    # 2
    ("lift", "B1", "echo"),    # 3
    ("lift", "B2", "echo"),    # 4
    ("wander", "C1", "arp"),   # 5
    ("wander", "C2", "arp"),   # 6
    ("close", "D1", "echo"),   # 7 cadence, then the tune starts over
]
ORDERS = [0, 1, 2, 3, 4, 5, 6, 1, 4, 7]


def empty_pattern():
    return [[None] * CHANNELS for _ in range(ROWS)]


def put(pattern, row, channel, sample, note, effect=0, param=0):
    if not 0 <= row < ROWS:
        return
    pattern[row][channel] = (sample, period_of(note) if note else 0, effect, param)


def set_volume(volume):
    return 0x0C, max(0, min(64, volume))


def build_pattern(number, progression, melody, fourth):
    pat = empty_pattern()
    chords = PROGRESSIONS[progression]
    for bar, chord in enumerate(chords):
        base = bar * ROWS_PER_BAR
        pad_sample, pad_root, bass_root, bass_fifth, arp = CHORDS[chord]
        # Pad: the chord swells in at the bar unless it merely repeats.
        if bar == 0 or chords[bar - 1] != chord:
            put(pat, base, 2, pad_sample, pad_root, *set_volume(VOL_PAD))
        # Bass: root on the one, fifth on the three, a soft root before the next bar.
        put(pat, base, 0, S_BASS, bass_root, *set_volume(VOL_BASS))
        put(pat, base + 8, 0, S_BASS, bass_fifth, *set_volume(VOL_BASS_SOFT + 6))
        put(pat, base + 14, 0, S_BASS, bass_root, *set_volume(VOL_BASS_SOFT))
        if melody:
            for note in MELODY[melody][bar]:
                row, name = note[0], note[1]
                vol = note[2] if len(note) > 2 else VOL_LEAD
                put(pat, base + row, 1, S_BELL, name, *set_volume(vol))
                if fourth == "echo":
                    put(pat, base + row + ECHO_DELAY, 3, S_BELL, name,
                        *set_volume(vol * VOL_ECHO // VOL_LEAD))
        if fourth == "arp":
            # Two notes a beat, rising through the chord, an octave up at
            # every other bar so the figure does not repeat exactly.
            for step in range(8):
                tone = arp[step % len(arp)]
                if bar % 2 == 1 and step >= 4:
                    tone = transpose(tone, 12) if int(tone[2]) < 3 else tone
                put(pat, base + step * 2, 3, S_BELL, tone,
                    *set_volume(VOL_ARP - (3 if step % 2 else 0)))
    if number == 0:
        # The tempo is set where every pass of the song begins.
        s, p, e, x = pat[0][3] if pat[0][3] else (0, 0, 0, 0)
        if e == 0 and x == 0 and s == 0:
            pat[0][3] = (0, 0, 0x0F, TEMPO)
        else:
            # Channel 4 is busy on row 0: the tempo goes on the bass channel,
            # whose first note keeps its sample's default volume.
            s, p, _, _ = pat[0][0]
            pat[0][0] = (s, p, 0x0F, TEMPO)
    return pat


def encode_cell(cell):
    if cell is None:
        return b"\0\0\0\0"
    sample, period, effect, param = cell
    return bytes([
        (sample & 0xF0) | ((period >> 8) & 0x0F),
        period & 0xFF,
        ((sample & 0x0F) << 4) | (effect & 0x0F),
        param & 0xFF,
    ])


def build_module():
    samples = build_samples()
    out = bytearray()
    out += b"beyond".ljust(20, b"\0")
    for slot in range(SAMPLE_SLOTS):
        if slot < len(samples):
            name, (data, loop_start, loop_len), volume = samples[slot]
            if len(data) > MAX_SAMPLE_BYTES:
                raise ValueError("sample too long: " + name)
            out += name.encode("ascii").ljust(22, b"\0")
            out += struct.pack(">HBBHH", len(data) // 2, 0, volume,
                               loop_start // 2, max(1, loop_len // 2))
        else:
            out += b"\0" * 22 + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    out += bytes([len(ORDERS), RESTART_BYTE])
    out += bytes(ORDERS).ljust(128, b"\0")
    out += b"M.K."
    for number, (progression, melody, fourth) in enumerate(PATTERNS):
        pat = build_pattern(number, progression, melody, fourth)
        for row in pat:
            for cell in row:
                out += encode_cell(cell)
    for _, (data, _, _), _ in samples:
        out += data
    return bytes(out)


def song_seconds():
    row = SPEED * 2.5 / TEMPO
    return len(ORDERS) * ROWS * row


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: gen_music.py OUTPUT.mod [--info]\n")
        return 2
    data = build_module()
    with open(argv[1], "wb") as f:
        f.write(data)
    if "--info" in argv[2:]:
        print("beyond.mod: %d bytes, %d orders of %d patterns, %.2f s" %
              (len(data), len(ORDERS), len(PATTERNS), song_seconds()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
