"""Self-test of pe_check.py: the export names it expects come from a .def file, and a binary
whose exports, calling conventions or argument bytes differ from those is refused, as is one that
imports, or names as an import would, a DLL it must load by itself. objdump and nm are stand-ins
that print what the real tools print for a small library. The manifest check reads the
resource directory of PE files made here byte by byte, and refuses a manifest that lacks any of
what the program's or the library's must ask for."""
import io
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout
from unittest import mock

import pe_check

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

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
    def test_ordinals_attributes_comments_and_aliases(self):
        with tempfile.NamedTemporaryFile("w", suffix=".def", delete=False) as f:
            f.write("; the library\nLIBRARY X.dll\nEXPORTS First @1 ; with an ordinal on the keyword's line\n"
                    "    Second @2 NONAME\n\n    Third=InternalThird PRIVATE\n    Fourth@8\n")
        self.addCleanup(os.unlink, f.name)
        self.assertEqual(pe_check.def_exports(f.name), ["First", "Second", "Third", "Fourth@8"])


class CheckCase(unittest.TestCase):
    """pe_check's verdict on a binary whose bytes, objdump and nm output the test chooses."""

    def run_check(self, exported, symbols, *options, imports="", content=b""):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        binary, def_file = os.path.join(folder.name, "lib.dll"), os.path.join(folder.name, "lib.def")
        with open(binary, "wb") as f:
            f.write(content)
        with open(def_file, "w") as f:
            f.write("LIBRARY lib.dll\nEXPORTS\n    Alpha\n    Beta\n")
        outputs = {("objdump", "-p", binary): DUMP.format(imports=imports, exports="\n".join(
            f"\t[   {i}] {name}" for i, name in enumerate(exported))),
                   ("nm", "-g", "a.obj"): "\n".join(f"00000000 T {symbol}" for symbol in symbols)}
        argv = ["pe_check.py", "--objdump", "objdump", "--nm", "nm", "--objects", "a.obj", "--def", def_file,
                *options, binary]
        out = io.StringIO()
        with mock.patch.object(sys, "argv", argv), redirect_stdout(out), mock.patch.object(
                pe_check.subprocess, "run", lambda command, **_: mock.Mock(stdout=outputs[tuple(command)])):
            status = pe_check.main()
        return status, out.getvalue()

    def assertVerdict(self, result, fault):
        """Passes with no fault where `fault` is None, else fails naming it."""
        status, out = result
        if fault is None:
            self.assertEqual(status, 0, out)
            self.assertIn("0 fault(s)", out)
        else:
            self.assertEqual(status, 1, out)
            self.assertIn(fault, out)


class Check(CheckCase):
    def test_exports_calling_conventions_and_imports(self):
        both = ["Alpha", "Beta"]
        version = "\n\tDLL Name: VERSION.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n\t31b00\t    7  GetFileVersionInfoW\n"
        cases = [
            ("the def names, caller-cleans", both, ["_Alpha", "_Beta"], ["--caller-cleans"], "", None),
            ("a def name missing", ["Alpha"], ["_Alpha", "_Beta"], [], "", "expected ['Alpha', 'Beta']"),
            ("compiled callee-cleans", both, ["_Alpha@8", "_Beta@0"], ["--caller-cleans"], "",
             "Alpha is not compiled caller-cleans (no symbol _Alpha)"),
            ("the argument bytes", both, ["_Alpha@8", "_Beta@0"], ["--callee-cleans", "Alpha=8,Beta=0"], "", None),
            ("other argument bytes", both, ["_Alpha@12", "_Beta@0"], ["--callee-cleans", "Alpha=8,Beta=0"], "",
             "Alpha is not compiled callee-cleans with 8 argument bytes"),
            ("argument bytes not for each def name", both, ["_Alpha@8", "_Beta@0"], ["--callee-cleans", "Alpha=8"], "",
             "argument bytes given for ['Alpha'], exports ['Alpha', 'Beta']"),
            ("a DLL not of the system imported", both, [], [], version,
             "imports VERSION.dll, which Windows may look for in the program's folder first"),
        ]
        for name, exported, symbols, options, imports, fault in cases:
            with self.subTest(name):
                self.assertVerdict(self.run_check(exported, symbols, *options, imports=imports), fault)


class NotImported(CheckCase):
    """--not-imported: a DLL the program loads by itself, by its full path."""

    def test_neither_imported_nor_named_as_an_import_or_a_delay_load_names_it(self):
        imported = "\n\tDLL Name: QVEUSBAutorun.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n\t31b00\t    7  GetPhoneData\n"
        named = "holds the name QVEUSBAutorun.dll as an import or a delay-load holds it"
        # A delay-load descriptor is no entry of the import table objdump lists; its name is a
        # narrow string of its own, in whatever letter case the linker was given.
        cases = [(imported, b"\0QVEUSBAutorun.dll\0", "imports QVEUSBAutorun.dll, which it must load by itself"),
                 ("", b"MZ\0\0QVEUSBAutorun.dll\0\0", named), ("", b"\x90qveusbautorun.DLL\0", named)]
        cases += [("", content, None) for content in ("QVEUSBAutorun.dll".encode("utf-16-le") + b"\0\0",
                                                      b"E:\\QVEUSBAutorun.dll\0", b"\0QVEUSBAutorun.dll.bak\0",
                                                      b"\0QVEUSBAutorun.dl\0")]
        for imports, content, fault in cases:
            with self.subTest(content=content):
                self.assertVerdict(self.run_check(["Alpha", "Beta"], [], "--not-imported", "QVEUSBAutorun.dll",
                                                  imports=imports, content=content), fault)


def resource_section(resources, base):
    """A resource section at RVA base holding {(type, id, language): bytes}: each directory, then
    what its entries point to, depth first; each data entry followed by its data."""
    tree = {}
    for (kind, name, language), data in resources.items():
        tree.setdefault(kind, {}).setdefault(name, {})[language] = data
    out = bytearray()

    def place(node):
        at = len(out)
        if isinstance(node, bytes):
            out.extend(struct.pack("<IIII", base + at + 16, len(node), 0, 0) + node + bytes(-len(node) % 8))
            return at
        out.extend(struct.pack("<IIHHHH", 0, 0, 0, 0, 0, len(node)) + bytes(8 * len(node)))
        for n, key in enumerate(sorted(node)):
            target = place(node[key]) | (0 if isinstance(node[key], bytes) else 0x80000000)
            struct.pack_into("<II", out, at + 16 + 8 * n, key, target)
        return at

    place(tree)
    return bytes(out)


def pe_image(resources, wide=False, resource_rva=0x3000):
    """A PE file (PE32, or PE32+ where wide) with the header fields a loader finds the resource
    directory by, and a .text section and a .rsrc section at resource_rva holding resources, whose
    file offset differs from its RVA."""
    section = resource_section(resources, resource_rva) if resources is not None else b""
    directories = [(0, 0)] * 16
    if resources is not None:
        directories[2] = (resource_rva, len(section))
    optional = struct.pack("<H", 0x20B if wide else 0x10B).ljust(108 if wide else 92, b"\0") + struct.pack("<I", 16)
    optional += b"".join(struct.pack("<II", rva, size) for rva, size in directories)
    dos = b"MZ".ljust(0x3C, b"\0") + struct.pack("<I", 0x40)
    coff = b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664 if wide else 0x14C, 2, 0, 0, 0, len(optional), 0x2102)
    raw_size = len(section) + (-len(section) % 0x200)
    sections = (struct.pack("<8sIIIIIIHHI", b".text", 0x10, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
                + struct.pack("<8sIIIIIIHHI", b".rsrc", len(section), resource_rva, raw_size, 0x400, 0, 0, 0, 0,
                              0x40000040))
    head = dos + coff + optional + sections
    assert len(head) <= 0x200
    return head.ljust(0x200, b"\0") + b"\xc3".ljust(0x200, b"\0") + section.ljust(raw_size, b"\0")


def read_source(*path):
    with open(os.path.join(SOURCE, *path), "rb") as f:
        return f.read()


PROGRAM_MANIFEST = ("bootstrap", "res", "PX_Bootstrap.exe.manifest")
LIBRARY_MANIFEST = ("updateclient", "res", "QVUTchkdl.dll.manifest")


class ResourceDirectory(unittest.TestCase):
    """pe_check.pe_resource: the three levels of a PE file's resource directory."""

    def test_each_resource_by_type_and_id_in_pe32_and_pe32_plus_and_the_first_language(self):
        resources = {(24, 1, 1033): b"<program manifest/>", (24, 2, 1033): b"<library manifest/>",
                     (2, 131, 1033): b"picture", (6, 1, 1033): b"strings"}
        # The data entries hold RVAs: read as file offsets they would land outside the file.
        for wide in (False, True):
            with self.subTest(wide=wide):
                image = pe_image(resources, wide=wide)
                self.assertEqual([pe_check.pe_resource(image, 24, 1), pe_check.pe_resource(image, 24, 2),
                                  pe_check.pe_resource(image, 2, 131)], [b"<program manifest/>", b"<library manifest/>", b"picture"])
                self.assertEqual([pe_check.pe_resource(image, 24, 3), pe_check.pe_resource(image, 14, 1)], [None, None])
        self.assertIsNone(pe_check.pe_resource(pe_image(None), 24, 1))
        self.assertEqual(pe_check.pe_resource(pe_image({(24, 1, 1031): b"first", (24, 1, 1033): b"second"}), 24, 1), b"first")
        # A file that is no PE image, or whose directory points outside itself, is refused.
        image = pe_image(resources)
        for broken in (b"", b"ZM" + image[2:], image[:0x40] + b"NE" + image[0x42:], image[:0x410]):
            with self.assertRaises(ValueError):
                pe_check.pe_resource(broken, 24, 1)


def without(text, fragment, replacement=b""):
    assert fragment in text, fragment
    return text.replace(fragment, replacement, 1)


class ManifestRules(unittest.TestCase):
    """pe_check.manifest_faults on the project's manifests, each changed in one place: the one
    fault that change makes (elements count only in the namespaces Windows reads them in)."""

    def assertFaults(self, path, kind, changes, expected):
        """`expected`: the one fault's text, part of it, or how many faults there are."""
        text = read_source(*path)
        for fragment, replacement in changes:
            text = without(text, fragment, replacement)
        faults = pe_check.manifest_faults(text, kind)
        if isinstance(expected, int):
            self.assertEqual(len(faults), expected, faults)
        else:
            self.assertEqual(len(faults), 1, faults)
            self.assertIn(expected, faults[0])

    def test_what_both_manifests_must_hold(self):
        # A supported OS left out is proven on a whole file, in ManifestCheck.
        cases = [(((b'<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">', b"<compatibility>"),),
                   len(pe_check.SUPPORTED_OS)),
                  (((b'version="6.0.0.0"', b'version="5.82.0.0"'),), "Common Controls 6.0.0.0"),
                  (((b'publicKeyToken="6595b64144ccf1df"', b""),), "Common Controls 6.0.0.0"),
                  (((b"<dependentAssembly>", b"<x><dependentAssembly>"),  # one level too deep
                    (b"</dependentAssembly>", b"</dependentAssembly></x>")), "Common Controls 6.0.0.0")]
        for changes, expected in cases:
            with self.subTest(changes[0][0]):
                self.assertFaults(LIBRARY_MANIFEST, "library", changes, expected)

    def test_the_program_asks_for_administrator_rights_and_per_monitor_v2_awareness(self):
        level = 'requestedExecutionLevel level="requireAdministrator" uiAccess="false"'
        cases = [(b'level="requireAdministrator"', b'level="asInvoker"', level),
                 (b'uiAccess="false"', b'uiAccess="true"', level),
                 (b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">', b"<trustInfo>", level),
                 (b">true/pm<", b">true<", "dpiAware true/pm"),
                 (b'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">',
                  b'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">', "dpiAware true/pm"),
                 (b">PerMonitorV2, PerMonitor<", b">System, PerMonitorV2<", "dpiAwareness PerMonitorV2 first"),
                 # windowsSettings outside asm.v3: neither setting counts.
                 (b'<application xmlns="urn:schemas-microsoft-com:asm.v3">', b"<application>", 2)]
        for fragment, replacement, expected in cases:
            with self.subTest(fragment):
                self.assertFaults(PROGRAM_MANIFEST, "program", [(fragment, replacement)], expected)

    def test_a_library_manifest_that_sets_dpi_awareness_fails(self):
        program = read_source(*PROGRAM_MANIFEST)
        settings = program[program.index(b'  <application xmlns="urn:schemas-microsoft-com:asm.v3">'):
                           program.index(b"</assembly>")]
        self.assertFaults(LIBRARY_MANIFEST, "library", [(b"</assembly>", settings + b"</assembly>")],
                          "a library's manifest sets DPI awareness, which only the process's manifest can")

    def test_malformed_or_foreign_xml_fails_without_raising(self):
        self.assertIn("no well-formed XML", pe_check.manifest_faults(read_source(*PROGRAM_MANIFEST)[:-20], "program")[0])
        self.assertIn("not an asm.v1 assembly", pe_check.manifest_faults(b"<assembly/>", "library")[0])


class ManifestCheck(CheckCase):
    """pe_check --manifest on a whole PE file: the manifest at the resource id of its kind."""

    def test_the_manifest_is_read_at_its_resource_id_and_checked(self):
        program, library = read_source(*PROGRAM_MANIFEST), read_source(*LIBRARY_MANIFEST)
        cases = [("program", pe_image({(24, 1, 1033): program, (2, 131, 1033): b"picture"}), None),
                 ("library", pe_image({(24, 2, 1033): library}), None),
                 ("program", pe_image({(24, 2, 1033): program}), "no manifest resource (type 24, id 1)"),
                 ("library", pe_image({(2, 1002, 1033): b"picture"}), "no manifest resource (type 24, id 2)"),
                 ("library", pe_image({(24, 2, 1033): without(library, b'<supportedOS Id="{1f676c76-80e1-4239-95bb-'
                                                                       b'83d0f6d0da78}"/>')}), "does not list Windows 8.1"),
                 ("program", b"not a PE file", "cannot read the resource directory: no MZ header")]
        for kind, content, fault in cases:
            with self.subTest(kind=kind, fault=fault):
                self.assertVerdict(self.run_check(["Alpha", "Beta"], [], "--manifest", kind, content=content), fault)


if __name__ == "__main__":
    unittest.main()
