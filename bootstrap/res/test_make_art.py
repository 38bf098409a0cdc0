#!/usr/bin/env python3
"""Checks the program's artwork: the checked-in files are what make_art.py writes, the header
pictures are 8-bit palette BMPs of the sizes the dialog lays out, with a white rim so that they sit
on the white header band, and the icon holds 16 and 32 pixel images with transparency."""
import contextlib
import io
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_art  # noqa: E402


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def parse_bmp(data):
    """Returns (width, height, bits, palette, rows top to bottom as palette indices)."""
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    (header_size, width, height, planes, bits, compression, image_size, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, 14)
    assert magic == b"BM" and file_size == len(data) and header_size == 40 and planes == 1
    assert compression == 0, "uncompressed"
    colours = used or (1 << bits)
    palette = [tuple(reversed(data[54 + 4 * i:54 + 4 * i + 3])) for i in range(colours)]
    stride = (width * bits // 8 + 3) & ~3
    assert image_size == stride * abs(height) and offset + image_size == len(data)
    rows = [list(data[offset + y * stride:offset + y * stride + width]) for y in range(abs(height))]
    if height > 0:
        rows.reverse()  # stored bottom-up
    return width, height, bits, palette, rows


class HeaderPictures(unittest.TestCase):
    def check(self, name, width, height):
        w, h, bits, palette, rows = parse_bmp(read(name))
        self.assertEqual((w, h, bits), (width, height, 8))
        self.assertEqual(len(palette), 256)
        rim = rows[0] + rows[-1] + [row[0] for row in rows] + [row[-1] for row in rows]
        self.assertEqual({palette[i] for i in rim}, {(255, 255, 255)}, "the rim is white")
        inked = sum(1 for row in rows for i in row if palette[i] != (255, 255, 255))
        self.assertGreater(inked, w * h // 10, "the picture is not blank")
        self.assertGreater(len({palette[i] for row in rows for i in row}), 8, "edges are smoothed")

    def test_left_picture_is_100_by_35_at_8_bits_bottom_up(self):
        self.check("header_left.bmp", 100, 35)

    def test_right_picture_is_63_by_35_at_8_bits_with_padded_rows(self):
        self.check("header_right.bmp", 63, 35)


def png_rgba(data):
    """The rows of RGBA pixels of a PNG that make_art writes (8-bit RGBA, unfiltered rows)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "PNG signature"
    pos, header, compressed = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack_from(">I", data, pos + 8 + length)[0] == zlib.crc32(kind + body), kind
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert (depth, colour, interlace) == (8, 6, 0), header
    raw = zlib.decompress(compressed)
    stride = 1 + 4 * width
    assert len(raw) == stride * height and all(raw[y * stride] == 0 for y in range(height))
    return width, height, [[tuple(raw[y * stride + 1 + 4 * x:y * stride + 5 + 4 * x]) for x in range(width)]
                           for y in range(height)]


class Icon(unittest.TestCase):
    def test_holds_16_32_and_48_pixel_images_with_alpha_the_small_ones_with_matching_masks(self):
        data = read("PX_Bootstrap.ico")
        reserved, kind, count = struct.unpack_from("<HHH", data, 0)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for n in range(count):
            w, h, _, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * n)
            size = w or 256
            sizes.append(size)
            self.assertEqual((w, h, planes, bits), (size, size, 1, 32))
            self.assertLessEqual(offset + length, len(data))
            if size >= make_art.PNG_FROM:
                width, height, rows = png_rgba(data[offset:offset + length])
                self.assertEqual((width, height), (size, size))
                self.assertEqual(rows[0][0][3], 0, "corner transparent")
                self.assertEqual(rows[size // 2][size // 2][3], 255, "centre opaque")
                continue
            _, iw, ih, _, ibits, _, _, _, _, _, _ = struct.unpack_from("<IiiHHIIiiII", data, offset)
            self.assertEqual((iw, ih, ibits), (size, 2 * size, 32))
            mask_stride = ((size + 31) // 32) * 4
            self.assertEqual(length, 40 + size * size * 4 + mask_stride * size)
            pixels = data[offset + 40:offset + 40 + size * size * 4]
            mask = data[offset + 40 + size * size * 4:offset + length]
            alpha = [pixels[4 * i + 3] for i in range(size * size)]
            self.assertEqual(alpha[0], 0, "corner transparent")
            self.assertEqual(alpha[(size // 2) * size + size // 2], 255, "centre opaque")
            for i, a in enumerate(alpha):
                x, y = i % size, i // size
                masked = bool(mask[y * mask_stride + x // 8] & (0x80 >> (x % 8)))
                self.assertEqual(masked, a < 128, f"mask at {x},{y} of the {size} pixel image")
        self.assertEqual(sorted(sizes), [16, 32, 48])

    def test_large_image_is_the_same_picture_as_a_bitmap_would_hold(self):
        rows = make_art.render(make_art.icon_scene(48), 48, 48, None)
        self.assertEqual(png_rgba(make_art.png(rows))[2], [[tuple(p) for p in row] for row in rows])


class Reproducible(unittest.TestCase):
    def test_checked_in_files_are_what_the_script_writes(self):
        result = subprocess.run([sys.executable, os.path.join(HERE, "make_art.py"), "--check"],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_check_reports_a_changed_file(self):
        with tempfile.TemporaryDirectory() as folder:
            self.assertEqual(make_art.main(["--out", folder]), 0)
            with open(os.path.join(folder, "header_right.bmp"), "r+b") as f:
                f.seek(-1, os.SEEK_END)
                last = f.read(1)
                f.seek(-1, os.SEEK_END)
                f.write(bytes([last[0] ^ 1]))
            messages = io.StringIO()
            with contextlib.redirect_stderr(messages):
                self.assertEqual(make_art.main(["--check", folder]), 1)
            self.assertIn("header_right.bmp", messages.getvalue())
            self.assertNotIn("header_left.bmp", messages.getvalue())


if __name__ == "__main__":
    unittest.main()
