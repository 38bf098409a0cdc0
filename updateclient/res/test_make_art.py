#!/usr/bin/env python3
"""Checks the setup dialogs' pictures: the checked-in files are what make_art.py writes, each is
an uncompressed 24-bit BMP of the size the dialogs were laid out for, on a white rim, and their
200 % versions are valid BI_RLE8 streams in the program's palette of the same scenes at twice the
size."""
import contextlib
import io
import os
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_art  # noqa: E402

sys.path.append(os.path.join(HERE, "..", "..", "bootstrap", "res"))
import bmp_reader  # noqa: E402  (the program's art folder: its strict BMP reader)


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def bmp24_colours(data):
    """The rows, top to bottom, of (r, g, b) pixels of an uncompressed bottom-up 24-bit BMP."""
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    return [[tuple(reversed(data[offset + y * stride + 3 * x:offset + y * stride + 3 * x + 3])) for x in range(width)]
            for y in reversed(range(height))]


def mean_difference(a, b):
    """The mean over the pixels of two pictures of the largest difference of one colour channel."""
    differences = [max(abs(p[c] - q[c]) for c in range(3)) for row_a, row_b in zip(a, b) for p, q in zip(row_a, row_b)]
    return sum(differences) / len(differences)


class SetupArt(unittest.TestCase):
    def test_checked_in_files_are_the_generated_ones(self):
        self.assertEqual(make_art.main(["--check", HERE]), 0)

    def test_sizes_depth_and_white_rim(self):
        for name, width, height in (make_art.SETUP_LEFT, make_art.SETUP_RIGHT):
            with open(os.path.join(HERE, name), "rb") as f:
                data = f.read()
            magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
            _, w, h, planes, bits, compression, image = struct.unpack_from("<IiiHHII", data, 14)
            self.assertEqual((magic, size, w, h, planes, bits, compression), (b"BM", len(data), width, height, 1, 24, 0))
            stride = (w * 3 + 3) & ~3
            self.assertEqual(offset + image, len(data))
            self.assertEqual(image, stride * h)
            corners = [data[offset + y * stride + x * 3:offset + y * stride + x * 3 + 3] for y in (0, h - 1)
                       for x in (0, w - 1)]
            self.assertEqual(corners, [b"\xff\xff\xff"] * 4, name)


class HighDpiArt(unittest.TestCase):
    PICTURES = ((make_art.SETUP_LEFT_200, make_art.SETUP_LEFT, make_art.setup_left_scene),
                (make_art.SETUP_RIGHT_200, make_art.SETUP_RIGHT, make_art.setup_right_scene))

    def test_twice_the_size_rle8_in_the_programs_palette_cut_to_the_colours_used(self):
        full = make_art.art.build_palette()
        for (name, width, height), (_, small_width, small_height), _ in self.PICTURES:
            w, h, bits, compression, palette, rows = bmp_reader.parse_bmp(read(name))
            self.assertEqual((w, h, bits, compression), (width, height, 8, bmp_reader.BI_RLE8), name)
            self.assertEqual((w, h), (2 * small_width, 2 * small_height), name)
            self.assertTrue(set(palette) <= set(full), f"{name}: the program's inks")
            self.assertEqual(len(set(palette)), len(palette), f"{name}: no colour twice")
            self.assertEqual({i for row in rows for i in row}, set(range(len(palette))), f"{name}: every entry used")
            rim = rows[0] + rows[-1] + [row[0] for row in rows] + [row[-1] for row in rows]
            self.assertEqual({palette[i] for i in rim}, {(255, 255, 255)}, f"{name}: the rim is white")

    def test_decoded_pixels_are_the_uncompressed_render(self):
        full = make_art.art.build_palette()
        for (name, width, height), _, scene in self.PICTURES:
            _, _, _, _, palette, rows = bmp_reader.parse_bmp(read(name))
            render = make_art.art.quantise(make_art.art.render_200(scene(), width, height), full)
            _, _, _, compression, _, plain = bmp_reader.parse_bmp(make_art.art.bmp8(render, full))
            self.assertEqual(compression, bmp_reader.BI_RGB)
            self.assertEqual(bmp_reader.colours(palette, rows), bmp_reader.colours(full, plain), name)

    def test_is_the_100_percent_picture_at_twice_the_density(self):
        # The 100 % pictures are 24-bit, unrounded: 2 x 2 blocks of the 200 % one differ from them by
        # the palette's rounding only, which is small but for the few edges between two inks (the
        # amber lamps on the navy server), as the palette holds shades towards white alone. One
        # pixel off in either direction, the pictures differ by far more.
        for (name, _, _), (small, _, _), _ in self.PICTURES:
            expected = bmp24_colours(read(small))
            _, _, _, _, palette, rows = bmp_reader.parse_bmp(read(name))
            averaged = bmp_reader.averaged_2x2(bmp_reader.colours(palette, rows))
            self.assertLessEqual(bmp_reader.largest_difference(averaged, expected), 32, name)
            self.assertLessEqual(mean_difference(averaged, expected), 1, name)
            for moved, kept in (([row[1:] for row in averaged], [row[:-1] for row in expected]),
                                (averaged[1:], expected[:-1])):
                self.assertGreater(mean_difference(moved, kept), 5, name)

    def test_check_reports_a_changed_200_percent_file(self):
        with tempfile.TemporaryDirectory() as folder:
            self.assertEqual(make_art.main(["--out", folder]), 0)
            with open(os.path.join(folder, "setup_right_200.bmp"), "r+b") as f:
                f.seek(60)
                f.write(b"\x01")
            messages = io.StringIO()
            with contextlib.redirect_stderr(messages):
                self.assertEqual(make_art.main(["--check", folder]), 1)
            self.assertEqual(messages.getvalue().split()[-1:], ["setup_right_200.bmp"])


if __name__ == "__main__":
    unittest.main()
