#!/usr/bin/env python3
"""Writes cabinets with make_cabinet.py and reads them back with gcab, an independent reader:
the names come out exactly as given (also those a packing tool would clean up), the contents
survive data blocks of every tail length, and the checksums are the ones readers verify."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_cabinet  # noqa: E402


def listing(cabinet):
    """(name, size) of every entry, as gcab lists them."""
    text = subprocess.run(["gcab", "-l", cabinet], check=True, capture_output=True, text=True).stdout
    rows = [line.rsplit(" ", 4) for line in text.splitlines() if line]
    return [(name, int(size)) for name, size, *_ in rows]


def pattern(size, seed):
    return bytes((i * 7 + seed) % 253 for i in range(size))


@unittest.skipUnless(shutil.which("gcab"), "needs gcab")
class CabinetWriter(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, entries, name="test.cab"):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(make_cabinet.build(entries))
        return path

    def extract(self, cabinet):
        out = os.path.join(self.dir, "out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        result = subprocess.run(["gcab", "-x", "-C", out, cabinet], capture_output=True, text=True)
        return result.returncode, out

    def test_names_that_climb_out_or_are_absolute_are_stored_as_given(self):
        names = ["..\\escape.txt", "sub/../../escape2.txt", "C:\\escape3.txt", "\\escape4.txt", "good.txt"]
        cabinet = self.write([(name, name.encode()) for name in names])
        self.assertEqual(listing(cabinet), [("..\\escape.txt", 13), ("sub\\..\\..\\escape2.txt", 21),
                                            ("C:\\escape3.txt", 14), ("\\escape4.txt", 12), ("good.txt", 8)])

    def test_contents_cross_data_blocks_and_checksums_hold_for_every_tail_length(self):
        for tail in range(4):
            with self.subTest(tail=tail):
                # Two full blocks, then a last one of `tail` bytes: every remainder of the word split.
                entries = [("a.bin", pattern(32767, tail)), ("data/b.bin", pattern(2, 9)),
                           ("c.bin", b""), ("data/deeper/d.bin", pattern(32767 + tail, 3))]
                code, out = self.extract(self.write(entries))
                self.assertEqual(code, 0)
                for name, data in entries:
                    with open(os.path.join(out, *name.split("/")), "rb") as f:
                        self.assertEqual(f.read(), data, name)

    def test_a_changed_data_byte_fails_the_readers_checksum(self):
        cabinet = self.write([("a.bin", pattern(70000, 5))])
        self.assertEqual(self.extract(cabinet)[0], 0)
        with open(cabinet, "r+b") as f:
            f.seek(-100, os.SEEK_END)
            byte = f.read(1)
            f.seek(-100, os.SEEK_END)
            f.write(bytes([byte[0] ^ 0x10]))
        self.assertNotEqual(self.extract(cabinet)[0], 0)


if __name__ == "__main__":
    unittest.main()
