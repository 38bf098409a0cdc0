"""What a file is by its bytes: an MSI package, a Windows program or library; and the addresses a
built binary carries as whole strings of its read-only data."""
import re
import struct

OLE_SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"  # compound file: every MSI package is one
IMAGE_FILE_DLL = 0x2000
MSI, PROGRAM, LIBRARY = "MSI package", "Windows program", "Windows library"

URL = re.compile(r"https?://[A-Za-z0-9.-]+(:\d+)?(/[!-~]*)?")
HOST = re.compile(r"localhost|\d{1,3}(\.\d{1,3}){3}|[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)*\.[A-Za-z]{2,}")
# Object identifiers of certificate fields ("2.5.4.3") look like addresses; their first arc is 0, 1 or 2.
OID = re.compile(r"[012](\.\d+)+")
# Names of files, not of hosts, that a binary's strings hold.
FILE_SUFFIXES = (".exe", ".dll", ".ini", ".txt", ".msi", ".cab", ".log", ".inf", ".xml", ".sys", ".dat", ".bat",
                 ".cmd", ".lnk", ".htm", ".html", ".tmp", ".bmp", ".ico", ".local", ".manifest")


def pe_header(data):
    """(characteristics, [(name, file offset, size)] of the sections) of a PE image, else None."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if offset + 24 > len(data) or data[offset:offset + 4] != b"PE\0\0":
        return None
    count, = struct.unpack_from("<H", data, offset + 6)
    optional_size, characteristics = struct.unpack_from("<HH", data, offset + 20)
    table = offset + 24 + optional_size
    sections = []
    for i in range(count):
        at = table + 40 * i
        if at + 40 > len(data):
            return None
        name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
        size, pointer = struct.unpack_from("<II", data, at + 16)
        sections.append((name, pointer, size))
    return characteristics, sections


def head(path, size=1 << 16):
    with open(path, "rb") as f:
        data = f.read(size)
        if data[:2] == b"MZ" and len(data) >= 0x40:
            # The PE header of a program with a large DOS stub lies further in.
            offset = struct.unpack_from("<I", data, 0x3C)[0]
            if offset + 1024 > len(data):
                f.seek(0)
                data = f.read(offset + 1024)
    return data


def file_kind(path):
    """MSI, PROGRAM or LIBRARY by the file's content, or None for anything else."""
    data = head(path)
    if data.startswith(OLE_SIGNATURE):
        return MSI
    header = pe_header(data)
    if header is None:
        return None
    return LIBRARY if header[0] & IMAGE_FILE_DLL else PROGRAM


def read_only_data(data):
    """The bytes of the image's .rdata section (all of it for a PE without one); None for no PE."""
    header = pe_header(data)
    if header is None:
        return None
    found = [data[pointer:pointer + size] for name, pointer, size in header[1] if name == ".rdata"]
    return found[0] if found else data


def narrow_strings(data):
    """Every NUL-bounded run of printable ASCII."""
    return {m.group().decode("ascii") for m in re.finditer(rb"(?<=\x00)[\x20-\x7e]{4,}(?=\x00)", b"\0" + data)}


def wide_strings(data):
    """Every run of printable ASCII as UTF-16LE, bounded by NUL characters, on an even offset."""
    found = set()
    padded = b"\0\0" + data
    for m in re.finditer(rb"(?<=\x00\x00)((?:[\x20-\x7e]\x00){4,})(?=\x00\x00)", padded):
        if m.start() % 2 == 0:
            found.add(m.group().decode("utf-16-le"))
    return found


def urls(strings):
    return sorted(s for s in strings if URL.fullmatch(s))


def hosts(strings):
    return sorted(s for s in strings if HOST.fullmatch(s) and not s.lower().endswith(FILE_SUFFIXES) and not OID.fullmatch(s))


def host_of(url):
    return re.match(r"https?://([^:/]+)", url).group(1)


def update_endpoints(path):
    """(service address, probe host, what could not be read) of a built update library: the service
    address is the one whole URL of its read-only data, the probe host the service's own host when
    that stands there alone, else the one host name there."""
    with open(path, "rb") as f:
        data = read_only_data(f.read())
    if data is None:
        return None, None, "not a Windows binary"
    strings = narrow_strings(data)
    found = urls(strings)
    if len(found) != 1:
        return None, None, f"{len(found)} addresses in it" + (f" ({', '.join(found)})" if found else "")
    service = found[0]
    candidates = hosts(strings)
    if host_of(service) in candidates:
        return service, host_of(service), None
    if len(candidates) == 1:
        return service, candidates[0], None
    return service, None, f"{len(candidates)} host names in it" + (f" ({', '.join(candidates)})" if candidates else "")


def connectivity_url(path):
    """(address, what could not be read) of the program: the one whole URL of its wide strings."""
    with open(path, "rb") as f:
        data = read_only_data(f.read())
    if data is None:
        return None, "not a Windows binary"
    found = urls(wide_strings(data))
    if len(found) != 1:
        return None, f"{len(found)} addresses in it" + (f" ({', '.join(found)})" if found else "")
    return found[0], None
