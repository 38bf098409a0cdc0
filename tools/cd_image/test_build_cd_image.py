#!/usr/bin/env python3
"""Tests of the CD image builder. In the shipped tree: the image of target cd-image (autorun.inf, Joliet names,
read-only files, label, files byte-identical to their sources, checksums, report), what the builder refuses, signing
with a throwaway certificate, and a second build in other folders that must give the same bytes. In the Wine test
tree: the phone start played under Wine from the files extracted from a signed image of the sample model."""
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
from test_check_config import MSI_PACKAGE, pe_image, preload, relaunched_from_tools, replace  # noqa: E402

DELIVERABLES = check_config.DELIVERABLES
SAMPLE = os.path.realpath(os.path.join(HERE, "..", "..", "samples", "demo-phone"))
AUTORUN = b"[autorun]\r\nopen=PX_Bootstrap.exe\r\nicon=PX_Bootstrap.exe,0\r\nlabel=Demo Phone\r\n"
SAMPLE_FILES = {"PX_Bootstrap.exe", "QVEUSBAutorun.dll", "QVUTchkdl.dll", "config.ini", "License.txt",
                "unison_driver.msi", "autorun.inf"}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    """The file at `path` (its folder made) holding `data`, text written as it is; returns `path`."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)
    return path


def read_iso(path):
    """The volume label and the Joliet tree, as Windows reads them: {path: bytes}, folders as "name/": None."""
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


def cache_value(build, name):
    """A setting of the build tree, as its CMakeCache.txt holds it."""
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        return next(line.rstrip("\n").split("=", 1)[1] for line in f if line.startswith(name + ":"))


def read_report(path):
    """The report's facts: {name before the first ': ': the rest}."""
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split(": ", 1) for line in f)


def builder(*args, env=None):
    return subprocess.run([sys.executable, "-B", os.path.join(HERE, "build_cd_image.py"), *args],
                          capture_output=True, text=True, env=env)


def throwaway_certificate(folder):
    """A CA and a code-signing certificate it issued, as PKCS#12 with a password in a file.
    Returns (CA certificate, PKCS#12 file, password file, password)."""
    password = "throwaway pass"
    write(os.path.join(folder, "password"), password)
    write(os.path.join(folder, "signing.cnf"),
          "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
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
    return (*(os.path.join(folder, name) for name in ("ca.pem", "signing.p12", "password")), password)


def verify_signature(path, ca):
    """osslsigncode's verdict on an Authenticode signature, checked against the throwaway CA."""
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], capture_output=True, text=True)


@unittest.skipUnless(os.environ.get("QV_CD_BUILD") and os.path.realpath(os.environ.get("QV_CD_MODEL", "")) == SAMPLE,
                     "needs the shipped tree with the sample model (QV_CD_BUILD, QV_CD_MODEL)")
class ShippedImage(unittest.TestCase):
    """The image that target cd-image built from bin/ and the sample model."""

    @classmethod
    def setUpClass(cls):
        cls.build, cls.iso, cls.model = (os.environ[name] for name in ("QV_CD_BUILD", "QV_CD_ISO", "QV_CD_MODEL"))

    def test_autorun_and_label_name_the_program_and_the_model_and_every_listed_file_is_there_read_only(self):
        label, tree = read_iso(self.iso)
        self.assertEqual((tree["autorun.inf"], label), (AUTORUN, "Demo Phone"))
        self.assertEqual(set(tree), SAMPLE_FILES)
        sources = {name: os.path.join(self.build, "bin", name) for name in DELIVERABLES}
        sources.update({name: os.path.join(self.model, name) for name in ("config.ini", "License.txt")})
        sources["unison_driver.msi"] = os.path.join(self.build, "driver-packages", "unison_driver.msi")
        for name, source in sources.items():
            self.assertEqual(tree[name], read(source), name)
        listing = subprocess.run(["xorriso", "-indev", self.iso, "-find", "/", "-type", "f", "-exec", "lsdl"],
                                 capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual(len(listing), len(SAMPLE_FILES))
        for line in listing:
            self.assertTrue(line.startswith("-r--r--r--"), line)

    def test_the_report_names_the_values_the_binaries_were_built_with_and_checksums_cover_every_file(self):
        report = read_report(os.path.splitext(self.iso)[0] + ".report.txt")
        profile = check_config.read_profile(os.path.join(self.model, "config.ini"), [])
        self.assertEqual(report["Copied to the PC ([FILES], 6)"], ", ".join(profile.listed("FILES")))
        self.assertEqual(report["Relaunched on the PC"], "PX_Bootstrap.exe")
        self.assertEqual(report["Driver"], f"family {profile.get('DRIVER', 'preload_type')}, installer "
                         f"{profile.get('DRIVER', 'preload')}, an MSI package, installed through msiexec")
        self.assertEqual(report["PC tool"], profile.get("PXPC", "pxpc_name"))
        for fact, setting, binary in (("Update service", "QV_SERVICE_BASE_URL", "QVUTchkdl.dll"),
                                      ("Reachability probe host", "QV_PROBE_HOST", "QVUTchkdl.dll"),
                                      ("Connectivity address", "QV_CONNECTIVITY_URL", "PX_Bootstrap.exe")):
            self.assertEqual(report[fact], f"{cache_value(self.build, setting)} (in {binary})")
        self.assertEqual(report["Signature of packages"], "not verified (config.ini has no [SIGNATURE])")
        self.assertEqual(report["SHA-256"], hashlib.sha256(read(self.iso)).hexdigest())
        result = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=os.path.dirname(self.iso), capture_output=True,
                                text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        checked = {line.rsplit(": ", 1)[0] for line in result.stdout.splitlines()}
        self.assertEqual(checked, {f"image/{name}" for name in SAMPLE_FILES} | {os.path.basename(self.iso)})


class Refusals(unittest.TestCase):
    """Builds from stand-in binaries in a scratch folder."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(build_cd_image.clear, self.folder)
        self.bin, self.model, self.out = (os.path.join(self.folder, name) for name in ("bin", "phone", "out"))
        for name in DELIVERABLES:
            write(os.path.join(self.bin, name), name)
        self.fresh_model()

    def fresh_model(self):
        build_cd_image.clear(self.model)
        shutil.copytree(SAMPLE, self.model)
        self.installer = write(os.path.join(self.folder, "unison_driver.msi"), MSI_PACKAGE)

    def build(self, *extra):
        return builder("--bin", self.bin, "--model", self.model, "--out", self.out, *extra)

    def built(self, *extra):
        """The builder's output and its report, of a build that must succeed."""
        result = self.build(*extra)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout, read_report(os.path.join(self.out, "phone.report.txt"))

    def test_a_model_the_checker_fails_gives_no_image_and_writes_nothing(self):
        # Each finding of the checker is proven in test_check_config: here a fault of the folder, of
        # config.ini, and of an --extra file, which the builder hands to the checker.
        cases = [("listed file missing", lambda: os.remove(os.path.join(self.model, "License.txt")),
                  "file04: 'License.txt' is not in the model folder"),
                 ("unread key", lambda: replace("preload=", "pre_load=")(self.model), "[unread-key]"),
                 ("preload no installer", lambda: write(self.installer, b"installer"), "[preload-not-installer]")]
        for name, change, finding in cases:
            with self.subTest(name):
                self.fresh_model()
                change()
                result = self.build("--extra", self.installer)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(finding, result.stdout)
                self.assertRegex(result.stdout, r"config\.ini: \d+ entries checked, 1 error\n")
                self.assertIn("no image built", result.stderr)
                self.assertFalse(os.path.exists(self.out), "nothing is written to --out")

    def test_the_report_beside_the_image(self):
        stdout, report = self.built("--extra", self.installer)
        path = os.path.join(self.out, "phone.report.txt")
        with open(path, encoding="utf-8") as f:
            self.assertIn(f"Report: {path}\n{f.read()}", stdout, "the builder prints the report it writes")
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
            "SHA-256": hashlib.sha256(read(os.path.join(self.out, "phone.iso"))).hexdigest()})
        with open(os.path.join(self.out, "SHA256SUMS")) as f:
            self.assertNotIn("report", f.read(), "the report names the image's SHA-256, so it is not in the list")

    def test_the_report_of_a_setup_program_a_program_in_tools_and_a_pinned_signature(self):
        # The model of the checker's tests that relaunches the program from tools\\, with a setup program as the preload.
        for change in (relaunched_from_tools, preload("setup.exe", pe_image()),
                       replace("preload_type=unison", "preload_type=modem", ";[SIGNATURE]\r\n;publisher=Demo Maker Ltd\r\n",
                               "[SIGNATURE]\r\npublisher=Demo Maker Ltd\r\nroot_sha256=" + "AB" * 32 + "\r\n")):
            change(self.model)
        _, report = self.built("--extra", self.installer)
        self.assertEqual(report["Relaunched on the PC"], "tools\\PX_Bootstrap.exe")
        self.assertEqual(report["Driver"], "family modem, installer setup.exe, started as a program")
        self.assertEqual(report["Signature of packages"], "publisher 'Demo Maker Ltd', roots: " + "ab" * 32)

    def test_a_long_non_ascii_name_with_its_cut_waived_a_sub_folder_and_unlisted_files(self):
        name = "D\u00e9mo Phone Ultra Plus 5G"
        replace("model_name=Demo Phone", "model_name=" + name, "filecount=6", "filecount=7",
                "file05=unison_driver.msi", "file05=unison_driver.msi\r\nfile06=tools\\Notes.txt")(self.model)
        write(os.path.join(self.model, "tools", "Notes.txt"), "notes for the PC")
        write(os.path.join(self.model, "notes.txt"), "")
        stdout, report = self.built("--extra", self.installer, "--waive", "label-cut")
        self.assertIn(f"note: [PXPACKAGE] model_name: '{name}' is longer", stdout)
        self.assertIn("note: notes.txt is not listed in config.ini, so it is not on the image", stdout)
        self.assertIn("Not signed: no certificate given", stdout)
        self.assertEqual(report["CD image phone.iso"], 'volume label "D\u00e9mo Phone Ultra"')
        self.assertTrue(report["Waived"].startswith(f"label-cut ('{name}' is longer than"), report)
        label, tree = read_iso(os.path.join(self.out, "phone.iso"))
        self.assertEqual(label, "D\u00e9mo Phone Ultra")
        self.assertEqual(tree["autorun.inf"].decode("utf-16"),
                         f"[autorun]\r\nopen=PX_Bootstrap.exe\r\nicon=PX_Bootstrap.exe,0\r\nlabel={name}\r\n")
        self.assertEqual((tree["tools/Notes.txt"], tree["PX_Bootstrap.exe"]), (b"notes for the PC", b"PX_Bootstrap.exe"))
        self.assertNotIn("notes.txt", tree)
        unknown = self.build("--extra", self.installer, "--waive", "label-cuts")
        self.assertEqual(unknown.returncode, 2)
        self.assertIn("--waive label-cuts: no finding has this code", unknown.stderr)


def pe_with_read_only_data(strings, wide=False):
    """A PE image whose one section, .rdata, holds `strings` NUL-padded to four bytes each."""
    data = b"".join((s.encode("utf-16-le") + b"\0\0" if wide else s.encode() + b"\0").ljust(
        (len(s) * (2 if wide else 1) + 4) // 4 * 4 + 4, b"\0") for s in strings)
    header = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 0, 0x2102)
    section = b".rdata\0\0" + struct.pack("<IIII", len(data), 0x1000, len(data), 0x200) + bytes(16)
    return (header + section).ljust(0x200, b"\0") + data


class AddressesInBinaries(unittest.TestCase):
    """How the report reads the addresses out of a binary's read-only data."""

    def binary(self, strings, wide=False):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        return write(os.path.join(folder.name, "QVUTchkdl.dll"), pe_with_read_only_data(strings, wide))

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

    @classmethod
    def tearDownClass(cls):
        build_cd_image.clear(cls.folder)

    def build(self, out, *extra, env=None):
        build = os.environ["QV_CD_BUILD"]
        return builder("--bin", os.path.join(build, "bin"), "--model", SAMPLE, "--extra",
                       os.path.join(build, "driver-packages", "unison_driver.msi"),
                       "--out", os.path.join(self.folder, out), "--pkcs12", self.p12, *extra, env=env)

    @unittest.skipUnless(os.environ.get("QV_CD_BUILD"), "needs the shipped tree (QV_CD_BUILD)")
    def test_signs_the_three_binaries_with_sha256_and_signs_again_to_the_same_bytes(self):
        first = self.build("signed", env={**os.environ, "QV_SIGN_PASSWORD": self.password})
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        self.assertNotIn(self.password, first.stdout + first.stderr)
        for name in DELIVERABLES:
            result = verify_signature(os.path.join(self.folder, "signed", "image", name), self.ca)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("Message digest algorithm  : SHA256", result.stdout)
            unsigned = os.path.join(os.environ["QV_CD_BUILD"], "bin", name)
            self.assertNotEqual(verify_signature(unsigned, self.ca).returncode, 0, "bin/ stays unsigned")
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
        warnings = build_cd_image.signature_warnings
        sample = check_config.read_profile(os.path.join(SAMPLE, "config.ini"), [])
        self.assertEqual(warnings(sample, "Throwaway Code Signing", "ab" * 32), [])
        pinned = check_config.read_profile(write(os.path.join(self.folder, "pinned.ini"), "[SIGNATURE]\r\n"
                                                 "publisher=Demo Maker Ltd\r\nroot_sha256=" + "CD" * 32 + "\r\n"), [])
        self.assertEqual(warnings(pinned, "Throwaway Code Signing", "ab" * 32), [
            "config.ini names the publisher 'Demo Maker Ltd', but the binaries are signed by 'Throwaway Code Signing'",
            "config.ini pins the root(s) " + "cd" * 32 + ", but the signing chain ends in " + "ab" * 32])
        self.assertEqual(warnings(pinned, "Demo Maker Ltd", "cd" * 32), [])

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
