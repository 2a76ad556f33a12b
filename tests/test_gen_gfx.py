#!/usr/bin/env python3
"""Checks of tools/gen_gfx.py on the host: the files it writes are what the
resource compiler and the platform's loaders expect, the output is the same
on every run, and the contact sheet command writes a whole PNG.

    test_gen_gfx.py PATH/TO/gen_gfx.py
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

TOOL = None

BITMAPS = {
    'blocks.bmp': (160, 96),
    'background_bg.bmp': (192, 352),
    'skull_bg.bmp': (192, 352),
    'leet_bg.bmp': (192, 352),
    'background2_bg.bmp': (192, 352),
    'blue_tile.bmp': None,
    'red_tile.bmp': None,
    'orange_tile.bmp': None,
}


def run(*args):
    return subprocess.run([sys.executable, TOOL] + list(args), capture_output=True, text=True)


def read_png(path):
    """Width, height and RGB rows of an 8-bit truecolour PNG with filter 0."""
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'signature'
    pos, idat, ihdr = 8, b'', None
    while pos < len(data):
        length, tag = struct.unpack('>I4s', data[pos:pos + 8])
        payload = data[pos + 8:pos + 8 + length]
        crc = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])[0]
        assert zlib.crc32(tag + payload) & 0xffffffff == crc, 'crc of %r' % tag
        if tag == b'IHDR':
            ihdr = struct.unpack('>IIBBBBB', payload)
        elif tag == b'IDAT':
            idat += payload
        pos += 12 + length
    w, h, depth, ctype = ihdr[:4]
    assert (depth, ctype) == (8, 2)
    raw = zlib.decompress(idat)
    assert len(raw) == h * (1 + 3 * w)
    return w, h, raw


class GeneratorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = os.path.join(cls.tmp.name, 'a')
        r = run(cls.out)
        assert r.returncode == 0, r.stderr

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_bitmaps_are_24_bit_with_sound_headers(self):
        for name, size in BITMAPS.items():
            data = open(os.path.join(self.out, name), 'rb').read()
            self.assertEqual(data[:2], b'BM', name)
            fsize, off = struct.unpack('<I4xI', data[2:14])
            self.assertEqual(fsize, len(data), name)
            hsize, w, h, planes, bits, comp = struct.unpack('<IiiHHI', data[14:34])
            self.assertEqual((hsize, planes, bits, comp), (40, 1, 24, 0), name)
            if size:
                self.assertEqual((w, h), size, name)
            else:
                self.assertTrue(8 <= w <= 64 and 8 <= h <= 64, name)
            stride = (w * 3 + 3) & ~3
            self.assertEqual(len(data) - off, stride * h, name)

    def test_icon_is_one_32_by_32_image_with_256_colours(self):
        data = open(os.path.join(self.out, 'appico.ico'), 'rb').read()
        reserved, kind, count = struct.unpack('<HHH', data[:6])
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        w, h, colours, _, planes, bits, size, offset = struct.unpack('<BBBBHHII', data[6:22])
        self.assertEqual((w, h, colours, planes, bits), (32, 32, 0, 1, 8))
        self.assertEqual(offset + size, len(data))
        hsize, bw, bh, bplanes, bbits = struct.unpack('<IiiHH', data[offset:offset + 16])
        self.assertEqual((hsize, bw, bh, bplanes, bbits), (40, 32, 64, 1, 8))
        # header + 256-entry palette + 32 x 32 indices + 32 rows of 4 mask bytes
        self.assertEqual(size, 40 + 1024 + 1024 + 128)
        mask = data[offset + 40 + 2048:]
        # Rounded corners are transparent, the middle is drawn.
        self.assertEqual(mask[31 * 4] & 0x80, 0x80, 'top-left corner transparent')
        self.assertEqual(mask[16 * 4 + 2], 0, 'middle opaque')

    def test_output_is_the_same_on_every_run(self):
        again = os.path.join(self.tmp.name, 'b')
        r = run(again)
        self.assertEqual(r.returncode, 0, r.stderr)
        for name in list(BITMAPS) + ['appico.ico']:
            with open(os.path.join(self.out, name), 'rb') as a, open(os.path.join(again, name), 'rb') as b:
                self.assertEqual(a.read(), b.read(), name)

    def test_contact_sheet_is_a_whole_png(self):
        path = os.path.join(self.tmp.name, 'sheet', 'contact-sheet.png')
        r = run('--contact-sheet', path)
        self.assertEqual(r.returncode, 0, r.stderr)
        w, h, raw = read_png(path)
        self.assertGreaterEqual(w, 7 * 192)
        self.assertGreaterEqual(h, 2 * 352)
        # The sheet shows the pictures, not only its grey ground.
        stride = 1 + 3 * w
        colours = set()
        for y in range(h):
            row = raw[y * stride + 1:(y + 1) * stride]
            colours.update(row[i:i + 3] for i in range(0, len(row), 3))
        self.assertGreater(len(colours), 5000)

    def test_wrong_arguments_are_refused(self):
        self.assertNotEqual(run().returncode, 0)
        self.assertNotEqual(run('--contact-sheet').returncode, 0)
        self.assertNotEqual(run('--frobnicate', 'x').returncode, 0)


if __name__ == '__main__':
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
