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
import struct
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
MSI_PACKAGE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504)
COPY_STOPS = "the phone start stops copying the package ('Failed to copy installation package to system' [002])"
UNKNOWN_FAMILY = ("is not one of unison, cbw_unison, modem, android, zodavozUro: the phone's driver family stays "
                  "unknown, so the program cannot tell whether its driver is installed")
BAD_VERSION = ("is not one to four dot-separated decimal numbers: the program completes a shorter version with .0 "
               "fields, but reads this as a version nobody meant")
RELAUNCH_REFUSED = ("the relaunch finds its copy is not the phone's, so the phone start shows 'Failed to copy "
                    "installation package to system' and starts nothing on the PC")
NO_LICENCE = "so without it it shows no window and ends at [InitControl() == FALSE]"
NOT_INSTALLED = "so no driver is installed from the phone"
DRIVER = "preload_type=unison"


def run_checker(*args):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_config.main(list(args))
    return status, out.getvalue().splitlines()


def pe_image(library=False):
    """The headers of a 32-bit Windows program (or library) as far as a loader first looks at them."""
    header = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40)
    header += b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 0, 0, 0, 0, 0, 0x0102 | (0x2000 if library else 0))
    return header + bytes(64)


def edit(transform, encoding="cp1252", mark=b""):
    """A change to the model folder's config.ini: its text through ``transform``, saved in ``encoding``."""
    def change(folder):
        path = os.path.join(folder, "config.ini")
        with open(path, "rb") as f:
            text = transform(f.read().decode("cp1252"))
        with open(path, "wb") as f:
            f.write(mark + text.encode(encoding))
    return change


def replace(*pairs):
    """A change to config.ini: each old text of `pairs` (old, new, old, new, ...) replaced once by its new one."""
    def transform(text):
        for old, new in zip(pairs[::2], pairs[1::2]):
            assert old in text, old
            text = text.replace(old, new, 1)
        return text
    return edit(transform)


def reencode(encoding, mark=b""):
    return edit(lambda text: text, encoding, mark)


def added(relative, data, *pairs):
    """A file added to the model folder, and config.ini changed by `pairs` (as for replace) to list it."""
    def change(folder):
        os.makedirs(os.path.dirname(os.path.join(folder, relative)), exist_ok=True)
        with open(os.path.join(folder, relative), "wb") as f:
            f.write(data)
        replace(*pairs)(folder)
    return change


def preload(name, data):
    """The preload installer replaced by the file `name` with content `data`."""
    return added(name, data, "preload=unison_driver.msi", f"preload={name}")


def relaunched_from_tools(folder):
    """The program, its device library, config.ini and the licence listed in tools\\ as well: the
    last entry of the program's name is relaunched."""
    os.makedirs(os.path.join(folder, "tools"))
    for name in ("config.ini", "License.txt"):
        shutil.copyfile(os.path.join(folder, name), os.path.join(folder, "tools", name))
    replace("filecount=6", "filecount=10", "file05=unison_driver.msi", "file05=unison_driver.msi\r\nfile06=tools\\"
            "PX_Bootstrap.exe\r\nfile07=tools\\config.ini\r\nfile08=tools\\License.txt\r\nfile09=tools\\QVEUSBAutorun.dll")(folder)


def finding(severity):
    """The expected finding: (its start up to its reason, {c} for the file's path, code, severity)."""
    return lambda line, code, text: ((f"{{c}}:{line}: " if line else "{c}: ") + f"{severity}: {text}", code, severity)


E, W = finding("error"), finding("warning")

# Changes to a copy of the sample that the program reads as the sample: no finding.
ACCEPTED = [
    ("names matched without regard to case",
     lambda folder: os.rename(os.path.join(folder, "License.txt"), os.path.join(folder, "LICENSE.TXT"))),
    ("the licence listed in other letters", replace("=License.txt", "=license.TXT")),
    ("the program listed in other letters", replace("file00=PX_Bootstrap.exe", "file00=px_bootstrap.EXE")),
    ("a file in tools\\", added("tools/notes.txt", b"", "filecount=6", "filecount=7", "file05=unison_driver.msi",
                                "file05=unison_driver.msi\r\nfile06=tools\\notes.txt")),
    ("the program relaunched from tools\\ with its files beside it", relaunched_from_tools),
    ("preload type in other letters", replace(DRIVER, "preload_type=ZODAVOZURO")),
    ("a setup program as the preload", preload("setup.exe", pe_image())),
    ("an MSI package of another name ending in msi", preload("driver.MSI", MSI_PACKAGE)),
    ("short versions", replace(DRIVER, DRIVER + "\r\ndriver_version=3\r\ncb_driver_version=3.0.1")),
    ("the maker's signature, with four pinned roots",
     replace(DRIVER, DRIVER + "\r\n[SIGNATURE]\r\npublisher=Demo Maker Ltd\r\nroot_sha256=" + ",".join(["0F" * 32] * 4))),
    ("UTF-16LE with a byte-order mark", reencode("utf-16-le", b"\xff\xfe")),
    ("non-ASCII ANSI text", replace("Demo Phone", "D\u00e9mo Phone")),
    ("a model name of exactly 16 characters", replace("Demo Phone", "Demo Phone 16 ch")),
]

# One line of config.ini changed, one kind of fault each: (old text, new text, findings, exit status).
# What the program would then do is a fixed text of each reason; the first case of MODEL_CASES holds one in full.
CHANGED_LINES = [
    ("=License.txt", "=\\License.txt", [E(11, "licence-not-copied", "[FILES] 'License.txt' is not listed"),
                                       E(17, "unsafe-name", "[FILES] file04: '\\License.txt' is absolute")], 1),
    ("file05=", "file05=C:", [E(18, "unsafe-name", "[FILES] file05: 'C:unison_driver.msi' names a drive")], 1),
    ("file05=", "file05=tools\\..\\..\\",
     [E(18, "unsafe-name", "[FILES] file05: 'tools\\..\\..\\unison_driver.msi' climbs out of its folder with '..'")], 1),
    ("file05=", "file05=tools\\Nul .\\", [E(18, "unsafe-name", "[FILES] file05: 'tools\\Nul .\\unison_driver.msi' names a device")], 1),
    ("pxpc_name=PXPC.exe", "pxpc_name=..\\PXPC.exe",
     [E(9, "unsafe-name", "[PXPC] pxpc_name: '..\\PXPC.exe' climbs out of its folder with '..': the program takes it for none")], 1),
    ("pxpc_name=PXPC.exe", "pxpc_name=",
     [E(9, "empty-pxpc-name", "[PXPC] pxpc_name: pxpc_name is empty or missing: no PC tool can ever be started")], 1),
    ("file00=PX_Bootstrap.exe", "file00=PX_Bootstrap.exe.bak",
     [E(11, "program-not-listed", "[FILES] PX_Bootstrap.exe is not listed"),
      E(13, "file-missing", "[FILES] file00: 'PX_Bootstrap.exe.bak' is not in the model folder")], 1),
    ("file00=PX_Bootstrap.exe", "file00=tools\\PX_Bootstrap.exe",
     [E(11, "relaunch-file-not-copied", f"[FILES] 'tools\\QVEUSBAutorun.dll' is not listed beside the program that is "
        f"relaunched ('tools\\PX_Bootstrap.exe'): {RELAUNCH_REFUSED}"),
      E(11, "relaunch-file-not-copied", "[FILES] 'tools\\config.ini' is not listed beside the program"),
      E(11, "licence-not-copied", "[FILES] 'tools\\License.txt' is not listed: the PC start reads the licence from the "
        f"folder of its program ('tools\\PX_Bootstrap.exe'), {NO_LICENCE}")], 1),
    ("file02=QVUTchkdl.dll", "file02=License.txt",
     [E(11, "relaunch-file-not-copied", "[FILES] 'QVUTchkdl.dll' is not listed beside the program")], 1),
    ("filecount=6", "filecount=6 files",
     [E(12, "filecount-not-number", "[FILES] filecount: '6 files' is not a plain number: it reads as 6")], 1),
    ("filecount=6\r\n", "", [E(11, "filecount-missing", "[FILES] filecount: filecount is missing: it reads as 0"),
                              E(11, "program-not-listed", "[FILES] PX_Bootstrap.exe is not listed")], 1),
    ("filecount=6", "filecount=4", [E(11, "licence-not-copied", "[FILES] 'License.txt' is not listed"),
                                    E(17, "beyond-filecount", "[FILES] file04: beyond filecount 4"),
                                    E(18, "beyond-filecount", "[FILES] file05: beyond filecount 4")], 1),
    ("filecount=6", "filecount=7", [E(12, "list-gap", "[FILES] filecount: filecount is 7 but file06 is missing")], 1),
    ("file05=", "file5=", [E(12, "list-gap", "[FILES] filecount: filecount is 6 but file05 is missing"),
                           E(18, "unread-key", "[FILES] file5: key is never read: entries are file00, file01, ... "
                             "(did you mean file05?)")], 1),
    ("model_name=Demo Phone", "model_name=" + "D" * 300,
     [E(5, "value-cut", "[PXPACKAGE] model_name: value of 300 characters"),
      E(5, "label-cut", "[PXPACKAGE] model_name: '" + "D" * 259 + "' is longer than the 16 characters")], 1),
    ("preload=unison_driver.msi", "preload=other.msi",
     [E(21, "file-missing", "[DRIVER] preload: 'other.msi' is not in the model folder, nor given with --extra")], 1),
    (DRIVER, "preload_type=unisom", [E(22, "unknown-driver-family", f"[DRIVER] preload_type: 'unisom' {UNKNOWN_FAMILY}")], 1),
    (DRIVER, DRIVER + "\r\ndriver_version=3.0.0.0.1", [E(23, "bad-version", f"[DRIVER] driver_version: '3.0.0.0.1' {BAD_VERSION}")], 1),
    ("model_name=Demo Phone", "model_name=", [E(5, "empty-model-name", "[PXPACKAGE] model_name: model_name is empty or "
                                                                       "missing: every caption reads the default \"RO Zeru Zav\"")], 1),
    ("model_name=Demo Phone", "model_name=Demo Phone Ultra 5G",
     [E(5, "label-cut", "[PXPACKAGE] model_name: 'Demo Phone Ultra 5G' is longer than the 16 characters the image's "
        "volume label keeps: Windows names the phone's drive 'Demo Phone Ultra'")], 1),
    ("model_type=t", "model_tpye=t", [E(6, "unread-key", "[PXPACKAGE] model_tpye: key is never read (did you mean model_type?)")], 1),
    ("model_type=t", "model_type=t\r\nmodel_type=x",
     [E(7, "duplicate-key", "[PXPACKAGE] model_type: key appears again (first at line 6): only the first is read, 't'")], 1),
    ("model_type=t", "model_type=t\r\nmodel_type=t",
     [W(7, "duplicate-key", "[PXPACKAGE] model_type: key appears again (first at line 6): only the first is read [")], 0),
    ("model_type=t", "model_type=t\r\nauthor=x", [W(7, "unread-key", "[PXPACKAGE] author: key is never read [")], 0),
    ("[PXPC]", "[PXCP]", [E(8, "unread-section", "[PXCP] section is never read (did you mean [PXPC]?)"),
                          E(0, "empty-pxpc-name", "[PXPC] pxpc_name: pxpc_name is empty or missing")], 1),
    (DRIVER, DRIVER + "\r\n[Notes]\r\nauthor=x", [W(23, "unread-section", "[Notes] section is never read")], 0),
    (DRIVER, DRIVER + "\r\n[PXPC]\r\npxpc_name=Other.exe", [E(23, "duplicate-section", "[PXPC] section appears again (first at "
                                                                 "line 8): only the first is read, and this one says other things")], 1),
    (DRIVER, DRIVER + "\r\n[pxpc]\r\npxpc_name=PXPC.exe",
     [W(23, "duplicate-section", "[pxpc] section appears again (first at line 8): only the first is read")], 0),
    ("[DRIVER]", "[DRIVER", [E(20, "unclosed-section", "'[' without ']': read as a key, not as a section"),
                             W(20, "unread-key", "[FILES] [DRIVER: key is never read"),
                             W(21, "unread-key", "[FILES] preload: key is never read"),
                             W(22, "unread-key", "[FILES] preload_type: key is never read")], 1),
    ("[PXPACKAGE]", "model_name=x\r\n[PXPACKAGE]",
     [E(4, "line-before-section", "'model_name' before any [section] is never read (it belongs in [PXPACKAGE])")], 1),
    ("[PXPACKAGE]", "Demo Phone settings\r\n[PXPACKAGE]", [W(4, "line-before-section", "line before any [section]: never read")], 0),
    (DRIVER, DRIVER + "\r\n[SIGNATURE]\r\npublisher=\r\nroot_sha256=" + "ab" * 32 + ",abc",
     [E(24, "signature-publisher", "[SIGNATURE] publisher: publisher is empty: the program then refuses every file of every package"),
      E(25, "signature-root", "[SIGNATURE] root_sha256: 'abc' is not 64 hex digits: the program then refuses every file")], 1),
    # A section with nothing in it, in other letters, refuses too.
    (DRIVER, DRIVER + "\r\n[signature]",
     [E(23, "signature-publisher", "[signature] publisher is missing: the program then refuses every file of every package")], 1),
]

# Faults of the folder or of the file as a whole: (what, change, findings as above, exit status).
MODEL_CASES = [
    ("listed file missing", lambda folder: os.remove(os.path.join(folder, "License.txt")),
     [E(17, "file-missing", f"[FILES] file04: 'License.txt' is not in the model folder, nor given with --extra: {COPY_STOPS}")], 1),
    ("entry in another sub-folder", added("docs/License.txt", b"", "=License.txt", "=docs\\License.txt"),
     [E(11, "licence-not-copied", "[FILES] 'License.txt' is not listed"),
      E(17, "wrong-subfolder", "[FILES] file04: 'docs\\License.txt' is in the sub-folder 'docs'")], 1),
    ("the licence under another name", added("Licence.txt", b"", "=License.txt", "=Licence.txt"),
     [E(11, "licence-not-copied", "[FILES] 'License.txt' is not listed: the PC start reads the licence from the folder "
        f"of its program ('PX_Bootstrap.exe'), {NO_LICENCE}")], 1),
    ("the licence only in tools\\", added("tools/License.txt", b"", "=License.txt", "=tools\\License.txt"),
     [E(11, "licence-not-copied", "[FILES] 'License.txt' is not listed")], 1),
    ("an MSI name on a file of no installer", preload("driver.msi", b"installer"),
     [E(21, "preload-not-installer", "[DRIVER] preload: 'driver.msi' is installed through msiexec (its name ends in "
        f"msi), but it is neither an MSI package nor a Windows program: msiexec refuses it, {NOT_INSTALLED}")], 1),
    ("a library as the preload", preload("setup.exe", pe_image(library=True)),
     [E(21, "preload-not-installer", "[DRIVER] preload: 'setup.exe' is started as a program (its name does not end in "
        f"msi), but it is a Windows library, no program: it does not start, {NOT_INSTALLED}")], 1),
    ("UTF-8 with a byte-order mark", reencode("utf-8", b"\xef\xbb\xbf"), [E(1, "utf8-mark", "saved as UTF-8 with a byte-order mark")],
     1),
    ("UTF-16 without a byte-order mark", reencode("utf-16-le"), [E(1, "utf16-form", "saved as UTF-16LE without a byte-order mark")], 1),
    ("non-ASCII UTF-8 without a mark", edit(lambda text: text.replace("Demo Phone", "D\u00e9mo Phone"), "utf-8"),
     [E(1, "utf8-text", "UTF-8 text without a byte-order mark")], 1),
] + [(new or f"no {old.strip()}", replace(old, new), findings, status) for old, new, findings, status in CHANGED_LINES]


def findings_start_with(test, result, status, expected, path):
    """The checker's exit status, its findings, each beginning with the expected text and ending in
    its code, and the summary line that counts them."""
    got_status, lines = result
    test.assertEqual((got_status, len(lines)), (status, len(expected) + 1), lines)
    for line, (start, code, _) in zip(lines, expected):
        test.assertTrue(line.startswith(start.format(c=path)), f"{line!r} does not start with {start!r}")
        test.assertTrue(line.endswith(f" [{code}]"), f"{line!r} does not end with its code {code}")
    counts = [(sum(e[2] == severity for e in expected), severity) for severity in ("error", "warning")]
    parts = ", ".join(f"{n} {severity}{'' if n == 1 else 's'}" for n, severity in counts if n)
    test.assertRegex(lines[-1], "^" + re.escape(path) + r": \d+ entries checked, " + re.escape(parts or "no findings") + "$")


class SampleModel(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.model = os.path.join(self.folder, "model")
        self.config = os.path.join(self.model, "config.ini")
        shutil.copytree(SAMPLE, self.model)
        # The sample's driver installer is a build output: here a stand-in given as --extra.
        self.installer = os.path.join(self.folder, "unison_driver.msi")
        with open(self.installer, "wb") as f:
            f.write(MSI_PACKAGE)

    def test_each_fault_gives_its_finding_and_exit_status(self):
        cases = [("clean", lambda folder: None, [], 0)] + [(name, change, [], 0) for name, change in ACCEPTED]
        for name, change, expected, status in cases + MODEL_CASES:
            with self.subTest(name):
                shutil.rmtree(self.model)
                shutil.copytree(SAMPLE, self.model)
                change(self.model)
                findings_start_with(self, run_checker(self.model, "--extra", self.installer), status, expected, self.config)

    def test_a_waived_finding_is_a_note_that_does_not_fail_and_a_waiver_covers_its_own_code_only(self):
        replace("model_name=Demo Phone", "model_name=Demo Phone Ultra 5G")(self.model)
        status, lines = run_checker(self.model, "--extra", self.installer, "--waive", "label-cut")
        self.assertEqual((status, lines[1:]), (0, [f"{self.config}: 12 entries checked, 1 waived"]), lines)
        self.assertTrue(lines[0].startswith(f"{self.config}:5: note: [PXPACKAGE] model_name: 'Demo Phone Ultra 5G'"), lines)
        self.assertTrue(lines[0].endswith(" [label-cut, waived]"), lines)
        replace("pxpc_name=PXPC.exe", "pxpc_name=")(self.model)
        status, lines = run_checker(self.model, "--extra", self.installer, "--waive", "label-cut", "--waive", "unread-key")
        self.assertEqual((status, lines[-1]), (1, f"{self.config}: 12 entries checked, 1 error, 1 waived"), lines)
        self.assertTrue(lines[1].endswith("[empty-pxpc-name]"), lines)

    def test_a_code_that_cannot_be_waived_or_no_folder_for_bin_is_a_usage_error_without_a_traceback(self):
        for option, message in ((("--waive", "label-cuts"), "--waive label-cuts: no finding has this code"),
                                (("--waive", "not-ini"), "--waive not-ini: without the file nothing of it is checked"),
                                (("--bin", "/nonexistent"), "--bin /nonexistent is not a folder")):
            with self.subTest(option):
                result = subprocess.run([sys.executable, os.path.join(HERE, "check_config.py"), *option, self.model],
                                        capture_output=True, text=True)
                self.assertEqual((result.returncode, result.stdout), (2, ""))
                self.assertIn(message, result.stderr)
                self.assertNotIn("Traceback", result.stderr)

    def test_one_summary_per_file_and_a_config_file_is_checked_against_its_own_folder(self):
        other = os.path.join(self.folder, "other")
        shutil.copytree(SAMPLE, other)
        replace("[DRIVER]", "[DRIVERS]", "model_type=t", "model_type=t\r\nauthor=x")(other)
        os.remove(os.path.join(other, "License.txt"))
        other_config = os.path.join(other, "config.ini")
        status, lines = run_checker("--extra", self.installer, self.model, other_config)
        self.assertEqual((status, lines[0], lines[-1]), (1, f"{self.config}: 12 entries checked, no findings",
                                                         f"{other_config}: 13 entries checked, 2 errors, 1 warning"))
        self.assertEqual([(line.split(": ")[1], line.rsplit(" ", 1)[1]) for line in lines[1:-1]],
                         [("warning", "[unread-key]"), ("error", "[file-missing]"), ("error", "[unread-section]")], lines)
        self.assertIn(" [FILES] file04: 'License.txt' is not in the model folder", lines[2])

    def test_the_built_deliverables_are_looked_up_in_bin(self):
        bin_dir = os.path.join(self.folder, "bin")
        os.makedirs(bin_dir)
        for name in ("PX_Bootstrap.exe", "qvutchkdl.DLL"):
            open(os.path.join(bin_dir, name), "wb").close()
        self.assertEqual(run_checker("--bin", bin_dir, "--extra", self.installer, self.model), (1, [
            f"{self.config}:14: error: [FILES] file01: 'QVEUSBAutorun.dll' is not in --bin {bin_dir}: {COPY_STOPS} [file-missing]",
            f"{self.config}: 12 entries checked, 1 error"]))


SERVER_CASES = [
    ("clean", {}, [], 0),
    ("empty package version", {"pack_version=1.0.0.9": "pack_version="},
     [E(2, "empty-pack-version", "[PXPACKAGE] pack_version: pack_version is empty: it reads as 0.0.0.0")], 1),
    ("package version with a letter", {"pack_version=1.0.0.9": "pack_version=1.0.0.9b"},
     [E(2, "bad-version", f"[PXPACKAGE] pack_version: '1.0.0.9b' {BAD_VERSION}")], 1),
    ("package file climbing out", {"file01=pxpcconfig.ini": "file01=../pxpcconfig.ini"},
     [E(7, "unsafe-name", "[FILES_PXPC] file01: '../pxpcconfig.ini' climbs out of its folder with '..': the program "
        "refuses it, so the package never counts as complete and its download fails")], 1),
    ("package list too short", {"filecount=3": "filecount=4"},
     [E(5, "list-gap", "[FILES_PXPC] filecount: filecount is 4 but file03 is missing")], 1),
    ("driver name with a folder", {"driver_name=driver_setup.exe": "driver_name=drv\\driver_setup.exe"},
     [E(12, "unsafe-name", "[FILES_DRIVER] driver_name: 'drv\\driver_setup.exe' holds a backslash")], 1),
    ("flag that reads as false", {"unison_overwrite=FALSE": "unison_overwrite=yes"},
     [E(14, "bad-flag", "[FILES_DRIVER] unison_overwrite: 'yes' reads as false")], 1),
]


class OtherFiles(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

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
        self.assertEqual(run_checker(pxpc, log), (1, [
            f"{pxpc}: 1 entry checked, no findings",
            f"{log}:3: error: [LOG] enable_logging: key is never read (did you mean enablelogging?) [unread-key]",
            f"{log}: 2 entries checked, 1 error"]))

    def test_unreadable_and_non_ini_files_are_clear_errors(self):
        os.mkdir(os.path.join(self.folder, "empty"))
        cases = [(os.path.join(self.folder, "missing.ini"), "cannot read it: No such file or directory [unreadable]"),
                 (self.write("config.ini", b"MZ\x90\x00\x03\x00"), "not an INI file: it holds NUL bytes, so it is no text [not-ini]"),
                 (self.write("serverconfig.ini", "just some text\nno sections\n"),
                  "not an INI file: it has no [section] line [not-ini]"),
                 (os.path.join(self.folder, "empty"), "no config.ini in this folder [no-config]")]
        for path, text in cases:
            with self.subTest(text):
                self.assertEqual(run_checker(path), (1, [f"{path}: error: {text}", f"{path}: 0 entries checked, 1 error"]))


class Scripts(unittest.TestCase):
    def test_the_checker_and_the_builder_are_stored_as_programs(self):
        names = ("check_config.py", "build_cd_image.py")
        for name in names:
            self.assertTrue(os.access(os.path.join(HERE, name), os.X_OK), f"{name} has no run bit in the checkout")
        try:
            staged = subprocess.run(["git", "-C", HERE, "ls-files", "-s", *names], capture_output=True, text=True)
        except OSError:
            self.skipTest("no git to read the index")
        if staged.returncode != 0 or not staged.stdout:
            self.skipTest("not a git checkout")
        modes = {line.split("\t")[1].rsplit("/", 1)[-1]: line.split()[0] for line in staged.stdout.splitlines()}
        self.assertEqual(modes, {name: "100755" for name in names})


class RandomFiles(unittest.TestCase):
    """Random bytes, and the sample with random bytes changed, as config.ini and serverconfig.ini:
    every outcome is findings in the usual form or a clear error, never an exception."""

    def test_never_crashes(self):
        rng = random.Random(20261207)
        with open(os.path.join(SAMPLE, "config.ini"), "rb") as f:
            sample = f.read()
        finding = re.compile(r"^.+?(:\d+)?: (error|warning): .* \[[a-z0-9-]+\]$")
        summary = re.compile(r"^.+: \d+ entr(y|ies) checked, (no findings|\d+ errors?(, \d+ warnings?)?|\d+ warnings?)$")
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
                    self.assertEqual(status, 1 if any(": error: " in text for text in lines) else 0, lines)
                    for text in lines[:-1]:
                        self.assertRegex(text, finding)
                    self.assertRegex(lines[-1], summary)


if __name__ == "__main__":
    unittest.main()
