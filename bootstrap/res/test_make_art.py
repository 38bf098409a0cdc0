#!/usr/bin/env python3
"""Checks the program's artwork: the checked-in files are what make_art.py writes, the header
pictures are 8-bit palette BMPs of the sizes the dialog lays out, with a white rim so that they sit
on the white header band, their 200 % versions are valid BI_RLE8 streams of the same scenes, and the
icon holds 16 and 32 pixel images with transparency."""
import contextlib
import io
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_art  # noqa: E402
from bmp_reader import BI_RGB, BI_RLE8, averaged_2x2, colours, decode_rle8, largest_difference, parse_bmp  # noqa: E402


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


class HeaderPictures(unittest.TestCase):
    def check(self, name, width, height):
        w, h, bits, compression, palette, rows = parse_bmp(read(name))
        self.assertEqual((w, h, bits, compression), (width, height, 8, BI_RGB))
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


class HighDpiPictures(unittest.TestCase):
    """The header pictures at 200 %: BI_RLE8 files of the colours they use, holding exactly the
    render of the same scene at twice the size."""

    PICTURES = ((make_art.HEADER_LEFT_200, make_art.HEADER_LEFT, make_art.header_left_scene),
                (make_art.HEADER_RIGHT_200, make_art.HEADER_RIGHT, make_art.header_right_scene))

    def test_twice_the_size_rle8_compressed_with_the_palette_cut_to_the_colours_used(self):
        for (name, width, height), (small, small_width, small_height), _ in self.PICTURES:
            data = read(name)
            w, h, bits, compression, palette, rows = parse_bmp(data)
            self.assertEqual((w, h, bits, compression), (2 * small_width, 2 * small_height, 8, BI_RLE8), name)
            self.assertEqual((w, h), (width, height), name)
            self.assertEqual(len(set(palette)), len(palette), f"{name}: no colour twice")
            self.assertEqual({i for row in rows for i in row}, set(range(len(palette))), f"{name}: every entry used")
            rim = rows[0] + rows[-1] + [row[0] for row in rows] + [row[-1] for row in rows]
            self.assertEqual({palette[i] for i in rim}, {(255, 255, 255)}, f"{name}: the rim is white")
            uncompressed = 54 + 4 * len(palette) + ((w + 3) & ~3) * h
            self.assertLess(len(data), uncompressed // 3, f"{name}: compressed to less than a third")

    def test_decoded_pixels_are_the_uncompressed_render(self):
        palette = make_art.build_palette()
        for (name, width, height), _, scene in self.PICTURES:
            _, _, _, _, file_palette, rows = parse_bmp(read(name))
            render = make_art.quantise(make_art.render_200(scene(), width, height), palette)
            _, _, _, compression, _, plain = parse_bmp(make_art.bmp8(render, palette))
            self.assertEqual(compression, BI_RGB)
            self.assertEqual(colours(file_palette, rows), colours(palette, plain), name)

    def test_is_the_100_percent_picture_at_twice_the_density(self):
        # Each 2 x 2 block averages to the 100 % pixel but for rounding to the palette; one pixel
        # off in either direction, the pictures differ by far more.
        for (name, _, _), (small, _, _), _ in self.PICTURES:
            _, _, _, _, palette, rows = parse_bmp(read(small))
            expected = colours(palette, rows)
            _, _, _, _, palette, rows = parse_bmp(read(name))
            averaged = averaged_2x2(colours(palette, rows))
            self.assertLessEqual(largest_difference(averaged, expected), 8, name)
            for moved, kept in (([row[1:] for row in averaged], [row[:-1] for row in expected]),
                                (averaged[1:], expected[:-1])):
                self.assertGreater(largest_difference(moved, kept), 100, name)


class Rle8(unittest.TestCase):
    """make_art's BI_RLE8 writer, read back by bmp_reader's strict decoder."""

    def encode_row(self, row):
        stream = make_art.rle8([row])
        self.assertEqual(decode_rle8(stream, len(row), 1), [row])
        return make_art.rle8_row(row)

    def test_runs_longer_than_255_pixels_are_split(self):
        self.assertEqual(self.encode_row([5] * 300), bytes([255, 5, 45, 5]))
        self.assertEqual(self.encode_row([0] * 255 + [1]), bytes([255, 0, 1, 1]))

    def test_absolute_blocks_only_where_they_save_bytes(self):
        self.assertEqual(self.encode_row([1, 2]), bytes([1, 1, 1, 2]), "no absolute block under 3 pixels")
        self.assertEqual(self.encode_row([1, 2, 3, 4]), bytes([0, 4, 1, 2, 3, 4]), "6 bytes, not 8 of runs")
        self.assertEqual(self.encode_row([7] * 9 + [1, 2, 3, 4] + [7] * 9),
                         bytes([9, 7, 0, 4, 1, 2, 3, 4, 9, 7]))
        self.assertEqual(self.encode_row([7, 7, 7, 1, 1, 1, 1, 2, 2, 2]), bytes([3, 7, 4, 1, 3, 2]))

    def test_a_tie_goes_to_the_fewer_blocks_odd_ones_padded(self):
        self.assertEqual(self.encode_row([1, 2, 3]), bytes([0, 3, 1, 2, 3, 0]), "not three runs")
        self.assertEqual(self.encode_row([1, 2, 3, 4, 5]), bytes([0, 5, 1, 2, 3, 4, 5, 0]), "not 4 and a run")

    def test_absolute_blocks_longer_than_255_pixels_are_split_into_even_ones(self):
        encoded = self.encode_row([i % 2 for i in range(600)])
        self.assertEqual(len(encoded), 2 + 254 + 2 + 254 + 2 + 92, "254, 254 and 92 pixels: no padding")
        self.assertEqual((encoded[:2], encoded[256:258], encoded[512:514]), (b"\0\xfe", b"\0\xfe", b"\0\x5c"))

    def test_rows_are_stored_bottom_up_each_ended_then_the_bitmap(self):
        stream = make_art.rle8([[1, 1], [2, 2]])
        self.assertEqual(stream, bytes([2, 2, 0, 0, 2, 1, 0, 0, 0, 1]))
        self.assertEqual(decode_rle8(stream, 2, 2), [[1, 1], [2, 2]])

    def test_random_rows_read_back(self):
        generator = random.Random(7)
        for _ in range(200):
            width = generator.randint(1, 300)
            shades = generator.randint(1, 6)
            rows = [[generator.randrange(shades) for _ in range(width)] for _ in range(generator.randint(1, 4))]
            self.assertEqual(decode_rle8(make_art.rle8(rows), width, len(rows)), rows)

    def test_bmp_header_counts_the_colours_used_in_the_full_palettes_order(self):
        palette = make_art.build_palette()
        data = make_art.bmp8_rle([[200, 0, 0, 0], [0, 0, 57, 200]], palette)
        w, h, bits, compression, file_palette, rows = parse_bmp(data)
        self.assertEqual((w, h, bits, compression), (4, 2, 8, BI_RLE8))
        self.assertEqual(file_palette, [palette[0], palette[57], palette[200]])
        self.assertEqual(rows, [[2, 0, 0, 0], [0, 0, 1, 2]])
        self.assertEqual(struct.unpack_from("<I", data, 34)[0], len(data) - 54 - 12, "biSizeImage")


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
            reported = messages.getvalue().split()
            for name in ("header_right.bmp", "header_left_200.bmp", "header_right_200.bmp"):
                self.assertIn(name, reported)
            self.assertNotIn("header_left.bmp", reported)
            self.assertNotIn("PX_Bootstrap.ico", reported)


if __name__ == "__main__":
    unittest.main()
