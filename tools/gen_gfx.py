#!/usr/bin/env python3
"""Draws every picture of Stakka's graphics library and the program icon.

    gen_gfx.py OUTDIR                  writes the bitmaps that gfx/stkgfx.rc names,
                                       and appico.ico, into OUTDIR
    gen_gfx.py --contact-sheet FILE    writes one PNG showing every picture

Everything is computed here from numbers: no picture comes from anywhere else,
and the output is the same on every run (fixed seeds, no floating point
that depends on the platform beyond IEEE doubles). Python 3 standard library
only, so the build needs nothing beyond an interpreter.
"""

import math
import os
import random
import struct
import sys
import zlib

CELL = 16
BLOCK_COLS = 10
BLOCK_ROWS = 6
WELL_W = 192
WELL_H = 352
ICON_SIZE = 32

# --------------------------------------------------------------------------
# Colour: pieces are chosen in CIE L*C*h so their lightness can be spread on
# purpose; a player who cannot tell the hues apart still sees seven steps
# from bright to dark.


def _lab_to_linear(L, a, b):
    fy = (L + 16.0) / 116.0
    fx = fy + a / 500.0
    fz = fy - b / 200.0

    def finv(t):
        t3 = t * t * t
        return t3 if t3 > 0.008856 else (t - 16.0 / 116.0) / 7.787

    X = 0.95047 * finv(fx)
    Y = finv(fy)
    Z = 1.08883 * finv(fz)
    r = 3.2406 * X - 1.5372 * Y - 0.4986 * Z
    g = -0.9689 * X + 1.8758 * Y + 0.0415 * Z
    bl = 0.0557 * X - 0.2040 * Y + 1.0570 * Z
    return r, g, bl


def _gamma(c):
    if c <= 0.0031308:
        return 12.92 * c
    return 1.055 * (c ** (1.0 / 2.4)) - 0.055


def lch(L, C, h):
    """sRGB 0..255 floats for L*C*h; chroma is reduced until it fits."""
    L = max(0.0, min(100.0, L))
    for _ in range(40):
        a = C * math.cos(math.radians(h))
        b = C * math.sin(math.radians(h))
        lin = _lab_to_linear(L, a, b)
        if all(-0.001 <= c <= 1.001 for c in lin) or C <= 0.5:
            return tuple(255.0 * _gamma(max(0.0, min(1.0, c))) for c in lin)
        C *= 0.92
    return tuple(255.0 * _gamma(max(0.0, min(1.0, c))) for c in lin)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def scale(c, k):
    return tuple(v * k for v in c)


class Hue:
    """A piece colour: lightness, chroma and hue angle."""

    def __init__(self, L, C, h):
        self.L, self.C, self.h = L, C, h

    def shade(self, dL=0.0, kC=1.0):
        return lch(self.L + dL, self.C * kC, self.h)


# Colour index of the pieces: 0 square, 1 line, 2 tee, 3 ell, 4 backwards ell,
# 5 ess, 6 zee. Sorted by lightness, the seven lie about eleven steps apart.
PIECE_HUES = [
    Hue(92, 88, 98),    # yellow
    Hue(81, 46, 205),   # cyan
    Hue(38, 80, 322),   # purple
    Hue(70, 78, 60),    # orange
    Hue(28, 88, 298),   # blue
    Hue(60, 66, 136),   # green
    Hue(49, 76, 34),    # red
]

# --------------------------------------------------------------------------
# Raster: float RGB pixels, quantised at the end.


class Img:
    def __init__(self, w, h, fill=(0.0, 0.0, 0.0)):
        self.w, self.h = w, h
        self.px = [list(fill) for _ in range(w * h)]

    def get(self, x, y):
        return self.px[y * self.w + x]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = list(c)

    def blend(self, x, y, c, a):
        if a <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = min(1.0, a)
        p = self.px[y * self.w + x]
        for i in range(3):
            p[i] += (c[i] - p[i]) * a

    def paste(self, src, ox, oy):
        for y in range(src.h):
            for x in range(src.w):
                self.set(ox + x, oy + y, src.get(x, y))

    def scaled(self, k):
        out = Img(self.w * k, self.h * k)
        for y in range(out.h):
            for x in range(out.w):
                out.px[y * out.w + x] = list(self.get(x // k, y // k))
        return out

    def to_bytes_rgb(self, dither_seed=None):
        """Rows top to bottom, 8-bit RGB. With a seed, a triangular
        noise of one step is added before rounding so that slow
        gradients do not break into visible bands."""
        rnd = random.Random(dither_seed) if dither_seed is not None else None
        out = bytearray()
        for p in self.px:
            for v in p:
                if rnd is not None:
                    v += rnd.random() - rnd.random()
                out.append(max(0, min(255, int(math.floor(v + 0.5)))))
        return out


# --------------------------------------------------------------------------
# Noise for the backgrounds: value noise that repeats every `period` cells.


class Noise:
    def __init__(self, seed, period=64):
        rnd = random.Random(seed)
        self.period = period
        self.v = [rnd.random() for _ in range(period * period)]

    def at(self, x, y):
        p = self.period
        xi, yi = math.floor(x), math.floor(y)
        fx, fy = x - xi, y - yi
        sx = fx * fx * (3 - 2 * fx)
        sy = fy * fy * (3 - 2 * fy)
        x0, y0 = int(xi) % p, int(yi) % p
        x1, y1 = (x0 + 1) % p, (y0 + 1) % p
        v = self.v
        a = v[y0 * p + x0] + (v[y0 * p + x1] - v[y0 * p + x0]) * sx
        b = v[y1 * p + x0] + (v[y1 * p + x1] - v[y1 * p + x0]) * sx
        return a + (b - a) * sy

    def fbm(self, x, y, octaves=4):
        total, amp, norm = 0.0, 1.0, 0.0
        for o in range(octaves):
            total += amp * self.at(x, y)
            norm += amp
            amp *= 0.5
            x, y = x * 2.0 + 17.3, y * 2.0 + 5.1
        return total / norm


def smoothstep(e0, e1, x):
    t = max(0.0, min(1.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


# --------------------------------------------------------------------------
# A 5 x 7 font: hex digits for the code rain, capitals for the contact sheet.

FONT = {
    '0': ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '2': ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    '3': ["11111", "00010", "00100", "00010", "00001", "10001", "01110"],
    '4': ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    '5': ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    '6': ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    '7': ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    '8': ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    '9': ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11100", "10010", "10001", "10001", "10001", "10010", "11100"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'J': ["00111", "00010", "00010", "00010", "00010", "10010", "01100"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "10001", "11001", "10101", "10011", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'Q': ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    'X': ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    'Y': ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    'Z': ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    '-': ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    '.': ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    ' ': ["00000"] * 7,
}

HEX_GLYPHS = "0123456789ABCDEF"


def draw_text(img, x, y, text, col, k=1, alpha=1.0):
    for ch in text.upper():
        rows = FONT.get(ch, FONT[' '])
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit == '1':
                    for dy in range(k):
                        for dx in range(k):
                            img.blend(x + gx * k + dx, y + gy * k + dy, col, alpha)
        x += 6 * k


# --------------------------------------------------------------------------
# Block tiles. Each style draws one 16 x 16 tile for a piece colour.


def tile_bevel(hue, idx):
    """Classic raised block: 2 px bevel lit from the top left."""
    t = Img(CELL, CELL)
    lift = min(22.0, 98.0 - hue.L)
    hi, hi2 = hue.shade(lift, 0.7), hue.shade(lift * 0.55, 0.85)
    lo, lo2 = hue.shade(-26, 1.0), hue.shade(-14, 1.0)
    for y in range(CELL):
        for x in range(CELL):
            d = min(x, y, CELL - 1 - x, CELL - 1 - y)
            if d < 2:
                # Top and left edges catch the light, bottom and right
                # fall in shadow; the outer ring is the stronger one.
                lit = (y == d and d <= x <= CELL - 1 - d) or x == d
                if lit:
                    c = hi if d == 0 else hi2
                else:
                    c = lo if d == 0 else lo2
            else:
                c = hue.shade(3 - 6 * (y - 2) / 11.0)
            t.set(x, y, c)
    return t


def _symbol_mask(kind, x, y):
    """Inner marks of the flat scheme, one per colour, legible without
    colour: ring, bars, triangle, diamond, plus, four dots, cross."""
    cx, cy = x - 7.5, y - 7.5
    if kind == 0:
        r = math.hypot(cx, cy)
        return 2.6 <= r <= 4.6
    if kind == 1:
        return 4 <= x <= 11 and y in (4, 5, 10, 11)
    if kind == 2:
        return 4 <= y <= 11 and abs(cx) <= (y - 3) * 0.5
    if kind == 3:
        return abs(cx) + abs(cy) <= 4.6
    if kind == 4:
        return (7 <= x <= 8 and 3 <= y <= 12) or (7 <= y <= 8 and 3 <= x <= 12)
    if kind == 5:
        return x in (4, 5, 10, 11) and y in (4, 5, 10, 11)
    if kind == 6:
        return 3 <= x <= 12 and 3 <= y <= 12 and (abs(cx - cy) <= 1.0 or abs(cx + cy) <= 1.0)
    return False


def tile_flat_symbol(hue, idx):
    """Flat face, dark outline, and an inner mark per colour."""
    t = Img(CELL, CELL)
    outline = hue.shade(-hue.L * 0.72, 0.6)
    # Dark marks on the four lighter colours, light ones on red, purple and
    # blue. The face is shifted against the mark so that the tile as a whole
    # keeps its colour's lightness, and so the lightness order of the scheme.
    dmark = -26 if hue.L > 55 else +24
    area = sum(1 for y in range(2, CELL - 1) for x in range(2, CELL - 1) if _symbol_mask(idx, x, y))
    dface = -dmark * area / float((CELL - 3) * (CELL - 3))
    face = hue.shade(dface)
    mark = hue.shade(dface + dmark, 0.8)
    for y in range(CELL):
        for x in range(CELL):
            if x == 0 or y == 0 or x == CELL - 1 or y == CELL - 1:
                c = outline
            elif _symbol_mask(idx, x, y):
                c = mark
            elif x == 1 or y == 1:
                c = hue.shade(dface + 7, 0.9)
            else:
                c = face
            t.set(x, y, c)
    return t


def _rounded_inside(x, y, r):
    """Coverage of a pixel by a 16 x 16 square with corners of radius r."""
    cover = 0.0
    for sy in (0.25, 0.75):
        for sx in (0.25, 0.75):
            px, py = x + sx, y + sy
            qx = min(px, CELL - px)
            qy = min(py, CELL - py)
            if qx < r and qy < r:
                if math.hypot(r - qx, r - qy) <= r:
                    cover += 0.25
            else:
                cover += 0.25
    return cover


def tile_glossy(hue, idx):
    """Rounded candy block with a glassy highlight over the top half."""
    t = Img(CELL, CELL, (10, 10, 14))
    rim = hue.shade(-30, 1.0)
    for y in range(CELL):
        for x in range(CELL):
            cover = _rounded_inside(x, y, 4.0)
            if cover <= 0:
                continue
            edge = min(x, y, CELL - 1 - x, CELL - 1 - y)
            c = hue.shade(8 - 20 * y / 15.0, 1.05)
            # Soft glow from the bottom, as light passing through glass.
            c = mix(c, hue.shade(+18, 1.1), max(0.0, (y - 10) / 5.0) * 0.45)
            if edge == 0:
                c = rim
            # Highlight: an ellipse over the upper half.
            ex, ey = (x - 7.5) / 6.0, (y - 4.0) / 3.2
            if ex * ex + ey * ey <= 1.0 and y <= 7:
                c = mix(c, (255, 255, 255), 0.55 - 0.3 * (y - 1) / 6.0)
            if (x, y) in ((3, 3), (4, 3), (3, 4)):
                c = mix(c, (255, 255, 255), 0.8)
            t.set(x, y, mix((10, 10, 14), c, cover))
    return t


def tile_gem(hue, idx):
    """Cut stone: four facets around a flat table, with a sparkle."""
    t = Img(CELL, CELL)
    top, left = hue.shade(+24, 0.75), hue.shade(+9, 0.95)
    right, bottom = hue.shade(-14, 1.0), hue.shade(-27, 1.0)
    edge = hue.shade(-hue.L * 0.6, 0.7)
    lo_in, hi_in = 4, 11
    for y in range(CELL):
        for x in range(CELL):
            if lo_in <= x <= hi_in and lo_in <= y <= hi_in:
                k = ((x - lo_in) + (y - lo_in)) / 14.0
                c = hue.shade(10 - 16 * k, 1.05)
                if x == lo_in or y == lo_in:
                    c = hue.shade(+30, 0.55)
                if x == hi_in or y == hi_in:
                    c = hue.shade(-18, 1.0)
            else:
                dx, dy = x - 7.5, y - 7.5
                if abs(dy) >= abs(dx):
                    c = top if dy < 0 else bottom
                else:
                    c = left if dx < 0 else right
                # A faint stripe along each facet keeps them from looking flat.
                d = min(x, y, CELL - 1 - x, CELL - 1 - y)
                if d == 2:
                    c = mix(c, (255, 255, 255), 0.08)
            if x == 0 or y == 0 or x == CELL - 1 or y == CELL - 1:
                c = edge
            t.set(x, y, c)
    for (x, y, a) in ((6, 6, 0.85), (5, 6, 0.4), (7, 6, 0.4), (6, 5, 0.4), (6, 7, 0.4)):
        t.blend(x, y, (255, 255, 255), a)
    return t


def tile_brick(hue, idx):
    """Two courses of small bricks in mortar; rough, matte surface."""
    t = Img(CELL, CELL)
    rnd = random.Random(1000 + idx)
    mortar = hue.shade(-hue.L * 0.55, 0.35)
    for y in range(CELL):
        for x in range(CELL):
            course = 0 if y < 8 else 1
            yy = y % 8
            # Top course: one long brick; bottom course: a joint in the middle.
            if yy == 7 or x == CELL - 1 or (course == 1 and x == 8):
                c = mortar
            else:
                bx = x if course == 0 or x < 8 else x - 9
                grain = (rnd.random() - 0.5) * 7
                c = hue.shade(grain + 2 - yy * 1.2, 0.95)
                if yy == 0:
                    c = hue.shade(+15 + grain * 0.5, 0.8)
                elif yy == 6:
                    c = hue.shade(-12, 1.0)
                if bx == 0 and yy < 7:
                    c = mix(c, hue.shade(+10, 0.8), 0.7)
            t.set(x, y, c)
    return t


def tile_retro(hue, idx):
    """Chunky pixels: an 8 x 8 block with a three-tone rim, doubled."""
    small = Img(8, 8)
    light, face, dark = hue.shade(+20, 0.6), hue.shade(0, 1.0), hue.shade(-24, 1.0)
    black = hue.shade(-hue.L * 0.8, 0.4)
    for y in range(8):
        for x in range(8):
            if x == 7 or y == 7:
                c = black
            elif x == 0 or y == 0:
                c = light
            elif x == 6 or y == 6:
                c = dark
            else:
                c = face
            small.set(x, y, c)
    small.set(1, 1, (255, 255, 255))
    small.set(2, 1, mix(light, (255, 255, 255), 0.5))
    small.set(1, 2, mix(light, (255, 255, 255), 0.5))
    return small.scaled(2)


def tile_neon(hue, idx):
    """Hollow tube of light on a near black cell."""
    t = Img(CELL, CELL)
    core = hue.shade(+12, 0.55)
    for y in range(CELL):
        for x in range(CELL):
            d = min(x, y, CELL - 1 - x, CELL - 1 - y)
            if d == 0:
                c = hue.shade(-10, 0.9)
            elif d == 1:
                c = core
            elif d == 2:
                c = hue.shade(-5, 1.0)
            else:
                glow = 0.45 if d == 3 else 0.0
                c = mix(hue.shade(-hue.L * 0.78, 0.55), hue.shade(-12, 0.9), glow)
            t.set(x, y, c)
    return t


def tile_marble(hue, idx):
    """Polished stone with veins, a thin light rim and a dark edge."""
    t = Img(CELL, CELL)
    n = Noise(3000 + idx, 16)
    for y in range(CELL):
        for x in range(CELL):
            v = n.fbm(x / 5.0, y / 5.0, 3)
            vein = abs(math.sin((x * 0.45 + y * 0.8 + v * 9.0)))
            c = hue.shade(2 + (v - 0.5) * 14, 0.7)
            c = mix(c, hue.shade(+26, 0.3), max(0.0, 1.0 - vein * 6.0) * 0.7)
            d = min(x, y, CELL - 1 - x, CELL - 1 - y)
            if d == 0:
                c = hue.shade(-hue.L * 0.55, 0.6)
            elif d == 1 and (x == 1 or y == 1):
                c = mix(c, (255, 255, 255), 0.3)
            elif d == 1:
                c = mix(c, (0, 0, 0), 0.25)
            t.set(x, y, c)
    return t


def tile_metal(hue, idx):
    """Brushed plate with four rivets (used for the neutral extras)."""
    t = Img(CELL, CELL)
    rnd = random.Random(5000 + idx)
    streak = [rnd.random() - 0.5 for _ in range(CELL)]
    for y in range(CELL):
        for x in range(CELL):
            c = hue.shade(6 - 12 * y / 15.0 + streak[y] * 6, 1.0)
            d = min(x, y, CELL - 1 - x, CELL - 1 - y)
            if d == 0:
                c = hue.shade(-hue.L * 0.6, 0.6)
            elif d == 1:
                c = hue.shade(+18 if (x == 1 or y == 1) and x < 14 and y < 14 else -18, 0.8)
            t.set(x, y, c)
    for (rx, ry) in ((3, 3), (12, 3), (3, 12), (12, 12)):
        t.set(rx, ry, hue.shade(+30, 0.5))
        t.set(rx + 1, ry, hue.shade(-20, 0.8))
        t.set(rx, ry + 1, hue.shade(-20, 0.8))
        t.set(rx + 1, ry + 1, hue.shade(-30, 0.8))
    return t


# The six default schemes, in tile order 0-6, 7-13, ... 35-41, then spares.
SCHEME_STYLES = [tile_bevel, tile_flat_symbol, tile_glossy, tile_gem, tile_brick, tile_retro]
SPARE_STYLES = [tile_neon, tile_marble]
NEUTRALS = [
    (tile_metal, Hue(78, 4, 250)),    # silver
    (tile_bevel, Hue(36, 3, 250)),    # charcoal
    (tile_glossy, Hue(96, 2, 90)),    # pearl white
    (tile_gem, Hue(76, 70, 85)),      # gold
]


def make_block_tiles():
    tiles = []
    for style in SCHEME_STYLES + SPARE_STYLES:
        for i, hue in enumerate(PIECE_HUES):
            tiles.append(style(hue, i))
    for style, hue in NEUTRALS:
        tiles.append(style(hue, 0))
    assert len(tiles) == BLOCK_COLS * BLOCK_ROWS
    return tiles


def make_blocks():
    img = Img(BLOCK_COLS * CELL, BLOCK_ROWS * CELL)
    for k, t in enumerate(make_block_tiles()):
        img.paste(t, (k % BLOCK_COLS) * CELL, (k // BLOCK_COLS) * CELL)
    return img


def tile_rising():
    """Risen rows of a two-player match: grey stone with a diagonal hatch,
    plainly no piece's colour and in no scheme."""
    stone = Hue(58, 4, 250)
    t = tile_bevel(stone, 0)
    dark = stone.shade(-18, 1.0)
    for y in range(2, CELL - 2):
        for x in range(2, CELL - 2):
            if (x + y) % 4 == 0:
                t.set(x, y, dark)
    return t


# --------------------------------------------------------------------------
# Backgrounds, 192 x 352. Kept dark so that the darkest block (the blue,
# lightness about 28) still stands out; the black grid lines drawn over them
# must stay faintly visible, so no background is pure black either.


def vignette(x, y, strength):
    dx = (x - WELL_W / 2) / (WELL_W / 2)
    dy = (y - WELL_H / 2) / (WELL_H / 2)
    return 1.0 - strength * min(1.0, (dx * dx * 0.7 + dy * dy * 0.5))


def bg_background():
    """Calm abstract: silk ribbons of teal and violet drifting across deep
    indigo, with a soft mist underneath."""
    img = Img(WELL_W, WELL_H)
    n = Noise(11, 64)
    ribbons = [
        # centre y at x = 0, slope, wave amplitude, wave length, phase, width, colour
        (70, 0.55, 18, 170, 0.3, 16, (40, 120, 150)),
        (150, 0.35, 24, 210, 1.7, 22, (90, 60, 150)),
        (250, -0.25, 20, 190, 2.9, 18, (30, 110, 140)),
        (300, 0.45, 14, 150, 4.1, 12, (110, 70, 160)),
    ]
    for y in range(WELL_H):
        for x in range(WELL_W):
            t = y / (WELL_H - 1)
            c = mix((16, 20, 46), (7, 9, 24), t)
            mist = n.fbm(x / 48.0, y / 48.0, 4)
            c = mix(c, (30, 40, 80), max(0.0, mist - 0.45) * 0.9)
            for (y0, slope, amp, wl, ph, width, col) in ribbons:
                yc = y0 + slope * x + amp * math.sin(x / wl * 2 * math.pi + ph)
                d = (y - yc) / width
                a = math.exp(-d * d) * 0.32
                # A brighter thread along the ribbon's middle.
                a += math.exp(-(d * 6) ** 2) * 0.10
                c = mix(c, col, a)
            c = scale(c, vignette(x, y, 0.35))
            img.px[y * WELL_W + x] = list(c)
    return img


def bg_background2():
    """Calm abstract: contour lines of a gentle landscape, copper on slate."""
    img = Img(WELL_W, WELL_H)
    n = Noise(23, 64)
    for y in range(WELL_H):
        for x in range(WELL_W):
            h = n.fbm(x / 80.0 + 3.0, y / 80.0 + 1.0, 2)
            base = mix((12, 26, 32), (32, 20, 38), smoothstep(0.3, 0.7, h))
            f = h * 16.0
            d = abs(f - math.floor(f) - 0.5)
            # Line width in contour units, widened where the slope is shallow
            # would look blotchy; a fixed soft width reads as drawn lines.
            line = max(0.0, 1.0 - (0.5 - d) / 0.07) if d > 0.43 else 0.0
            major = (int(math.floor(f + 0.5)) % 4 == 0)
            col = (170, 110, 66) if major else (110, 96, 92)
            c = mix(base, col, line * (0.6 if major else 0.4))
            c = scale(c, vignette(x, y, 0.3))
            img.px[y * WELL_W + x] = list(c)
    return img


def _ellipse(px, py, cx, cy, rx, ry):
    dx, dy = (px - cx) / rx, (py - cy) / ry
    return math.sqrt(dx * dx + dy * dy) - 1.0


def _skull_field(px, py):
    """Signed distance-like value of the skull (negative inside), the kind of
    the spot (0 bone, 1 socket, 2 nose, 3 gap between teeth, 4 tooth) and how
    far the spot is from the nearest eye socket (negative inside one)."""
    cx = 96.0
    cranium = _ellipse(px, py, cx, 128, 70, 66)
    cheeks = _ellipse(px, py, cx, 168, 58, 36)
    jaw = _ellipse(px, py, cx, 206, 38, 28)
    bone = min(cranium, cheeks, jaw)
    # The temples pinch in above the cheeks.
    temple_l = _ellipse(px, py, cx - 74, 176, 16, 22)
    temple_r = _ellipse(px, py, cx + 74, 176, 16, 22)
    if temple_l < 0 or temple_r < 0:
        bone = max(bone, -min(temple_l, temple_r) * 0.5)
    # Sockets: ellipses with the brow cutting their inner top at a slant.
    eyes = []
    for side in (-1, 1):
        ex = cx + side * 28
        e = _ellipse(px, py, ex, 150, 20, 17)
        brow = 138 + (px - ex) * side * -0.28
        e = max(e, (brow - py) / 17.0)
        eyes.append(e)
    eye = min(eyes)
    nose = 1.0
    if 170 <= py <= 192:
        half = (py - 170) / 22.0 * 9.0 + 1.5
        nose = (abs(px - cx) - half) / 6.0
    kind = 0
    if bone < 0:
        if eye < 0:
            kind = 1
        elif nose < 0 and abs(px - cx) > 0.8:
            kind = 2
        elif 198 <= py <= 224 and abs(px - cx) < 27:
            # Two rows of teeth, seven wide, with the mouth line between them.
            u = (px - cx + 27) % 7.7
            row_top = py < 211
            v = (py - 198) if row_top else (224 - py)
            if 210 <= py <= 212 or u < 1.1:
                kind = 3
            elif v < 1.5 and (u < 2.2 or u > 6.6):
                kind = 3        # rounded tooth tips
            else:
                kind = 4
    return bone, kind, eye


def bg_skull():
    """A skull with crossed bones, bone-grey on a smoky oxblood ground."""
    img = Img(WELL_W, WELL_H)
    n = Noise(37, 64)
    bone_lit, bone_dark = (88, 82, 70), (34, 30, 28)
    for y in range(WELL_H):
        for x in range(WELL_W):
            smoke = n.fbm(x / 40.0, y / 55.0, 4)
            c = mix((18, 8, 10), (42, 16, 18), smoothstep(0.35, 0.75, smoke))
            c = scale(c, vignette(x, y, 0.6))
            # Crossed bones behind the lower half.
            for sgn in (-1, 1):
                ax, ay = 96 - sgn * 70, 240
                bx, by = 96 + sgn * 70, 330
                vx, vy = bx - ax, by - ay
                L2 = vx * vx + vy * vy
                tt = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / L2))
                qx, qy = ax + vx * tt, ay + vy * tt
                dist = math.hypot(x - qx, y - qy)
                r = 7.0
                # Knobbed ends: two small circles at each end.
                for ex, ey in ((ax, ay), (bx, by)):
                    nx, ny = -vy / math.sqrt(L2), vx / math.sqrt(L2)
                    for s in (-1, 1):
                        d2 = math.hypot(x - (ex + nx * s * 6), y - (ey + ny * s * 6))
                        if d2 < 8.0:
                            dist = min(dist, d2 + (r - 8.0))
                if dist < r + 1:
                    cover = max(0.0, min(1.0, r + 0.5 - dist))
                    shade = 1.0 - (dist / r) ** 2 * 0.6
                    bc = mix(bone_dark, bone_lit, 0.55 * shade)
                    c = mix(c, bc, cover * 0.9)
            bone, kind, eye = _skull_field(x, y)
            if bone < 0.02:
                # Fake relief: lit from the top left, darker towards the rim.
                nx = (x - 80.0) / 90.0
                ny = (y - 110.0) / 130.0
                light = max(0.0, 1.0 - math.hypot(nx, ny))
                rim = smoothstep(0.0, 0.18, -bone)
                tex = (n.fbm(x / 9.0 + 40, y / 9.0, 3) - 0.5) * 0.25
                bc = mix(bone_dark, bone_lit, max(0.0, min(1.0, 0.25 + 0.75 * light * rim + tex)))
                # Soft shadow around the sockets.
                if kind == 0 and eye < 0.35:
                    bc = mix(bc, bone_dark, (0.35 - eye) / 0.35 * 0.8)
                if kind == 1:
                    # A dim ember deep in each socket.
                    bc = mix((10, 4, 6), (70, 14, 10), max(0.0, -eye - 0.45) * 0.9)
                elif kind == 2:
                    bc = (12, 8, 9)
                elif kind == 3:
                    bc = (16, 10, 10)
                elif kind == 4:
                    # Teeth a little paler than the bone, darker towards the gums.
                    root = abs(y - 211) / 13.0
                    bc = mix(bone_dark, (104, 98, 84), 0.85 - 0.5 * root)
                cover = max(0.0, min(1.0, -bone * 60 + 0.5))
                c = mix(c, bc, cover)
            img.px[y * WELL_W + x] = list(c)
    return img


def bg_leet():
    """Code rain: columns of hex digits falling through a dark green screen,
    over a faint circuit grid and a ghostly 1337."""
    img = Img(WELL_W, WELL_H)
    n = Noise(41, 64)
    rnd = random.Random(1337)
    for y in range(WELL_H):
        for x in range(WELL_W):
            c = mix((4, 14, 8), (2, 8, 5), y / WELL_H)
            glow = n.fbm(x / 60.0, y / 60.0, 3)
            c = mix(c, (8, 30, 18), max(0.0, glow - 0.4))
            # Circuit grid: fine lines every 32 px with solder points.
            if x % 32 == 15 or y % 32 == 15:
                c = mix(c, (20, 60, 36), 0.25)
            if x % 32 == 15 and y % 32 == 15:
                c = mix(c, (40, 110, 60), 0.5)
            img.px[y * WELL_W + x] = list(c)
    # The ghost number, big and very faint, behind the rain.
    draw_text(img, 96 - (4 * 6 * 6 - 6) // 2, 150, "1337", (30, 90, 50), k=6, alpha=0.35)
    # The rain: 6 x 8 cells, each column with one or two falling streams.
    cols, rows = WELL_W // 6, WELL_H // 8
    for cx in range(cols):
        for _ in range(rnd.choice((1, 1, 2))):
            head = rnd.randrange(rows + 8)
            length = rnd.randrange(6, 22)
            for k in range(length):
                ry = head - k
                if not (0 <= ry < rows):
                    continue
                fade = 1.0 - k / length
                if k == 0:
                    col, a = (150, 230, 170), 0.55
                else:
                    col, a = (40, 170, 80), 0.12 + 0.4 * fade * fade
                ch = HEX_GLYPHS[rnd.randrange(16)]
                draw_text(img, cx * 6, ry * 8, ch, col, 1, a)
    return img


# --------------------------------------------------------------------------
# Pattern tiles: seamless because every shape is drawn modulo the tile size.


def tile_blue():
    """Basket weave: strands over and under in two shades of navy."""
    s = 32
    img = Img(s, s)
    for y in range(s):
        for x in range(s):
            qx, qy = (x // 16) % 2, (y // 16) % 2
            horizontal = (qx + qy) % 2 == 0
            u = (y if horizontal else x) % 16
            v = (x if horizontal else y) % 16
            strand = u // 4
            k = u % 4
            c = (22, 34, 72) if strand % 2 == 0 else (17, 27, 60)
            if k == 0:
                c = mix(c, (48, 66, 120), 0.6)
            elif k == 3:
                c = mix(c, (6, 10, 24), 0.6)
            # Shade where a strand dives under its neighbour square.
            edge = min(v, 15 - v)
            if edge < 2:
                c = mix(c, (6, 10, 24), 0.5 - edge * 0.2)
            img.set(x, y, c)
    return img


def tile_red():
    """Quilted diamonds, stitched, in wine red."""
    s = 32
    img = Img(s, s)
    for y in range(s):
        for x in range(s):
            # Diamond lattice: distance to the nearest seam along both diagonals.
            u = (x + y) % 32
            v = (x - y) % 32
            du = min(u, 32 - u)
            dv = min(v, 32 - v)
            seam = min(du, dv)
            c = mix((60, 14, 20), (98, 26, 32), min(1.0, seam / 9.0))
            if seam == 0:
                c = (30, 6, 10)
            elif seam == 2 and (u + v) % 4 < 2:
                c = mix(c, (150, 70, 70), 0.5)
            # Button at each crossing.
            if du <= 1 and dv <= 1:
                c = (140, 60, 50)
            img.set(x, y, c)
    return img


def tile_orange():
    """Overlapping scales in burnt orange, rows offset by half a scale."""
    s = 32
    img = Img(s, s)
    r = 16.0
    for y in range(s):
        for x in range(s):
            best = None
            # A scale's centre at (16i + 8·row parity, 16j); the lower row
            # overlaps the upper, so take the nearest centre below the point.
            for j in range(-1, 4):
                cy = j * 16
                off = 8 if j % 2 else 0
                for i in range(-1, 4):
                    cx = i * 16 + off
                    for wx in (-32, 0, 32):
                        for wy in (-32, 0, 32):
                            dx, dy = x + 0.5 - (cx + wx), y + 0.5 - (cy + wy)
                            d = math.hypot(dx, dy)
                            if d < r * 0.62 and dy >= -2:
                                key = cy + wy
                                if best is None or key > best[0]:
                                    best = (key, d, dy)
            if best is None:
                c = (42, 18, 6)
            else:
                _, d, dy = best
                t = d / (r * 0.62)
                c = mix((110, 52, 16), (60, 26, 8), t)
                if t > 0.88:
                    c = (34, 14, 4)
                elif dy < 4 and t < 0.5:
                    c = mix(c, (150, 86, 40), 0.3 * (1 - t / 0.5))
            img.set(x, y, c)
    return img


# --------------------------------------------------------------------------
# Program icon: a dark well where a tee piece drops into the gap it fits.

ICON_CELL = 6
ICON_CELLS = [
    # (column, row, piece colour index)
    (1, 1, 1), (2, 1, 1), (3, 1, 1), (2, 2, 1),
    (0, 3, 3), (4, 3, 5),
    (0, 4, 3), (1, 4, 3), (3, 4, 5), (4, 4, 5),
]


def make_icon_image():
    """32 x 32 picture and its transparency mask (1 = transparent)."""
    img = Img(ICON_SIZE, ICON_SIZE)
    mask = [[1] * ICON_SIZE for _ in range(ICON_SIZE)]
    frame = (150, 160, 190)
    for y in range(ICON_SIZE):
        for x in range(ICON_SIZE):
            # Rounded dark well with a light frame; corners transparent.
            qx = min(x, ICON_SIZE - 1 - x)
            qy = min(y, ICON_SIZE - 1 - y)
            if qx + qy < 2:
                continue
            mask[y][x] = 0
            if qx == 0 or qy == 0 or qx + qy == 2:
                c = frame
            else:
                c = mix((24, 28, 58), (10, 12, 28), y / 31.0)
            img.set(x, y, c)
    for (cx, cy, ci) in ICON_CELLS:
        hue = PIECE_HUES[ci]
        ox, oy = 1 + cx * ICON_CELL, 1 + cy * ICON_CELL
        for y in range(ICON_CELL):
            for x in range(ICON_CELL):
                if x == 0 or y == 0:
                    c = hue.shade(+22, 0.7)
                elif x == ICON_CELL - 1 or y == ICON_CELL - 1:
                    c = hue.shade(-26)
                else:
                    c = hue.shade(0)
                img.set(ox + x, oy + y, c)
    # Speed lines above the falling piece.
    for lx in (9, 15, 21):
        for ly in range(2, ICON_CELL + 1):
            img.blend(lx, ly, (210, 200, 240), 0.15 + 0.12 * (ly - 2))
    return img, mask


def write_ico(path, img, mask):
    """One 32 x 32 image with a 256-entry palette and an AND mask."""
    colours = []
    index = {}
    pix = img.to_bytes_rgb()
    idx = bytearray()
    for y in range(ICON_SIZE - 1, -1, -1):            # bottom-up rows
        for x in range(ICON_SIZE):
            o = (y * ICON_SIZE + x) * 3
            rgb = (pix[o], pix[o + 1], pix[o + 2]) if not mask[y][x] else (0, 0, 0)
            if rgb not in index:
                index[rgb] = len(colours)
                colours.append(rgb)
            idx.append(index[rgb])
    if len(colours) > 256:
        raise SystemExit("icon uses more than 256 colours")
    palette = bytearray()
    for i in range(256):
        r, g, b = colours[i] if i < len(colours) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    andmask = bytearray()
    for y in range(ICON_SIZE - 1, -1, -1):
        bits = 0
        for x in range(ICON_SIZE):
            bits = (bits << 1) | mask[y][x]
        andmask += struct.pack('>I', bits)           # 32 px = 4 bytes, already DWORD-aligned
    header = struct.pack('<IiiHHIIiiII', 40, ICON_SIZE, ICON_SIZE * 2, 1, 8, 0,
                         len(idx) + len(andmask), 0, 0, 256, 0)
    body = header + palette + idx + andmask
    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', ICON_SIZE, ICON_SIZE, 0, 0, 1, 8, len(body), 6 + 16)
    with open(path, 'wb') as f:
        f.write(icondir + entry + body)


# --------------------------------------------------------------------------
# File writers.


def write_bmp(path, img, dither_seed=None):
    """24-bit bottom-up BMP, rows padded to four bytes."""
    rgb = img.to_bytes_rgb(dither_seed)
    stride = (img.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(img.h - 1, -1, -1):
        row = bytearray()
        for x in range(img.w):
            o = (y * img.w + x) * 3
            row += bytes((rgb[o + 2], rgb[o + 1], rgb[o]))
        row += b'\0' * (stride - len(row))
        data += row
    info = struct.pack('<IiiHHIIiiII', 40, img.w, img.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    filehdr = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(filehdr + info + data)


def write_png(path, img, dither_seed=None):
    rgb = img.to_bytes_rgb(dither_seed)
    raw = bytearray()
    stride = img.w * 3
    for y in range(img.h):
        raw.append(0)
        raw += rgb[y * stride:(y + 1) * stride]

    def chunk(tag, payload):
        c = struct.pack('>I', len(payload)) + tag + payload
        return c + struct.pack('>I', zlib.crc32(tag + payload) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', img.w, img.h, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


# --------------------------------------------------------------------------
# The library's pictures: file name, resource name, maker, dither seed.

BITMAPS = [
    ('blocks.bmp', 'Blocks', make_blocks, None),
    ('background_bg.bmp', 'BackgroundBg', bg_background, 101),
    ('skull_bg.bmp', 'SkullBg', bg_skull, 102),
    ('leet_bg.bmp', 'LeetBg', bg_leet, 103),
    ('background2_bg.bmp', 'Background2Bg', bg_background2, 104),
    ('blue_tile.bmp', 'BlueTile', tile_blue, None),
    ('red_tile.bmp', 'RedTile', tile_red, None),
    ('orange_tile.bmp', 'OrangeTile', tile_orange, None),
    ('rising_block.bmp', 'RisingBlock', tile_rising, None),
]
ICON_FILE = 'appico.ico'


def quantised(img, seed):
    """The picture as it will be stored, so the sheet shows the real pixels."""
    rgb = img.to_bytes_rgb(seed)
    out = Img(img.w, img.h)
    for i in range(img.w * img.h):
        out.px[i] = [rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]]
    return out


def write_library(outdir):
    os.makedirs(outdir, exist_ok=True)
    for fname, _, maker, seed in BITMAPS:
        write_bmp(os.path.join(outdir, fname), maker(), seed)
    img, mask = make_icon_image()
    write_ico(os.path.join(outdir, ICON_FILE), img, mask)


def fill_pattern(tile, w, h):
    out = Img(w, h)
    for y in range(h):
        for x in range(w):
            out.px[y * w + x] = list(tile.get(x % tile.w, y % tile.h))
    return out


def demo_stack(well, tiles, scheme_rows):
    """Draws grid lines and a few rows of settled blocks as the game would,
    so the sheet shows how each scheme reads on each background."""
    for gx in range(CELL, WELL_W, CELL):
        for y in range(WELL_H - CELL * 12, WELL_H):
            well.set(gx, y, (0, 0, 0))
    for gy in range(WELL_H - CELL * 12, WELL_H, CELL):
        for x in range(WELL_W):
            well.set(x, gy, (0, 0, 0))
    rnd = random.Random(7)
    for r, scheme in enumerate(scheme_rows):
        row = WELL_H // CELL - 1 - r * 2
        for cx in range(12):
            if (cx + r) % 5 == 4:
                continue
            colour = (cx + r) % 7
            well.paste(tiles[scheme * 7 + colour], cx * CELL, row * CELL)
            if rnd.random() < 0.55:
                colour2 = (colour + 3) % 7
                well.paste(tiles[scheme * 7 + colour2], cx * CELL, (row - 1) * CELL)


def contact_sheet(path):
    tiles = make_block_tiles()
    blocks = make_blocks()
    bgs = [(name, quantised(maker(), seed)) for (_, name, maker, seed) in BITMAPS[1:5]]
    pats = [(name, maker()) for (_, name, maker, _) in BITMAPS[5:8]]
    icon, mask = make_icon_image()
    margin, gap = 16, 24
    col_w = WELL_W + gap
    W = margin * 2 + col_w * 7
    H = 2000
    sheet = Img(W, H, (48, 48, 52))
    label = (220, 220, 225)
    y = margin
    draw_text(sheet, margin, y, "BLOCKS - 10 X 6 TILES AT 3X", label, 2)
    y += 24
    big = blocks.scaled(3)
    sheet.paste(big, margin, y)
    # Tile numbers under each row's first tile.
    for r in range(BLOCK_ROWS):
        draw_text(sheet, margin + big.w + 6, y + r * 48 + 18, str(r * BLOCK_COLS), label, 2)
    x = margin + big.w + 60
    draw_text(sheet, x, y, "APPICO 32X32 AT 1X AND 4X", label, 2)
    ic = Img(ICON_SIZE, ICON_SIZE)
    for yy in range(ICON_SIZE):
        for xx in range(ICON_SIZE):
            chk = (150, 150, 150) if ((xx // 4 + yy // 4) % 2) else (110, 110, 110)
            ic.set(xx, yy, chk if mask[yy][xx] else icon.get(xx, yy))
    sheet.paste(ic, x, y + 24)
    sheet.paste(ic.scaled(4), x + 48, y + 24)
    tx = x
    ty = y + 180
    draw_text(sheet, tx, ty, "PATTERN TILES, ONE TILE AND 3X3 REPEAT", label, 2)
    for i, (name, t) in enumerate(pats):
        px = tx + i * 150
        draw_text(sheet, px, ty + 22, name, label, 1)
        sheet.paste(t, px, ty + 34)
        sheet.paste(fill_pattern(t, t.w * 3, t.h * 3), px + t.w + 8, ty + 34)
    # Scheme strips: the seven colours of each scheme, large, on mid grey and
    # then as a grey-scale copy to check the lightness steps.
    y += big.h + gap
    draw_text(sheet, margin, y, "SCHEMES ONE TO SIX - COLOUR AND LIGHTNESS ONLY", label, 2)
    y += 24
    for s in range(6):
        sx = margin + (s % 3) * (7 * 34 + 40)
        if s == 3:
            y += 36 * 2 + 12
        for c in range(7):
            t = tiles[s * 7 + c].scaled(2)
            sheet.paste(t, sx + c * 34, y)
            grey = Img(t.w, t.h)
            for i, p in enumerate(t.px):
                lum = 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]
                grey.px[i] = [lum, lum, lum]
            sheet.paste(grey, sx + c * 34, y + 36)
    y += 36 * 2 + gap
    draw_text(sheet, margin, y, "BUILT-IN BACKGROUNDS 192X352 AND PATTERN FILLS", label, 2)
    y += 24
    for i, (name, bg) in enumerate(bgs):
        sheet.paste(bg, margin + i * col_w, y + 12)
        draw_text(sheet, margin + i * col_w, y, name, label, 1)
    for i, (name, t) in enumerate(pats):
        sheet.paste(fill_pattern(t, WELL_W, WELL_H), margin + (4 + i) * col_w, y + 12)
        draw_text(sheet, margin + (4 + i) * col_w, y, name, label, 1)
    y += WELL_H + 12 + gap
    draw_text(sheet, margin, y, "IN PLAY - GRID LINES AND ALL SIX SCHEMES ON EACH BACKGROUND", label, 2)
    y += 24
    wells = [bg for _, bg in bgs] + [fill_pattern(t, WELL_W, WELL_H) for _, t in pats]
    for i, well in enumerate(wells):
        w2 = Img(WELL_W, WELL_H)
        w2.px = [list(p) for p in well.px]
        demo_stack(w2, tiles, [0, 1, 2, 3, 4, 5])
        sheet.paste(w2, margin + i * col_w, y)
    y += WELL_H + margin
    sheet.h = y
    sheet.px = sheet.px[:W * y]
    write_png(path, sheet)


def main(argv):
    if len(argv) == 3 and argv[1] == '--contact-sheet':
        os.makedirs(os.path.dirname(os.path.abspath(argv[2])), exist_ok=True)
        contact_sheet(argv[2])
        return 0
    if len(argv) == 2 and not argv[1].startswith('-'):
        write_library(argv[1])
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
