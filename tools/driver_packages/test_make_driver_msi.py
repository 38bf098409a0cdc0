#!/usr/bin/env python3
"""Builds test driver packages with make_driver_msi.py and reads their tables back with msiinfo:
folders, files and their version, architecture, and the codes that make every version of a family
one upgradeable product line. Needs wixl and msitools."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "make_driver_msi.py")
TOOLS = ("wixl", "msibuild", "msiinfo")


def table(msi, name):
    """Rows of an MSI table as dicts (msiinfo export: names, types, key line, then rows)."""
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True, text=True).stdout
    lines = text.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def build(folder, family, version, arch, files=("qvusbbus.sys", "qvusbdiag.sys"), extra=()):
    source = os.path.join(folder, "driver.sys")
    if not os.path.exists(source):
        with open(source, "wb") as f:
            f.write(b"MZ stand-in")
    output = os.path.join(folder, f"{family}-{version}-{arch}.msi")
    args = [sys.executable, SCRIPT, "--family", family, "--folder", f"QV {family} Driver", "--source", source,
            "--version", version, "--arch", arch, "-o", output, *extra]
    for name in files:
        args += ["--file", name]
    result = subprocess.run(args, capture_output=True, text=True)
    return result, output


@unittest.skipUnless(all(shutil.which(tool) for tool in TOOLS), "needs wixl and msitools")
class DriverPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.packages = {}
        for family, version, arch in (("unison", "3.0.0.1", "x86"), ("unison", "3.0.0.1", "x64"),
                                      ("unison", "3.0.0.0", "x64"), ("modem", "3.0.0.1", "x64")):
            result, output = build(cls.folder, family, version, arch)
            assert result.returncode == 0, result.stderr
            cls.packages[family, version, arch] = output

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def properties(self, key):
        return {row["Property"]: row["Value"] for row in table(self.packages[key], "Property")}

    def test_installs_into_the_family_folder_under_the_program_files_folder_of_its_architecture(self):
        for arch, root in (("x86", "ProgramFilesFolder"), ("x64", "ProgramFiles64Folder")):
            rows = {row["Directory"]: row for row in table(self.packages["unison", "3.0.0.1", arch], "Directory")}
            self.assertEqual(rows["INSTALLDIR"]["DefaultDir"], "QV unison Driver")
            self.assertEqual(rows["INSTALLDIR"]["Directory_Parent"], "QVELECTRONICS")
            self.assertEqual(rows["QVELECTRONICS"]["DefaultDir"], "QV Electronics")
            self.assertEqual(rows["QVELECTRONICS"]["Directory_Parent"], root)
            components = table(self.packages["unison", "3.0.0.1", arch], "Component")
            self.assertEqual({row["Directory_"] for row in components}, {"INSTALLDIR"})
            # msidbComponentAttributes64bit on the 64-bit package only.
            self.assertEqual({int(row["Attributes"]) & 256 for row in components}, {256 if arch == "x64" else 0})

    def test_states_the_platform_in_the_summary(self):
        for arch, template in (("x86", "Intel;1033"), ("x64", "x64;1033")):
            info = subprocess.run(["msiinfo", "suminfo", self.packages["unison", "3.0.0.1", arch]],
                                  check=True, capture_output=True, text=True).stdout
            self.assertIn(f"Template: {template}", info)

    def test_lists_every_file_with_the_package_version(self):
        for version in ("3.0.0.1", "3.0.0.0"):
            rows = table(self.packages["unison", version, "x64"], "File")
            self.assertEqual(sorted(row["FileName"] for row in rows), ["qvusbbus.sys", "qvusbdiag.sys"])
            self.assertEqual({row["Version"] for row in rows}, {version})
            self.assertEqual({row["FileSize"] for row in rows}, {str(len(b"MZ stand-in"))})
            self.assertEqual(self.properties(("unison", version, "x64"))["ProductVersion"], version)

    def test_each_version_is_its_own_product_of_one_upgrade_line_per_family_and_architecture(self):
        new = self.properties(("unison", "3.0.0.1", "x64"))
        old = self.properties(("unison", "3.0.0.0", "x64"))
        x86 = self.properties(("unison", "3.0.0.1", "x86"))
        modem = self.properties(("modem", "3.0.0.1", "x64"))
        self.assertEqual(new["UpgradeCode"], old["UpgradeCode"])
        self.assertNotEqual(new["ProductCode"], old["ProductCode"])
        self.assertNotEqual(new["UpgradeCode"], x86["UpgradeCode"])
        self.assertNotEqual(new["UpgradeCode"], modem["UpgradeCode"])
        # Rebuilding gives the same codes.
        result, again = build(self.folder, "unison", "3.0.0.1", "x64", extra=("--keep-wxs",))
        self.assertEqual(result.returncode, 0, result.stderr)
        rebuilt = {row["Property"]: row["Value"] for row in table(again, "Property")}
        self.assertEqual((rebuilt["ProductCode"], rebuilt["UpgradeCode"]), (new["ProductCode"], new["UpgradeCode"]))

    def test_rebuilding_later_gives_the_same_bytes_and_another_driver_file_another_package_code(self):
        def revision(msi):
            info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True, text=True).stdout
            return next(line for line in info.splitlines() if line.startswith("Revision number"))

        time.sleep(1.1)  # the summary's dates count seconds
        with tempfile.TemporaryDirectory() as same, tempfile.TemporaryDirectory() as other:
            with open(os.path.join(other, "driver.sys"), "wb") as f:
                f.write(b"MZ another stand-in")
            result, again = build(same, "modem", "3.0.0.1", "x64")
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(again, "rb") as f, open(self.packages["modem", "3.0.0.1", "x64"], "rb") as g:
                self.assertEqual(f.read(), g.read())
            result, changed = build(other, "modem", "3.0.0.1", "x64")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertNotEqual(revision(changed), revision(again))

    def test_installing_removes_any_installed_version_of_the_family_first(self):
        properties = self.properties(("unison", "3.0.0.1", "x64"))
        rows = table(self.packages["unison", "3.0.0.1", "x64"], "Upgrade")
        self.assertEqual(len(rows), 1)
        row = rows[0]
        self.assertEqual(row["UpgradeCode"], properties["UpgradeCode"])
        self.assertEqual((row["VersionMin"], row["VersionMax"]), ("0.0.0", ""))
        self.assertTrue(int(row["Attributes"]) & 256, "minimum inclusive")
        self.assertFalse(int(row["Attributes"]) & 2, "not detection only")
        self.assertIn(row["ActionProperty"], properties["SecureCustomProperties"].split(";"))
        actions = {r["Action"] for r in table(self.packages["unison", "3.0.0.1", "x64"], "InstallExecuteSequence")}
        self.assertTrue({"FindRelatedProducts", "RemoveExistingProducts"} <= actions)


class Arguments(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def test_rejects_duplicate_file_names_ignoring_case(self):
        result, output = build(self.folder, "unison", "3.0.0.1", "x64", files=("qvusbbus.sys", "QVUSBBUS.SYS"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("unique", result.stderr)
        self.assertFalse(os.path.exists(output))

    def test_rejects_a_version_that_is_not_dotted_numbers(self):
        result, output = build(self.folder, "unison", "3.0.0.x", "x64")
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(output))

    def test_reports_a_missing_packaging_tool(self):
        result, output = build(self.folder, "unison", "3.0.0.1", "x64", extra=("--wixl", "/nonexistent/wixl"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("wixl could not be started", result.stderr)
        self.assertFalse(os.path.exists(output))


if __name__ == "__main__":
    unittest.main()
