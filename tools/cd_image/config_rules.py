"""The rules of the checker: what the program reads from each of its INI files, and every finding
about a file it reads, each with a short stable code; an error is what makes a PC do other than
the model intends."""
import difflib
import os
import re

import binary_facts
from ini_profile import INT_MAX, VALUE_LIMIT, find_in, list_key, wide_to_int

PROGRAM = "PX_Bootstrap.exe"
DELIVERABLES = (PROGRAM, "QVUTchkdl.dll", "QVEUSBAutorun.dll")
DEVICE_LIBRARY, UPDATE_CLIENT = "QVEUSBAutorun.dll", "QVUTchkdl.dll"
LICENCE = "License.txt"
DRIVER_FAMILIES = ("unison", "cbw_unison", "modem", "android", "zodavozUro")
DEFAULT_CAPTION = "RO Zeru Zav"
# The image's volume label: Joliet keeps 16 characters, and Windows shows the Joliet label.
LABEL_LIMIT = 16
# The only sub-folder the phone start creates in its PC folder before copying the package.
COPY_SUBFOLDER = "tools"
VERSION_KEYS = ("driver_version", "and_driver_version", "andnet_driver_version",
                "cb_driver_version", "cb_and_driver_version", "cb_andnet_driver_version")
ERROR, WARNING, NOTE = "error", "warning", "note"

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

# Every finding's code, and what it is about.
CODES = {
    "unreadable": "the file cannot be read",
    "not-ini": "the file is no INI text",
    "no-config": "a model folder without config.ini",
    "utf8-mark": "UTF-8 with a byte-order mark",
    "utf16-form": "UTF-16 without a byte-order mark, or big-endian",
    "utf8-text": "non-ASCII UTF-8 without a byte-order mark",
    "line-before-section": "a line before any [section]",
    "unclosed-section": "a '[' line without ']'",
    "duplicate-section": "a section that appears again",
    "unread-section": "a section the program never reads",
    "duplicate-key": "a key that appears again in its section",
    "unread-key": "a key the program never reads",
    "value-cut": "a value over 259 characters",
    "bad-version": "a version that is not one to four numbers",
    "bad-flag": "a flag other than TRUE or FALSE",
    "filecount-missing": "a file list without filecount",
    "filecount-not-number": "a filecount that is not a plain number",
    "list-gap": "a file list with entries missing below filecount",
    "beyond-filecount": "a file list entry at or above filecount",
    "unsafe-name": "a file name the program refuses",
    "wrong-subfolder": "a listed file in a sub-folder other than tools\\",
    "file-missing": "a listed file or the preload installer not found",
    "program-not-listed": "PX_Bootstrap.exe not in [FILES]",
    "relaunch-file-not-copied": "a file the relaunch checks not listed beside the program",
    "licence-not-copied": "License.txt not listed beside the program",
    "empty-model-name": "model_name empty or missing",
    "label-cut": "a model name longer than the volume label keeps",
    "empty-pxpc-name": "pxpc_name empty or missing",
    "preload-not-installer": "a preload that is not an installer the program can run",
    "unknown-driver-family": "a preload_type that is none of the driver families",
    "signature-publisher": "a [SIGNATURE] without a publisher",
    "signature-root": "a pinned root that is not 64 hex digits",
    "empty-pack-version": "an empty pack_version",
}
# Without these nothing of the file is checked, so there is nothing to waive them for.
UNWAIVABLE = ("unreadable", "not-ini", "no-config")

COPY_STOPS = "the phone start stops copying the package ('Failed to copy installation package to system' [002])"
NO_DRIVER = "so no driver is installed from the phone"


class Finding:
    def __init__(self, path, line, severity, code, text, section=None, key=None):
        assert code in CODES, code
        self.path, self.line, self.severity, self.code, self.text = path, line, severity, code, text
        self.section, self.key = section, key

    def __str__(self):
        where = f"{self.path}:{self.line}" if self.line else self.path
        what = f"[{self.section}] " if self.section else ""
        what += f"{self.key}: " if self.key else ""
        mark = f"{self.code}, waived" if self.severity == NOTE else self.code
        line = f"{where}: {self.severity}: {what}{self.text} [{mark}]"
        # Control characters from a broken file are shown, not printed.
        return "".join(c if c.isprintable() else f"\\x{ord(c):02x}" if ord(c) < 256 else f"\\u{ord(c):04x}"
                       for c in line)


def base_name(relative):
    return re.split(r"[\\/]", relative)[-1]


def folder_part(relative):
    """The folder of a listed name with its backslash ("tools\\"), or "" for a name on the root."""
    parts = re.split(r"[\\/]", relative)
    return "".join(part + "\\" for part in parts[:-1])


def same_name(a, b):
    return a.replace("/", "\\").lower() == b.replace("/", "\\").lower()


def relaunched_entry(profile):
    """The [FILES] entry that the phone start relaunches on the PC: the last one the program takes
    whose own file name is the program's, letter case aside; None when there is none."""
    listed = [name for name in profile.listed("FILES") if not unsafe_reason(name)]
    return next((name for name in reversed(listed) if base_name(name).lower() == PROGRAM.lower()), None)


def runs_through_msiexec(installer):
    """The program installs a name that ends in "msi" (any letter case) with msiexec, and starts any
    other as a program."""
    return installer.lower().endswith("msi")


def volume_label(model_name):
    """The volume label of the image: the caption (the model name, else the default) cut to what
    Joliet keeps, LABEL_LIMIT UTF-16 units."""
    units = (model_name or DEFAULT_CAPTION).encode("utf-16-le")[:2 * LABEL_LIMIT]
    return units.decode("utf-16-le", "ignore")


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


def suggestion(name, known, form="{}"):
    """" (did you mean X?)" for the known name closest to `name` (case aside), else ""."""
    close = difflib.get_close_matches(name.lower(), [k.lower() for k in known], n=1, cutoff=0.6)
    if not close:
        return ""
    return f" (did you mean {form.format(next(k for k in known if k.lower() == close[0]))}?)"


def first_values(section):
    """Key (lower case) -> the value the reader returns for it in `section`."""
    values = {}
    for entry in section.entries:
        values.setdefault(entry.key.lower(), entry.value)
    return values


class Checker:
    def __init__(self, profile, kind, findings, folder=None, bin_dir=None, extras=()):
        self.p, self.kind, self.findings = profile, kind, findings
        self.folder, self.bin_dir = folder, bin_dir
        self.extras = {os.path.basename(e).lower(): e for e in extras}

    def add(self, severity, code, text, line=0, section=None, key=None):
        self.findings.append(Finding(self.p.path, line, severity, code, text, section, key))

    def at(self, entry, severity, code, text):
        self.add(severity, code, text, entry.line, entry.section.name, entry.key)

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
                    self.at(entry, ERROR, "bad-version", f"'{entry.value}' {version_problem(entry.value)}: the "
                            "program completes a shorter version with .0 fields, but reads this as a version nobody meant")
                if entry and value_kind == FLAG and entry.value.upper() not in ("TRUE", "FALSE", ""):
                    self.at(entry, ERROR, "bad-flag", f"'{entry.value}' reads as false: only TRUE (any letter case) "
                            "is true")
        getattr(self, f"check_{self.kind}", lambda: None)()

    def check_stray_line(self, layout, line, text):
        """A line before any section is never read; an error when it looks like a key the program reads."""
        key = text.partition("=")[0].strip(" \t")
        owner = None
        if "=" in text:
            for name, keys in layout.items():
                known = ["filecount"] if keys == LIST else list(keys)
                if keys == LIST and re.fullmatch(r"file\d+", key, re.IGNORECASE) or suggestion(key, known) or \
                        key.lower() in known:
                    owner = owner or name
        if owner:
            self.add(ERROR, "line-before-section", f"'{key}' before any [section] is never read (it belongs in "
                     f"[{owner}])", line)
        else:
            self.add(WARNING, "line-before-section", "line before any [section]: never read", line)

    def check_names(self, layout):
        for line, text in self.p.stray_lines:
            self.check_stray_line(layout, line, text)
        for line in self.p.bad_headers:
            self.add(ERROR, "unclosed-section", "'[' without ']': read as a key, not as a section, so the keys "
                     "below it belong to the section before it", line)
        seen = {}
        for section in self.p.sections:
            known = next((name for name in layout if name.lower() == section.name.lower()), None)
            first = seen.setdefault(section.name.lower(), section)
            if first is not section:
                values = first_values(first)
                differs = any(values.get(e.key.lower()) != e.value for e in section.entries)
                self.add(ERROR if differs else WARNING, "duplicate-section",
                         f"section appears again (first at line {first.line}): only the first is read" +
                         (", and this one says other things" if differs else ""), section.line, section.name)
                continue
            if known is None:
                hint = suggestion(section.name, list(layout), "[{}]")
                self.add(ERROR if hint else WARNING, "unread-section", "section is never read" + hint,
                         section.line, section.name)
                continue
            keys = layout[known]
            keys_seen = {}
            for entry in section.entries:
                other = keys_seen.setdefault(entry.key.lower(), entry)
                if other is not entry:
                    differs = other.value != entry.value
                    self.at(entry, ERROR if differs else WARNING, "duplicate-key",
                            f"key appears again (first at line {other.line}): only the first is read" +
                            (f", '{other.value}'" if differs else ""))
                elif keys == LIST:
                    self.check_list_key_name(entry)
                elif entry.key.lower() not in keys:
                    hint = suggestion(entry.key, list(keys))
                    self.at(entry, ERROR if hint else WARNING, "unread-key", "key is never read" + hint)
                if other is entry and len(entry.value) > VALUE_LIMIT and (
                        keys == LIST or keys.get(entry.key.lower(), LONG_TEXT) != LONG_TEXT):
                    self.at(entry, ERROR, "value-cut", f"value of {len(entry.value)} characters: the reader returns "
                            f"only its first {VALUE_LIMIT}")

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
            self.at(entry, ERROR if hint else WARNING, "unread-key",
                    "key is never read: entries are file00, file01, ..." + hint)

    def check_list(self, section_name):
        section = self.p.section(section_name)
        line = section.line if section else 0
        count_entry = self.p.entry(section_name, "filecount")
        count, entries = self.p.file_list(section_name)
        if count_entry is None or not count_entry.value:
            self.add(ERROR, "filecount-missing", "filecount is missing: it reads as 0, so no file is listed" +
                     (" and nothing is copied to the PC" if self.kind == "config" else ""),
                     count_entry.line if count_entry else line, section_name, "filecount")
        elif not re.fullmatch(r"\d+", count_entry.value):
            self.at(count_entry, ERROR, "filecount-not-number",
                    f"'{count_entry.value}' is not a plain number: it reads as {count}")
        missing = [list_key(i) for i in range(min(count, len(entries) + 6)) if i not in entries]
        if missing:
            names = ", ".join(missing[:5]) + (", ..." if len(missing) > 5 or count > len(entries) + 6 else "")
            self.add(ERROR, "list-gap", f"filecount is {count} but {names} {'is' if len(missing) == 1 else 'are'} "
                     f"missing: {'it reads' if len(missing) == 1 else 'each reads'} as an empty name" +
                     (f", so {COPY_STOPS}" if self.kind == "config" else ", so the package never counts as complete"),
                     count_entry.line if count_entry else line, section_name, "filecount")
        for index, entry in sorted(entries.items()):
            if index >= count and count_entry is not None and count_entry.value:
                self.at(entry, ERROR, "beyond-filecount", f"beyond filecount {count}: never read")
            elif unsafe_reason(entry.value):
                self.at(entry, ERROR, "unsafe-name", f"'{entry.value}' {unsafe_reason(entry.value)}: the program "
                        "refuses it, so " + (COPY_STOPS if self.kind == "config" else
                                             "the package never counts as complete and its download fails"))

    def check_config(self):
        self.check_model_name()
        pxpc_name = self.p.get("PXPC", "pxpc_name")
        if not pxpc_name:
            self.add(ERROR, "empty-pxpc-name", "pxpc_name is empty or missing: no PC tool can ever be started", *self.place("PXPC", "pxpc_name"))
        elif unsafe_reason(pxpc_name):
            self.add(ERROR, "unsafe-name", f"'{pxpc_name}' {unsafe_reason(pxpc_name)}: the program takes it for none, "
                     "so the PC tool can never be started", *self.place("PXPC", "pxpc_name"))
        count, entries = self.p.file_list("FILES")
        listed = [entries[i] for i in range(count) if i in entries and not unsafe_reason(entries[i].value)]
        for entry in listed:
            folder = os.path.dirname(entry.value.replace("\\", "/"))
            if folder and folder.lower() != COPY_SUBFOLDER:
                self.at(entry, ERROR, "wrong-subfolder", f"'{entry.value}' is in the sub-folder '{folder}': the phone "
                        f"start creates only {COPY_SUBFOLDER}\\ in its PC folder, so the copy fails and {COPY_STOPS}")
            elif not self.present(entry.value):
                self.at(entry, ERROR, "file-missing", f"'{entry.value}' {self.absent_where(entry.value)}: {COPY_STOPS}")
        self.check_relaunch(listed)
        self.check_preload()
        self.check_signature()

    def check_model_name(self):
        model_name = self.p.get("PXPACKAGE", "model_name")
        if not model_name:
            self.add(ERROR, "empty-model-name", f"model_name is empty or missing: every caption reads the default "
                     f"\"{DEFAULT_CAPTION}\", and so does the image's volume label, not the phone's name",
                     *self.place("PXPACKAGE", "model_name"))
        elif volume_label(model_name) != model_name:
            self.add(ERROR, "label-cut", f"'{model_name}' is longer than the {LABEL_LIMIT} characters the image's "
                     f"volume label keeps: Windows names the phone's drive '{volume_label(model_name)}'",
                     *self.place("PXPACKAGE", "model_name"))

    def check_relaunch(self, listed):
        """The program's copy is relaunched from the PC with the files the relaunch checks, and the
        licence it shows, beside it in the same folder."""
        files = self.p.section("FILES")
        line = files.line if files else 0
        program = relaunched_entry(self.p)
        if program is None:
            self.add(ERROR, "program-not-listed", f"{PROGRAM} is not listed: the phone start copies the package but "
                     "starts nothing on the PC", line, "FILES")
            return
        folder = folder_part(program)
        names = [entry.value for entry in listed]
        beside = [folder + DEVICE_LIBRARY, folder + "config.ini"] + ([] if folder else [UPDATE_CLIENT])
        for name in beside:
            if not any(same_name(name, listed_name) for listed_name in names):
                self.add(ERROR, "relaunch-file-not-copied", f"'{name}' is not listed beside the program that is "
                         f"relaunched ('{program}'): the relaunch finds its copy is not the phone's, so the phone "
                         "start shows 'Failed to copy installation package to system' and starts nothing on the PC",
                         line, "FILES")
        if not any(same_name(folder + LICENCE, listed_name) for listed_name in names):
            self.add(ERROR, "licence-not-copied", f"'{folder}{LICENCE}' is not listed: the PC start reads the licence "
                     f"from the folder of its program ('{program}'), so without it it shows no window and ends at "
                     "[InitControl() == FALSE]", line, "FILES")

    def check_signature(self):
        section = self.p.section("SIGNATURE")
        if not section:
            return
        publisher, roots = self.p.entry("SIGNATURE", "publisher"), self.p.entry("SIGNATURE", "root_sha256")
        refuses = "the program then refuses every file of every package"
        if not publisher:
            self.add(ERROR, "signature-publisher", f"publisher is missing: {refuses}", section.line, section.name)
        elif not publisher.value.strip():
            self.at(publisher, ERROR, "signature-publisher", f"publisher is empty: {refuses}")
        if roots and roots.value.strip():
            for item in roots.value.split(","):
                item = item.strip()
                if len(item) != 64 or any(c not in "0123456789abcdefABCDEF" for c in item):
                    self.at(roots, ERROR, "signature-root", f"'{item}' is not 64 hex digits: {refuses}")

    def check_preload(self):
        preload, preload_type = self.p.entry("DRIVER", "preload"), self.p.entry("DRIVER", "preload_type")
        if preload and preload.value:
            if unsafe_reason(preload.value):
                self.at(preload, ERROR, "unsafe-name", f"'{preload.value}' {unsafe_reason(preload.value)}: it is not a "
                        f"file on the phone's drive, {NO_DRIVER}")
            elif not self.present(preload.value):
                self.at(preload, ERROR, "file-missing", f"'{preload.value}' {self.absent_where(preload.value)}: the PC "
                        f"start cannot copy it, {NO_DRIVER}")
            else:
                self.check_installer(preload)
        if (preload and preload.value) or (preload_type and preload_type.value):
            value = preload_type.value if preload_type else ""
            if value.lower() not in (family.lower() for family in DRIVER_FAMILIES):
                self.add(ERROR, "unknown-driver-family", f"'{value}' is not one of {', '.join(DRIVER_FAMILIES)}: the "
                         "phone's driver family stays unknown, so the program cannot tell whether its driver is "
                         "installed", *self.place("DRIVER", "preload_type"))

    def check_installer(self, preload):
        """The program runs a preload whose name ends in msi through msiexec, and starts any other as a
        program: its content must be what its name makes of it."""
        path = self.source(preload.value)
        if path is None:
            return
        try:
            kind = binary_facts.file_kind(path)
        except OSError:
            return
        described = {binary_facts.MSI: "an MSI package", binary_facts.PROGRAM: "a Windows program",
                     binary_facts.LIBRARY: "a Windows library, no program",
                     None: "neither an MSI package nor a Windows program"}[kind]
        if runs_through_msiexec(preload.value) and kind != binary_facts.MSI:
            self.at(preload, ERROR, "preload-not-installer", f"'{preload.value}' is installed through msiexec (its "
                    f"name ends in msi), but it is {described}: msiexec refuses it, {NO_DRIVER}")
        elif not runs_through_msiexec(preload.value) and kind != binary_facts.PROGRAM:
            self.at(preload, ERROR, "preload-not-installer", f"'{preload.value}' is started as a program (its name "
                    f"does not end in msi), but it is {described}: it does not start, {NO_DRIVER}")

    def check_serverconfig(self):
        if not self.p.get("PXPACKAGE", "pack_version"):
            self.add(ERROR, "empty-pack-version", "pack_version is empty: it reads as 0.0.0.0, so a PC that has a "
                     "package never takes this one", *self.place("PXPACKAGE", "pack_version"))
        for key in ("driver_name", "driver_name_cbw_unison"):
            entry = self.p.entry("FILES_DRIVER", key)
            reason = entry and entry.value and ("holds a backslash" if "\\" in entry.value else unsafe_reason(entry.value))
            if reason:
                self.at(entry, ERROR, "unsafe-name", f"'{entry.value}' {reason}: the program refuses it, so the "
                        "driver installer's download fails")

    def place(self, section, key):
        """Line, section and key of a finding about a value that may be absent."""
        entry = self.p.entry(section, key)
        found = self.p.section(section)
        return (entry.line if entry else found.line if found else 0), section, key

    def source(self, relative):
        """The file the image gets for a listed name, as the builder takes it; None when not known."""
        if self.folder is None:
            return None
        deliverable = next((d for d in DELIVERABLES if d.lower() == base_name(relative).lower()), None)
        if deliverable:
            return find_in(self.bin_dir, deliverable) if self.bin_dir else None
        return find_in(self.folder, relative) or self.extras.get(relative.lower())

    def present(self, relative):
        if self.folder is None:
            return True
        deliverable = any(d.lower() == base_name(relative).lower() for d in DELIVERABLES)
        if deliverable and self.bin_dir is None:
            return True
        return self.source(relative) is not None

    def absent_where(self, relative):
        if any(d.lower() == base_name(relative).lower() for d in DELIVERABLES):
            return f"is not in --bin {self.bin_dir}"
        return "is not in the model folder, nor given with --extra"
