#!/usr/bin/env python3
"""Checks a phone model's config.ini (or a serverconfig.ini, pxpcconfig.ini or AutoRun_Log.ini) the
way the program will read it, and prints one line per finding: file, line, section and key, what is
wrong and what the program would do with it. Exit status 1 when there is an error, else 0.

    check_config.py [--bin DIR] [--extra FILE]... PATH...

PATH is a model folder (its config.ini is checked, and the files it lists are looked for in it), or
one of the files above. The three deliverables count as supplied by the image builder; with --bin
they must be in DIR. An --extra file is one the builder puts on the image's root from elsewhere.
"""
import argparse
import difflib
import os
import re
import sys

PROGRAM = "PX_Bootstrap.exe"
DELIVERABLES = (PROGRAM, "QVUTchkdl.dll", "QVEUSBAutorun.dll")
DRIVER_FAMILIES = ("unison", "cbw_unison", "modem", "android", "zodavozUro")
DEFAULT_CAPTION = "RO Zeru Zav"
# Every value is read into 260 characters, so at most 259 come back.
VALUE_LIMIT = 259
# The only sub-folder the phone start creates in its PC folder before copying the package.
COPY_SUBFOLDER = "tools"
VERSION_KEYS = ("driver_version", "and_driver_version", "andnet_driver_version",
                "cb_driver_version", "cb_and_driver_version", "cb_andnet_driver_version")
INT_MAX = 2**31 - 1

# What the program reads, by file: section -> key -> kind of value. A "list" section has the key
# filecount and keys file00, file01, ... ("file%02d").
TEXT, VERSION, LIST, FLAG = "text", "version", "list", "flag"
LONG_TEXT = "long text"  # read whole, however long (the signature's list of root fingerprints)
LAYOUTS = {
    "config": {
        "PXPACKAGE": {"model_name": TEXT, "model_type": TEXT},
        "PXPC": {"pxpc_name": TEXT, "pxpc_test_ver": TEXT},
        "FILES": LIST,
        "DRIVER": {"preload": TEXT, "preload_type": TEXT, **{key: VERSION for key in VERSION_KEYS}},
        "SIGNATURE": {"publisher": TEXT, "root_sha256": LONG_TEXT},
    },
    "serverconfig": {
        "PXPACKAGE": {"pack_version": VERSION},
        "FILES_PXPC": LIST,
        "FILES_DRIVER": {"who_install_driver": TEXT, "driver_name": TEXT, "driver_name_cbw_unison": TEXT,
                         "unison_overwrite": FLAG, **{key: VERSION for key in VERSION_KEYS}},
    },
    "pxpcconfig": {"PXPACKAGE": {"pack_version": VERSION}},
    "log": {"LOG": {"enablelogging": TEXT}},
}
FILE_KINDS = {"serverconfig.ini": "serverconfig", "pxpcconfig.ini": "pxpcconfig", "autorun_log.ini": "log"}

COPY_STOPS = "the phone start stops copying the package ('Failed to copy installation package to system' [002])"


class NotAProfile(Exception):
    """A file that cannot be checked at all: unreadable, or not an INI text."""


class Finding:
    def __init__(self, path, line, severity, text, section=None, key=None):
        self.path, self.line, self.severity, self.text = path, line, severity, text
        self.section, self.key = section, key

    def __str__(self):
        where = f"{self.path}:{self.line}" if self.line else self.path
        what = f"[{self.section}] " if self.section else ""
        what += f"{self.key}: " if self.key else ""
        line = f"{where}: {self.severity}: {what}{self.text}"
        # Control characters from a broken file are shown, not printed.
        return "".join(c if c.isprintable() else f"\\x{ord(c):02x}" if ord(c) < 256 else f"\\u{ord(c):04x}"
                       for c in line)


class Entry:
    def __init__(self, line, key, value, section):
        self.line, self.key, self.value, self.section = line, key, value, section


class Section:
    def __init__(self, line, name):
        self.line, self.name, self.entries = line, name, []


class Profile:
    """A profile file as the system's profile reader sees it: section and key names without regard
    to case, the first of repeated sections and keys, values without surrounding blanks and quotes."""

    def __init__(self, path, text):
        self.path = path
        self.sections = []
        self.stray_lines = []  # lines before any section: never read
        self.bad_headers = []  # "[" lines without "]": read as keys
        current = None
        for number, line in enumerate(text.split("\n"), 1):
            line = line.strip(" \t\r\x0b\x0c\x1a")
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and "]" in line[1:]:
                current = Section(number, line[1:line.rindex("]")])
                self.sections.append(current)
                continue
            if line.startswith("["):
                self.bad_headers.append(number)
            if current is None:
                self.stray_lines.append(number)
                continue
            key, _, value = line.partition("=")
            value = value.strip(" \t")
            if len(value) > 1 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            current.entries.append(Entry(number, key.strip(" \t"), value, current))

    def section(self, name):
        return next((s for s in self.sections if s.name.lower() == name.lower()), None)

    def entry(self, section, key):
        found = self.section(section)
        return next((e for e in found.entries if e.key.lower() == key.lower()), None) if found else None

    def get(self, section, key):
        """The value as the program receives it: empty when absent, cut to VALUE_LIMIT characters."""
        found = self.entry(section, key)
        return found.value[:VALUE_LIMIT] if found else ""

    def file_list(self, section):
        """The list's count as the program reads it, and its entries by index."""
        count = max(wide_to_int(self.get(section, "filecount")), 0)
        found = self.section(section)
        entries = {}
        for e in found.entries if found else ():
            match = re.fullmatch(r"file(\d+)", e.key, re.IGNORECASE)
            if match and list_key(int(match.group(1))) == e.key.lower():
                entries.setdefault(int(match.group(1)), e)
        return count, entries


def wide_to_int(text):
    """The count as the runtime's _wtoi reads it: blanks, a sign, digits; clamped to int."""
    match = re.match(r"[ \t\n\r\x0b\x0c]*([+-]?)(\d*)", text)
    number = int(match.group(2) or 0) * (-1 if match.group(1) == "-" else 1)
    return max(min(number, INT_MAX), -INT_MAX - 1)


def list_key(index):
    return f"file{index:02d}"


def decode(data, path, findings):
    """The file's text; findings for encodings the profile reader does not read as intended."""
    def problem(text):
        findings.append(Finding(path, 1, "error", text))
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", "replace")
    if data.startswith(b"\xef\xbb\xbf"):
        problem("saved as UTF-8 with a byte-order mark: the profile reader takes the mark for characters of "
                "line 1 (so a section there is not found) and reads other text as ANSI; save it as ANSI or "
                "as UTF-16LE with a byte-order mark")
        return data[3:].decode("utf-8", "replace")
    big_endian_mark = data.startswith(b"\xfe\xff")
    utf16 = "be" if big_endian_mark else utf16_without_mark(data)
    if utf16:
        form = "UTF-16 big-endian" if big_endian_mark else f"UTF-16{utf16.upper()} without a byte-order mark"
        problem(f"saved as {form}: the profile reader reads it as ANSI and finds nothing in it; save it as ANSI "
                "or as UTF-16LE with a byte-order mark")
        return data[2 if big_endian_mark else 0:].decode(f"utf-16-{utf16}", "replace")
    if b"\0" in data:
        raise NotAProfile("not an INI file: it holds NUL bytes, so it is no text")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1252", "replace")
    if not text.isascii():
        findings.append(Finding(path, 1, "warning", "UTF-8 text without a byte-order mark: the profile reader "
                                "reads it in the PC's ANSI code page, so non-ASCII text comes out garbled "
                                "(save it as UTF-16LE with a byte-order mark)"))
    return text


def utf16_without_mark(data):
    """'le' or 'be' for text that looks like UTF-16 (most high bytes zero), else None."""
    if len(data) < 4 or len(data) % 2:
        return None
    half = len(data) // 2
    for order, zeros in (("le", data[1::2]), ("be", data[0::2])):
        if zeros.count(0) * 10 >= half * 8 and data[0 if order == "le" else 1::2].count(0) * 10 < half:
            return order
    return None


def read_profile(path, findings):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise NotAProfile(f"cannot read it: {error.strerror or error}") from None
    profile = Profile(path, decode(data, path, findings))
    if not profile.sections:
        raise NotAProfile("not an INI file: it has no [section] line")
    return profile


def find_in(folder, relative):
    """The path of `relative` (either slash) inside `folder`, matched without regard to case as
    Windows does; None when absent."""
    path = folder
    for part in re.split(r"[\\/]+", relative):
        try:
            names = os.listdir(path)
        except OSError:
            return None
        match = next((n for n in names if n == part), None) or next((n for n in names if n.lower() == part.lower()), None)
        if match is None:
            return None
        path = os.path.join(path, match)
    return path


def unsafe_reason(name):
    """Why the program refuses a relative file name: it would leave its folder, or a part of it
    names a device (Windows looks at the text before the first dot, without trailing blanks).
    None for a name it takes."""
    if not name:
        return "is empty"
    if name[0] in "\\/":
        return "is absolute"
    if ":" in name:
        return "names a drive" if re.match(r"[A-Za-z]:", name) else "holds a colon"
    if any(part.count(".") >= 2 and not part.strip(". ") for part in re.split(r"[\\/]", name)):
        return "climbs out of its folder with '..'"
    if any(re.fullmatch(r"CON|PRN|AUX|NUL|CONIN\$|CONOUT\$|COM[1-9]|LPT[1-9]", part.split(".")[0].rstrip(" "),
                        re.IGNORECASE | re.ASCII) for part in re.split(r"[\\/]", name)):
        return "names a device"
    return None


def version_problem(value):
    if not re.fullmatch(r"\d+(\.\d+){0,3}", value):
        return "is not one to four dot-separated decimal numbers"
    if any(int(field) > INT_MAX for field in value.split(".")):
        return f"has a field over {INT_MAX}"
    return None


class Checker:
    def __init__(self, profile, kind, findings, folder=None, bin_dir=None, extras=()):
        self.p, self.kind, self.findings = profile, kind, findings
        self.folder, self.bin_dir = folder, bin_dir
        self.extras = {os.path.basename(e).lower() for e in extras}

    def add(self, severity, text, line=0, section=None, key=None):
        self.findings.append(Finding(self.p.path, line, severity, text, section, key))

    def at(self, entry, severity, text):
        self.add(severity, text, entry.line, entry.section.name, entry.key)

    def run(self):
        layout = LAYOUTS[self.kind]
        self.check_names(layout)
        for section_name, keys in layout.items():
            if keys == LIST:
                self.check_list(section_name)
                continue
            for key, value_kind in keys.items():
                entry = self.p.entry(section_name, key)
                if entry and value_kind == VERSION and entry.value and version_problem(entry.value):
                    self.at(entry, "error", f"'{entry.value}' {version_problem(entry.value)}: the program completes "
                            "a shorter version with .0 fields, but reads this as a version nobody meant")
                if entry and value_kind == FLAG and entry.value.upper() not in ("TRUE", "FALSE", ""):
                    self.at(entry, "warning", f"'{entry.value}' reads as false: only TRUE (any letter case) is true")
        getattr(self, f"check_{self.kind}", lambda: None)()

    def check_names(self, layout):
        for line in self.p.stray_lines:
            self.add("warning", "line before any [section]: never read", line)
        for line in self.p.bad_headers:
            self.add("warning", "'[' without ']': read as a key, not as a section", line)
        seen = {}
        for section in self.p.sections:
            known = next((name for name in layout if name.lower() == section.name.lower()), None)
            first = seen.setdefault(section.name.lower(), section)
            if first is not section:
                self.add("warning", f"section appears again (first at line {first.line}): only the first is read",
                         section.line, section.name)
                continue
            if known is None:
                self.add("warning", "section is never read" + suggestion(section.name, list(layout), "[{}]"),
                         section.line, section.name)
                continue
            keys = layout[known]
            keys_seen = {}
            for entry in section.entries:
                other = keys_seen.setdefault(entry.key.lower(), entry)
                if other is not entry:
                    self.at(entry, "warning", f"key appears again (first at line {other.line}): only the first is read")
                elif keys == LIST:
                    self.check_list_key_name(entry)
                elif entry.key.lower() not in keys:
                    self.at(entry, "warning", "key is never read" + suggestion(entry.key, list(keys)))
                if other is entry and len(entry.value) > VALUE_LIMIT and (
                        keys == LIST or keys.get(entry.key.lower(), LONG_TEXT) != LONG_TEXT):
                    self.at(entry, "error", f"value of {len(entry.value)} characters: the reader returns only its "
                            f"first {VALUE_LIMIT}")

    def check_list_key_name(self, entry):
        name = entry.key.lower()
        if name == "filecount":
            return
        match = re.fullmatch(r"file(\d+)", name)
        if not match or list_key(int(match.group(1))) != name:
            count = max(wide_to_int(self.p.get(entry.section.name, "filecount")), 1)
            known = ["filecount"] + [list_key(i) for i in range(min(count, 200))]
            digits = re.search(r"\d+", name)
            hint = f" (did you mean {list_key(int(digits.group()))}?)" if digits and len(digits.group()) < 6 else \
                suggestion(entry.key, known)
            self.at(entry, "warning", "key is never read: entries are file00, file01, ..." + hint)

    def check_list(self, section_name):
        section = self.p.section(section_name)
        line = section.line if section else 0
        count_entry = self.p.entry(section_name, "filecount")
        count, entries = self.p.file_list(section_name)
        if count_entry is None or not count_entry.value:
            self.add("error", "filecount is missing: it reads as 0, so no file is listed" +
                     (" and nothing is copied to the PC" if self.kind == "config" else ""),
                     count_entry.line if count_entry else line, section_name, "filecount")
        elif not re.fullmatch(r"\d+", count_entry.value):
            self.at(count_entry, "error", f"'{count_entry.value}' is not a plain number: it reads as {count}")
        missing = [list_key(i) for i in range(min(count, len(entries) + 6)) if i not in entries]
        if missing:
            names = ", ".join(missing[:5]) + (", ..." if len(missing) > 5 or count > len(entries) + 6 else "")
            self.add("error", f"filecount is {count} but {names} {'is' if len(missing) == 1 else 'are'} missing: "
                     f"{'it reads' if len(missing) == 1 else 'each reads'} as an empty name" +
                     (f", so {COPY_STOPS}" if self.kind == "config" else ", so the package never counts as complete"),
                     count_entry.line if count_entry else line, section_name, "filecount")
        for index, entry in sorted(entries.items()):
            if index >= count and count_entry is not None and count_entry.value:
                self.at(entry, "error", f"beyond filecount {count}: never read")
            elif unsafe_reason(entry.value):
                self.at(entry, "error", f"'{entry.value}' {unsafe_reason(entry.value)}: the program refuses it, so " +
                        (COPY_STOPS if self.kind == "config" else "the package never counts as complete and its "
                         "download fails"))

    def check_config(self):
        if not self.p.get("PXPACKAGE", "model_name"):
            self.add("warning", f"model_name is empty: every caption reads the default \"{DEFAULT_CAPTION}\"",
                     *self.place("PXPACKAGE", "model_name"))
        pxpc_name = self.p.get("PXPC", "pxpc_name")
        if not pxpc_name:
            self.add("warning", "pxpc_name is empty: the PC tool can never be started", *self.place("PXPC", "pxpc_name"))
        elif unsafe_reason(pxpc_name):
            self.add("error", f"'{pxpc_name}' {unsafe_reason(pxpc_name)}: the program takes it for none, so the PC "
                     "tool can never be started", *self.place("PXPC", "pxpc_name"))
        count, entries = self.p.file_list("FILES")
        listed = [entries[i] for i in range(count) if i in entries and not unsafe_reason(entries[i].value)]
        for entry in listed:
            folder = os.path.dirname(entry.value.replace("\\", "/"))
            if folder and folder.lower() != COPY_SUBFOLDER:
                self.at(entry, "error", f"'{entry.value}' is in the sub-folder '{folder}': the phone start creates "
                        f"only {COPY_SUBFOLDER}\\ in its PC folder, so the copy fails and {COPY_STOPS}")
            elif not self.present(entry.value):
                self.at(entry, "error", f"'{entry.value}' {self.absent_where(entry.value)}: {COPY_STOPS}")
        if not any(PROGRAM in e.value for e in listed):
            other_case = next((e for e in listed if PROGRAM.lower() in e.value.lower()), None)
            if other_case:
                self.at(other_case, "error", f"'{other_case.value}' spells the program's name in other letters than "
                        f"{PROGRAM}: the phone start finds its copy by its own name, letter case included, so it "
                        "starts nothing on the PC")
            else:
                files = self.p.section("FILES")
                self.add("error", f"{PROGRAM} is not listed: the phone start copies the package but starts nothing "
                         "on the PC", files.line if files else 0, "FILES")
        self.check_preload()
        self.check_signature()

    def check_signature(self):
        section = self.p.section("SIGNATURE")
        if not section:
            return
        publisher, roots = self.p.entry("SIGNATURE", "publisher"), self.p.entry("SIGNATURE", "root_sha256")
        refuses = "the program then refuses every file of every package"
        if not publisher:
            self.add("error", f"publisher is missing: {refuses}", section.line, section.name)
        elif not publisher.value.strip():
            self.at(publisher, "error", f"publisher is empty: {refuses}")
        if roots and roots.value.strip():
            for item in roots.value.split(","):
                item = item.strip()
                if len(item) != 64 or any(c not in "0123456789abcdefABCDEF" for c in item):
                    self.at(roots, "error", f"'{item}' is not 64 hex digits: {refuses}")

    def check_preload(self):
        preload, preload_type = self.p.entry("DRIVER", "preload"), self.p.entry("DRIVER", "preload_type")
        if preload and preload.value:
            if unsafe_reason(preload.value):
                self.at(preload, "error", f"'{preload.value}' {unsafe_reason(preload.value)}: it is not a file on the "
                        "phone's drive, so no driver is installed from the phone")
            elif not self.present(preload.value):
                self.at(preload, "error", f"'{preload.value}' {self.absent_where(preload.value)}: the PC start cannot "
                        "copy it, so no driver is installed from the phone")
        if (preload and preload.value) or (preload_type and preload_type.value):
            value = preload_type.value if preload_type else ""
            if value.lower() not in (family.lower() for family in DRIVER_FAMILIES):
                self.add("error", f"'{value}' is not one of {', '.join(DRIVER_FAMILIES)}: the phone's driver family "
                         "stays unknown, so the program cannot tell whether its driver is installed",
                         *self.place("DRIVER", "preload_type"))

    def check_serverconfig(self):
        if not self.p.get("PXPACKAGE", "pack_version"):
            self.add("error", "pack_version is empty: it reads as 0.0.0.0, so a PC that has a package never takes "
                     "this one", *self.place("PXPACKAGE", "pack_version"))
        for key in ("driver_name", "driver_name_cbw_unison"):
            entry = self.p.entry("FILES_DRIVER", key)
            reason = entry and entry.value and ("holds a backslash" if "\\" in entry.value else unsafe_reason(entry.value))
            if reason:
                self.at(entry, "error", f"'{entry.value}' {reason}: the program refuses it, so the driver "
                        "installer's download fails")

    def place(self, section, key):
        """Line, section and key of a finding about a value that may be absent."""
        entry = self.p.entry(section, key)
        found = self.p.section(section)
        return (entry.line if entry else found.line if found else 0), section, key

    def present(self, relative):
        if self.folder is None:
            return True
        name = os.path.basename(relative.replace("\\", "/"))
        deliverable = next((d for d in DELIVERABLES if d.lower() == name.lower()), None)
        if deliverable:
            return self.bin_dir is None or find_in(self.bin_dir, deliverable) is not None
        return find_in(self.folder, relative) is not None or relative.lower() in self.extras

    def absent_where(self, relative):
        name = os.path.basename(relative.replace("\\", "/")).lower()
        if name in (d.lower() for d in DELIVERABLES):
            return f"is not in --bin {self.bin_dir}"
        return "is not in the model folder, nor given with --extra"


def suggestion(name, known, form="{}"):
    close = difflib.get_close_matches(name.lower(), [k.lower() for k in known], n=1, cutoff=0.6)
    if not close:
        return ""
    return f" (did you mean {form.format(next(k for k in known if k.lower() == close[0]))}?)"


def check_path(path, bin_dir=None, extras=()):
    """Findings for one PATH argument: a model folder or a file."""
    findings = []
    folder = None
    if os.path.isdir(path):
        folder = path
        config = find_in(path, "config.ini")
        if config is None:
            return [Finding(path, 0, "error", "no config.ini in this folder")]
        path = config
    kind = FILE_KINDS.get(os.path.basename(path).lower(), "config")
    if kind == "config" and folder is None:
        folder = os.path.dirname(path) or "."
    try:
        profile = read_profile(path, findings)
    except NotAProfile as problem:
        return findings + [Finding(path, 0, "error", str(problem))]
    Checker(profile, kind, findings, folder, bin_dir, extras).run()
    findings.sort(key=lambda f: (f.line or sys.maxsize, f.severity != "error"))
    return findings


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--bin", metavar="DIR", help="folder of the built deliverables")
    parser.add_argument("--extra", metavar="FILE", action="append", default=[],
                        help="a file the image gets from elsewhere, on its root")
    args = parser.parse_args(argv)
    if args.bin and not os.path.isdir(args.bin):
        parser.error(f"--bin {args.bin} is not a folder")
    errors = 0
    for path in args.paths:
        for finding in check_path(path, args.bin, args.extra):
            print(finding)
            errors += finding.severity == "error"
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
