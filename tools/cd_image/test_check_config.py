#!/usr/bin/env python3
"""Tests of check_config.py: the sample phone model is clean; each broken copy of it (one fault each)
gives exactly its finding and exit status; the server's and the program's other files; files of
random bytes never crash it."""
import contextlib
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_config  # noqa: E402

SAMPLE = os.path.join(HERE, "..", "..", "samples", "demo-phone")
SERVERCONFIG = os.path.join(HERE, "..", "fake_update_server", "scenarios", "default", "files", "pkg", "pxpc",
                            "serverconfig.ini")
COPY_STOPS = "the phone start stops copying the package ('Failed to copy installation package to system' [002])"
UNKNOWN_FAMILY = ("is not one of unison, cbw_unison, modem, android, zodavozUro: the phone's driver family stays "
                  "unknown, so the program cannot tell whether its driver is installed")
BAD_VERSION = ("is not one to four dot-separated decimal numbers: the program completes a shorter version with .0 "
               "fields, but reads this as a version nobody meant")


def run_checker(*args):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_config.main(list(args))
    return status, out.getvalue().splitlines()


def replace(old, new):
    def change(folder):
        path = os.path.join(folder, "config.ini")
        with open(path, "rb") as f:
            text = f.read().decode("cp1252")
        assert old in text, old
        with open(path, "wb") as f:
            f.write(text.replace(old, new, 1).encode("cp1252"))
    return change


def reencode(encoding, mark=b""):
    def change(folder):
        path = os.path.join(folder, "config.ini")
        with open(path, "rb") as f:
            text = f.read().decode("cp1252")
        with open(path, "wb") as f:
            f.write(mark + text.encode(encoding))
    return change


def files(*steps):
    """Model folder changes: ("rm", name), ("mv", old, new), ("add", relative path)."""
    def change(folder):
        for step in steps:
            if step[0] == "rm":
                os.remove(os.path.join(folder, step[1]))
            elif step[0] == "mv":
                os.rename(os.path.join(folder, step[1]), os.path.join(folder, step[2]))
            else:
                os.makedirs(os.path.dirname(os.path.join(folder, step[1])), exist_ok=True)
                open(os.path.join(folder, step[1]), "wb").close()
    return change


# (what is broken, change to a copy of the sample, expected findings with {c} for config.ini's path,
# exit status)
MODEL_CASES = [
    ("clean", lambda folder: None, [], 0),
    ("names matched without regard to case", files(("mv", "License.txt", "LICENSE.TXT")), [], 0),
    ("a file in tools\\", lambda f: (files(("add", "Tools/License.txt"))(f), replace("=License.txt", "=tools\\License.txt")(f)), [], 0),
    ("preload type in other letters", replace("preload_type=unison", "preload_type=ZODAVOZURO"), [], 0),
    ("short versions", replace("preload_type=unison", "preload_type=unison\r\ndriver_version=3\r\ncb_driver_version=3.0.1"), [], 0),
    ("listed file missing", files(("rm", "License.txt")),
     [f"{{c}}:17: error: [FILES] file04: 'License.txt' is not in the model folder, nor given with --extra: {COPY_STOPS}"], 1),
    ("absolute entry", replace("=License.txt", "=\\License.txt"),
     [f"{{c}}:17: error: [FILES] file04: '\\License.txt' is absolute: the program refuses it, so {COPY_STOPS}"], 1),
    ("entry with a drive", replace("=License.txt", "=C:License.txt"),
     [f"{{c}}:17: error: [FILES] file04: 'C:License.txt' names a drive: the program refuses it, so {COPY_STOPS}"], 1),
    ("entry climbing out", replace("=License.txt", "=tools\\..\\..\\License.txt"),
     [f"{{c}}:17: error: [FILES] file04: 'tools\\..\\..\\License.txt' climbs out of its folder with '..': the program "
      f"refuses it, so {COPY_STOPS}"], 1),
    ("entry naming a device", replace("=License.txt", "=tools\\Nul .txt"),
     [f"{{c}}:17: error: [FILES] file04: 'tools\\Nul .txt' names a device: the program refuses it, so {COPY_STOPS}"], 1),
    ("tool name leaving the package folder", replace("pxpc_name=PXPC.exe", "pxpc_name=..\\PXPC.exe"),
     ["{c}:9: error: [PXPC] pxpc_name: '..\\PXPC.exe' climbs out of its folder with '..': the program takes it for "
      "none, so the PC tool can never be started"], 1),
    ("entry in another sub-folder", lambda f: (files(("add", "docs/License.txt"))(f), replace("=License.txt", "=docs\\License.txt")(f)),
     [f"{{c}}:17: error: [FILES] file04: 'docs\\License.txt' is in the sub-folder 'docs': the phone start creates only "
      f"tools\\ in its PC folder, so the copy fails and {COPY_STOPS}"], 1),
    ("program not listed", replace("file00=PX_Bootstrap.exe", "file00=License.txt"),
     ["{c}:11: error: [FILES] PX_Bootstrap.exe is not listed: the phone start copies the package but starts nothing on the PC"], 1),
    ("program listed in other letters", replace("file00=PX_Bootstrap.exe", "file00=px_bootstrap.EXE"),
     ["{c}:13: error: [FILES] file00: 'px_bootstrap.EXE' spells the program's name in other letters than "
      "PX_Bootstrap.exe: the phone start finds its copy by its own name, letter case included, so it starts nothing on the PC"], 1),
    ("filecount not a number", replace("filecount=6", "filecount=6 files"),
     ["{c}:12: error: [FILES] filecount: '6 files' is not a plain number: it reads as 6"], 1),
    ("filecount missing", replace("filecount=6\r\n", ""),
     ["{c}:11: error: [FILES] filecount: filecount is missing: it reads as 0, so no file is listed and nothing is copied to the PC",
      "{c}:11: error: [FILES] PX_Bootstrap.exe is not listed: the phone start copies the package but starts nothing on the PC"], 1),
    ("filecount too small", replace("filecount=6", "filecount=5"),
     ["{c}:18: error: [FILES] file05: beyond filecount 5: never read"], 1),
    ("filecount too large", replace("filecount=6", "filecount=7"),
     [f"{{c}}:12: error: [FILES] filecount: filecount is 7 but file06 is missing: it reads as an empty name, so {COPY_STOPS}"], 1),
    ("value over 259 characters", replace("model_name=Demo Phone", "model_name=" + "D" * 300),
     ["{c}:5: error: [PXPACKAGE] model_name: value of 300 characters: the reader returns only its first 259"], 1),
    ("preload missing", replace("preload=unison_driver.msi", "preload=other.msi"),
     ["{c}:21: error: [DRIVER] preload: 'other.msi' is not in the model folder, nor given with --extra: the PC start "
      "cannot copy it, so no driver is installed from the phone"], 1),
    ("unknown driver family", replace("preload_type=unison", "preload_type=unisom"),
     [f"{{c}}:22: error: [DRIVER] preload_type: 'unisom' {UNKNOWN_FAMILY}"], 1),
    ("preload type missing", replace("preload_type=unison\r\n", ""),
     [f"{{c}}:20: error: [DRIVER] preload_type: '' {UNKNOWN_FAMILY}"], 1),
    ("five-part driver version", replace("preload_type=unison", "preload_type=unison\r\ndriver_version=3.0.0.0.1"),
     [f"{{c}}:23: error: [DRIVER] driver_version: '3.0.0.0.1' {BAD_VERSION}"], 1),
    ("driver version with a letter", replace("preload_type=unison", "preload_type=unison\r\nand_driver_version=3.0.x"),
     [f"{{c}}:23: error: [DRIVER] and_driver_version: '3.0.x' {BAD_VERSION}"], 1),
    ("driver version field too large", replace("preload_type=unison", "preload_type=unison\r\ncb_and_driver_version=3.99999999999"),
     ["{c}:23: error: [DRIVER] cb_and_driver_version: '3.99999999999' has a field over 2147483647: the program "
      "completes a shorter version with .0 fields, but reads this as a version nobody meant"], 1),
    ("UTF-8 with a byte-order mark", reencode("utf-8", b"\xef\xbb\xbf"),
     ["{c}:1: error: saved as UTF-8 with a byte-order mark: the profile reader takes the mark for characters of line 1 "
      "(so a section there is not found) and reads other text as ANSI; save it as ANSI or as UTF-16LE with a byte-order mark"], 1),
    ("UTF-16 without a byte-order mark", reencode("utf-16-le"),
     ["{c}:1: error: saved as UTF-16LE without a byte-order mark: the profile reader reads it as ANSI and finds nothing "
      "in it; save it as ANSI or as UTF-16LE with a byte-order mark"], 1),
    ("UTF-16 big-endian", reencode("utf-16-be", b"\xfe\xff"),
     ["{c}:1: error: saved as UTF-16 big-endian: the profile reader reads it as ANSI and finds nothing in it; save it "
      "as ANSI or as UTF-16LE with a byte-order mark"], 1),
    ("UTF-16LE with a byte-order mark", reencode("utf-16-le", b"\xff\xfe"), [], 0),
    ("non-ASCII ANSI text", replace("Demo Phone", "D\u00e9mo Phone"), [], 0),
    ("non-ASCII UTF-8 without a mark", lambda f: (replace("Demo Phone", "D\u00e9mo Phone")(f), reencode("utf-8")(f)),
     ["{c}:1: warning: UTF-8 text without a byte-order mark: the profile reader reads it in the PC's ANSI code page, "
      "so non-ASCII text comes out garbled (save it as UTF-16LE with a byte-order mark)"], 0),
    ("empty model name", replace("model_name=Demo Phone", "model_name="),
     ["{c}:5: warning: [PXPACKAGE] model_name: model_name is empty: every caption reads the default \"RO Zeru Zav\""], 0),
    ("empty tool name", replace("pxpc_name=PXPC.exe", "pxpc_name=\"\""),
     ["{c}:9: warning: [PXPC] pxpc_name: pxpc_name is empty: the PC tool can never be started"], 0),
    ("misspelt key", replace("model_type=t", "model_tpye=t"),
     ["{c}:6: warning: [PXPACKAGE] model_tpye: key is never read (did you mean model_type?)"], 0),
    ("misspelt section", replace("[PXPC]", "[PXCP]"),
     ["{c}:8: warning: [PXCP] section is never read (did you mean [PXPC]?)",
      "{c}: warning: [PXPC] pxpc_name: pxpc_name is empty: the PC tool can never be started"], 0),
    ("file key without two digits", replace("file05=", "file5="),
     ["{c}:12: error: [FILES] filecount: filecount is 6 but file05 is missing: it reads as an empty name, so " + COPY_STOPS,
      "{c}:18: warning: [FILES] file5: key is never read: entries are file00, file01, ... (did you mean file05?)"], 1),
    ("repeated key", replace("model_type=t", "model_type=t\r\nmodel_type=x"),
     ["{c}:7: warning: [PXPACKAGE] model_type: key appears again (first at line 6): only the first is read"], 0),
    ("line before any section", replace("[PXPACKAGE]", "model_name=x\r\n[PXPACKAGE]"),
     ["{c}:4: warning: line before any [section]: never read"], 0),
]


class SampleModel(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.model = os.path.join(self.folder, "model")
        shutil.copytree(SAMPLE, self.model)
        # The sample's driver installer is a build output: here a stand-in given as --extra.
        self.installer = os.path.join(self.folder, "unison_driver.msi")
        open(self.installer, "wb").close()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def test_each_fault_gives_its_finding_and_exit_status(self):
        for name, change, expected, status in MODEL_CASES:
            with self.subTest(name):
                shutil.rmtree(self.model)
                shutil.copytree(SAMPLE, self.model)
                change(self.model)
                config = os.path.join(self.model, "config.ini")
                self.assertEqual(run_checker(self.model, "--extra", self.installer),
                                 (status, [line.format(c=config) for line in expected]))

    def test_the_built_deliverables_are_looked_up_in_bin(self):
        bin_dir = os.path.join(self.folder, "bin")
        os.makedirs(bin_dir)
        for name in ("PX_Bootstrap.exe", "qvutchkdl.DLL"):
            open(os.path.join(bin_dir, name), "wb").close()
        config = os.path.join(self.model, "config.ini")
        self.assertEqual(run_checker("--bin", bin_dir, "--extra", self.installer, self.model),
                         (1, [f"{config}:14: error: [FILES] file01: 'QVEUSBAutorun.dll' is not in --bin {bin_dir}: {COPY_STOPS}"]))

    def test_a_config_file_is_checked_against_its_own_folder(self):
        os.remove(os.path.join(self.model, "License.txt"))
        status, lines = run_checker(os.path.join(self.model, "config.ini"), "--extra", self.installer)
        self.assertEqual(status, 1)
        self.assertEqual([line.split(": ")[2] for line in lines], ["[FILES] file04"])


SERVER_CASES = [
    ("clean", {}, [], 0),
    ("empty package version", {"pack_version=1.0.0.9": "pack_version="},
     ["{c}:2: error: [PXPACKAGE] pack_version: pack_version is empty: it reads as 0.0.0.0, so a PC that has a package "
      "never takes this one"], 1),
    ("package version with a letter", {"pack_version=1.0.0.9": "pack_version=1.0.0.9b"},
     [f"{{c}}:2: error: [PXPACKAGE] pack_version: '1.0.0.9b' {BAD_VERSION}"], 1),
    ("package file climbing out", {"file01=pxpcconfig.ini": "file01=../pxpcconfig.ini"},
     ["{c}:7: error: [FILES_PXPC] file01: '../pxpcconfig.ini' climbs out of its folder with '..': the program refuses "
      "it, so the package never counts as complete and its download fails"], 1),
    ("package list too short", {"filecount=3": "filecount=4"},
     ["{c}:5: error: [FILES_PXPC] filecount: filecount is 4 but file03 is missing: it reads as an empty name, so the "
      "package never counts as complete"], 1),
    ("driver name with a folder", {"driver_name=driver_setup.exe": "driver_name=drv\\driver_setup.exe"},
     ["{c}:12: error: [FILES_DRIVER] driver_name: 'drv\\driver_setup.exe' holds a backslash: the program refuses it, "
      "so the driver installer's download fails"], 1),
    ("flag that reads as false", {"unison_overwrite=FALSE": "unison_overwrite=yes"},
     ["{c}:14: warning: [FILES_DRIVER] unison_overwrite: 'yes' reads as false: only TRUE (any letter case) is true"], 0),
    ("bad driver version", {"cb_driver_version=3.0.0.1": "cb_driver_version=3.0.0.1 beta"},
     [f"{{c}}:18: error: [FILES_DRIVER] cb_driver_version: '3.0.0.1 beta' {BAD_VERSION}"], 1),
]


class OtherFiles(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(data.encode("cp1252") if isinstance(data, str) else data)
        return path

    def test_serverconfig_faults(self):
        with open(SERVERCONFIG, encoding="cp1252") as f:
            original = f.read()
        for name, changes, expected, status in SERVER_CASES:
            with self.subTest(name):
                text = original
                for old, new in changes.items():
                    text = text.replace(old, new, 1)
                path = self.write("serverconfig.ini", text)
                self.assertEqual(run_checker(path), (status, [line.format(c=path) for line in expected]))

    def test_the_program_s_own_files_by_name(self):
        pxpc = self.write("pxpcconfig.ini", "[PXPACKAGE]\npack_version=1.0.0.8\n")
        log = self.write("AutoRun_Log.ini", "[LOG]\nenablelogging=1\nenable_logging=1\n")
        self.assertEqual(run_checker(pxpc, log), (0, [
            f"{log}:3: warning: [LOG] enable_logging: key is never read (did you mean enablelogging?)"]))

    def test_unreadable_and_non_ini_files_are_clear_errors(self):
        cases = [(os.path.join(self.folder, "missing.ini"), "cannot read it: No such file or directory"),
                 (self.write("config.ini", b"MZ\x90\x00\x03\x00"), "not an INI file: it holds NUL bytes, so it is no text"),
                 (self.write("serverconfig.ini", "just some text\nno sections\n"), "not an INI file: it has no [section] line"),
                 (os.path.join(self.folder, "empty"), "no config.ini in this folder")]
        os.mkdir(os.path.join(self.folder, "empty"))
        for path, text in cases:
            with self.subTest(text):
                self.assertEqual(run_checker(path), (1, [f"{path}: error: {text}"]))

    def test_the_command_reports_usage_errors_without_a_traceback(self):
        result = subprocess.run([sys.executable, os.path.join(HERE, "check_config.py"), "--bin", "/nonexistent", "x"],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--bin /nonexistent is not a folder", result.stderr)
        self.assertNotIn("Traceback", result.stderr)


class RandomFiles(unittest.TestCase):
    """Random bytes, and the sample with random bytes changed, as config.ini and serverconfig.ini:
    every outcome is findings in the usual form or a clear error, never an exception."""

    def test_never_crashes(self):
        rng = random.Random(20261207)
        with open(os.path.join(SAMPLE, "config.ini"), "rb") as f:
            sample = f.read()
        line = re.compile(r"^.+?(:\d+)?: (error|warning): ")
        with tempfile.TemporaryDirectory() as folder:
            for round_number in range(400):
                if round_number % 2:
                    data = bytes(rng.randrange(256) for _ in range(rng.randrange(2000)))
                else:
                    data = bytearray(sample)
                    for _ in range(rng.randrange(1, 12)):
                        data[rng.randrange(len(data))] = rng.choice(b"[]=;\r\n\"'\\/.:0123456789 \x00\xff\xfe\xef")
                for name in ("config.ini", "serverconfig.ini"):
                    with open(os.path.join(folder, name), "wb") as f:
                        f.write(data)
                    status, lines = run_checker(os.path.join(folder, name))
                    self.assertIn(status, (0, 1))
                    for text in lines:
                        self.assertRegex(text, line)


if __name__ == "__main__":
    unittest.main()
