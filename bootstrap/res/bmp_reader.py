#!/usr/bin/env python3
"""A strict reader of the BMP files the art scripts write, for their tests: 8-bit palette pictures,
uncompressed or BI_RLE8, decoded to rows of palette indices; and small helpers to compare pictures
by colour."""
import struct

BI_RGB, BI_RLE8 = 0, 1  # biCompression


def decode_rle8(stream, width, height):
    """The rows, top to bottom, of a bottom-up BI_RLE8 stream, read strictly: every row is filled
    to exactly width pixels by encoded runs (count, index) and absolute blocks (0, count >= 3, the
    indices, a zero byte to an even length) and ends with end-of-line (0, 0); end-of-bitmap (0, 1)
    follows the last row and ends the stream. No delta escapes (their skipped pixels are undefined)."""
    rows, row, pos = [], [], 0
    while True:
        assert pos + 2 <= len(stream), "stream ends without end-of-bitmap"
        count, value = stream[pos], stream[pos + 1]
        pos += 2
        if count:
            row += [value] * count
        elif value == 0:
            assert len(row) == width, f"row {len(rows)} from the bottom holds {len(row)} pixels, not {width}"
            rows.append(row)
            row = []
        elif value == 1:
            assert not row, "end-of-bitmap inside a row"
            assert pos == len(stream), f"{len(stream) - pos} bytes after end-of-bitmap"
            break
        elif value == 2:
            raise AssertionError("delta escape")
        else:
            padded = value + (value & 1)
            assert pos + padded <= len(stream), "absolute block beyond the stream"
            row += list(stream[pos:pos + value])
            assert stream[pos + value:pos + padded] in (b"", b"\0"), "absolute block padding"
            pos += padded
        assert len(row) <= width, f"row {len(rows)} from the bottom overflows"
    assert len(rows) == height, f"{len(rows)} rows, not {height}"
    return rows[::-1]


def parse_bmp(data):
    """Returns (width, height, bits, compression, palette, rows top to bottom as palette indices)
    of an 8-bit BMP, uncompressed or BI_RLE8."""
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    (header_size, width, height, planes, bits, compression, image_size, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, 14)
    assert magic == b"BM" and file_size == len(data) and header_size == 40 and planes == 1
    colours = used or (1 << bits)
    assert offset == 54 + 4 * colours, "the pixels follow the palette"
    palette = [tuple(reversed(data[54 + 4 * i:54 + 4 * i + 3])) for i in range(colours)]
    assert offset + image_size == len(data)
    if compression == BI_RLE8:
        assert bits == 8 and height > 0, "RLE8 is 8-bit and bottom-up"
        return width, height, bits, compression, palette, decode_rle8(data[offset:], width, height)
    assert compression == BI_RGB, f"compression {compression}"
    stride = (width * bits // 8 + 3) & ~3
    assert image_size == stride * abs(height)
    rows = [list(data[offset + y * stride:offset + y * stride + width]) for y in range(abs(height))]
    if height > 0:
        rows.reverse()  # stored bottom-up
    return width, height, bits, compression, palette, rows


def colours(palette, rows):
    return [[palette[i] for i in row] for row in rows]


def averaged_2x2(rows):
    """Each 2 x 2 block of (r, g, b) pixels as its mean colour."""
    return [[tuple(sum(rows[2 * y + j][2 * x + i][c] for j in (0, 1) for i in (0, 1)) / 4 for c in range(3))
             for x in range(len(rows[0]) // 2)] for y in range(len(rows) // 2)]


def largest_difference(a, b):
    """The largest difference of one colour channel between two pictures of the same size."""
    assert (len(a), len(a[0])) == (len(b), len(b[0]))
    return max(abs(p[c] - q[c]) for row_a, row_b in zip(a, b) for p, q in zip(row_a, row_b) for c in range(3))
