#!/usr/bin/env python3
"""Makes throwaway code-signing authorities and signs copies of a Windows program with them, for
the tests of the signature check. Nothing of this is a real publisher's.

    make_test_signatures.py --program FILE --out DIR [--publisher NAME]

In DIR:
  maker-root.pem, other-root.pem    two root certificates (self-signed), each with a code-signing
                                    certificate under it: the maker's, and a stranger's that bears
                                    the same common name
  signed.exe        the program signed by the maker
  tampered.exe      signed.exe with one byte of its code changed after signing
  unsigned.exe      the program as it is
  other-root.exe    signed by the stranger: the right name under another authority
  other-name.exe    signed under the maker's root by a certificate of another common name
  fingerprints.txt  "maker=<sha256 of maker-root.pem's DER>" and "other=<...>", lower-case hex
  authority/        the three signers' keys and chains, for tests that sign files of their own
                    with sign_copy() (PE files, cabinets and MSI packages alike)

Needs openssl and osslsigncode. Deterministic in names, not in keys (new keys on every run)."""
import argparse
import os
import shutil
import subprocess
import sys

DAYS = "3650"


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_root(name, folder):
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}-root.key",
        "-out", f"{name}-root.pem", "-days", DAYS, "-subj", f"/CN={name} test root",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
        cwd=folder)


def make_signer(root, name, common_name, folder):
    """A code-signing certificate under `root` with `common_name`; its key and chain in PEM files."""
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
        "-subj", f"/CN={common_name}", cwd=folder)
    with open(os.path.join(folder, f"{name}.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run("openssl", "x509", "-req", "-in", f"{name}.csr", "-CA", f"{root}-root.pem", "-CAkey", f"{root}-root.key",
        "-CAcreateserial", "-out", f"{name}.pem", "-days", DAYS, "-extfile", f"{name}.ext", cwd=folder)
    with open(os.path.join(folder, f"{name}-chain.pem"), "w") as chain:
        for part in (f"{name}.pem", f"{root}-root.pem"):
            with open(os.path.join(folder, part)) as f:
                chain.write(f.read())


def sign(signer, source, target, folder):
    if os.path.exists(target):
        os.remove(target)
    run("osslsigncode", "sign", "-certs", f"{signer}-chain.pem", "-key", f"{signer}.key", "-h", "sha256",
        "-n", "test program", "-in", source, "-out", target, cwd=folder)


# The ways a file is signed, by their signers: the maker's, a stranger's of the same name under
# another root, and one of another name under the maker's root.
SIGNERS = {"signed": "maker-signer", "other-root": "stranger", "other-name": "other-name"}


def sign_copy(out, way, source, target):
    """Signs a copy of `source` as `target` in one of the ways of SIGNERS, with the authorities in
    `out`."""
    sign(SIGNERS[way], os.path.abspath(source), os.path.abspath(target), os.path.join(out, "authority"))


def der_sha256(pem, folder):
    der = subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER"], cwd=folder, check=True,
                         capture_output=True).stdout
    import hashlib
    return hashlib.sha256(der).hexdigest()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--publisher", default="Demo Maker Ltd")
    args = parser.parse_args(argv)
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    work = os.path.join(out, "authority")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    make_root("maker", work)
    make_root("other", work)
    make_signer("maker", "maker-signer", args.publisher, work)
    make_signer("other", "stranger", args.publisher, work)
    make_signer("maker", "other-name", args.publisher + " Other", work)
    program = os.path.abspath(args.program)
    for way in SIGNERS:
        sign_copy(out, way, program, os.path.join(out, f"{way}.exe"))
    shutil.copy(program, os.path.join(out, "unsigned.exe"))
    # One byte of the code changed after signing: the digest no longer matches.
    tampered = bytearray(open(os.path.join(out, "signed.exe"), "rb").read())
    tampered[0x400] ^= 0x01
    with open(os.path.join(out, "tampered.exe"), "wb") as f:
        f.write(tampered)
    for root in ("maker", "other"):
        shutil.copy(os.path.join(work, f"{root}-root.pem"), out)
    with open(os.path.join(out, "fingerprints.txt"), "w") as f:
        f.write(f"maker={der_sha256('maker-root.pem', work)}\nother={der_sha256('other-root.pem', work)}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
