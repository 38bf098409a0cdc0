#!/usr/bin/env python3
"""Checks the setup dialogs' pictures: the checked-in files are what make_art.py writes, and each
is an uncompressed 24-bit BMP of the size the dialogs were laid out for, on a white rim."""
import os
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_art  # noqa: E402


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


if __name__ == "__main__":
    unittest.main()
