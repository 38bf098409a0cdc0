#!/usr/bin/env python3
"""Draws PX_Bootstrap's artwork and writes it as resource files: the two header pictures of the
main dialog (8-bit palette BMPs, shown on the white header band), each also drawn at 200 % for
screens of twice the pixel density (8-bit BMPs compressed with BI_RLE8, their palettes cut to the
colours they use), and the program icon.

Standard library only and fully deterministic, so the checked-in files can be regenerated and
compared byte for byte:
    make_art.py [--out DIR]     write header_left.bmp, header_right.bmp, header_left_200.bmp,
                                header_right_200.bmp, PX_Bootstrap.ico
    make_art.py --check [DIR]   exit 1 when a file in DIR differs from what would be written
"""
import argparse
import functools
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

WHITE = (255, 255, 255)
NAVY = (18, 58, 94)
TEAL = (32, 150, 150)
AMBER = (232, 160, 48)
MIST = (214, 236, 236)
INKS = (NAVY, TEAL, AMBER, MIST)

SUPERSAMPLE = 4  # per axis: 16 samples per pixel give smooth edges

HEADER_LEFT = ("header_left.bmp", 100, 35)
HEADER_RIGHT = ("header_right.bmp", 63, 35)
HIGH_DPI = 2  # the 200 % pictures: each scene drawn with its coordinates doubled
# Per axis at 200 %: 2 x 2 samples per pixel are the 100 % picture's own sample points, so each 2 x 2
# block of the larger picture averages (before rounding) to the smaller one's pixel. Fewer edge
# shades than 16 samples would give also make 15 % fewer RLE8 bytes, and at twice the pixel density
# the edges look alike.
HIGH_DPI_SUPERSAMPLE = SUPERSAMPLE // HIGH_DPI
HEADER_LEFT_200 = ("header_left_200.bmp", 200, 70)
HEADER_RIGHT_200 = ("header_right_200.bmp", 126, 70)
ICON_FILE = "PX_Bootstrap.ico"
ICON_SIZES = (16, 32, 48)
PNG_FROM = 48  # icon images this large and larger are stored as PNG


# ---- shapes: predicates over a point in pixel coordinates (y grows downwards) ----

def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside


def rrect_outline(x0, y0, x1, y1, r, w):
    outer = rrect(x0, y0, x1, y1, r)
    inner = rrect(x0 + w, y0 + w, x1 - w, y1 - w, max(r - w, 0.0))
    return lambda x, y: outer(x, y) and not inner(x, y)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1, a0=None, a1=None):
    """Annulus, optionally limited to angles a0..a1 in degrees (counted clockwise on screen)."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if d2 < r0 * r0 or d2 > r1 * r1:
            return False
        if a0 is None:
            return True
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        return (a - a0) % 360.0 <= (a1 - a0) % 360.0
    return inside


def capsule(ax, ay, bx, by, r):
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
        px, py = ax + t * vx - x, ay + t * vy - y
        return px * px + py * py <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def arrow_arc(cx, cy, r, width, a0, a1, head):
    """A ring segment from a0 to a1 with an arrowhead at a1 pointing along the turn."""
    body = ring(cx, cy, r - width / 2, r + width / 2, a0, a1)
    a = math.radians(a1)
    nx, ny = math.cos(a), math.sin(a)
    tx, ty = -ny, nx
    px, py = cx + r * nx, cy + r * ny
    tip = (px + tx * head, py + ty * head)
    left = (px + nx * head * 0.85, py + ny * head * 0.85)
    right = (px - nx * head * 0.85, py - ny * head * 0.85)
    point = polygon([tip, left, right])
    return lambda x, y: body(x, y) or point(x, y)


# ---- scenes: lists of (shape, colour), painted in order over the background ----

def sync_mark(cx, cy, r, width, head):
    return [
        (arrow_arc(cx, cy, r, width, 200, 325, head), AMBER),
        (arrow_arc(cx, cy, r, width, 20, 145, head), AMBER),
    ]


def phone(x0, y0, x1, y1):
    w = x1 - x0
    return [
        (rrect(x0, y0, x1, y1, 3.0), NAVY),
        (rrect(x0 + 1.8, y0 + 4.5, x1 - 1.8, y1 - 5.0, 0.8), MIST),
        (rrect(x0 + 3.0, y0 + 6.0, x1 - 3.0, y0 + 9.0, 0.8), TEAL),
        (rrect(x0 + 3.0, y0 + 11.0, x1 - 5.5, y0 + 13.0, 0.6), TEAL),
        (rrect(x0 + 3.0, y0 + 15.0, x1 - 3.0, y0 + 17.0, 0.6), TEAL),
        (capsule(x0 + w * 0.35, y0 + 2.2, x1 - w * 0.35, y0 + 2.2, 0.6), MIST),
        (circle(x0 + w / 2, y1 - 2.5, 1.3), MIST),
    ]


def monitor(x0, y0, x1, y1):
    mid = (x0 + x1) / 2
    return [
        (rrect(x0, y0, x1, y1, 1.5), NAVY),
        (rrect(x0 + 1.8, y0 + 1.8, x1 - 1.8, y1 - 1.8, 0.5), MIST),
        (rrect(x0 + 4.0, y0 + 4.5, mid - 1.0, y1 - 4.5, 0.6), TEAL),
        (capsule(mid + 2.0, y0 + 6.0, x1 - 5.0, y0 + 6.0, 0.8), TEAL),
        (capsule(mid + 2.0, y0 + 10.0, x1 - 8.0, y0 + 10.0, 0.8), TEAL),
        (capsule(mid + 2.0, y0 + 14.0, x1 - 6.0, y0 + 14.0, 0.8), TEAL),
        (polygon([(mid - 3.0, y1), (mid + 3.0, y1), (mid + 4.5, y1 + 4.0), (mid - 4.5, y1 + 4.0)]), NAVY),
        (capsule(mid - 9.0, y1 + 4.5, mid + 9.0, y1 + 4.5, 1.0), NAVY),
    ]


def dots(x0, x1, y, count, r, colour):
    step = (x1 - x0) / (count - 1)
    return [(circle(x0 + i * step, y, r), colour) for i in range(count)]


def header_left_scene():
    """Phone, sync mark, PC: the phone meets its PC software."""
    return (phone(5.0, 3.0, 21.0, 32.0)
            + dots(25.5, 31.5, 17.5, 3, 1.1, TEAL)
            + sync_mark(43.0, 17.5, 7.0, 2.4, 3.4)
            + dots(54.5, 60.5, 17.5, 3, 1.1, TEAL)
            + monitor(65.0, 5.0, 95.0, 26.0))


def header_right_scene():
    """A wordmark-like pair of geometric letters over an accent line."""
    q_tail = capsule(18.5, 21.5, 24.0, 27.0, 1.9)
    v = polygon([(26.5, 6.0), (31.5, 6.0), (37.5, 22.0), (43.5, 6.0), (48.5, 6.0), (40.0, 28.0), (35.0, 28.0)])
    return [
        (ring(14.0, 17.0, 7.0, 11.0), NAVY),
        (q_tail, NAVY),
        (v, NAVY),
        (circle(54.0, 8.5, 2.6), TEAL),
        (capsule(52.0, 15.0, 56.0, 15.0, 1.1), TEAL),
        (capsule(52.0, 20.0, 56.0, 20.0, 1.1), TEAL),
        (capsule(4.0, 31.5, 58.0, 31.5, 0.9), AMBER),
    ]


def icon_scene(size):
    s = size / 32.0
    scene = [(rrect(0.5 * s, 0.5 * s, size - 0.5 * s, size - 0.5 * s, 6.0 * s), NAVY)]
    if size < 24:
        scene += [
            (rrect(4.5 * s, 3.0 * s, 14.5 * s, 29.0 * s, 2.0 * s), WHITE),
            (rrect(6.5 * s, 7.0 * s, 12.5 * s, 24.0 * s, 0.5 * s), TEAL),
            (arrow_arc(22.5 * s, 16.0 * s, 5.0 * s, 3.0 * s, 110, 20, 4.0 * s), AMBER),
        ]
    else:
        scene += [
            (rrect(5.0 * s, 4.0 * s, 15.0 * s, 28.0 * s, 2.0 * s), WHITE),
            (rrect(6.5 * s, 7.5 * s, 13.5 * s, 23.0 * s, 0.6 * s), TEAL),
            (circle(10.0 * s, 25.5 * s, 1.0 * s), NAVY),
        ]
        scene += sync_mark(22.5 * s, 16.0 * s, 5.5 * s, 2.2 * s, 3.0 * s)
    return scene


def scaled(scene, factor):
    """The scene with every coordinate multiplied by factor: drawn on a picture factor times as wide
    and as high, it is the same picture at a higher pixel density."""
    return [((lambda f: lambda x, y: f(x / factor, y / factor))(inside), ink) for inside, ink in scene]


# ---- rasterising ----

def render(scene, width, height, background, supersample=SUPERSAMPLE):
    """Returns rows top to bottom of (r, g, b, a) pixels; background None means transparent."""
    n = supersample
    offsets = [(i + 0.5) / n for i in range(n)]
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for oy in offsets:
                for ox in offsets:
                    x, y = px + ox, py + oy
                    colour = background
                    for inside, ink in scene:
                        if inside(x, y):
                            colour = ink
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1.0
            samples = n * n
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                # Straight (not premultiplied) colour of the covered samples, and coverage as alpha.
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(255 * acc[3] / samples)),))
        rows.append(row)
    return rows


def render_200(scene, width, height):
    """The scene at 200 % on white: width and height are twice the 100 % picture's."""
    return render(scaled(scene, HIGH_DPI), width, height, WHITE, HIGH_DPI_SUPERSAMPLE)


def build_palette():
    """White, then ramps from white to each ink, then greys: 256 entries in all."""
    palette = [WHITE]
    steps = 56
    for ink in INKS:
        for i in range(1, steps + 1):
            t = i / steps
            palette.append(tuple(int(round(w + (c - w) * t)) for w, c in zip(WHITE, ink)))
    while len(palette) < 256:
        g = int(round(255 * (256 - len(palette)) / 32))
        palette.append((g, g, g))
    return palette[:256]


def quantise(rows, palette):
    cache = {}
    out = []
    for row in rows:
        indices = []
        for r, g, b, _ in row:
            key = (r, g, b)
            if key not in cache:
                cache[key] = min(range(len(palette)),
                                 key=lambda i: (palette[i][0] - r) ** 2 + (palette[i][1] - g) ** 2
                                 + (palette[i][2] - b) ** 2)
            indices.append(cache[key])
        out.append(indices)
    return out


# ---- file formats ----

def bmp8(indices, palette):
    """A BITMAPFILEHEADER + BITMAPINFOHEADER file, 8 bits per pixel, rows stored bottom-up."""
    height = len(indices)
    width = len(indices[0])
    stride = (width + 3) & ~3
    pixels = b"".join(bytes(row) + b"\0" * (stride - width) for row in reversed(indices))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, len(palette), 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def rle8_row(row):
    """One row of palette indices in BI_RLE8, without its end-of-line: the shortest mix of encoded
    runs (count, index; 1 to 255 equal pixels) and absolute blocks (0, count, the indices, padded to
    an even length; 3 to 255 pixels of any kind), where a tie goes to the fewer, longer blocks.
    Chosen from the end of the row: the cost of the rest never grows as the rest gets shorter, so a
    run is best taken as long as it goes; absolute blocks of every length are weighed."""
    n = len(row)
    cost = [0] * (n + 1)  # bytes to encode row[i:]
    step = [None] * (n + 1)
    same = 0
    for i in range(n - 1, -1, -1):
        same = same + 1 if i + 1 < n and row[i] == row[i + 1] else 1
        length = min(same, 255)
        cost[i], step[i] = cost[i + length] + 2, ("run", length)
        for length in range(3, min(n - i, 255) + 1):
            c = cost[i + length] + 2 + length + (length & 1)
            if c <= cost[i]:
                cost[i], step[i] = c, ("absolute", length)
    parts = []
    i = 0
    while i < n:
        kind, length = step[i]
        pixels = row[i:i + length]
        if kind == "run":
            parts.append(bytes((length, pixels[0])))
        else:
            parts.append(bytes((0, length)) + bytes(pixels) + b"\0" * (length & 1))
        i += length
    return b"".join(parts)


def rle8(indices):
    """The BI_RLE8 stream of rows (given top to bottom) stored bottom-up: each row's runs and
    absolute blocks and an end-of-line (0, 0), then the end-of-bitmap (0, 1)."""
    return b"".join(rle8_row(row) + b"\0\0" for row in reversed(indices)) + b"\0\1"


def bmp8_rle(indices, palette):
    """Like bmp8, compressed with BI_RLE8 and with the palette cut to the colours the picture uses
    (in the order of the full palette, counted in biClrUsed)."""
    used = sorted({i for row in indices for i in row})
    remap = {old: new for new, old in enumerate(used)}
    pixels = rle8([[remap[i] for i in row] for row in indices])
    colours = b"".join(struct.pack("<BBBB", palette[i][2], palette[i][1], palette[i][0], 0) for i in used)
    offset = 14 + 40 + len(colours)
    density = 2835 * HIGH_DPI  # pixels per metre: twice the 100 % pictures' 72 per inch
    info = struct.pack("<IiiHHIIiiII", 40, len(indices[0]), len(indices), 1, 8, 1, len(pixels), density, density,
                       len(used), 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def png(rows):
    """A PNG file of 8-bit RGBA pixels, every row unfiltered (compressed by zlib alone)."""
    size_y, size_x = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", size_x, size_y, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def icon_bitmap(rows):
    """An icon image as a 32-bit bitmap with alpha and its AND mask (for old renderers)."""
    size = len(rows)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(images):
    """An icon file of 32-bit images with alpha. The small ones are bitmaps, which every Windows
    draws; from PNG_FROM pixels on they are PNG images (read since Windows Vista), a fifth of the
    bytes in the program's resources."""
    entries = []
    blobs = []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        blob = png(rows) if size >= PNG_FROM else icon_bitmap(rows)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def generate():
    """Returns {file name: bytes} for every art file."""
    return dict(_generated())


@functools.lru_cache(maxsize=None)
def _generated():
    """The art files as (name, bytes) pairs, drawn once per process: the drawing is deterministic and
    takes seconds."""
    palette = build_palette()
    files = {}
    for (name, width, height), scene in ((HEADER_LEFT, header_left_scene()), (HEADER_RIGHT, header_right_scene())):
        files[name] = bmp8(quantise(render(scene, width, height, WHITE), palette), palette)
    for (name, width, height), scene in ((HEADER_LEFT_200, header_left_scene()),
                                         (HEADER_RIGHT_200, header_right_scene())):
        files[name] = bmp8_rle(quantise(render_200(scene, width, height), palette), palette)
    files[ICON_FILE] = ico([render(icon_scene(size), size, size, None) for size in ICON_SIZES])
    return tuple(sorted(files.items()))


def art_main(argv, generate_files, default_dir, description):
    """The command line of an art script: write the generated files, or --check them."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--out", default=default_dir, help="folder to write into (default: beside the script)")
    parser.add_argument("--check", nargs="?", const=default_dir, metavar="DIR",
                        help="compare with the files in DIR instead of writing")
    args = parser.parse_args(argv)
    files = generate_files()
    if args.check:
        stale = []
        for name, data in sorted(files.items()):
            path = os.path.join(args.check, name)
            if not os.path.isfile(path):
                stale.append(name)
                continue
            with open(path, "rb") as f:
                if f.read() != data:
                    stale.append(name)
        for name in stale:
            print(f"differs from the generated art: {name}", file=sys.stderr)
        return 1 if stale else 0
    os.makedirs(args.out, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)
    return 0


def main(argv):
    return art_main(argv, generate, HERE, __doc__.splitlines()[0])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
