#!/usr/bin/env python3
"""Builds the phone's CD-ROM image from the shipped binaries and a phone model folder: checks the
model's config.ini (errors stop the build), optionally signs the three binaries, writes autorun.inf,
and makes the image folder, an ISO 9660 image with Joliet names and a SHA-256 list of both.

    build_cd_image.py --bin DIR --model DIR --out DIR [--extra FILE]... [--waive CODE]...
                      [--pkcs12 FILE [--password-file FILE] [--timestamp-url URL]]

Into --out: image/ (the files of the image, read-only), <model folder name>.iso, SHA256SUMS, and
<model folder name>.report.txt, what a PC will do with the image (also printed). --waive CODE is
passed to the checker: the errors of that finding code do not stop the build.
The image holds the files config.ini lists, its preload installer, and autorun.inf; the program and
its two libraries always come from --bin (also on the root, where autorun starts them), every other
file from the model folder, or from an --extra file (put on the root under its own name).
Signing uses osslsigncode with SHA-256; the certificate's password comes from --password-file or
the environment variable QV_SIGN_PASSWORD, never from the command line. File dates in the image are
SOURCE_DATE_EPOCH, else the time of the source tree's last commit, so a build is reproducible.
"""
import argparse
import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_config  # noqa: E402
import image_report  # noqa: E402
from check_config import DELIVERABLES, PROGRAM, find_in  # noqa: E402
from config_rules import volume_label  # noqa: E402
# Joliet keeps names of up to 64 characters.
NAME_LIMIT = 64
PASSWORD_VARIABLE = "QV_SIGN_PASSWORD"


class BuildError(Exception):
    pass


def source_date():
    """SOURCE_DATE_EPOCH, else the commit time of the source tree; None when neither is known."""
    text = os.environ.get("SOURCE_DATE_EPOCH", "")
    if text.isdigit():
        return int(text)
    try:
        result = subprocess.run(["git", "-C", HERE, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    except OSError:
        return None
    return int(result.stdout) if result.returncode == 0 and result.stdout.strip().isdigit() else None


def run(command, what, env=None):
    try:
        result = subprocess.run(command, capture_output=True, text=True, env=env)
    except OSError as error:
        raise BuildError(f"{what}: cannot start {command[0]}: {error.strerror}") from None
    if result.returncode != 0:
        raise BuildError(f"{what} failed ({result.returncode}):\n{result.stdout}{result.stderr}".rstrip())
    return result


def sign(binaries, pkcs12, password_file, timestamp_url, date, work):
    """Signed copies of the binaries (Authenticode, SHA-256) in `work`, by name. The signing time is
    `date`, so that signing again gives the same bytes (unless a time-stamp server countersigns)."""
    if shutil.which("osslsigncode") is None:
        raise BuildError("signing needs osslsigncode (Debian package osslsigncode)")
    if password_file is None:
        password = os.environ.get(PASSWORD_VARIABLE)
        if password is None:
            raise BuildError(f"--pkcs12 needs its password: --password-file FILE or ${PASSWORD_VARIABLE}")
        password_file = os.path.join(work, "password")
        with open(os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "w") as f:
            f.write(password)
    signed = {}
    for name, path in binaries.items():
        signed[name] = os.path.join(work, name)
        command = ["osslsigncode", "sign", "-pkcs12", pkcs12, "-readpass", password_file, "-h", "sha256",
                   "-time", str(date), "-in", path, "-out", signed[name]]
        if timestamp_url:
            command[2:2] = ["-ts", timestamp_url]
        run(command, f"signing {name}")
    return signed


def signing_identity(pkcs12, password_file, work):
    """(common name of the signing certificate, SHA-256 of its chain's root or None) from the
    PKCS#12 file: the root is the self-signed certificate it carries, if any."""
    def certificates(option):
        pem = run(["openssl", "pkcs12", "-in", pkcs12, "-passin", f"file:{password_file}", "-nokeys", option],
                  "reading the certificate").stdout
        blocks = pem.split("-----END CERTIFICATE-----")
        return [b[b.index("-----BEGIN CERTIFICATE-----"):] + "-----END CERTIFICATE-----\n"
                for b in blocks if "-----BEGIN CERTIFICATE-----" in b]

    def field(pem, *args):
        path = os.path.join(work, "certificate.pem")
        with open(path, "w") as f:
            f.write(pem)
        return run(["openssl", "x509", "-in", path, "-noout", *args], "reading the certificate").stdout.strip()

    leaf = certificates("-clcerts")
    if not leaf:
        raise BuildError(f"{pkcs12} holds no signing certificate")
    subject = field(leaf[0], "-subject", "-nameopt", "multiline")
    name = next((line.split("=", 1)[1].strip() for line in subject.splitlines()
                 if line.strip().startswith("commonName")), "")
    root = None
    for pem in certificates("-cacerts") + leaf:
        subject_name = field(pem, "-subject", "-nameopt", "RFC2253").split("=", 1)[-1]
        issuer_name = field(pem, "-issuer", "-nameopt", "RFC2253").split("=", 1)[-1]
        if subject_name == issuer_name:
            path = os.path.join(work, "root.pem")
            with open(path, "w") as f:
                f.write(pem)
            der = subprocess.run(["openssl", "x509", "-in", path, "-outform", "DER"], check=True,
                                 capture_output=True).stdout
            root = hashlib.sha256(der).hexdigest()
    return name, root


def signature_warnings(profile, name, root):
    """What the model's [SIGNATURE] setting says that the signing certificate does not match."""
    publisher = (profile.get("SIGNATURE", "publisher") or "").strip()
    roots = profile.entry("SIGNATURE", "root_sha256")  # read whole, however long
    pinned = [r.strip().lower() for r in (roots.value if roots else "").split(",") if r.strip()]
    warnings = []
    if publisher and publisher != name:
        warnings.append(f"config.ini names the publisher '{publisher}', but the binaries are signed by '{name}'")
    if pinned and root not in pinned:
        warnings.append(f"config.ini pins the root(s) {', '.join(pinned)}, but the signing chain ends in "
                        f"{root or 'a root the certificate file does not carry'}")
    return warnings


def plan_image(profile, model, bin_dir, extras):
    """Image path -> source file: the listed files, the preload installer, the deliverables."""
    by_name = {d.lower(): os.path.join(bin_dir, d) for d in DELIVERABLES}
    extra_by_name = {os.path.basename(e).lower(): e for e in extras}
    plan = {d: by_name[d.lower()] for d in DELIVERABLES}
    count, entries = profile.file_list("FILES")
    names = [entries[i].value for i in range(count) if i in entries]
    names.append(profile.get("DRIVER", "preload"))
    for name in filter(None, names):
        image_path = name.replace("\\", "/")
        if image_path.lower() in (p.lower() for p in plan):
            continue
        base = os.path.basename(image_path).lower()
        source = by_name.get(base) or find_in(model, name) or extra_by_name.get(image_path.lower())
        if source is None:  # the checker has reported it
            raise BuildError(f"{name}: no such file")
        plan[image_path] = source
    for path in plan:
        if any(len(part) > NAME_LIMIT for part in path.split("/")):
            raise BuildError(f"{path}: a name longer than {NAME_LIMIT} characters does not fit on the image")
    return plan


def autorun_text(model_name):
    text = f"[autorun]\r\nopen={PROGRAM}\r\nicon={PROGRAM},0\r\nlabel={model_name}\r\n"
    return text.encode("ascii") if text.isascii() else b"\xff\xfe" + text.encode("utf-16-le")


def clear(folder):
    """Removes a folder whose files may be read-only."""
    if os.path.lexists(folder):
        for root, dirs, _ in os.walk(folder):
            for name in dirs:
                os.chmod(os.path.join(root, name), 0o755)
        os.chmod(folder, 0o755)
        shutil.rmtree(folder)


def stage(plan, autorun, folder, date):
    clear(folder)
    os.makedirs(folder)
    for image_path, source in sorted(plan.items()):
        target = os.path.join(folder, *image_path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)
    with open(os.path.join(folder, "autorun.inf"), "wb") as f:
        f.write(autorun)
    for root, dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            os.chmod(path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
            os.utime(path, (date, date))


def write_iso(folder, iso, label, date):
    if shutil.which("xorriso") is None:
        raise BuildError("the image needs xorriso (Debian package xorriso)")
    if os.path.exists(iso):
        os.remove(iso)
    env = {**os.environ, "SOURCE_DATE_EPOCH": str(date), "LC_ALL": "C.UTF-8"}
    run(["xorriso", "-as", "mkisofs", "-quiet", "-input-charset", "UTF-8", "-J", "-r", "-V", label,
         "--set_all_file_dates", f"={date}", "-o", iso, folder], "xorriso", env)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def write_sums(out, paths):
    """SHA256SUMS in the form `sha256sum -c` reads, paths relative to `out`."""
    lines = [f"{sha256(os.path.join(out, p))}  {p}\n" for p in paths]
    with open(os.path.join(out, "SHA256SUMS"), "w") as f:
        f.writelines(lines)


def extract_image(iso, folder):
    """The files of an ISO image, extracted into `folder` (made afresh) and left writable."""
    clear(folder)
    run(["xorriso", "-osirrox", "on", "-indev", iso, "-extract", "/", folder], "extracting the image")
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            os.chmod(os.path.join(root, name), 0o755 if name in dirs else 0o644)
    os.chmod(folder, 0o755)


def build(args):
    model = os.path.abspath(args.model)
    checked = check_config.check_path(model, args.bin, args.extra, args.waive)
    for finding in checked.findings:
        print(finding)
    print(checked.summary())
    if checked.failed():
        raise BuildError(f"no image built: {model} has errors")
    profile = check_config.read_profile(find_in(model, "config.ini"), [])
    plan = plan_image(profile, model, args.bin, args.extra)

    date = source_date()
    if date is None:
        date = int(time.time())
        print("note: neither SOURCE_DATE_EPOCH nor a commit time: the image carries today's date")
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    signer = None
    with tempfile.TemporaryDirectory() as work:
        if args.pkcs12:
            binaries = {d: plan[d] for d in DELIVERABLES}
            signed = sign(binaries, args.pkcs12, args.password_file, args.timestamp_url, date, work)
            signed_copy = {binaries[d]: signed[d] for d in DELIVERABLES}
            plan = {path: signed_copy.get(source, source) for path, source in plan.items()}
            print(f"Signed {', '.join(DELIVERABLES)} with {args.pkcs12}")
            name, root = signer = signing_identity(args.pkcs12, args.password_file or os.path.join(work, "password"),
                                                   work)
            print(f"Signing certificate: common name '{name}', root SHA-256 {root or '(no root in the file)'}")
            for warning in signature_warnings(profile, name, root):
                print(f"warning: {warning}")
        else:
            print(f"Not signed: no certificate given (--pkcs12); {', '.join(DELIVERABLES)} go on the image unsigned")
        model_name = profile.get("PXPACKAGE", "model_name") or check_config.DEFAULT_CAPTION
        stage(plan, autorun_text(model_name), os.path.join(out, "image"), date)

    kept = {p.lower() for p in plan} | {"config.ini"}
    for name in sorted(os.listdir(model)):
        if name.lower() in (d.lower() for d in DELIVERABLES):
            print(f"note: {name} in the model folder is not used: it comes from --bin")
        elif name.lower() not in kept and not any(p.startswith(name.lower() + "/") for p in kept):
            print(f"note: {name} is not listed in config.ini, so it is not on the image")
    for extra in args.extra:
        if os.path.basename(extra).lower() not in kept:
            print(f"note: --extra {extra} is not listed in config.ini, so it is not on the image")

    iso_name = os.path.basename(model.rstrip("/")) + ".iso"
    iso = os.path.join(out, iso_name)
    label = volume_label(model_name)
    write_iso(os.path.join(out, "image"), iso, label, date)
    files = sorted(os.path.relpath(os.path.join(root, name), out)
                   for root, _, names in os.walk(os.path.join(out, "image")) for name in names)
    write_sums(out, files + [iso_name])
    print(f"Image: {iso} ({os.path.getsize(iso)} bytes, label \"{label}\")")
    print(f"SHA-256: {sha256(iso)}; every file's in {os.path.join(out, 'SHA256SUMS')}")
    # The report stays out of SHA256SUMS: it names the image's own SHA-256.
    waived = [f for f in checked.findings if f.severity == check_config.NOTE]
    report = image_report.report_text(profile, os.path.join(out, "image"), iso, label, sha256(iso), signer, waived)
    with open(image_report.report_name(iso), "w", encoding="utf-8") as f:
        f.write(report)
    print(f"Report: {image_report.report_name(iso)}")
    print(report, end="")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("--bin", required=True, metavar="DIR", help=f"folder with {', '.join(DELIVERABLES)}")
    parser.add_argument("--model", required=True, metavar="DIR", help="the phone model folder (config.ini, ...)")
    parser.add_argument("--out", required=True, metavar="DIR")
    parser.add_argument("--extra", metavar="FILE", action="append", default=[],
                        help="a file for the image's root from elsewhere, e.g. a built driver installer")
    check_config.add_waive_option(parser)
    parser.add_argument("--pkcs12", metavar="FILE", help="sign the binaries with this PKCS#12 certificate")
    parser.add_argument("--password-file", metavar="FILE", help=f"the certificate's password (else ${PASSWORD_VARIABLE})")
    parser.add_argument("--timestamp-url", metavar="URL", help="RFC 3161 time-stamp server for the signatures")
    args = parser.parse_args(argv)
    for option, value, test in (("--bin", args.bin, os.path.isdir), ("--model", args.model, os.path.isdir),
                                ("--pkcs12", args.pkcs12, os.path.isfile),
                                ("--password-file", args.password_file, os.path.isfile)):
        if value is not None and not test(value):
            parser.error(f"{option} {value}: not found")
    for extra in args.extra:
        if not os.path.isfile(extra):
            parser.error(f"--extra {extra}: not found")
    check_config.check_waived(parser, args.waive)
    if (args.password_file or args.timestamp_url) and not args.pkcs12:
        parser.error("--password-file and --timestamp-url go with --pkcs12")
    try:
        build(args)
    except (BuildError, check_config.NotAProfile) as error:
        print(f"build_cd_image: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"build_cd_image: {error.filename or ''}: {error.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
