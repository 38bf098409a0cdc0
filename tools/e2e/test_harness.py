#!/usr/bin/env python3
"""Self-test of the end-to-end harness, without Wine or a display: path mapping over a prefix laid
out on disk, and parsing of tool output. The scenarios drive the rest of it under Wine.
"""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from ui_client import filter_args, is_end_marker, parse_json_lines  # noqa: E402

REG_OUTPUT = (
    "\r\nHKEY_LOCAL_MACHINE\\Software\\QvTest\r\n"
    "    (Default)    REG_SZ    dflt\r\n"
    "    Spaced    REG_SZ    a    b\r\n"
    "    Num    REG_DWORD    0x11\r\n"
    "    Multi    REG_MULTI_SZ    x\\0y\r\n"
    "    Empty    REG_SZ    \r\n"
    "\r\nHKEY_LOCAL_MACHINE\\Software\\QvTest\\Sub\r\n")


class BitnessTest(unittest.TestCase):
    def test_what_32_and_64_bit_programs_see_in_a_64_bit_prefix(self):
        thirty_two, sixty_four = harness.Bitness(32), harness.Bitness("64")
        self.assertEqual((thirty_two.loader, thirty_two.registry_view, thirty_two.program_files),
                         ("/usr/lib/wine/wine", "/reg:32", "Program Files (x86)"))
        self.assertEqual((sixty_four.loader, sixty_four.registry_view, sixty_four.program_files),
                         ("/usr/lib/wine/wine64", "/reg:64", "Program Files"))
        with self.assertRaises(ValueError):
            harness.Bitness(16)


class ParsingTest(unittest.TestCase):
    def test_reg_query_values_default_and_sub_keys(self):
        keys = harness.parse_reg_query(REG_OUTPUT)
        self.assertEqual(list(keys), ["HKEY_LOCAL_MACHINE\\Software\\QvTest",
                                      "HKEY_LOCAL_MACHINE\\Software\\QvTest\\Sub"])
        values = keys["HKEY_LOCAL_MACHINE\\Software\\QvTest"]
        self.assertEqual(values[""], ("REG_SZ", "dflt"))
        self.assertEqual(values["Spaced"], ("REG_SZ", "a    b"))
        self.assertEqual(values["Empty"], ("REG_SZ", ""))
        self.assertEqual(harness.reg_data(*values["Num"]), 17)
        self.assertEqual(harness.reg_data(*values["Multi"]), ["x", "y"])
        self.assertEqual(harness.reg_data("REG_BINARY", "0A0b"), b"\x0a\x0b")

    def test_driver_output(self):
        items = parse_json_lines('{"a": 1}\n\n{"b": "\\u00e9"}\n')
        self.assertEqual(items, [{"a": 1}, {"b": "\u00e9"}])
        self.assertTrue(is_end_marker({"end": True, "rc": 1}))
        self.assertFalse(is_end_marker({"end": True, "rc": 1, "title": "x"}))
        self.assertEqual(filter_args(substring=True, pid=5, message_box=True),
                         ["--substring", "--pid", "5", "--message-box"])

    def test_host_display_needs_display_variable(self):
        saved = os.environ.pop("DISPLAY", None)
        try:
            with self.assertRaises(harness.HarnessError):
                harness.Display("host").start()
        finally:
            if saved is not None:
                os.environ["DISPLAY"] = saved


class PathMappingTest(unittest.TestCase):
    """A prefix laid out on disk as Wine lays it out: dosdevices links and a profile."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        root = self.tmp.name
        self.rig = harness.WineRig(os.path.join(root, "rig"), ":99", ui_driver="unused.exe")
        self.phone = os.path.join(root, "phone")
        os.makedirs(os.path.join(self.phone, "Tools"))
        roaming = os.path.join(self.rig.drive_c, "users", "tester", "AppData", "Roaming")
        os.makedirs(os.path.join(roaming, "Microsoft", "Windows"))
        os.makedirs(os.path.join(self.rig.drive_c, "users", "Public"))
        os.makedirs(self.rig.home)
        os.symlink(self.rig.home, os.path.join(roaming, "Microsoft", "Windows", "Templates"))
        devices = os.path.join(self.rig.prefix, "dosdevices")
        os.makedirs(devices)
        os.symlink("../drive_c", os.path.join(devices, "c:"))
        os.symlink("/", os.path.join(devices, "z:"))
        os.symlink(self.phone, os.path.join(devices, "e:"))

    def tearDown(self):
        self.tmp.cleanup()

    def test_profile_folders(self):
        self.assertEqual(self.rig.user_name, "tester")
        self.assertEqual(self.rig.to_windows(self.rig.templates_dir),
                         "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Templates")
        self.assertEqual(self.rig.to_windows(os.path.join(self.rig.program_files_x86_dir, "A", "b.ini")),
                         "C:\\Program Files (x86)\\A\\b.ini")

    def test_the_profile_links_into_home_become_folders(self):
        self.rig._own_profile_folders()
        self.assertTrue(os.path.isdir(self.rig.templates_dir))
        self.assertFalse(os.path.islink(self.rig.templates_dir))

    def test_the_closest_drive_wins(self):
        self.assertEqual(self.rig.to_windows(os.path.join(self.phone, "Tools", "x.exe")), "E:\\Tools\\x.exe")
        self.assertEqual(self.rig.to_windows(self.phone), "E:\\")
        self.assertEqual(self.rig.to_windows("/usr/share"), "Z:\\usr\\share")
        self.assertEqual(harness.to_windows("/tmp/a b/x.ini"), "Z:\\tmp\\a b\\x.ini")

    def test_windows_paths_to_host_ignore_case(self):
        self.assertEqual(self.rig.to_host("e:\\TOOLS\\new.txt"), os.path.join(self.phone, "Tools", "new.txt"))
        self.assertEqual(self.rig.to_host("E:\\"), os.path.realpath(self.phone))
        self.assertEqual(self.rig.to_host("C:\\Users\\TESTER"),
                         os.path.join(os.path.realpath(self.rig.drive_c), "users", "tester"))
        with self.assertRaises(harness.HarnessError):
            self.rig.to_host("Q:\\x")


if __name__ == "__main__":
    unittest.main()
