"""The throwaway signing authorities the build makes for the tests (QV_E2E_SIGNATURES, see
tools/signing/make_test_signatures.py): the maker's [SIGNATURE] setting that pins them, and signed
copies of any file, in the four ways a check must tell apart."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "signing"))
from make_test_signatures import sign_copy  # noqa: E402

PUBLISHER = "Demo Maker Ltd"

# What each way of signing is refused for, as the trace line gives it after "refused, ".
REFUSALS = {
    "unsigned": "no valid signature: WinVerifyTrust 0x800B0100, signer []",
    "other-root": "a root that is not pinned: WinVerifyTrust 0x00000000, signer [Demo Maker Ltd]",
    "other-name": "another publisher: WinVerifyTrust 0x00000000, signer [Demo Maker Ltd Other]",
}


class SigningAuthorities:
    def __init__(self, out=None):
        self.out = out or os.environ["QV_E2E_SIGNATURES"]
        with open(os.path.join(self.out, "fingerprints.txt")) as f:
            self.roots = dict(line.strip().split("=", 1) for line in f if "=" in line)

    def setting(self):
        """The [SIGNATURE] section that names the maker and pins its root."""
        return {"SIGNATURE": {"publisher": PUBLISHER, "root_sha256": self.roots["maker"]}}

    def copy(self, way, source, target):
        """`source` as `target`: "signed" by the maker, "unsigned", or signed by "other-root" or
        "other-name"."""
        if way == "unsigned":
            shutil.copy(source, target)
        else:
            sign_copy(self.out, way, source, target)
        return target

    def variants(self, source, folder, stem):
        """{way: path} of `source` copied in each of the four ways into `folder` as
        <stem>-<way><extension>."""
        os.makedirs(folder, exist_ok=True)
        extension = os.path.splitext(source)[1]
        return {way: self.copy(way, source, os.path.join(folder, f"{stem}-{way}{extension}"))
                for way in ("signed", "unsigned", "other-root", "other-name")}


def pack_cabinet(target, files):
    """A compressed cabinet of `files` ({stored name with "/": source path}) made with gcab."""
    stage = target + ".stage"
    shutil.rmtree(stage, ignore_errors=True)
    for name, source in files.items():
        os.makedirs(os.path.dirname(os.path.join(stage, name)), exist_ok=True)
        shutil.copy(source, os.path.join(stage, name))
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(["gcab", "-c", "-z", os.path.abspath(target), *files], cwd=stage, check=True,
                   stdout=subprocess.DEVNULL)
    shutil.rmtree(stage)
    return target


def add_root_to_prefix(rig, pem):
    """Adds the root certificate `pem` to the Wine prefix's machine-wide root store, as Windows keeps
    it in the registry: the value Blob under its SHA-1 thumbprint, holding the certificate as a
    serialized store element (property 32, the encoded certificate). Returns the thumbprint."""
    der = subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER"], check=True, capture_output=True).stdout
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der
    rig.reg_add(rf"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates\{thumbprint}", "Blob", blob.hex(),
                kind="REG_BINARY")
    return thumbprint
