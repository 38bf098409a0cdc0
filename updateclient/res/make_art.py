#!/usr/bin/env python3
"""Draws the two pictures of the library's setup dialogs and writes them as 24-bit BMP resources:
setup_left.bmp (bitmap 1002, 111 x 37: a phone receiving an upgrade) and setup_right.bmp (bitmap
1001, 87 x 39: the maker's letters); and each at 200 % for screens of twice the pixel density,
setup_left_200.bmp (bitmap 1003, 222 x 74) and setup_right_200.bmp (bitmap 1004, 174 x 78), as
8-bit BI_RLE8 BMPs in the program's palette cut to the colours they use. The shapes, colours,
palette and rasteriser are the program's own (bootstrap/res/make_art.py), so both binaries share
one look.

Standard library only and deterministic:
    make_art.py [--out DIR]     write the four files
    make_art.py --check [DIR]   exit 1 when a file in DIR differs from what would be written
"""
import functools
import importlib.util
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def _program_art():
    """The program's art module (the same file name as this one, so loaded by its path)."""
    path = os.path.join(HERE, "..", "..", "bootstrap", "res", "make_art.py")
    spec = importlib.util.spec_from_file_location("program_art", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


art = _program_art()

SETUP_LEFT = ("setup_left.bmp", 111, 37)
SETUP_RIGHT = ("setup_right.bmp", 87, 39)
SETUP_LEFT_200 = ("setup_left_200.bmp", 222, 74)
SETUP_RIGHT_200 = ("setup_right_200.bmp", 174, 78)


def upgrade_arrow(left, right, cy, width):
    """An arrow towards the phone: the software on its way."""
    head = width * 1.6
    return [
        (art.capsule(left, cy, right - head * 0.8, cy, width / 2), art.AMBER),
        (art.polygon([(right - head, cy - head), (right - head, cy + head), (right, cy)]), art.AMBER),
    ]


def setup_left_scene():
    """A server, an arrow down into a phone, and progress dots: software coming to the phone."""
    server = [
        (art.rrect(6.0, 5.0, 30.0, 14.0, 1.5), art.NAVY),
        (art.rrect(6.0, 16.0, 30.0, 25.0, 1.5), art.NAVY),
        (art.circle(11.0, 9.5, 1.4), art.AMBER),
        (art.circle(11.0, 20.5, 1.4), art.AMBER),
        (art.capsule(16.0, 9.5, 26.0, 9.5, 0.8), art.MIST),
        (art.capsule(16.0, 20.5, 26.0, 20.5, 0.8), art.MIST),
        (art.capsule(18.0, 25.0, 18.0, 30.0, 1.0), art.NAVY),
        (art.capsule(10.0, 31.0, 26.0, 31.0, 1.0), art.NAVY),
    ]
    return (server
            + art.dots(36.0, 44.0, 18.0, 3, 1.1, art.TEAL)
            + upgrade_arrow(49.0, 70.0, 18.0, 3.2)
            + art.dots(74.0, 82.0, 18.0, 3, 1.1, art.TEAL)
            + art.phone(88.0, 3.0, 104.0, 33.0))


def setup_right_scene():
    """The program's letter pair, moved to the middle of the wider picture."""
    dx, dy = 12.0, 2.0
    shifted = []
    for inside, ink in art.header_right_scene():
        shifted.append(((lambda f: lambda x, y: f(x - dx, y - dy))(inside), ink))
    return shifted


def bmp24(rows):
    """A BITMAPFILEHEADER + BITMAPINFOHEADER file, 24 bits per pixel, rows stored bottom-up."""
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(b"".join(struct.pack("<BBB", b, g, r) for r, g, b, _ in row) + b"\0" * (stride - width * 3)
                      for row in reversed(rows))
    offset = 14 + 40
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pixels


def generate():
    """Returns {file name: bytes}."""
    return dict(_generated())


@functools.lru_cache(maxsize=None)
def _generated():
    """The files as (name, bytes) pairs, drawn once per process (deterministic, and seconds long)."""
    files = {}
    for (name, width, height), scene in ((SETUP_LEFT, setup_left_scene()), (SETUP_RIGHT, setup_right_scene())):
        files[name] = bmp24(art.render(scene, width, height, art.WHITE))
    palette = art.build_palette()
    for (name, width, height), scene in ((SETUP_LEFT_200, setup_left_scene()), (SETUP_RIGHT_200, setup_right_scene())):
        files[name] = art.bmp8_rle(art.quantise(art.render_200(scene, width, height), palette), palette)
    return tuple(sorted(files.items()))


def main(argv):
    return art.art_main(argv, generate, HERE, __doc__.splitlines()[0])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
