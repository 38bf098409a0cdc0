"""Tests of screen_check on synthetic window images: PNG decoding of every filter and colour kind
the screenshots come in, and each check finding the fault it names and nothing where there is none."""
import os
import random
import struct
import tempfile
import unittest
import zlib

import screen_check as sc

WHITE, BLACK, GREY, NAVY = (255, 255, 255), (0, 0, 0), (245, 245, 245), (18, 58, 94)


def encode_png(width, height, colour_type, lines, depth=8, palette=None, filter_kind=0, bpp=3):
    """A PNG file of the scanlines, each stored with filter ``filter_kind`` (the Paeth predictor
    written out here, apart from the decoder's)."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    stored, previous = b"", bytes(len(lines[0]))
    for line in lines:
        for i, value in enumerate(line):
            left, up, up_left = (line[i - bpp] if i >= bpp else 0), previous[i], (previous[i - bpp] if i >= bpp else 0)
            paeth = min((left, up, up_left), key=lambda v: abs(left + up - up_left - v))
            stored += bytes([filter_kind] if i == 0 else []) + bytes(
                [(value - [0, left, up, (left + up) >> 1, paeth][filter_kind]) & 0xFF])
        previous = line
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
            + (chunk(b"PLTE", b"".join(bytes(c) for c in palette)) if palette else b"")
            + chunk(b"IDAT", zlib.compress(stored)) + chunk(b"IEND", b""))


def noise(width, height):
    """Rows of random colours: every predictor of every filter meets ties and wrap-arounds."""
    rng = random.Random(width * height)
    return [[tuple(rng.randrange(256) for _ in range(3)) for _ in range(width)] for _ in range(height)]


def control(cid, left, top, right, bottom, kind="Static", style=0x50020000, text="Some text", showing=True):
    return {"id": cid, "class": kind, "style": style, "text": text, "visible": showing, "showing": showing,
            "screen": {"left": left, "top": top, "right": right, "bottom": bottom}}


def write_text(image, left, top, width, height, colour=BLACK):
    """Glyph-like strokes: vertical bars two pixels wide with gaps, from ``left`` for ``width``."""
    for x in range(left, left + width, 4):
        image.fill(x, top, min(x + 2, left + width), top + height, colour)


class PngDecoding(unittest.TestCase):
    def test_each_filter_and_colour_kind_decodes_to_its_pixels(self):
        rows, palette = noise(33, 12), [WHITE, NAVY, BLACK, GREY]
        indexes = [[(x + y) % 4 for x in range(33)] for y in range(12)]
        packed = [bytes((a << 4) | b for a, b in zip(row[::2], row[1::2] + [0])) for row in indexes]
        rgba = [bytes(v for pixel in row for v in pixel + (128,)) for row in rows]
        in_palette = [[palette[i] for i in row] for row in indexes]
        cases = [(f"RGB, filter {kind}", encode_png(33, 12, 2, [bytes(sum(row, ())) for row in rows], filter_kind=kind),
                  rows) for kind in range(5)]
        cases += [("RGBA: alpha dropped", encode_png(33, 12, 6, rgba, filter_kind=4, bpp=4), rows),
                  ("palette", encode_png(33, 12, 3, [bytes(r) for r in indexes], palette=palette, filter_kind=1, bpp=1),
                   in_palette),
                  ("palette of 4 bits: two pixels a byte", encode_png(33, 12, 3, packed, depth=4, palette=palette, bpp=1),
                   in_palette)]
        for name, data, expected in cases:
            with self.subTest(name):
                image = sc.parse_png(data)
                self.assertEqual((image.width, image.height, image.rows), (33, 12, expected))
        with self.assertRaises(ValueError):
            sc.parse_png(b"GIF89a not a png")

    @unittest.skipUnless(os.path.exists(sc.CONVERT), "ImageMagick's convert is not installed")
    def test_a_kind_not_decoded_here_is_read_through_imagemagick(self):
        rows = noise(4, 3)
        lines = [b"".join(struct.pack(">HHH", r * 257, g * 257, b * 257) for r, g, b in row) for row in rows]
        with tempfile.NamedTemporaryFile(suffix=".png") as f:
            f.write(encode_png(4, 3, 2, lines, depth=16, bpp=6))
            f.flush()
            self.assertEqual(sc.load(f.name).rows, rows)


class ClippedText(unittest.TestCase):
    def clipped(self, text_at, *controls, origin=(0, 0), faint=None):
        """The findings on a grey window with a band of the control's own background at 10..110 x
        10..30, text strokes at `text_at` (left, top, width, height) in it, and a `faint` rectangle."""
        image = sc.Image.filled(200, 100, GREY)
        image.fill(10, 10, 110, 30, WHITE)
        write_text(image, *text_at)
        if faint:
            image.fill(*faint, (225, 225, 225))
        return sc.clipped_texts(image, origin, list(controls) or [control(1, 10, 10, 110, 30)])

    def test_text_cut_at_the_right_bottom_or_top_edge_is_found_and_faint_smoothing_is_no_ink(self):
        # From the left edge is where left-aligned text starts.
        for text_at, faint, edge in (((10, 14, 80, 12), None, None), ((12, 14, 60, 12), (109, 12, 110, 28), None),
                                     ((20, 14, 90, 12), None, "right edge"), ((12, 20, 40, 10), None, "bottom edge"),
                                     ((12, 5, 40, 10), None, "top edge")):
            with self.subTest(edge, faint=faint):
                found = self.clipped(text_at, faint=faint)
                self.assertEqual(len(found), 0 if edge is None else 1, found)
                self.assertIn(edge or "", "".join(found))

    def test_the_window_origin_moves_the_screen_rectangles_into_the_image(self):
        # Strokes up to x 97; the control is 80 wide at screen x 510: in the image from x 20 (no
        # stroke at its right edge, x 99) with the window at x 490, from x 10 (a stroke at x 89) at 500.
        moved = control(1, 510, 310, 590, 330)
        self.assertEqual(self.clipped((20, 14, 80, 12), moved, origin={"left": 490, "top": 300}), [])
        self.assertIn("right edge at (89,", self.clipped((20, 14, 80, 12), moved, origin={"left": 500, "top": 300})[0])

    def test_only_showing_texts_radio_buttons_and_check_boxes_are_looked_at(self):
        rect, cut = (10, 10, 110, 30), (20, 14, 90, 12)
        self.assertEqual(self.clipped(cut, control(2, *rect, showing=False), control(3, *rect, text=""),
                                      control(4, *rect, kind="Button", style=0x50010000),  # a push button
                                      control(5, *rect, style=0x5000000E)), [])            # a bitmap static
        self.assertEqual(len(self.clipped(cut, control(6, *rect, kind="Button", style=0x50020009),  # radio button
                                          control(7, *rect, kind="Button", style=0x50010003))), 2)  # check box
        self.assertIn("outside", self.clipped(cut, control(8, 150, 80, 250, 120))[0])


class Colours(unittest.TestCase):
    def test_the_background_is_the_most_common_colour_inside_but_for_the_edge_and_excluded_rectangles(self):
        image = sc.Image.filled(100, 20, WHITE)
        write_text(image, 72, 2, 26, 14)
        image.fill(0, 0, 70, 20, NAVY)  # a picture over most of the band
        self.assertEqual(sc.background(image, (0, 0, 100, 20)), NAVY)
        self.assertEqual(sc.background(image, (0, 0, 100, 20), excluding=[(0, 0, 70, 20)]), WHITE)
        framed = sc.Image.filled(6, 4, NAVY)
        framed.fill(1, 1, 5, 3, WHITE)
        self.assertEqual(sc.background(framed, (0, 0, 6, 4)), WHITE)

    def test_text_in_its_backgrounds_colour_is_invisible(self):
        image, label = sc.Image.filled(60, 30, BLACK), control(1, 0, 0, 60, 30)
        write_text(image, 5, 5, 30, 12, colour=(10, 10, 10))
        self.assertEqual(len(sc.invisible_texts(image, (0, 0), [label])), 1)
        write_text(image, 5, 5, 30, 12, colour=WHITE)
        self.assertEqual(sc.invisible_texts(image, (0, 0), [label]), [])

    def test_lines_of_text_are_the_bands_of_rows_with_ink_and_its_height_spans_them(self):
        image = sc.Image.filled(80, 50, WHITE)
        for line, expected in ((None, (0, 0)), ((5, 10, 20, 8), (1, 8)), ((5, 22, 30, 11), (2, 23))):
            if line:
                write_text(image, *line)
            self.assertEqual((sc.ink_lines(image, (0, 0, 80, 50)), sc.ink_height(image, (0, 0, 80, 50))), expected)

    def test_a_colour_is_reached_only_within_the_tolerance(self):
        image = sc.Image.filled(10, 10, WHITE)
        image.fill(4, 4, 5, 5, (22, 62, 98))
        self.assertTrue(sc.reaches(image, (0, 0, 10, 10), NAVY))
        self.assertFalse(sc.reaches(image, (0, 0, 10, 10), NAVY, tolerance=3))
        self.assertFalse(sc.reaches(image, (5, 5, 10, 10), NAVY))


class Geometry(unittest.TestCase):
    def test_a_text_touching_a_picture_overlaps_it_and_one_beside_it_does_not(self):
        picture = control(1012, 20, 5, 120, 40, style=0x5000000E)
        beside, over = control(1, 120, 5, 300, 40), control(2, 119, 5, 300, 40)
        self.assertEqual(sc.texts_over_pictures([picture, beside]), [])
        self.assertEqual(len(sc.texts_over_pictures([picture, over])), 1)
        # A picture known by its id, whatever its style, and a hidden picture hides nothing.
        by_id = control(1013, 100, 5, 130, 40, text="")
        self.assertEqual(len(sc.texts_over_pictures([by_id, beside], picture_ids=(1013,))), 1)
        self.assertEqual(sc.texts_over_pictures([control(1012, 20, 5, 120, 40, style=0x4000000E, showing=False), over]), [])

    def test_a_window_must_lie_wholly_inside_its_work_area(self):
        work = {"left": 0, "top": 0, "right": 1920, "bottom": 1200}
        for bottom, findings in ((1200, 0), (1201, 1)):
            window = {"rect": {"left": 0, "top": 20, "right": 850, "bottom": bottom}, "monitor": {"work": work}}
            self.assertEqual(len(sc.outside_work_area(window)), findings)


if __name__ == "__main__":
    unittest.main()
