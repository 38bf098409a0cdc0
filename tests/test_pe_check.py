"""Self-test of pe_check.py: the export names it expects come from a .def file, and a binary
whose exports, calling conventions or argument bytes differ from those is refused, as is one that
imports, or names as an import would, a DLL it must load by itself. objdump and nm are stand-in
scripts that print what the real tools print for a small library. The manifest check reads the
resource directory of PE files made here byte by byte, and refuses a manifest that lacks any of
what the program's or the library's must ask for."""
import io
import os
import stat
import struct
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


def resource_section(resources, base):
    """A resource section at RVA base holding {(type, name, language): bytes}; a name given as a
    string is a named entry (which pe_check skips when it looks for a number)."""
    tree = {}
    for (kind, name, language), data in resources.items():
        tree.setdefault(kind, {}).setdefault(name, {})[language] = data
    directories, leaves, strings, blobs = bytearray(), [], bytearray(), bytearray()
    # Lay out the three levels first (their sizes are known), then the data entries, names and data.
    layout = []

    def directory_size(children):
        return 16 + 8 * len(children)

    offset = directory_size(tree)
    for kind in tree:
        layout.append(("names", kind, offset))
        offset += directory_size(tree[kind])
    for kind in tree:
        for name in tree[kind]:
            layout.append(("languages", (kind, name), offset))
            offset += directory_size(tree[kind][name])
    data_entries = offset
    count = sum(len(languages) for names in tree.values() for languages in names.values())
    strings_at = data_entries + 16 * count
    positions = {key: at for _, key, at in layout}

    def key_of(name):
        if isinstance(name, str):
            at = strings_at + len(strings)
            strings.extend(struct.pack("<H", len(name)) + name.encode("utf-16-le"))
            return at | 0x80000000
        return name

    def write_directory(children, target_of):
        named = sorted((k for k in children if isinstance(k, str)))
        numbered = sorted(k for k in children if not isinstance(k, str))
        out = bytearray(struct.pack("<IIHHHH", 0, 0, 0, 0, len(named), len(numbered)))
        for child in named + numbered:
            out += struct.pack("<II", key_of(child), target_of(child))
        return out

    directories += write_directory(tree, lambda kind: positions[kind] | 0x80000000)
    for kind in tree:
        directories += write_directory(tree[kind], lambda name: positions[(kind, name)] | 0x80000000)
    for kind in tree:
        for name in tree[kind]:
            def leaf(language):
                leaves.append(tree[kind][name][language])
                return data_entries + 16 * (len(leaves) - 1)
            directories += write_directory(tree[kind][name], leaf)
    assert len(directories) == data_entries
    strings_end = strings_at + len(strings) + (-(strings_at + len(strings)) % 8)
    entries = bytearray()
    for data in leaves:
        entries += struct.pack("<IIII", base + strings_end + len(blobs), len(data), 0, 0)
        blobs += data + b"\0" * (-len(data) % 8)
    return bytes(directories + entries + strings + b"\0" * (strings_end - strings_at - len(strings)) + blobs)


def pe_image(resources, wide=False, resource_rva=0x3000):
    """A PE file (PE32, or PE32+ where wide) with a .text section and a .rsrc section at
    resource_rva holding resources, whose file offset differs from its RVA."""
    section = resource_section(resources, resource_rva) if resources is not None else b""
    optional_size = 240 if wide else 224
    headers_end = 0x80 + 24 + optional_size + 2 * 40
    raw_text, raw_rsrc = 0x200, 0x400
    dos = b"MZ" + b"\0" * 0x3A + struct.pack("<I", 0x80) + b"\0" * (0x80 - 0x40)
    coff = b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664 if wide else 0x14C, 2, 0, 0, 0, optional_size, 0x2102)
    directories = [(0, 0)] * 16
    if resources is not None:
        directories[2] = (resource_rva, len(section))
    if wide:
        optional = struct.pack("<HBBIIIIIQ", 0x20B, 2, 38, 0x200, 0x200, 0, 0x1000, 0x1000, 0x140000000)
        optional += struct.pack("<IIHHHHHHIIIIHHQQQQII", 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x4000, 0x400, 0, 2, 0,
                                0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    else:
        optional = struct.pack("<HBBIIIIIII", 0x10B, 2, 38, 0x200, 0x200, 0, 0x1000, 0x1000, 0x2000, 0x400000)
        optional += struct.pack("<IIHHHHHHIIIIHHIIIIII", 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x4000, 0x400, 0, 2, 0,
                                0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    optional += b"".join(struct.pack("<II", rva, size) for rva, size in directories)
    assert len(optional) == optional_size
    rsrc_raw_size = len(section) + (-len(section) % 0x200)
    sections = (struct.pack("<8sIIIIIIHHI", b".text", 0x10, 0x1000, 0x200, raw_text, 0, 0, 0, 0, 0x60000020)
                + struct.pack("<8sIIIIIIHHI", b".rsrc", len(section), resource_rva, rsrc_raw_size, raw_rsrc, 0, 0, 0, 0,
                              0x40000040))
    head = dos + coff + optional + sections
    assert len(head) == headers_end <= raw_text
    image = head + b"\0" * (raw_text - len(head)) + b"\xc3" + b"\0" * 0x1FF
    return image + section + b"\0" * (rsrc_raw_size - len(section))


def read_source(*path):
    with open(os.path.join(SOURCE, *path), "rb") as f:
        return f.read()


PROGRAM_MANIFEST = ("bootstrap", "res", "PX_Bootstrap.exe.manifest")
LIBRARY_MANIFEST = ("updateclient", "res", "QVUTchkdl.dll.manifest")


class ResourceDirectory(unittest.TestCase):
    """pe_check.pe_resource: the three levels of a PE file's resource directory."""

    RESOURCES = {
        (24, 1, 1033): b"<program manifest/>",
        (24, 2, 1033): b"<library manifest/>",
        (2, 131, 1033): b"picture",
        (24, "NAMED", 1033): b"<named/>",
        (6, 1, 1033): b"strings",
    }

    def test_finds_each_resource_by_type_and_id_in_pe32_and_pe32_plus(self):
        for wide in (False, True):
            image = pe_image(self.RESOURCES, wide=wide)
            self.assertEqual(pe_check.pe_resource(image, 24, 1), b"<program manifest/>", wide)
            self.assertEqual(pe_check.pe_resource(image, 24, 2), b"<library manifest/>", wide)
            self.assertEqual(pe_check.pe_resource(image, 2, 131), b"picture", wide)

    def test_an_absent_type_id_or_resource_table_is_none(self):
        image = pe_image(self.RESOURCES)
        self.assertIsNone(pe_check.pe_resource(image, 24, 3))
        self.assertIsNone(pe_check.pe_resource(image, 14, 1))
        self.assertIsNone(pe_check.pe_resource(pe_image({(2, 1, 0): b"x"}), 24, 1))
        self.assertIsNone(pe_check.pe_resource(pe_image(None), 24, 1))

    def test_the_first_language_is_read(self):
        image = pe_image({(24, 1, 1031): b"first", (24, 1, 1033): b"second"})
        self.assertEqual(pe_check.pe_resource(image, 24, 1), b"first")

    def test_data_addresses_are_mapped_through_the_section_table(self):
        # The data entries hold RVAs; read as file offsets they would land in the padding.
        for rva in (0x3000, 0x7000):
            self.assertEqual(pe_check.pe_resource(pe_image(self.RESOURCES, resource_rva=rva), 2, 131), b"picture")

    def test_a_file_that_is_no_pe_image_or_points_outside_itself_is_refused(self):
        image = pe_image(self.RESOURCES)
        for broken in (b"", b"ZM" + image[2:], image[:0x80] + b"NE" + image[0x82:], image[:0x410]):
            with self.assertRaises(ValueError):
                pe_check.pe_resource(broken, 24, 1)

    def test_reads_the_projects_manifest_back_as_windres_would_pack_it(self):
        manifest = read_source(*PROGRAM_MANIFEST)
        image = pe_image({(24, 1, 1033): manifest, (2, 131, 1033): b"picture"})
        self.assertEqual(pe_check.pe_resource(image, 24, 1), manifest)


def without(text, fragment, replacement=b""):
    assert fragment in text, fragment
    return text.replace(fragment, replacement, 1)


class ManifestRules(unittest.TestCase):
    """pe_check.manifest_faults: what the program's and the library's manifests must ask for."""

    def faults(self, text, kind):
        return pe_check.manifest_faults(text, kind)

    def test_the_projects_manifests_pass(self):
        self.assertEqual(self.faults(read_source(*PROGRAM_MANIFEST), "program"), [])
        self.assertEqual(self.faults(read_source(*LIBRARY_MANIFEST), "library"), [])

    def test_each_supported_os_missing_fails_by_name(self):
        for kind, path in (("program", PROGRAM_MANIFEST), ("library", LIBRARY_MANIFEST)):
            for os_id, name in pe_check.SUPPORTED_OS.items():
                text = without(read_source(*path), f'<supportedOS Id="{os_id}"/>'.encode())
                self.assertEqual(self.faults(text, kind), [f"manifest does not list {name} {os_id} as a supported OS"])

    def test_supported_os_outside_the_compatibility_namespace_does_not_count(self):
        text = without(read_source(*LIBRARY_MANIFEST),
                       b'<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">', b"<compatibility>")
        self.assertEqual(len(self.faults(text, "library")), len(pe_check.SUPPORTED_OS))

    def test_common_controls_6_is_required_of_both(self):
        for kind, path in (("program", PROGRAM_MANIFEST), ("library", LIBRARY_MANIFEST)):
            for changes in (((b'version="6.0.0.0"', b'version="5.82.0.0"'),),
                            ((b'publicKeyToken="6595b64144ccf1df"', b""),),
                            ((b"<dependentAssembly>", b"<x><dependentAssembly>"),  # one level too deep
                             (b"</dependentAssembly>", b"</dependentAssembly></x>"))):
                text = read_source(*path)
                for fragment, replacement in changes:
                    text = without(text, fragment, replacement)
                faults = self.faults(text, kind)
                self.assertEqual(len(faults), 1, (kind, changes))
                self.assertIn("Common Controls 6.0.0.0", faults[0])

    def test_the_program_must_ask_for_administrator_rights_without_ui_access(self):
        manifest = read_source(*PROGRAM_MANIFEST)
        for fragment, replacement in ((b'level="requireAdministrator"', b'level="asInvoker"'),
                                      (b'uiAccess="false"', b'uiAccess="true"'),
                                      (b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">', b"<trustInfo>")):
            faults = self.faults(without(manifest, fragment, replacement), "program")
            self.assertEqual(len(faults), 1, fragment)
            self.assertIn('requestedExecutionLevel level="requireAdministrator" uiAccess="false"', faults[0])

    def test_the_program_must_be_per_monitor_v2_aware_with_the_older_setting_beside(self):
        manifest = read_source(*PROGRAM_MANIFEST)
        cases = (
            (b">true/pm<", b">true<", "dpiAware true/pm"),
            (b'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">',
             b'<dpiAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">', "dpiAware true/pm"),
            (b">PerMonitorV2, PerMonitor<", b">PerMonitor<", "dpiAwareness PerMonitorV2"),
            (b">PerMonitorV2, PerMonitor<", b">System, PerMonitorV2<", "dpiAwareness PerMonitorV2"),
            (b'<application xmlns="urn:schemas-microsoft-com:asm.v3">', b"<application>", None),
        )
        for fragment, replacement, fault in cases:
            faults = self.faults(without(manifest, fragment, replacement), "program")
            if fault is None:  # windowsSettings outside asm.v3: neither setting counts
                self.assertEqual(len(faults), 2, fragment)
            else:
                self.assertEqual(len(faults), 1, fragment)
                self.assertIn(fault, faults[0])

    def test_a_library_manifest_that_sets_dpi_awareness_fails(self):
        program = read_source(*PROGRAM_MANIFEST)
        settings = program[program.index(b'  <application xmlns="urn:schemas-microsoft-com:asm.v3">'):
                           program.index(b"</assembly>")]
        text = without(read_source(*LIBRARY_MANIFEST), b"</assembly>", settings + b"</assembly>")
        self.assertEqual(self.faults(text, "library"),
                         ["a library's manifest sets DPI awareness, which only the process's manifest can"])

    def test_a_library_manifest_is_no_program_manifest(self):
        self.assertEqual(len(self.faults(read_source(*LIBRARY_MANIFEST), "program")), 3)

    def test_malformed_or_foreign_xml_fails_without_raising(self):
        self.assertIn("no well-formed XML", self.faults(read_source(*PROGRAM_MANIFEST)[:-20], "program")[0])
        self.assertIn("not an asm.v1 assembly", self.faults(b"<assembly/>", "library")[0])


class ManifestCheck(CheckCase):
    """pe_check --manifest on a whole PE file."""

    def check(self, kind, resources):
        return self.run_check(["Alpha", "Beta"], [], "--manifest", kind, content=pe_image(resources))

    def test_the_manifest_at_its_resource_id_passes(self):
        status, out = self.check("program", {(24, 1, 1033): read_source(*PROGRAM_MANIFEST)})
        self.assertEqual(status, 0, out)
        status, out = self.check("library", {(24, 2, 1033): read_source(*LIBRARY_MANIFEST)})
        self.assertEqual(status, 0, out)

    def test_a_manifest_at_the_other_id_or_none_fails(self):
        status, out = self.check("program", {(24, 2, 1033): read_source(*PROGRAM_MANIFEST)})
        self.assertEqual(status, 1)
        self.assertIn("no manifest resource (type 24, id 1)", out)
        status, out = self.check("library", {(2, 1002, 1033): b"picture"})
        self.assertEqual(status, 1)
        self.assertIn("no manifest resource (type 24, id 2)", out)

    def test_a_faulty_manifest_is_reported(self):
        manifest = without(read_source(*LIBRARY_MANIFEST),
                           b'<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>')
        status, out = self.check("library", {(24, 2, 1033): manifest})
        self.assertEqual(status, 1)
        self.assertIn("does not list Windows 8.1", out)

    def test_a_file_that_is_no_pe_image_is_reported(self):
        status, out = self.run_check(["Alpha", "Beta"], [], "--manifest", "program", content=b"not a PE file")
        self.assertEqual(status, 1)
        self.assertIn("cannot read the resource directory: no MZ header", out)


if __name__ == "__main__":
    unittest.main()
