#!/usr/bin/env python3
"""Writes a cabinet file that stores every entry under exactly the name given. Packing tools clean
names up (they drop a leading "..\\" or "\\" and cannot store a drive letter), so the cabinets
whose names climb out of the extraction folder or are absolute come from here. The file is
uncompressed and byte for byte the same for the same input: one folder, data blocks of at most
32768 bytes with their checksums, fixed file dates.

    make_cabinet.py -o OUT.cab --file STORED=SOURCE [--file STORED=SOURCE ...]

STORED is the name in the cabinet, in ASCII; a "/" in it is stored as "\\", the cabinet's separator."""
import argparse
import struct
import sys

MAX_BLOCK = 32768
MAX_NAME = 255
HEADER = struct.Struct("<4sIIIIIBBHHHHH")  # CFHEADER with no reserved areas and no neighbours
FOLDER = struct.Struct("<IHH")             # CFFOLDER: first data block, block count, compression
FILE = struct.Struct("<IIHHHH")            # CFFILE: size, offset in the folder, folder, date, time, attributes
DATA = struct.Struct("<IHH")               # CFDATA: checksum, stored and expanded size
COMPRESS_NONE = 0
ATTRIB_ARCHIVE = 0x20
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1  # 2024-01-01
DOS_TIME = 12 << 11                             # 12:00:00


def checksum(data, seed=0):
    """The cabinet checksum: little-endian 32-bit words XORed together; the last one to three
    bytes form one more value with the first of them highest."""
    whole = len(data) // 4 * 4
    value = seed
    for (word,) in struct.iter_unpack("<I", data[:whole]):
        value ^= word
    tail = 0
    for byte in data[whole:]:
        tail = (tail << 8) | byte
    return value ^ tail


def stored_name(name):
    """The name as the cabinet keeps it: ASCII, with the cabinet's separator."""
    raw = name.replace("/", "\\").encode("utf-8")
    if not raw or len(raw) > MAX_NAME or b"\0" in raw or not raw.isascii():
        raise ValueError(f"cannot store the name {name!r}")
    return raw


def build(entries):
    """The cabinet's bytes for (name, data) entries, in the order given."""
    if not entries or len(entries) > 0xFFFF:
        raise ValueError("a cabinet holds 1 to 65535 files")
    names = [stored_name(name) for name, _ in entries]
    payload = b"".join(data for _, data in entries)
    blocks = [payload[i:i + MAX_BLOCK] for i in range(0, len(payload), MAX_BLOCK)]
    if len(blocks) > 0xFFFF:
        raise ValueError("too much data for one cabinet folder")

    files_offset = HEADER.size + FOLDER.size
    data_offset = files_offset + sum(FILE.size + len(raw) + 1 for raw in names)
    total = data_offset + sum(DATA.size + len(block) for block in blocks)
    out = bytearray(HEADER.pack(b"MSCF", 0, total, 0, files_offset, 0, 3, 1, 1, len(entries), 0, 0, 0))
    out += FOLDER.pack(data_offset, len(blocks), COMPRESS_NONE)
    position = 0
    for raw, (_, data) in zip(names, entries):
        out += FILE.pack(len(data), position, 0, DOS_DATE, DOS_TIME, ATTRIB_ARCHIVE) + raw + b"\0"
        position += len(data)
    for block in blocks:
        sizes = struct.pack("<HH", len(block), len(block))
        out += struct.pack("<I", checksum(sizes, checksum(block))) + sizes + block
    assert len(out) == total
    return bytes(out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", required=True)
    parser.add_argument("--file", action="append", required=True, metavar="STORED=SOURCE")
    args = parser.parse_args(argv)
    entries = []
    for item in args.file:
        name, sep, source = item.partition("=")
        if not sep or not name or not source:
            parser.error(f"--file takes STORED=SOURCE, not {item!r}")
        with open(source, "rb") as f:
            entries.append((name, f.read()))
    try:
        cabinet = build(entries)
    except ValueError as error:
        parser.error(str(error))
    with open(args.output, "wb") as f:
        f.write(cabinet)
    return 0


if __name__ == "__main__":
    sys.exit(main())
