#!/usr/bin/env python3
"""Writes a cabinet with make_cabinet.py and lists it with gcab, an independent reader: the names
come out exactly as given, also those a packing tool would clean up. The end-to-end run's cabinet
of hostile names proves the library's extraction guard only while it really holds those names."""
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


@unittest.skipUnless(shutil.which("gcab"), "needs gcab")
class CabinetWriter(unittest.TestCase):
    def test_names_that_climb_out_or_are_absolute_are_stored_as_given(self):
        names = ["..\\escape.txt", "sub/../../escape2.txt", "C:\\escape3.txt", "\\escape4.txt", "good.txt"]
        with tempfile.TemporaryDirectory() as folder:
            cabinet = os.path.join(folder, "test.cab")
            with open(cabinet, "wb") as f:
                f.write(make_cabinet.build([(name, name.encode()) for name in names]))
            self.assertEqual(listing(cabinet), [("..\\escape.txt", 13), ("sub\\..\\..\\escape2.txt", 21),
                                                ("C:\\escape3.txt", 14), ("\\escape4.txt", 12), ("good.txt", 8)])


if __name__ == "__main__":
    unittest.main()
