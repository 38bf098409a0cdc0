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


def edit(transform, encoding="cp1252", mark=b""):
    """A change to the model folder's config.ini: its text through ``transform``, saved in ``encoding``."""
    def change(folder):
        path = os.path.join(folder, "config.ini")
        with open(path, "rb") as f:
            text = transform(f.read().decode("cp1252"))
        with open(path, "wb") as f:
            f.write(mark + text.encode(encoding))
    return change


def replace(old, new):
    def transform(text):
        assert old in text, old
        return text.replace(old, new, 1)
    return edit(transform)


def reencode(encoding, mark=b""):
    return edit(lambda text: text, encoding, mark)


def added(relative, old, new):
    """A file added to the model folder, and config.ini changed to list it."""
    def change(folder):
        os.makedirs(os.path.dirname(os.path.join(folder, relative)), exist_ok=True)
        open(os.path.join(folder, relative), "wb").close()
        replace(old, new)(folder)
    return change


def rename_licence(folder):
    os.rename(os.path.join(folder, "License.txt"), os.path.join(folder, "LICENSE.TXT"))


DRIVER = "preload_type=unison"
E, W = "{c}:%d: error: ", "{c}:%d: warning: "

# Changes to a copy of the sample that the program reads as the sample: no finding.
ACCEPTED = [
    ("names matched without regard to case", rename_licence),
    ("a file in tools\\", added("Tools/License.txt", "=License.txt", "=tools\\License.txt")),
    ("preload type in other letters", replace(DRIVER, "preload_type=ZODAVOZURO")),
    ("short versions", replace(DRIVER, DRIVER + "\r\ndriver_version=3\r\ncb_driver_version=3.0.1")),
    ("the maker's signature, with four pinned roots",
     replace(DRIVER, DRIVER + "\r\n[SIGNATURE]\r\npublisher=Demo Maker Ltd\r\nroot_sha256=" + ",".join(["0F" * 32] * 4))),
    ("UTF-16LE with a byte-order mark", reencode("utf-16-le", b"\xff\xfe")),
    ("non-ASCII ANSI text", replace("Demo Phone", "D\u00e9mo Phone")),
]

# One line of config.ini changed, one kind of fault each: (old text, new text, the start of each
# finding up to its reason, with {c} for config.ini's path, exit status). What the program would
# then do is a fixed text of each reason; the first case of MODEL_CASES holds one in full.
CHANGED_LINES = [
    ("=License.txt", "=\\License.txt", [E % 17 + "[FILES] file04: '\\License.txt' is absolute"], 1),
    ("=License.txt", "=C:License.txt", [E % 17 + "[FILES] file04: 'C:License.txt' names a drive"], 1),
    ("=License.txt", "=tools\\..\\..\\License.txt",
     [E % 17 + "[FILES] file04: 'tools\\..\\..\\License.txt' climbs out of its folder with '..'"], 1),
    ("=License.txt", "=tools\\Nul .txt", [E % 17 + "[FILES] file04: 'tools\\Nul .txt' names a device"], 1),
    ("pxpc_name=PXPC.exe", "pxpc_name=..\\PXPC.exe",
     [E % 9 + "[PXPC] pxpc_name: '..\\PXPC.exe' climbs out of its folder with '..': the program takes it for none"], 1),
    ("file00=PX_Bootstrap.exe", "file00=px_bootstrap.EXE",
     [E % 13 + "[FILES] file00: 'px_bootstrap.EXE' spells the program's name in other letters"], 1),
    ("filecount=6", "filecount=6 files", [E % 12 + "[FILES] filecount: '6 files' is not a plain number: it reads as 6"], 1),
    ("filecount=6\r\n", "", [E % 11 + "[FILES] filecount: filecount is missing: it reads as 0",
                              E % 11 + "[FILES] PX_Bootstrap.exe is not listed"], 1),
    ("filecount=6", "filecount=5", [E % 18 + "[FILES] file05: beyond filecount 5"], 1),
    ("filecount=6", "filecount=7", [E % 12 + "[FILES] filecount: filecount is 7 but file06 is missing"], 1),
    ("file05=", "file5=", [E % 12 + "[FILES] filecount: filecount is 6 but file05 is missing",
                           W % 18 + "[FILES] file5: key is never read: entries are file00, file01, ... (did you mean file05?)"], 1),
    ("model_name=Demo Phone", "model_name=" + "D" * 300, [E % 5 + "[PXPACKAGE] model_name: value of 300 characters"], 1),
    ("preload=unison_driver.msi", "preload=other.msi",
     [E % 21 + "[DRIVER] preload: 'other.msi' is not in the model folder, nor given with --extra"], 1),
    (DRIVER, "preload_type=unisom", [E % 22 + f"[DRIVER] preload_type: 'unisom' {UNKNOWN_FAMILY}"], 1),
    (DRIVER, DRIVER + "\r\ndriver_version=3.0.0.0.1", [E % 23 + f"[DRIVER] driver_version: '3.0.0.0.1' {BAD_VERSION}"], 1),
    ("model_name=Demo Phone", "model_name=",
     [W % 5 + "[PXPACKAGE] model_name: model_name is empty: every caption reads the default \"RO Zeru Zav\""], 0),
    ("model_type=t", "model_tpye=t", [W % 6 + "[PXPACKAGE] model_tpye: key is never read (did you mean model_type?)"], 0),
    ("model_type=t", "model_type=t\r\nmodel_type=x", [W % 7 + "[PXPACKAGE] model_type: key appears again (first at line 6)"], 0),
    ("[PXPC]", "[PXCP]", [W % 8 + "[PXCP] section is never read (did you mean [PXPC]?)",
                          "{c}: warning: [PXPC] pxpc_name: pxpc_name is empty"], 0),
    ("[PXPACKAGE]", "model_name=x\r\n[PXPACKAGE]", [W % 4 + "line before any [section]: never read"], 0),
    (DRIVER, DRIVER + "\r\n[SIGNATURE]\r\npublisher=\r\nroot_sha256=" + "ab" * 32 + ",abc",
     [E % 24 + "[SIGNATURE] publisher: publisher is empty: the program then refuses every file of every package",
      E % 25 + "[SIGNATURE] root_sha256: 'abc' is not 64 hex digits: the program then refuses every file"], 1),
    # A section with roots and no publisher, or with nothing in it, refuses too.
    (DRIVER, DRIVER + "\r\n[SIGNATURE]\r\nroot_sha256=" + "ab" * 32,
     [E % 23 + "[SIGNATURE] publisher is missing: the program then refuses every file of every package"], 1),
    (DRIVER, DRIVER + "\r\n[signature]",
     [E % 23 + "[signature] publisher is missing: the program then refuses every file of every package"], 1),
]

# Faults of the folder or of the file as a whole: (what, change, findings as above, exit status).
MODEL_CASES = [
    ("listed file missing", lambda folder: os.remove(os.path.join(folder, "License.txt")),
     [E % 17 + f"[FILES] file04: 'License.txt' is not in the model folder, nor given with --extra: {COPY_STOPS}"], 1),
    ("entry in another sub-folder", added("docs/License.txt", "=License.txt", "=docs\\License.txt"),
     [E % 17 + "[FILES] file04: 'docs\\License.txt' is in the sub-folder 'docs'"], 1),
    ("UTF-8 with a byte-order mark", reencode("utf-8", b"\xef\xbb\xbf"), [E % 1 + "saved as UTF-8 with a byte-order mark"], 1),
    ("UTF-16 without a byte-order mark", reencode("utf-16-le"), [E % 1 + "saved as UTF-16LE without a byte-order mark"], 1),
    ("non-ASCII UTF-8 without a mark", edit(lambda text: text.replace("Demo Phone", "D\u00e9mo Phone"), "utf-8"),
     [W % 1 + "UTF-8 text without a byte-order mark"], 0),
] + [(new or f"no {old.strip()}", replace(old, new), findings, status) for old, new, findings, status in CHANGED_LINES]


def findings_start_with(test, result, status, expected, path):
    """The checker's exit status and its findings, each beginning with the expected text."""
    got_status, lines = result
    test.assertEqual((got_status, len(lines)), (status, len(expected)), lines)
    for line, start in zip(lines, expected):
        test.assertTrue(line.startswith(start.format(c=path)), f"{line!r} does not start with {start!r}")


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
        cases = [("clean", lambda folder: None, [], 0)] + [(name, change, [], 0) for name, change in ACCEPTED]
        for name, change, expected, status in cases + MODEL_CASES:
            with self.subTest(name):
                shutil.rmtree(self.model)
                shutil.copytree(SAMPLE, self.model)
                change(self.model)
                findings_start_with(self, run_checker(self.model, "--extra", self.installer), status, expected,
                                    os.path.join(self.model, "config.ini"))

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
     ["{c}:2: error: [PXPACKAGE] pack_version: pack_version is empty: it reads as 0.0.0.0"], 1),
    ("package version with a letter", {"pack_version=1.0.0.9": "pack_version=1.0.0.9b"},
     [f"{{c}}:2: error: [PXPACKAGE] pack_version: '1.0.0.9b' {BAD_VERSION}"], 1),
    ("package file climbing out", {"file01=pxpcconfig.ini": "file01=../pxpcconfig.ini"},
     ["{c}:7: error: [FILES_PXPC] file01: '../pxpcconfig.ini' climbs out of its folder with '..': the program refuses "
      "it, so the package never counts as complete and its download fails"], 1),
    ("package list too short", {"filecount=3": "filecount=4"},
     ["{c}:5: error: [FILES_PXPC] filecount: filecount is 4 but file03 is missing"], 1),
    ("driver name with a folder", {"driver_name=driver_setup.exe": "driver_name=drv\\driver_setup.exe"},
     ["{c}:12: error: [FILES_DRIVER] driver_name: 'drv\\driver_setup.exe' holds a backslash"], 1),
    ("flag that reads as false", {"unison_overwrite=FALSE": "unison_overwrite=yes"},
     ["{c}:14: warning: [FILES_DRIVER] unison_overwrite: 'yes' reads as false"], 0),
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
                findings_start_with(self, run_checker(path), status, expected, path)

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
