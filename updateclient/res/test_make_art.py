#!/usr/bin/env python3
"""Checks the setup dialogs' pictures: the checked-in files are what make_art.py writes, each is
an uncompressed 24-bit BMP of the size the dialogs were laid out for, on a white rim, and their
200 % versions are valid BI_RLE8 streams in the program's palette of the same scenes at twice the
size (the check of the program's own 200 % pictures, in bootstrap/res/test_make_art.py)."""
import importlib.util
import os
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_art  # noqa: E402

# The program's art tests, by their path: they share this file's name.
_spec = importlib.util.spec_from_file_location(
    "program_art_tests", os.path.join(HERE, "..", "..", "bootstrap", "res", "test_make_art.py"))
program_tests = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(program_tests)


def bmp24(data):
    """(width, height, rows top to bottom of (r, g, b) pixels) of an uncompressed bottom-up 24-bit
    BMP, its headers checked."""
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    _, width, height, planes, bits, compression, image = struct.unpack_from("<IiiHHII", data, 14)
    stride = (width * 3 + 3) & ~3
    assert (magic, size, planes, bits, compression, offset + image, image) == (
        b"BM", len(data), 1, 24, 0, len(data), stride * height), "a bottom-up 24-bit BMP"
    return width, height, [[tuple(reversed(data[offset + y * stride + 3 * x:offset + y * stride + 3 * x + 3]))
                            for x in range(width)] for y in reversed(range(height))]


class SetupArt(unittest.TestCase):
    def test_the_checked_in_files_are_the_generated_24_bit_pictures_of_the_dialogs_sizes_on_a_white_rim(self):
        self.assertEqual(make_art.main(["--check", HERE]), 0)
        for name, width, height in (make_art.SETUP_LEFT, make_art.SETUP_RIGHT):
            with self.subTest(name):
                w, h, rows = bmp24(program_tests.read(name, HERE))
                self.assertEqual((w, h), (width, height))
                self.assertEqual(set(program_tests.rim(rows)), {(255, 255, 255)})

    def test_the_200_percent_pictures(self):
        # The 100 % pictures are 24-bit, unrounded: 2 x 2 blocks of the 200 % one differ from them by
        # the palette's rounding only, which is small but for the few edges between two inks (the
        # amber lamps on the navy server), as the palette holds shades towards white alone.
        program_tests.check_200_percent(
            self, HERE, ((make_art.SETUP_LEFT_200, make_art.SETUP_LEFT, make_art.setup_left_scene),
                         (make_art.SETUP_RIGHT_200, make_art.SETUP_RIGHT, make_art.setup_right_scene)),
            lambda data: bmp24(data)[2], 32)


if __name__ == "__main__":
    unittest.main()
