"""Tests of screen_check on synthetic window images: PNG decoding of every filter and colour kind
the screenshots come in, and each check finding the fault it names and nothing where there is none."""
import os
import shutil
import struct
import tempfile
import unittest
import zlib

import screen_check as sc

WHITE, BLACK, GREY, NAVY = (255, 255, 255), (0, 0, 0), (245, 245, 245), (18, 58, 94)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def filtered(lines, kind, bpp):
    """The scanlines with PNG filter ``kind`` applied (what a writer stores)."""
    out, previous = b"", bytes(len(lines[0]))
    for line in lines:
        stored = bytearray()
        for i, value in enumerate(line):
            left = line[i - bpp] if i >= bpp else 0
            up, up_left = previous[i], previous[i - bpp] if i >= bpp else 0
            predictor = [0, left, up, (left + up) >> 1, sc._paeth(left, up, up_left)][kind]
            stored.append((value - predictor) & 0xFF)
        out += bytes([kind]) + bytes(stored)
        previous = line
    return out


def encode_png(width, height, colour_type, lines, depth=8, palette=None, filter_kind=0, bpp=3):
    parts = [b"\x89PNG\r\n\x1a\n", png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))]
    if palette:
        parts.append(png_chunk(b"PLTE", b"".join(bytes(c) for c in palette)))
    parts.append(png_chunk(b"IDAT", zlib.compress(filtered(lines, filter_kind, bpp))))
    parts.append(png_chunk(b"IEND", b""))
    return b"".join(parts)


def gradient(width, height):
    return [[((x * 37 + y) % 256, (y * 53) % 256, (x * y) % 256) for x in range(width)] for y in range(height)]


def control(cid, left, top, right, bottom, kind="Static", style=0x50020000, text="Some text", showing=True):
    return {"id": cid, "class": kind, "style": style, "text": text, "visible": showing, "showing": showing,
            "screen": {"left": left, "top": top, "right": right, "bottom": bottom}}


def write_text(image, left, top, width, height, colour=BLACK):
    """Glyph-like strokes: vertical bars two pixels wide with gaps, from ``left`` for ``width``."""
    for x in range(left, left + width):
        if (x - left) % 4 < 2:
            image.fill(x, top, x + 1, top + height, colour)


class PngDecoding(unittest.TestCase):
    def test_rgb_images_decode_to_their_pixels_with_every_filter(self):
        rows = gradient(9, 7)
        lines = [bytes(v for pixel in row for v in pixel) for row in rows]
        for kind in range(5):
            with self.subTest(filter=kind):
                image = sc.parse_png(encode_png(9, 7, 2, lines, filter_kind=kind))
                self.assertEqual((image.width, image.height), (9, 7))
                self.assertEqual(image.rows, rows)

    def test_rgba_drops_alpha_and_palette_images_map_their_indexes(self):
        rows = gradient(5, 4)
        lines = [bytes(v for pixel in row for v in pixel + (128,)) for row in rows]
        self.assertEqual(sc.parse_png(encode_png(5, 4, 6, lines, filter_kind=4, bpp=4)).rows, rows)
        palette = [WHITE, NAVY, BLACK]
        indexes = [[(x + y) % 3 for x in range(6)] for y in range(3)]
        image = sc.parse_png(encode_png(6, 3, 3, [bytes(r) for r in indexes], palette=palette, filter_kind=1, bpp=1))
        self.assertEqual(image.rows, [[palette[i] for i in row] for row in indexes])

    def test_palette_images_of_four_bits_unpack_two_pixels_a_byte(self):
        palette = [WHITE, NAVY, BLACK, GREY]
        indexes = [[0, 1, 2, 3, 1], [3, 2, 1, 0, 2]]
        packed = [bytes([(row[0] << 4) | row[1], (row[2] << 4) | row[3], row[4] << 4]) for row in indexes]
        image = sc.parse_png(encode_png(5, 2, 3, packed, depth=4, palette=palette, bpp=1))
        self.assertEqual(image.rows, [[palette[i] for i in row] for row in indexes])

    def test_what_is_no_png_is_refused(self):
        with self.assertRaises(ValueError):
            sc.parse_png(b"GIF89a not a png")

    @unittest.skipUnless(os.path.exists(sc.CONVERT), "ImageMagick's convert is not installed")
    def test_a_kind_not_decoded_here_is_read_through_imagemagick(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        path = os.path.join(folder, "deep.png")
        rows = gradient(4, 3)
        lines = [b"".join(struct.pack(">HHH", r * 257, g * 257, b * 257) for r, g, b in row) for row in rows]
        with open(path, "wb") as f:
            f.write(encode_png(4, 3, 2, lines, depth=16, bpp=6))
        self.assertEqual(sc.load(path).rows, rows)


class ClippedText(unittest.TestCase):
    def setUp(self):
        self.image = sc.Image.filled(200, 100, GREY)
        self.image.fill(10, 10, 110, 30, WHITE)  # the control's own background
        self.label = control(1, 10, 10, 110, 30)

    def test_text_inside_its_rectangle_is_not_cut(self):
        write_text(self.image, 10, 14, 80, 12)  # from the left edge, as left-aligned text starts
        self.assertEqual(sc.clipped_texts(self.image, (0, 0), [self.label]), [])

    def test_text_running_past_the_right_edge_is_found(self):
        write_text(self.image, 20, 14, 90, 12)
        found = sc.clipped_texts(self.image, (0, 0), [self.label])
        self.assertEqual(len(found), 1)
        self.assertIn("right edge", found[0])

    def test_a_line_cut_at_the_bottom_or_top_is_found(self):
        write_text(self.image, 12, 20, 40, 10)
        self.assertIn("bottom edge", sc.clipped_texts(self.image, (0, 0), [self.label])[0])
        image = sc.Image.filled(200, 100, WHITE)
        write_text(image, 12, 5, 40, 10)
        self.assertIn("top edge", sc.clipped_texts(image, (0, 0), [self.label])[0])

    def test_the_window_origin_moves_the_screen_rectangles_into_the_image(self):
        # Strokes up to x 97; the control is 80 wide at screen x 510: in the image from x 20 (no
        # stroke at its right edge, x 99) with the window at x 490, from x 10 (a stroke at x 89) at 500.
        write_text(self.image, 20, 14, 80, 12)
        moved = control(1, 510, 310, 590, 330)
        self.assertEqual(sc.clipped_texts(self.image, {"left": 490, "top": 300}, [moved]), [])
        self.assertIn("right edge at (89,", sc.clipped_texts(self.image, {"left": 500, "top": 300}, [moved])[0])

    def test_faint_smoothing_at_an_edge_is_no_ink(self):
        write_text(self.image, 12, 14, 60, 12)
        self.image.fill(109, 12, 110, 28, (225, 225, 225))
        self.assertEqual(sc.clipped_texts(self.image, (0, 0), [self.label]), [])

    def test_only_showing_texts_radio_buttons_and_check_boxes_are_looked_at(self):
        write_text(self.image, 20, 14, 90, 12)
        rect = (10, 10, 110, 30)
        ignored = [control(2, *rect, showing=False), control(3, *rect, text=""),
                   control(4, *rect, kind="Button", style=0x50010000),  # a push button
                   control(5, *rect, style=0x5000000E)]                # a bitmap static
        self.assertEqual(sc.clipped_texts(self.image, (0, 0), ignored), [])
        radio = control(6, *rect, kind="Button", style=0x50020009)
        check = control(7, *rect, kind="Button", style=0x50010003)
        self.assertEqual(len(sc.clipped_texts(self.image, (0, 0), [radio, check])), 2)

    def test_a_text_partly_outside_the_image_is_reported(self):
        outside = control(8, 150, 80, 250, 120)
        self.assertIn("outside", sc.clipped_texts(self.image, (0, 0), [outside])[0])


class Colours(unittest.TestCase):
    def test_the_background_is_the_most_common_colour_inside(self):
        image = sc.Image.filled(40, 20, WHITE)
        write_text(image, 2, 2, 30, 14)
        image.fill(0, 0, 40, 1, NAVY)  # a frame line at the edge does not count
        self.assertEqual(sc.background(image, (0, 0, 40, 20)), WHITE)

    def test_text_in_its_backgrounds_colour_is_invisible(self):
        image = sc.Image.filled(60, 30, BLACK)
        write_text(image, 5, 5, 30, 12, colour=(10, 10, 10))
        label = control(1, 0, 0, 60, 30)
        self.assertEqual(len(sc.invisible_texts(image, (0, 0), [label])), 1)
        write_text(image, 5, 5, 30, 12, colour=WHITE)
        self.assertEqual(sc.invisible_texts(image, (0, 0), [label]), [])

    def test_ink_height_spans_the_topmost_to_the_bottommost_ink(self):
        image = sc.Image.filled(80, 50, WHITE)
        write_text(image, 5, 10, 20, 8)
        write_text(image, 5, 22, 30, 11)
        self.assertEqual(sc.ink_height(image, (0, 0, 80, 50)), 23)
        self.assertEqual(sc.ink_height(sc.Image.filled(8, 8, WHITE), (0, 0, 8, 8)), 0)

    def test_pixels_of_the_excluded_rectangles_do_not_count_for_the_background(self):
        image = sc.Image.filled(100, 20, WHITE)
        image.fill(0, 0, 70, 20, NAVY)  # a picture over most of the band
        self.assertEqual(sc.background(image, (0, 0, 100, 20)), NAVY)
        self.assertEqual(sc.background(image, (0, 0, 100, 20), excluding=[(0, 0, 70, 20)]), WHITE)

    def test_lines_of_text_are_the_bands_of_rows_with_ink(self):
        image = sc.Image.filled(80, 50, WHITE)
        write_text(image, 5, 4, 40, 10)
        self.assertEqual(sc.ink_lines(image, (0, 0, 80, 50)), 1)
        write_text(image, 5, 16, 40, 10)
        self.assertEqual(sc.ink_lines(image, (0, 0, 80, 50)), 2)
        self.assertEqual(sc.ink_lines(sc.Image.filled(8, 8, WHITE), (0, 0, 8, 8)), 0)

    def test_a_colour_is_reached_only_within_the_tolerance(self):
        image = sc.Image.filled(10, 10, WHITE)
        image.fill(4, 4, 5, 5, (22, 62, 98))
        self.assertTrue(sc.reaches(image, (0, 0, 10, 10), NAVY))
        self.assertFalse(sc.reaches(image, (0, 0, 10, 10), NAVY, tolerance=3))
        self.assertFalse(sc.reaches(image, (5, 5, 10, 10), NAVY))


class Geometry(unittest.TestCase):
    def test_a_text_touching_a_picture_overlaps_it_and_one_beside_it_does_not(self):
        picture = control(1012, 20, 5, 120, 40, style=0x5000000E)
        beside = control(1, 120, 5, 300, 40)
        over = control(2, 119, 5, 300, 40)
        self.assertEqual(sc.texts_over_pictures([picture, beside]), [])
        self.assertEqual(len(sc.texts_over_pictures([picture, over])), 1)
        # A picture known by its id, whatever its style, and a hidden picture hides nothing.
        by_id = control(1013, 100, 5, 130, 40, text="")
        self.assertEqual(len(sc.texts_over_pictures([by_id, beside], picture_ids=(1013,))), 1)
        self.assertEqual(sc.texts_over_pictures([control(1012, 20, 5, 120, 40, style=0x4000000E, showing=False), over]), [])

    def test_a_window_must_lie_wholly_inside_its_work_area(self):
        work = {"left": 0, "top": 0, "right": 1920, "bottom": 1200}
        window = {"rect": {"left": 10, "top": 20, "right": 850, "bottom": 840}, "monitor": {"work": work}}
        self.assertEqual(sc.outside_work_area(window), [])
        window["rect"]["bottom"] = 1201
        self.assertEqual(len(sc.outside_work_area(window)), 1)


if __name__ == "__main__":
    unittest.main()
