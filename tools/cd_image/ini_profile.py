"""An INI file as the system's profile reader sees it (sections and keys without regard to case, the
first of repeated sections and keys, values without surrounding blanks and quotes), the encodings
it reads, and file names matched as Windows matches them. Shared by the checker and the builder."""
import os
import re

# Every value is read into 260 characters, so at most 259 come back.
VALUE_LIMIT = 259
INT_MAX = 2**31 - 1


class NotAProfile(Exception):
    """A file that cannot be checked at all: unreadable, or not an INI text."""

    def __init__(self, code, text):
        super().__init__(text)
        self.code = code


class Entry:
    def __init__(self, line, key, value, section):
        self.line, self.key, self.value, self.section = line, key, value, section


class Section:
    def __init__(self, line, name):
        self.line, self.name, self.entries = line, name, []


class Profile:
    def __init__(self, path, text):
        self.path = path
        self.sections = []
        self.stray_lines = []  # (line, text) before any section: never read
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
                self.stray_lines.append((number, line))
                continue
            key, _, value = line.partition("=")
            value = value.strip(" \t")
            if len(value) > 1 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            current.entries.append(Entry(number, key.strip(" \t"), value, current))

    def entry_count(self):
        return sum(len(s.entries) for s in self.sections)

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

    def listed(self, section):
        """The names of the list as the program reads them, in order (a missing entry reads as empty)."""
        count, entries = self.file_list(section)
        return [entries[i].value[:VALUE_LIMIT] if i in entries else "" for i in range(count)]


def wide_to_int(text):
    """The count as the runtime's _wtoi reads it: blanks, a sign, digits; clamped to int."""
    match = re.match(r"[ \t\n\r\x0b\x0c]*([+-]?)(\d*)", text)
    number = int(match.group(2) or 0) * (-1 if match.group(1) == "-" else 1)
    return max(min(number, INT_MAX), -INT_MAX - 1)


def list_key(index):
    return f"file{index:02d}"


def decode(data):
    """The file's text, and (severity, code, text) for each way the profile reader does not read it
    as intended."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", "replace"), []
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8", "replace"), [(
            "error", "utf8-mark", "saved as UTF-8 with a byte-order mark: the profile reader takes the mark for "
            "characters of line 1 (so a section there is not found) and reads other text as ANSI; save it as ANSI "
            "or as UTF-16LE with a byte-order mark")]
    big_endian_mark = data.startswith(b"\xfe\xff")
    utf16 = "be" if big_endian_mark else utf16_without_mark(data)
    if utf16:
        form = "UTF-16 big-endian" if big_endian_mark else f"UTF-16{utf16.upper()} without a byte-order mark"
        return data[2 if big_endian_mark else 0:].decode(f"utf-16-{utf16}", "replace"), [(
            "error", "utf16-form", f"saved as {form}: the profile reader reads it as ANSI and finds nothing in it; "
            "save it as ANSI or as UTF-16LE with a byte-order mark")]
    if b"\0" in data:
        raise NotAProfile("not-ini", "not an INI file: it holds NUL bytes, so it is no text")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1252", "replace"), []
    if not text.isascii():
        return text, [("error", "utf8-text", "UTF-8 text without a byte-order mark: the profile reader reads it in "
                       "the PC's ANSI code page, so non-ASCII text comes out garbled (save it as UTF-16LE with a "
                       "byte-order mark)")]
    return text, []


def utf16_without_mark(data):
    """'le' or 'be' for text that looks like UTF-16 (most high bytes zero), else None."""
    if len(data) < 4 or len(data) % 2:
        return None
    half = len(data) // 2
    for order, zeros in (("le", data[1::2]), ("be", data[0::2])):
        if zeros.count(0) * 10 >= half * 8 and data[0 if order == "le" else 1::2].count(0) * 10 < half:
            return order
    return None


def read_profile(path):
    """The profile, and the (severity, code, text) problems of its encoding."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise NotAProfile("unreadable", f"cannot read it: {error.strerror or error}") from None
    text, problems = decode(data)
    profile = Profile(path, text)
    if not profile.sections:
        raise NotAProfile("not-ini", "not an INI file: it has no [section] line")
    return profile, problems


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
