#!/usr/bin/env python3
"""Tests of the CD image builder. In the shipped tree: the image of target cd-image (autorun.inf,
Joliet names, read-only files, label, files byte-identical to their sources, checksums), what the
builder refuses, signing with a throwaway certificate, and a second build of the same sources in
other folders that must give the same bytes. In the Wine test tree: the phone start played under Wine
from the files extracted from a signed image of the sample model."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "e2e"), os.path.join(HERE, "..", "..", "tests", "e2e")]
import binary_facts  # noqa: E402
import build_cd_image  # noqa: E402
import check_config  # noqa: E402
import plug_in_case  # noqa: E402
from control_ids import BOOTSTRAP as IDS  # noqa: E402
from phone_image import Phone, sample_image  # noqa: E402

DELIVERABLES = check_config.DELIVERABLES
AUTORUN = b"[autorun]\r\nopen=PX_Bootstrap.exe\r\nicon=PX_Bootstrap.exe,0\r\nlabel=Demo Phone\r\n"
SAMPLE_FILES = {"PX_Bootstrap.exe", "QVEUSBAutorun.dll", "QVUTchkdl.dll", "config.ini", "License.txt",
                "unison_driver.msi", "autorun.inf"}


def read_iso(path):
    """The volume label and the Joliet tree, as Windows reads them: {path: bytes}, folders as
    "name/": None."""
    joliet = ["xorriso", "-rockridge", "off", "-joliet", "on", "-indev", path]
    info = subprocess.run(joliet + ["-pvd_info"], capture_output=True, text=True, check=True).stdout
    label = re.search(r"^Volume Id\s*: (.*)$", info, re.M).group(1).strip()
    tree = {}
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "x")
        subprocess.run(joliet + ["-osirrox", "on", "-extract", "/", out], capture_output=True, check=True)
        for root, dirs, files in os.walk(out):
            prefix = os.path.relpath(root, out).replace(os.sep, "/") + "/"
            prefix = "" if prefix == "./" else prefix
            tree.update({prefix + name + "/": None for name in dirs})
            tree.update({prefix + name: read(os.path.join(root, name)) for name in files})
        build_cd_image.clear(out)
    return label, tree


MSI_PACKAGE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504)


def cache_value(build, name):
    """A setting of the build tree, as its CMakeCache.txt holds it."""
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.rstrip("\n").split("=", 1)[1]
    raise KeyError(name)


def read_report(path):
    """The report's facts: {name before the first ': ': the rest}."""
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split(": ", 1) for line in f)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def builder(*args, env=None):
    return subprocess.run([sys.executable, "-B", os.path.join(HERE, "build_cd_image.py"), *args],
                          capture_output=True, text=True, env=env)


def throwaway_certificate(folder):
    """A CA and a code-signing certificate it issued, as PKCS#12 with a password in a file.
    Returns (CA certificate, PKCS#12 file, password file, password)."""
    password = "throwaway pass"
    with open(os.path.join(folder, "password"), "w") as f:
        f.write(password)
    with open(os.path.join(folder, "signing.cnf"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    for command in (
            ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
             "-subj", "/CN=Throwaway Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign"],
            ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signing.key", "-out", "signing.csr",
             "-subj", "/CN=Throwaway Code Signing"],
            ["x509", "-req", "-in", "signing.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
             "-out", "signing.pem", "-days", "2", "-extfile", "signing.cnf"],
            ["pkcs12", "-export", "-inkey", "signing.key", "-in", "signing.pem", "-certfile", "ca.pem",
             "-out", "signing.p12", "-passout", "file:password"]):
        subprocess.run(["openssl", *command], cwd=folder, check=True, capture_output=True)
    return (os.path.join(folder, "ca.pem"), os.path.join(folder, "signing.p12"), os.path.join(folder, "password"),
            password)


def verify_signature(path, ca):
    """osslsigncode's verdict on an Authenticode signature, checked against the throwaway CA."""
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], capture_output=True, text=True)


SAMPLE = os.path.realpath(os.path.join(HERE, "..", "..", "samples", "demo-phone"))


@unittest.skipUnless(os.environ.get("QV_CD_BUILD") and os.path.realpath(os.environ.get("QV_CD_MODEL", "")) == SAMPLE,
                     "needs the shipped tree with the sample model (QV_CD_BUILD, QV_CD_MODEL)")
class ShippedImage(unittest.TestCase):
    """The image that target cd-image built from bin/ and the sample model."""

    @classmethod
    def setUpClass(cls):
        cls.build = os.environ["QV_CD_BUILD"]
        cls.iso = os.environ["QV_CD_ISO"]
        cls.model = os.environ["QV_CD_MODEL"]
        cls.label, cls.tree = read_iso(cls.iso)
        cls.sources = {name: os.path.join(cls.build, "bin", name) for name in DELIVERABLES}
        cls.sources.update({name: os.path.join(cls.model, name) for name in ("config.ini", "License.txt")})
        cls.sources["unison_driver.msi"] = os.path.join(cls.build, "driver-packages", "unison_driver.msi")

    def test_autorun_and_label_name_the_program_and_the_model_and_every_listed_file_is_there_byte_for_byte(self):
        self.assertEqual((self.tree["autorun.inf"], self.label), (AUTORUN, "Demo Phone"))
        self.assertEqual(set(self.tree), SAMPLE_FILES)
        for name, source in self.sources.items():
            self.assertEqual(self.tree[name], read(source), name)

    def test_files_are_read_only_on_the_image(self):
        listing = subprocess.run(["xorriso", "-indev", self.iso, "-find", "/", "-type", "f", "-exec", "lsdl"],
                                 capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual(len(listing), len(SAMPLE_FILES))
        for line in listing:
            self.assertTrue(line.startswith("-r--r--r--"), line)

    def test_the_report_names_what_a_pc_will_do_with_the_values_the_binaries_were_built_with(self):
        report = read_report(os.path.splitext(self.iso)[0] + ".report.txt")
        profile = check_config.read_profile(os.path.join(self.model, "config.ini"), [])
        self.assertEqual(report["Copied to the PC ([FILES], 6)"], ", ".join(profile.listed("FILES")))
        self.assertEqual(report["Relaunched on the PC"], "PX_Bootstrap.exe")
        self.assertEqual(report["Driver"], f"family {profile.get('DRIVER', 'preload_type')}, installer "
                         f"{profile.get('DRIVER', 'preload')}, an MSI package, installed through msiexec")
        self.assertEqual(report["PC tool"], profile.get("PXPC", "pxpc_name"))
        self.assertEqual(report["Update service"], cache_value(self.build, "QV_SERVICE_BASE_URL") + " (in QVUTchkdl.dll)")
        self.assertEqual(report["Reachability probe host"], cache_value(self.build, "QV_PROBE_HOST") + " (in QVUTchkdl.dll)")
        self.assertEqual(report["Connectivity address"], cache_value(self.build, "QV_CONNECTIVITY_URL") +
                         " (in PX_Bootstrap.exe)")
        self.assertEqual(report["Signature of packages"], "not verified (config.ini has no [SIGNATURE])")
        self.assertEqual(report["SHA-256"], hashlib.sha256(read(self.iso)).hexdigest())

    def test_checksums_cover_every_file_and_the_image(self):
        out = os.path.dirname(self.iso)
        result = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=out, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        checked = {line.rsplit(": ", 1)[0] for line in result.stdout.splitlines()}
        self.assertEqual(checked, {f"image/{name}" for name in SAMPLE_FILES} | {os.path.basename(self.iso)})


def replace_in_config(model, *pairs):
    config = os.path.join(model, "config.ini")
    with open(config, encoding="cp1252", newline="") as f:
        text = f.read()
    for old, new in pairs:
        assert old in text, old
        text = text.replace(old, new, 1)
    with open(config, "w", encoding="cp1252", newline="") as f:
        f.write(text)


class Refusals(unittest.TestCase):
    """Builds from stand-in binaries in a scratch folder."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.bin = os.path.join(self.folder, "bin")
        self.model = os.path.join(self.folder, "phone")
        self.out = os.path.join(self.folder, "out")
        os.makedirs(self.bin)
        for name in DELIVERABLES:
            with open(os.path.join(self.bin, name), "wb") as f:
                f.write(name.encode())
        shutil.copytree(SAMPLE, self.model)
        self.installer = os.path.join(self.folder, "unison_driver.msi")
        with open(self.installer, "wb") as f:
            f.write(MSI_PACKAGE)

    def tearDown(self):
        build_cd_image.clear(self.folder)

    def build(self, *extra):
        return builder("--bin", self.bin, "--model", self.model, "--out", self.out, *extra)

    def test_a_model_the_checker_fails_gives_no_image_and_writes_nothing(self):
        # Each finding of the checker is proven in test_check_config: here a fault of the folder, of
        # config.ini, and of an --extra file, which the builder hands to the checker.
        def not_an_installer():
            with open(self.installer, "wb") as f:
                f.write(b"installer")

        cases = [
            ("listed file missing", lambda: os.remove(os.path.join(self.model, "License.txt")),
             "file04: 'License.txt' is not in the model folder"),
            ("unread key", lambda: replace_in_config(self.model, ("preload=", "pre_load=")), "[unread-key]"),
            ("preload no installer", not_an_installer, "[preload-not-installer]"),
        ]
        for name, change, finding in cases:
            with self.subTest(name):
                build_cd_image.clear(self.model)
                shutil.copytree(SAMPLE, self.model)
                with open(self.installer, "wb") as f:
                    f.write(MSI_PACKAGE)
                change()
                result = self.build("--extra", self.installer)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(finding, result.stdout)
                self.assertRegex(result.stdout, r"config\.ini: \d+ entries checked, 1 error\n")
                self.assertIn("no image built", result.stderr)
                self.assertFalse(os.path.exists(self.out), "nothing is written to --out")

    def test_waive_is_passed_to_the_checker_and_named_in_the_report(self):
        replace_in_config(self.model, ("model_name=Demo Phone", "model_name=Demo Phone Ultra Plus 5G"))
        result = self.build("--extra", self.installer, "--waive", "label-cut")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("note: [PXPACKAGE] model_name: 'Demo Phone Ultra Plus 5G' is longer", result.stdout)
        report = read_report(os.path.join(self.out, "phone.report.txt"))
        self.assertEqual(report["CD image phone.iso"], 'volume label "Demo Phone Ultra"')
        self.assertTrue(report["Waived"].startswith("label-cut ('Demo Phone Ultra Plus 5G' is longer than"), report)
        unknown = self.build("--extra", self.installer, "--waive", "label-cuts")
        self.assertEqual(unknown.returncode, 2)
        self.assertIn("--waive label-cuts: no finding has this code", unknown.stderr)

    def test_the_report_beside_the_image(self):
        result = self.build("--extra", self.installer)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        path = os.path.join(self.out, "phone.report.txt")
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertIn(f"Report: {path}\n{text}", result.stdout, "the builder prints the report it writes")
        report = read_report(path)
        iso = os.path.join(self.out, "phone.iso")
        self.assertEqual(report, {
            "CD image phone.iso": 'volume label "Demo Phone"',
            "Copied to the PC ([FILES], 6)": "PX_Bootstrap.exe, QVEUSBAutorun.dll, QVUTchkdl.dll, config.ini, License.txt, "
                                             "unison_driver.msi",
            "Relaunched on the PC": "PX_Bootstrap.exe",
            "Driver": "family unison, installer unison_driver.msi, an MSI package, installed through msiexec",
            "PC tool": "PXPC.exe",
            # The stand-ins carry no addresses.
            "Update service": "not found: not a Windows binary (in QVUTchkdl.dll)",
            "Reachability probe host": "not found: not a Windows binary (in QVUTchkdl.dll)",
            "Connectivity address": "not found: not a Windows binary (in PX_Bootstrap.exe)",
            "Signature of packages": "not verified (config.ini has no [SIGNATURE])",
            "Binaries on the image": "not signed",
            "SHA-256": hashlib.sha256(read(iso)).hexdigest()})
        with open(os.path.join(self.out, "SHA256SUMS")) as f:
            self.assertNotIn("report", f.read(), "the report names the image's SHA-256, so it is not in the list")

    def test_the_report_of_a_setup_program_a_program_in_tools_and_a_pinned_signature(self):
        os.makedirs(os.path.join(self.model, "tools"))
        for name in ("config.ini", "License.txt"):
            shutil.copyfile(os.path.join(self.model, name), os.path.join(self.model, "tools", name))
        with open(os.path.join(self.model, "setup.exe"), "wb") as f:
            f.write(b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + bytes(18) + b"\x02\x01" + bytes(64))
        replace_in_config(self.model, ("filecount=6", "filecount=9"),
                          ("file05=unison_driver.msi", "file05=tools\\PX_Bootstrap.exe\r\nfile06=tools\\QVEUSBAutorun.dll"
                                                       "\r\nfile07=tools\\config.ini\r\nfile08=tools\\License.txt"),
                          ("preload=unison_driver.msi", "preload=setup.exe"), ("preload_type=unison", "preload_type=modem"),
                          (";[SIGNATURE]\r\n;publisher=Demo Maker Ltd\r\n", "[SIGNATURE]\r\npublisher=Demo Maker Ltd\r\n"
                           "root_sha256=" + "AB" * 32 + "\r\n"))
        result = self.build()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        report = read_report(os.path.join(self.out, "phone.report.txt"))
        self.assertEqual(report["Relaunched on the PC"], "tools\\PX_Bootstrap.exe")
        self.assertEqual(report["Driver"], "family modem, installer setup.exe, started as a program")
        self.assertEqual(report["Signature of packages"], "publisher 'Demo Maker Ltd', roots: " + "ab" * 32)

    def test_long_non_ascii_name_sub_folder_and_unlisted_files(self):
        replace_in_config(self.model, ("model_name=Demo Phone", "model_name=D\u00e9mo Phone Ultra Plus 5G"),
                          ("filecount=6", "filecount=7"),
                          ("file05=unison_driver.msi", "file05=unison_driver.msi\r\nfile06=tools\\Notes.txt"))
        os.makedirs(os.path.join(self.model, "tools"))
        with open(os.path.join(self.model, "tools", "Notes.txt"), "w") as f:
            f.write("notes for the PC")
        open(os.path.join(self.model, "notes.txt"), "w").close()
        result = self.build("--extra", self.installer, "--waive", "label-cut")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("note: notes.txt is not listed in config.ini, so it is not on the image", result.stdout)
        self.assertIn("Not signed: no certificate given", result.stdout)
        label, tree = read_iso(os.path.join(self.out, "phone.iso"))
        self.assertEqual(label, "D\u00e9mo Phone Ultra")
        self.assertEqual(tree["autorun.inf"].decode("utf-16"),
                         "[autorun]\r\nopen=PX_Bootstrap.exe\r\nicon=PX_Bootstrap.exe,0\r\nlabel=D\u00e9mo Phone Ultra Plus 5G\r\n")
        self.assertEqual(tree["tools/Notes.txt"], b"notes for the PC")
        self.assertEqual(tree["PX_Bootstrap.exe"], b"PX_Bootstrap.exe")
        self.assertNotIn("notes.txt", tree)


def pe_with_read_only_data(strings, wide=False):
    """A PE image whose one section, .rdata, holds `strings` NUL-padded to four bytes each."""
    data = b"".join((s.encode("utf-16-le") + b"\0\0" if wide else s.encode() + b"\0").ljust(
        (len(s) * (2 if wide else 1) + 4) // 4 * 4 + 4, b"\0") for s in strings)
    header = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 0, 0x2102)
    section = b".rdata\0\0" + struct.pack("<IIII", len(data), 0x1000, len(data), 0x200) + bytes(16)
    return (header + section).ljust(0x200, b"\0") + data


class AddressesInBinaries(unittest.TestCase):
    """How the report reads the addresses out of a binary's read-only data."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def binary(self, strings, wide=False):
        path = os.path.join(self.folder, "QVUTchkdl.dll")
        with open(path, "wb") as f:
            f.write(pe_with_read_only_data(strings, wide))
        return path

    def test_the_update_client_s_service_and_probe(self):
        common = ["http://", "https://", "QORLauncher.exe", "2.5.4.3", "S-1-5-18", "ksvc/b2c/client"]
        cases = [
            ("the probe on the service's host", ["svc.example.net", "http://svc.example.net:9002", "probe.example.net"],
             ("http://svc.example.net:9002", "svc.example.net", None)),
            ("another probe host", ["http://svc.example.net:9002", "10.1.2.3"], ("http://svc.example.net:9002", "10.1.2.3", None)),
            ("two probe candidates", ["http://svc.example.net", "a.example.net", "b.example.net"],
             ("http://svc.example.net", None, "2 host names in it (a.example.net, b.example.net)")),
            ("two addresses", ["http://a.example.net", "http://b.example.net/x"],
             (None, None, "2 addresses in it (http://a.example.net, http://b.example.net/x)")),
        ]
        for name, strings, expected in cases:
            with self.subTest(name):
                self.assertEqual(binary_facts.update_endpoints(self.binary(common + strings)), expected)

    def test_the_program_s_connectivity_address_is_a_wide_string(self):
        self.assertEqual(binary_facts.connectivity_url(self.binary(["http://", "http://www.example.com/"], wide=True)),
                         ("http://www.example.com/", None))
        self.assertEqual(binary_facts.connectivity_url(self.binary(["http://www.example.com/"])),
                         (None, "0 addresses in it"), "a narrow string is not the program's address")


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"), "needs osslsigncode and openssl")
class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.ca, cls.p12, cls.password_file, cls.password = throwaway_certificate(cls.folder)
        build = os.environ.get("QV_CD_BUILD")
        cls.bin = os.path.join(build, "bin") if build else None
        cls.model = SAMPLE
        cls.installer = os.path.join(build, "driver-packages", "unison_driver.msi") if build else None

    @classmethod
    def tearDownClass(cls):
        build_cd_image.clear(cls.folder)

    def build(self, out, *extra, env=None):
        return builder("--bin", self.bin, "--model", self.model, "--extra", self.installer,
                       "--out", os.path.join(self.folder, out), "--pkcs12", self.p12, *extra, env=env)

    @unittest.skipUnless(os.environ.get("QV_CD_BUILD"), "needs the shipped tree (QV_CD_BUILD)")
    def test_signs_the_three_binaries_with_sha256_and_signs_again_to_the_same_bytes(self):
        first = self.build("signed", env={**os.environ, "QV_SIGN_PASSWORD": self.password})
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        self.assertNotIn(self.password, first.stdout + first.stderr)
        for name in DELIVERABLES:
            signed = os.path.join(self.folder, "signed", "image", name)
            result = verify_signature(signed, self.ca)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("Message digest algorithm  : SHA256", result.stdout)
            self.assertNotEqual(verify_signature(os.path.join(self.bin, name), self.ca).returncode, 0, "bin/ stays unsigned")
        # The builder names the certificate and its root, as the model's [SIGNATURE] would pin them.
        root = hashlib.sha256(subprocess.run(["openssl", "x509", "-in", self.ca, "-outform", "DER"], check=True,
                                             capture_output=True).stdout).hexdigest()
        self.assertIn(f"Signing certificate: common name 'Throwaway Code Signing', root SHA-256 {root}", first.stdout)
        self.assertNotIn("warning: config.ini", first.stdout)  # the sample names no publisher
        again = self.build("again", "--password-file", self.password_file)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertEqual(read(os.path.join(self.folder, "again", "demo-phone.iso")),
                         read(os.path.join(self.folder, "signed", "demo-phone.iso")))

    def test_a_model_that_pins_another_publisher_or_root_is_warned_of(self):
        profile = build_cd_image.check_config.read_profile(os.path.join(SAMPLE, "config.ini"), [])
        self.assertEqual(build_cd_image.signature_warnings(profile, "Throwaway Code Signing", "ab" * 32), [])
        pinned = os.path.join(self.folder, "pinned.ini")
        with open(pinned, "w", newline="\r\n") as f:
            f.write("[SIGNATURE]\npublisher=Demo Maker Ltd\nroot_sha256=" + "CD" * 32 + "\n")
        warnings = build_cd_image.signature_warnings(build_cd_image.check_config.read_profile(pinned, []), "Throwaway Code Signing",
                                                     "ab" * 32)
        self.assertEqual(warnings, [
            "config.ini names the publisher 'Demo Maker Ltd', but the binaries are signed by 'Throwaway Code Signing'",
            "config.ini pins the root(s) " + "cd" * 32 + ", but the signing chain ends in " + "ab" * 32])
        self.assertEqual(build_cd_image.signature_warnings(build_cd_image.check_config.read_profile(pinned, []), "Demo Maker Ltd",
                                                           "cd" * 32), [])

    @unittest.skipUnless(os.environ.get("QV_CD_BUILD"), "needs the shipped tree (QV_CD_BUILD)")
    def test_a_wrong_or_missing_password_gives_no_image(self):
        env = {k: v for k, v in os.environ.items() if k != "QV_SIGN_PASSWORD"}
        for name, extra, message in (("none", (), "--pkcs12 needs its password: --password-file FILE or $QV_SIGN_PASSWORD"),
                                     ("wrong", ("--password-file", self.ca), "signing PX_Bootstrap.exe failed")):
            with self.subTest(name):
                result = self.build(name, *extra, env=env)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.folder, name, "demo-phone.iso")))


@unittest.skipUnless(os.environ.get("QV_CD_SOURCE"), "needs the shipped tree (QV_CD_SOURCE)")
class Reproducible(unittest.TestCase):
    """Copies the sources to another folder, builds the image there in another build folder with
    this tree's settings, and compares the three binaries and the ISO image with this tree's."""

    def test_a_second_build_in_other_folders_gives_the_same_bytes(self):
        source, build = os.environ["QV_CD_SOURCE"], os.environ["QV_CD_BUILD"]
        work = os.path.join(build, "reproducible")
        build_cd_image.clear(work)
        copy, second = os.path.join(work, "sources-copy"), os.path.join(work, "second-build")
        skip = {os.path.realpath(p) for p in (build, os.path.join(source, "build"), os.path.join(source, ".git"))}
        shutil.copytree(source, copy, ignore=lambda folder, names: [
            n for n in names if os.path.realpath(os.path.join(folder, n)) in skip or n == "__pycache__"])
        with open(os.environ["QV_CD_SETTINGS"]) as f:
            settings = [line.replace(source, copy) for line in f.read().splitlines() if line]
        date = build_cd_image.source_date()
        self.assertIsNotNone(date, "without SOURCE_DATE_EPOCH or a commit time the image is dated when it is built")
        env = {**os.environ, "SOURCE_DATE_EPOCH": str(date)}
        for command in (["cmake", "-S", copy, "-B", second, "-G", "Ninja",
                         f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(copy, os.environ['QV_CD_TOOLCHAIN'])}", *settings],
                        ["cmake", "--build", second, "--target", "cd-image"]):
            result = subprocess.run(command, capture_output=True, text=True, env=env)
            self.assertEqual(result.returncode, 0, result.stdout[-3000:] + result.stderr[-3000:])
        iso = os.path.basename(os.environ["QV_CD_ISO"])
        pairs = [(os.path.join(build, "bin", n), os.path.join(second, "bin", n)) for n in DELIVERABLES]
        pairs.append((os.environ["QV_CD_ISO"], os.path.join(second, "cd-image", iso)))
        for first, other in pairs:
            self.assertEqual(read(first), read(other), f"{first} and {other} differ")
        build_cd_image.clear(work)


@unittest.skipUnless(os.environ.get("QV_E2E_WORK") and shutil.which("osslsigncode"), "needs a Wine test tree's rig (QV_E2E_WORK) and osslsigncode")
class SignedImageUnderWine(plug_in_case.PlugInTestCase):
    """The sample model's image of this build (the program, its update client and the simulated
    phone's library), signed with a throwaway certificate; the phone start from the files extracted
    from the ISO copies the package to the PC and relaunches the signed copy, which shows the
    sample's licence page."""

    def test_the_phone_start_from_the_extracted_signed_image(self):
        work = os.path.join(self.work, "cd-image")
        build_cd_image.clear(work)
        os.makedirs(os.path.join(work, "certificate"))
        ca, p12, password_file, _ = throwaway_certificate(os.path.join(work, "certificate"))
        iso = sample_image(os.path.join(work, "out"), ("--pkcs12", p12, "--password-file", password_file))
        files = os.path.join(work, "files")
        build_cd_image.extract_image(iso, files)
        for name in DELIVERABLES:
            self.assertEqual(verify_signature(os.path.join(files, name), ca).returncode, 0, name)

        controls = self.licence_page(Phone.from_image(os.path.join(work, "phone"), files))
        self.assertEqual(controls[IDS.IDC_EDIT_LICENSE]["text"], read(os.path.join(files, "License.txt")).decode("cp1252"))
        trace = self.trace()
        for step in ("PHONE START", "][-l E][", "PC START"):
            self.assertIn(step, trace)
        for name in sorted(SAMPLE_FILES - {"autorun.inf"}):
            self.assertEqual(read(os.path.join(self.templates, "E", name)), read(os.path.join(files, name)), name)


if __name__ == "__main__":
    unittest.main()
