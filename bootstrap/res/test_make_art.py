#!/usr/bin/env python3
"""Checks the program's artwork: the checked-in files are what make_art.py writes, the header
pictures are 8-bit palette BMPs of the sizes the dialog lays out, with a white rim so that they sit
on the white header band, their 200 % versions are valid BI_RLE8 streams of the same scenes (a check
the setup pictures of updateclient/res share), and the icon holds 16, 32 and 48 pixel images with
transparency."""
import contextlib
import importlib.util
import io
import os
import random
import struct
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bmp_reader import BI_RGB, BI_RLE8, averaged_2x2, colours, decode_rle8, largest_difference, parse_bmp  # noqa: E402


def load(name, path):
    """The module of the file at `path`, by its path: both binaries' art scripts are make_art.py."""
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


make_art = load("program_make_art", os.path.join(HERE, "make_art.py"))


def read(name, folder=HERE):
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()


def rim(rows):
    return rows[0] + rows[-1] + [row[0] for row in rows] + [row[-1] for row in rows]


def mean_difference(a, b):
    """The mean over the pixels of two pictures of the largest difference of one colour channel."""
    differences = [max(abs(p[c] - q[c]) for c in range(3)) for row_a, row_b in zip(a, b) for p, q in zip(row_a, row_b)]
    return sum(differences) / len(differences)


def check_200_percent(test, folder, pictures, small_colours, largest):
    """The 200 % pictures in `folder`, ((name, width, height), (100 % name, width, height), scene):
    BI_RLE8 files twice the size of the 100 % ones, in the program's palette cut to the colours they
    use, on a white rim, and compressed to less than a third; decoded, exactly the uncompressed render
    of the scene at twice the size. Each 2 x 2 block averages to the 100 % pixel (the colours
    `small_colours` reads from its file) but for rounding to the palette, within `largest` per
    channel; one pixel off in either direction, the pictures differ by far more."""
    full = make_art.build_palette()
    for (name, width, height), (small, small_width, small_height), scene in pictures:
        with test.subTest(name):
            data = read(name, folder)
            w, h, bits, compression, palette, rows = parse_bmp(data)
            test.assertEqual((w, h, bits, compression), (2 * small_width, 2 * small_height, 8, BI_RLE8))
            test.assertEqual((w, h), (width, height))
            test.assertTrue(set(palette) <= set(full), "the program's inks")
            test.assertEqual(len(set(palette)), len(palette), "no colour twice")
            test.assertEqual({i for row in rows for i in row}, set(range(len(palette))), "every entry used")
            test.assertEqual({palette[i] for i in rim(rows)}, {(255, 255, 255)}, "the rim is white")
            test.assertLess(len(data), (54 + 4 * len(palette) + ((w + 3) & ~3) * h) // 3, "compressed")
            render = make_art.quantise(make_art.render_200(scene(), width, height), full)
            test.assertEqual(colours(palette, rows), colours(full, render))
            averaged, expected = averaged_2x2(colours(palette, rows)), small_colours(read(small, folder))
            test.assertLessEqual(largest_difference(averaged, expected), largest)
            test.assertLessEqual(mean_difference(averaged, expected), 1)
            for moved, kept in (([row[1:] for row in averaged], [row[:-1] for row in expected]),
                                (averaged[1:], expected[:-1])):
                test.assertGreater(mean_difference(moved, kept), 5)


class HeaderPictures(unittest.TestCase):
    def test_8_bit_pictures_of_the_dialogs_sizes_smoothed_on_a_white_rim(self):
        for name, width, height in (make_art.HEADER_LEFT, make_art.HEADER_RIGHT):
            with self.subTest(name):
                w, h, bits, compression, palette, rows = parse_bmp(read(name))
                self.assertEqual((w, h, bits, compression, len(palette)), (width, height, 8, BI_RGB, 256))
                self.assertEqual({palette[i] for i in rim(rows)}, {(255, 255, 255)}, "the rim is white")
                inked = sum(1 for row in rows for i in row if palette[i] != (255, 255, 255))
                self.assertGreater(inked, w * h // 10, "the picture is not blank")
                self.assertGreater(len({palette[i] for row in rows for i in row}), 8, "edges are smoothed")

    def test_the_200_percent_pictures(self):
        def small_colours(data):
            _, _, _, _, palette, rows = parse_bmp(data)
            return colours(palette, rows)

        check_200_percent(self, HERE, ((make_art.HEADER_LEFT_200, make_art.HEADER_LEFT, make_art.header_left_scene),
                                       (make_art.HEADER_RIGHT_200, make_art.HEADER_RIGHT, make_art.header_right_scene)),
                          small_colours, 8)


class Rle8(unittest.TestCase):
    """make_art's BI_RLE8 writer, read back by bmp_reader's strict decoder."""

    def test_the_shortest_encoding_of_a_row(self):
        cases = [
            ("runs over 255 pixels split", [5] * 300, [255, 5, 45, 5]),
            ("a run of 255 and one", [0] * 255 + [1], [255, 0, 1, 1]),
            ("no absolute block under 3 pixels", [1, 2], [1, 1, 1, 2]),
            ("an absolute block: 6 bytes, not 8 of runs", [1, 2, 3, 4], [0, 4, 1, 2, 3, 4]),
            ("runs around a block", [7] * 9 + [1, 2, 3, 4] + [7] * 9, [9, 7, 0, 4, 1, 2, 3, 4, 9, 7]),
            ("runs only", [7, 7, 7, 1, 1, 1, 1, 2, 2, 2], [3, 7, 4, 1, 3, 2]),
            ("a tie goes to the fewer blocks, odd ones padded: not three runs", [1, 2, 3], [0, 3, 1, 2, 3, 0]),
            ("not 4 and a run", [1, 2, 3, 4, 5], [0, 5, 1, 2, 3, 4, 5, 0]),
        ]
        for name, row, expected in cases:
            with self.subTest(name):
                self.assertEqual(make_art.rle8_row(row), bytes(expected))
                self.assertEqual(decode_rle8(make_art.rle8([row]), len(row), 1), [row])
        # Absolute blocks over 255 pixels are split into even ones: 254, 254 and 92 pixels, no padding.
        encoded = make_art.rle8_row([i % 2 for i in range(600)])
        self.assertEqual(len(encoded), 2 + 254 + 2 + 254 + 2 + 92)
        self.assertEqual((encoded[:2], encoded[256:258], encoded[512:514]), (b"\0\xfe", b"\0\xfe", b"\0\x5c"))

    def test_rows_are_stored_bottom_up_each_ended_then_the_bitmap_and_random_rows_read_back(self):
        self.assertEqual(make_art.rle8([[1, 1], [2, 2]]), bytes([2, 2, 0, 0, 2, 1, 0, 0, 0, 1]))
        generator = random.Random(7)
        for _ in range(200):
            width, shades = generator.randint(1, 300), generator.randint(1, 6)
            rows = [[generator.randrange(shades) for _ in range(width)] for _ in range(generator.randint(1, 4))]
            self.assertEqual(decode_rle8(make_art.rle8(rows), width, len(rows)), rows)


def png_rgba(data):
    """The size and rows of RGBA pixels of a PNG that make_art writes (8-bit RGBA, unfiltered rows)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "PNG signature"
    pos, header, compressed = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack_from(">I", data, pos + 8 + length)[0] == zlib.crc32(kind + body), kind
        header = struct.unpack(">IIBBBBB", body) if kind == b"IHDR" else header
        compressed += body if kind == b"IDAT" else b""
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert (depth, colour, interlace) == (8, 6, 0), header
    raw, stride = zlib.decompress(compressed), 1 + 4 * width
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
                alpha = [pixel[3] for row in rows for pixel in row]
            else:
                _, iw, ih, _, ibits, _, _, _, _, _, _ = struct.unpack_from("<IiiHHIIiiII", data, offset)
                self.assertEqual((iw, ih, ibits), (size, 2 * size, 32))
                mask_stride = ((size + 31) // 32) * 4
                self.assertEqual(length, 40 + size * size * 4 + mask_stride * size)
                alpha = list(data[offset + 40 + 3:offset + 40 + size * size * 4:4])
                mask = data[offset + 40 + size * size * 4:offset + length]
                for i, a in enumerate(alpha):
                    x, y = i % size, i // size
                    masked = bool(mask[y * mask_stride + x // 8] & (0x80 >> (x % 8)))
                    self.assertEqual(masked, a < 128, f"mask at {x},{y} of the {size} pixel image")
            self.assertEqual((alpha[0], alpha[(size // 2) * size + size // 2]), (0, 255), "corner clear, centre opaque")
        self.assertEqual(sorted(sizes), [16, 32, 48])
        # The large image is the same picture as a bitmap would hold.
        rows = make_art.render(make_art.icon_scene(48), 48, 48, None)
        self.assertEqual(png_rgba(make_art.png(rows))[2], [[tuple(p) for p in row] for row in rows])


class Reproducible(unittest.TestCase):
    def test_the_checked_in_files_are_what_the_script_writes_and_check_names_each_changed_or_missing_file(self):
        self.assertEqual(make_art.main(["--check"]), 0)
        with tempfile.TemporaryDirectory() as folder:
            self.assertEqual(make_art.main(["--out", folder]), 0)
            for name in ("header_right.bmp", "header_left_200.bmp"):
                with open(os.path.join(folder, name), "r+b") as f:
                    f.seek(-3, os.SEEK_END)
                    last = f.read(1)
                    f.seek(-3, os.SEEK_END)
                    f.write(bytes([last[0] ^ 1]))
            os.remove(os.path.join(folder, "header_right_200.bmp"))
            messages = io.StringIO()
            with contextlib.redirect_stderr(messages):
                self.assertEqual(make_art.main(["--check", folder]), 1)
            self.assertEqual(sorted(word for word in messages.getvalue().split() if word.endswith((".bmp", ".ico"))),
                             ["header_left_200.bmp", "header_right.bmp", "header_right_200.bmp"])


if __name__ == "__main__":
    unittest.main()
