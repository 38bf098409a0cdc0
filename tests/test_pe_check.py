"""Self-test of pe_check.py: the export names it expects come from a .def file, and a binary
whose exports, calling conventions or argument bytes differ from those is refused, as is one that
imports, or names as an import would, a DLL it must load by itself. objdump and nm are stand-in
scripts that print what the real tools print for a small library."""
import io
import os
import stat
import sys
import tempfile
import textwrap
import unittest
from contextlib import redirect_stdout
from unittest import mock

import pe_check

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)

DUMP = """
\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t31ac0\t  136  CloseHandle
{imports}

There is an export table in .edata at 0x6e3f0000

Export Address Table -- Ordinal Base 1
\t[   0] +base[   1] d430 Export RVA
\t[   1] +base[   2] d5e4 Export RVA

[Ordinal/Name Pointer] Table
{exports}

"""


class DefExports(unittest.TestCase):
    def parse(self, text):
        with tempfile.NamedTemporaryFile("w", suffix=".def", delete=False) as f:
            f.write(textwrap.dedent(text))
        self.addCleanup(os.unlink, f.name)
        return pe_check.def_exports(f.name)

    def test_the_projects_def_files(self):
        self.assertEqual(pe_check.def_exports(os.path.join(SOURCE, "updateclient", "QVUTchkdl.def")),
                         ["CheckPXPC", "UpdateGBCforSync", "CheckUTSetup", "CheckUASetup", "StartUpdate",
                          "GetFailureCause"])
        names = pe_check.def_exports(os.path.join(SOURCE, "modeswitch", "QVEUSBAutorun.def"))
        self.assertEqual(len(names), 10)
        self.assertIn("GetPhoneData", names)
        self.assertNotIn("QVEUSBAutorun.dll", names)

    def test_ordinals_attributes_comments_and_aliases(self):
        self.assertEqual(self.parse("""\
            ; the library
            LIBRARY X.dll
            EXPORTS First @1 ; with an ordinal on the keyword's line
                Second @2 NONAME

                Third=InternalThird PRIVATE
                Fourth@8
            """), ["First", "Second", "Third", "Fourth@8"])


class CheckCase(unittest.TestCase):
    """pe_check's verdict on a binary whose bytes, objdump and nm output the test chooses."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.binary = self.file("lib.dll", "")
        self.def_file = self.file("lib.def", "LIBRARY lib.dll\nEXPORTS\n    Alpha\n    Beta\n")

    def file(self, name, text, executable=False):
        path = os.path.join(self.folder.name, name)
        with open(path, "w") as f:
            f.write(text)
        if executable:
            os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
        return path

    def tool(self, name, output):
        return self.file(name, "#!/bin/sh\ncat <<'END'\n" + output + "\nEND\n", executable=True)

    def run_check(self, exported, symbols, *options, imports="", content=b""):
        with open(self.binary, "wb") as f:
            f.write(content)
        objdump = self.tool("objdump", DUMP.format(imports=imports, exports="\n".join(
            f"\t[   {i}] {name}" for i, name in enumerate(exported))))
        nm = self.tool("nm", "\n".join(f"00000000 T {symbol}" for symbol in symbols))
        argv = ["pe_check.py", "--objdump", objdump, "--nm", nm, "--objects", "a.obj",
                "--def", self.def_file, *options, self.binary]
        out = io.StringIO()
        with mock.patch.object(sys, "argv", argv), redirect_stdout(out):
            status = pe_check.main()
        return status, out.getvalue()


class Check(CheckCase):
    def test_exactly_the_def_names_pass(self):
        status, out = self.run_check(["Beta", "Alpha"], ["_Alpha", "_Beta"], "--caller-cleans")
        self.assertEqual(status, 0, out)
        self.assertIn("0 fault(s)", out)

    def test_a_name_of_the_def_missing_from_the_binary_fails(self):
        status, out = self.run_check(["Alpha"], ["_Alpha", "_Beta"])
        self.assertEqual(status, 1)
        self.assertIn("expected ['Alpha', 'Beta']", out)

    def test_argument_bytes_match_the_objects(self):
        status, out = self.run_check(["Alpha", "Beta"], ["_Alpha@8", "_Beta@0"], "--callee-cleans", "Alpha=8,Beta=0")
        self.assertEqual(status, 0, out)
        status, out = self.run_check(["Alpha", "Beta"], ["_Alpha@12", "_Beta@0"], "--callee-cleans", "Alpha=8,Beta=0")
        self.assertEqual(status, 1)
        self.assertIn("Alpha is not compiled callee-cleans with 8 argument bytes", out)

    def test_argument_bytes_for_each_def_name_and_no_other(self):
        status, out = self.run_check(["Alpha", "Beta"], ["_Alpha@8", "_Beta@0"], "--callee-cleans", "Alpha=8")
        self.assertEqual(status, 1)
        self.assertIn("argument bytes given for ['Alpha'], exports ['Alpha', 'Beta']", out)


class NotImported(CheckCase):
    """--not-imported: a DLL the program loads by itself, by its full path."""

    DEVICE = "QVEUSBAutorun.dll"
    IMPORTED = "\n\tDLL Name: QVEUSBAutorun.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n\t31b00\t    7  GetPhoneData\n"

    def check(self, **given):
        return self.run_check(["Alpha", "Beta"], [], "--not-imported", self.DEVICE, **given)

    def test_an_import_of_it_fails(self):
        status, out = self.check(imports=self.IMPORTED, content=b"\0QVEUSBAutorun.dll\0")
        self.assertEqual(status, 1)
        self.assertIn("imports QVEUSBAutorun.dll, which it must load by itself", out)

    def test_its_name_as_an_import_or_a_delay_load_holds_it_fails(self):
        # A delay-load descriptor is no entry of the import table objdump lists; its name is a
        # narrow string of its own, in whatever letter case the linker was given.
        for content in (b"MZ\0\0QVEUSBAutorun.dll\0\0", b"\x90qveusbautorun.DLL\0"):
            status, out = self.check(content=content)
            self.assertEqual(status, 1, content)
            self.assertIn("holds the name QVEUSBAutorun.dll as an import or a delay-load holds it", out)

    def test_a_path_or_wide_text_with_its_name_passes(self):
        wide = "QVEUSBAutorun.dll".encode("utf-16-le") + b"\0\0"
        for content in (wide, b"E:\\QVEUSBAutorun.dll\0", b"\0QVEUSBAutorun.dll.bak\0", b"\0QVEUSBAutorun.dl\0"):
            status, out = self.check(content=content)
            self.assertEqual(status, 0, f"{content}: {out}")
            self.assertIn("0 fault(s)", out)


if __name__ == "__main__":
    unittest.main()
