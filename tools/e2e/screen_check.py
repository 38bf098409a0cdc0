"""Checks of a window's screenshot against the geometry the UI driver reports for its controls:
text cut at a control's edge, text controls over pictures, a window outside its work area, a
picture shown as a blurred stretch, and the colours texts are drawn in. Python 3 standard library
only (PNG files are decoded here; an unusual kind goes through ImageMagick's ``convert``).

The images are screenshots of one window (``WineRig.screenshot_window``): pixel (0, 0) is the
window's top-left corner, so a control's screen rectangle is moved by the window's origin."""
import collections
import struct
import subprocess
import zlib

CONVERT = "/usr/bin/convert"  # ImageMagick's own; /usr/local/bin may hold stand-ins

# Pixels whose largest channel difference from a background reaches this are ink, not the
# background's own noise or the faint fringe of smoothed text.
INK_CONTRAST = 64

SS_TYPEMASK, SS_BITMAP, SS_ICON = 0x1F, 0x0E, 0x03
BS_TYPEMASK = 0x0F
CHECK_AND_RADIO_TYPES = {0x2, 0x3, 0x4, 0x5, 0x6, 0x9}  # check boxes, 3-state, radio buttons


class Image:
    """Width, height and rows of (r, g, b) tuples."""

    def __init__(self, width, height, rows):
        self.width, self.height, self.rows = width, height, rows

    def pixel(self, x, y):
        return self.rows[y][x]

    @classmethod
    def filled(cls, width, height, colour):
        return cls(width, height, [[colour] * width for _ in range(height)])

    def fill(self, left, top, right, bottom, colour):
        """Paints the rectangle (right and bottom exclusive), clipped to the image: for tests."""
        for y in range(max(top, 0), min(bottom, self.height)):
            row = self.rows[y]
            for x in range(max(left, 0), min(right, self.width)):
                row[x] = colour


# ---------------------------------------------------------------------------------------------
# Reading screenshots.

def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _scanlines(data, stride, height, filter_bytes):
    """The unfiltered scanlines of a non-interlaced PNG image; ``filter_bytes`` is how many bytes
    back the "left" neighbour of a byte lies (whole pixels, at least 1)."""
    lines, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = data[at], bytearray(data[at + 1:at + 1 + stride])
        at += 1 + stride
        if kind == 1:
            for i in range(filter_bytes, stride):
                line[i] = (line[i] + line[i - filter_bytes]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = line[i - filter_bytes] if i >= filter_bytes else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                left = line[i - filter_bytes] if i >= filter_bytes else 0
                up_left = previous[i - filter_bytes] if i >= filter_bytes else 0
                line[i] = (line[i] + _paeth(left, previous[i], up_left)) & 0xFF
        elif kind != 0:
            raise ValueError(f"PNG filter type {kind}")
        lines.append(line)
        previous = line
    return lines


def parse_png(data):
    """An Image of PNG bytes: 8-bit grey, RGB, palette (1 to 8 bits), grey with alpha and RGBA,
    not interlaced (alpha dropped). ValueError for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, header, palette, compressed = 8, None, None, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            compressed.append(body)
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError("PNG without IHDR")
    width, height, depth, colour_type, _, _, interlace = header
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour_type)
    if channels is None or interlace or (depth != 8 and not (colour_type in (0, 3) and depth in (1, 2, 4))):
        raise ValueError(f"PNG kind not read here: colour type {colour_type}, depth {depth}, interlace {interlace}")
    if colour_type == 3 and palette is None:
        raise ValueError("palette PNG without PLTE")
    stride = (width * channels * depth + 7) // 8
    lines = _scanlines(zlib.decompress(b"".join(compressed)), stride, height, max(1, channels * depth // 8))
    rows = []
    for line in lines:
        if depth < 8:
            per_byte, mask = 8 // depth, (1 << depth) - 1
            values = [(line[x // per_byte] >> (8 - depth * (x % per_byte + 1))) & mask for x in range(width)]
        else:
            values = None
        if colour_type == 3:
            rows.append([palette[v] for v in (values if values is not None else line[:width])])
        elif colour_type == 0:
            scale = 255 // ((1 << depth) - 1)
            rows.append([(v * scale,) * 3 for v in (values if values is not None else line[:width])])
        elif colour_type == 4:
            rows.append([(line[2 * x],) * 3 for x in range(width)])
        else:
            rows.append([tuple(line[channels * x:channels * x + 3]) for x in range(width)])
    return Image(width, height, rows)


def parse_ppm(data):
    """An Image of binary PPM (P6, 8 bits) bytes, as ``convert x.png ppm:-`` writes them."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height, at = int(fields[1]), int(fields[2]), at + 1
    rows = [[tuple(data[at + 3 * (y * width + x):at + 3 * (y * width + x) + 3]) for x in range(width)]
            for y in range(height)]
    return Image(width, height, rows)


def load(path):
    """The screenshot at ``path``: decoded here, or through ImageMagick for other PNG kinds."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        return parse_png(data)
    except ValueError:
        done = subprocess.run([CONVERT, path, "-depth", "8", "ppm:-"], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60, check=True)
        return parse_ppm(done.stdout)


# ---------------------------------------------------------------------------------------------
# Colours and rectangles.

def distance(a, b):
    """The largest channel difference of two colours."""
    return max(abs(a[0] - b[0]), abs(a[1] - b[1]), abs(a[2] - b[2]))


def image_rect(control, origin):
    """The control's screen rectangle (as the UI driver gives it) in the image of a window whose
    top-left corner is ``origin`` (a dict with left and top, or an (x, y) tuple): (left, top,
    right, bottom), right and bottom exclusive."""
    ox, oy = (origin["left"], origin["top"]) if isinstance(origin, dict) else origin
    screen = control["screen"]
    return (screen["left"] - ox, screen["top"] - oy, screen["right"] - ox, screen["bottom"] - oy)


def clip(rect, image):
    left, top, right, bottom = rect
    return (max(left, 0), max(top, 0), min(right, image.width), min(bottom, image.height))


def background(image, rect, excluding=()):
    """The colour most pixels inside ``rect`` have (its edge pixels left out where the rectangle
    is large enough, and those inside the ``excluding`` rectangles): the control's background,
    which its text is drawn on."""
    left, top, right, bottom = clip(rect, image)
    if right - left > 2 and bottom - top > 2:
        left, top, right, bottom = left + 1, top + 1, right - 1, bottom - 1
    counts = collections.Counter()
    for y in range(top, bottom):
        row = image.rows[y]
        holes = [(l, r) for l, t, r, b in excluding if t <= y < b]
        counts.update(row[x] for x in range(left, right) if not any(l <= x < r for l, r in holes))
    if not counts:
        raise ValueError(f"rectangle {rect} lies outside the image")
    return counts.most_common(1)[0][0]


def ink(image, rect, behind, contrast=INK_CONTRAST):
    """(x, y) of every pixel inside ``rect`` that differs clearly from the colour ``behind``."""
    left, top, right, bottom = clip(rect, image)
    return [(x, y) for y in range(top, bottom) for x in range(left, right)
            if distance(image.rows[y][x], behind) >= contrast]


def ink_extent(image, rect, behind, contrast=INK_CONTRAST):
    """(left, top, right, bottom) of the ink inside ``rect`` (exclusive), or None for none."""
    found = ink(image, rect, behind, contrast)
    if not found:
        return None
    xs, ys = [x for x, _ in found], [y for _, y in found]
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1)


def ink_lines(image, rect, behind=None, contrast=INK_CONTRAST):
    """How many bands of pixel rows with ink, parted by rows without, the text in ``rect`` has:
    its lines of text."""
    behind = background(image, rect) if behind is None else behind
    left, top, right, bottom = clip(rect, image)
    bands, in_band = 0, False
    for y in range(top, bottom):
        inked = any(distance(image.rows[y][x], behind) >= contrast for x in range(left, right))
        bands += inked and not in_band
        in_band = inked
    return bands


def ink_height(image, rect, behind=None):
    """How many pixel rows from the topmost to the bottommost ink of the text in ``rect``."""
    extent = ink_extent(image, rect, background(image, rect) if behind is None else behind)
    return 0 if extent is None else extent[3] - extent[1]


def reaches(image, rect, colour, tolerance=6):
    """Whether some pixel inside ``rect`` is ``colour`` within ``tolerance`` levels per channel."""
    left, top, right, bottom = clip(rect, image)
    return any(distance(image.rows[y][x], colour) <= tolerance for y in range(top, bottom) for x in range(left, right))


def overlap(a, b):
    """Whether two (left, top, right, bottom) rectangles share a pixel."""
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def rect_tuple(rect):
    return (rect["left"], rect["top"], rect["right"], rect["bottom"])


def inside(inner, outer):
    """Whether rectangle dict ``inner`` lies within rectangle dict ``outer``."""
    return (inner["left"] >= outer["left"] and inner["top"] >= outer["top"] and
            inner["right"] <= outer["right"] and inner["bottom"] <= outer["bottom"])


# ---------------------------------------------------------------------------------------------
# Which controls are texts and which are pictures.

def is_picture(control, picture_ids=()):
    return (control["id"] in picture_ids or
            (control["class"].lower() == "static" and control["style"] & SS_TYPEMASK in (SS_BITMAP, SS_ICON)))


def is_text(control, picture_ids=()):
    """A showing static text or radio button / check box with a text."""
    if not control.get("showing", control["visible"]) or not control.get("text"):
        return False
    kind = control["class"].lower()
    if kind == "static":
        return not is_picture(control, picture_ids)
    return kind == "button" and control["style"] & BS_TYPEMASK in CHECK_AND_RADIO_TYPES


def text_controls(controls, picture_ids=()):
    return [c for c in controls if is_text(c, picture_ids)]


def pictures(controls, picture_ids=()):
    return [c for c in controls if c.get("showing", c["visible"]) and is_picture(c, picture_ids)]


# ---------------------------------------------------------------------------------------------
# The checks: each returns a list of findings (empty when all is well), as readable text.

def ink_at_edges(image, rect, behind, contrast=INK_CONTRAST):
    """The edges of ``rect`` whose outermost pixel row or column inside it holds ink: text cut
    there leaves pieces of its glyphs touching it. The left edge is where left-aligned text and a
    radio button's circle begin by design, so only top, bottom and right are looked at."""
    left, top, right, bottom = rect
    if right - left < 2 or bottom - top < 2:
        return ["too small to hold text"]
    edges = {"top": (left, top, right, top + 1), "bottom": (left, bottom - 1, right, bottom),
             "right": (right - 1, top, right, bottom)}
    found = []
    for name, edge in edges.items():
        pixels = ink(image, edge, behind, contrast)
        if pixels:
            x, y = pixels[0]
            found.append(f"{name} edge at ({x},{y}) {image.pixel(x, y)}")
    return found


def clipped_texts(image, origin, controls, picture_ids=()):
    """Every showing text control whose text runs past its rectangle (see ``ink_at_edges``), or
    that lies partly outside the image."""
    findings = []
    for control in text_controls(controls, picture_ids):
        rect = image_rect(control, origin)
        if clip(rect, image) != rect:
            findings.append(f"control {control['id']}: partly outside the window's image {rect}")
            continue
        behind = background(image, rect)
        for edge in ink_at_edges(image, rect, behind):
            findings.append(f"control {control['id']} ({control['text'][:30]!r}): ink at its {edge} on {behind}")
    return findings


def invisible_texts(image, origin, controls, picture_ids=()):
    """Every showing text control that shows no ink on its background (text drawn in its
    background's colour, or not at all)."""
    findings = []
    for control in text_controls(controls, picture_ids):
        rect = image_rect(control, origin)
        behind = background(image, rect)
        if not ink(image, rect, behind):
            findings.append(f"control {control['id']} ({control['text'][:30]!r}): no text to see on {behind}")
    return findings


def texts_over_pictures(controls, picture_ids=()):
    """Every showing text control whose rectangle shares a pixel with a picture's."""
    shown = pictures(controls, picture_ids)
    return [f"control {t['id']} overlaps picture {p['id']}: {rect_tuple(t['screen'])} / {rect_tuple(p['screen'])}"
            for t in text_controls(controls, picture_ids) for p in shown if overlap(rect_tuple(t["screen"]),
                                                                                     rect_tuple(p["screen"]))]


def outside_work_area(window):
    """The window (a ``dialog`` answer of the UI driver) when it is not wholly inside its
    monitor's work area."""
    work = window["monitor"]["work"]
    return [] if inside(window["rect"], work) else [f"window {rect_tuple(window['rect'])} not inside {rect_tuple(work)}"]
