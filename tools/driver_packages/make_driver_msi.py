#!/usr/bin/env python3
"""Builds a test driver package (MSI) with wixl: the files of one driver family, each a copy of one
stand-in driver file, installed into [ProgramFiles]\\QV Electronics\\<family folder>.

    make_driver_msi.py --family unison --folder "QV Unison Mobile Driver" \\
        --file qvusbbus.sys --file qvusbdiag.sys ... --source driver-3.0.0.1.sys \\
        --version 3.0.0.1 --arch x64 -o unison_driver.msi

Product and component codes are derived from the family name, so every package of a family,
whatever its version, is the same product: "msiexec /x" with any of them removes the installed one.
The same inputs give the same bytes: the package code is derived from the inputs, and the package's
dates (summary, cabinet) are one fixed day. Not SOURCE_DATE_EPOCH: a package is rebuilt only when its
inputs change, so a date that moves with each commit would leave builds of one commit differing.
A 32-bit package (x86) installs under the 32-bit Program Files folder, a 64-bit one (x64) under the
native one, matching what CSIDL_PROGRAM_FILES gives a program of the same bitness.
"""
import argparse
import hashlib
import os
import re
import shutil
import string
import struct
import subprocess
import sys
import tempfile
import uuid
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, "driver_package.wxs.in")
# Fixed namespace for the package codes of our test packages.
CODE_NAMESPACE = uuid.UUID("6d1f4a52-93c8-4e0b-a6f2-2f5b8c1d7e40")

SOURCE_NAME = "driver_file.bin"
# Every package's date: 2020-01-01 00:00 UTC.
PACKAGE_DATE = 1577836800

ARCHES = {
    "x86": {"program_files": "ProgramFilesFolder", "win64": "no", "wixl": "x86"},
    "x64": {"program_files": "ProgramFiles64Folder", "win64": "yes", "wixl": "x64"},
}


def code(*parts):
    return str(uuid.uuid5(CODE_NAMESPACE, "/".join(parts))).upper()


def identifier(text):
    """An MSI identifier from a file name: letters, digits, underscores and dots, not a digit first."""
    return "f_" + re.sub(r"[^A-Za-z0-9_.]", "_", text)


def render_wxs(family, folder, files, source, version, arch):
    settings = ARCHES[arch]
    components = []
    refs = []
    for name in files:
        ident = identifier(name)
        components.append(
            f'            <Component Id="c{ident}" Guid="{code("component", family, arch, name.lower())}" '
            f'Win64="{settings["win64"]}">\n'
            f'              <File Id="{ident}" Name={quoteattr(name)} Source={quoteattr(source)} KeyPath="yes"/>\n'
            f'            </Component>')
        refs.append(f'      <ComponentRef Id="c{ident}"/>')
    with open(TEMPLATE, encoding="utf-8") as f:
        template = string.Template(f.read())
    return template.substitute(
        product_code=code("product", family, arch, version),
        upgrade_code=code("upgrade", family, arch),
        product_name=f"{folder} (test)".replace('"', ""),
        version=version,
        program_files=settings["program_files"],
        folder=folder.replace('"', ""),
        components="\n".join(components),
        component_refs="\n".join(refs))


def package_code(args):
    """The package code: the same inputs give the same code, any change gives another one."""
    with open(args.source, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    return "{" + code("package", args.family, args.folder, args.arch, args.version, digest, *args.files) + "}"


def compound_file_stream(data, name):
    """File offsets of the bytes of stream `name` in an OLE compound file (an MSI), in order.
    Raises ValueError when the file is not one or lacks the stream."""
    if data[:8] != bytes.fromhex("D0CF11E0A1B11AE1"):
        raise ValueError("not a compound file")
    sector = 1 << struct.unpack_from("<H", data, 30)[0]
    mini = 1 << struct.unpack_from("<H", data, 32)[0]
    fat_count, first_dir, _, cutoff, first_minifat = struct.unpack_from("<IIIII", data, 44)
    if fat_count > 109:
        raise ValueError("compound file too large")
    fat = []
    for fat_sector in struct.unpack_from(f"<{fat_count}I", data, 76):
        fat += struct.unpack_from(f"<{sector // 4}I", data, (fat_sector + 1) * sector)

    def chain(first, table):
        sectors = []
        while first < 0xFFFFFFFA and len(sectors) <= len(table):
            sectors.append(first)
            first = table[first]
        return sectors

    entries = [(s + 1) * sector + i * 128 for s in chain(first_dir, fat) for i in range(sector // 128)]
    root_sectors = chain(struct.unpack_from("<I", data, entries[0] + 116)[0], fat)
    for entry in entries:
        length = struct.unpack_from("<H", data, entry + 64)[0]
        if data[entry:entry + max(length - 2, 0)].decode("utf-16-le", "replace") != name:
            continue
        first, size = struct.unpack_from("<IQ", data, entry + 116)
        if size >= cutoff:
            offsets = [(s + 1) * sector + i for s in chain(first, fat) for i in range(sector)]
        else:
            minifat = []
            for s in chain(first_minifat, fat):
                minifat += struct.unpack_from(f"<{sector // 4}I", data, (s + 1) * sector)
            positions = [m * mini + i for m in chain(first, minifat) for i in range(mini)]
            offsets = [(root_sectors[p // sector] + 1) * sector + p % sector for p in positions]
        return offsets[:size]
    raise ValueError(f"no stream {name!r}")


def stamp_summary(path, revision, when):
    """Writes the package code (`revision`, a braced GUID) and the creation and save dates (Unix
    time `when`) into the MSI's summary information in place: wixl takes a random code and the
    current time."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    offsets = compound_file_stream(data, "\x05SummaryInformation")
    stream = bytearray(data[o] for o in offsets)
    section = struct.unpack_from("<I", stream, 44)[0]
    filetime = (when + 11644473600) * 10**7
    for i in range(struct.unpack_from("<I", stream, section + 4)[0]):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        at += section
        kind = struct.unpack_from("<I", stream, at)[0]
        if pid in (12, 13) and kind == 0x40:  # created, last saved: FILETIME
            struct.pack_into("<Q", stream, at + 4, filetime)
        elif pid == 9 and kind == 0x1E and struct.unpack_from("<I", stream, at + 4)[0] == len(revision) + 1:
            stream[at + 8:at + 8 + len(revision)] = revision.encode("ascii")
    for offset, byte in zip(offsets, stream):
        data[offset] = byte
    with open(path, "wb") as f:
        f.write(data)


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--family", required=True, help="family name (the preload_type value), e.g. unison")
    parser.add_argument("--folder", required=True, help="folder under QV Electronics, e.g. \"QV Unison Mobile Driver\"")
    parser.add_argument("--file", dest="files", action="append", required=True, help="installed file name (repeat)")
    parser.add_argument("--source", required=True, help="the stand-in driver file installed under every name")
    parser.add_argument("--version", required=True, help="product version, e.g. 3.0.0.1")
    parser.add_argument("--arch", choices=sorted(ARCHES), default="x86")
    parser.add_argument("--wixl", default=shutil.which("wixl") or "wixl")
    parser.add_argument("--msibuild", default=shutil.which("msibuild") or "msibuild")
    parser.add_argument("--keep-wxs", action="store_true", help="leave the generated .wxs beside the output")
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args(argv)
    if not re.fullmatch(r"\d+(\.\d+){1,3}", args.version):
        parser.error(f"--version must be 2 to 4 dotted numbers: {args.version}")
    if len({name.lower() for name in args.files}) != len(args.files):
        parser.error("--file names must be unique (ignoring letter case)")
    if not os.path.isfile(args.source):
        parser.error(f"--source is not a file: {args.source}")
    return args


def run_tool(name, command):
    """Runs a packaging tool; on failure reports its output and returns False."""
    try:
        result = subprocess.run(command, capture_output=True, text=True)
    except OSError as error:
        print(f"{name} could not be started: {error}", file=sys.stderr)
        return False
    if result.returncode != 0:
        sys.stderr.write(result.stdout + result.stderr)
        print(f"{name} failed ({result.returncode})", file=sys.stderr)
        return False
    return True


def main(argv):
    args = parse_args(argv)
    wxs = render_wxs(args.family, args.folder, args.files, SOURCE_NAME, args.version, args.arch)
    output = os.path.abspath(args.output)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        # wixl takes sources relative to the .wxs only.
        source = os.path.join(work, SOURCE_NAME)
        shutil.copyfile(args.source, source)
        # The cabinet records the file's date.
        os.utime(source, (PACKAGE_DATE, PACKAGE_DATE))
        wxs_path = os.path.join(work, "package.wxs")
        with open(wxs_path, "w", encoding="utf-8") as f:
            f.write(wxs)
        # wixl writes next to the output; build into the work folder and move into place whole.
        built = os.path.join(work, "package.msi")
        if not run_tool("wixl", [args.wixl, "-a", ARCHES[args.arch]["wixl"], "-o", built, wxs_path]):
            return 1
        # wixl leaves the File table's version column empty. Windows Installer never replaces a
        # versioned file on disk with an unversioned one, so state the files' version.
        query = f"UPDATE `File` SET `Version` = '{args.version}'"
        if not run_tool("msibuild", [args.msibuild, built, "-q", query]):
            return 1
        try:
            stamp_summary(built, package_code(args), PACKAGE_DATE)
        except (ValueError, struct.error) as error:
            print(f"cannot fix the package's summary: {error}", file=sys.stderr)
            return 1
        if args.keep_wxs:
            shutil.copyfile(wxs_path, os.path.splitext(output)[0] + ".wxs")
        shutil.move(built, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
