#!/usr/bin/env python3
"""Checks a built Windows binary: it imports only DLLs that Windows loads from the system folder
whatever the search order (its known DLLs; Common Controls only where the binary's manifest asks
for version 6, which then comes from the side-by-side store), exports exactly the plain names of
its .def file, and (32-bit) its exports have the expected calling convention, read from the
compiler's own symbol decoration in the objects it was linked from: _Name for caller-cleans,
_Name@N for callee-cleans. Any other system DLL (version, wininet, urlmon, ...) would be looked
for in the program's own folder first; those must be delay-loaded from the system folder instead.
A DLL that the binary must load only by itself, by its full path (--not-imported), is neither in its
import table nor named anywhere in it the way an import table or a delay-load descriptor names one.
With --manifest, the manifest embedded as a resource is read out of the PE file's resource directory
and parsed as XML: the program's asks for administrator rights, Common Controls 6, the Windows
versions it supports and per-monitor DPI awareness; the library's for Common Controls 6 and the same
Windows versions, and sets no DPI awareness (only the process's manifest can)."""
import argparse
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

PROTECTED_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
    "oleaut32.dll", "rpcrt4.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "ws2_32.dll",
}
COMMON_CONTROLS = "comctl32.dll"
COMMON_CONTROLS_6 = b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'


def allowed_imports(binary):
    """The DLLs the binary may import: the protected ones, and Common Controls where its embedded
    manifest names version 6."""
    with open(binary, "rb") as f:
        manifest_asks = COMMON_CONTROLS_6 in re.sub(rb"\s+", b" ", f.read())
    return PROTECTED_DLLS | ({COMMON_CONTROLS} if manifest_asks else set())


def imports_of(dump):
    return [m.group(1) for m in re.finditer(r"^\s*DLL Name: (\S+)", dump, re.M)]


def names_dll(data, dll):
    """Whether the binary's bytes hold `dll` as a narrow string of its own (no printable character
    before it, a NUL after it), in any letter case: how an import table and a delay-load descriptor
    name a DLL. A path that ends in the name, or the name in wide characters, is no such string."""
    pattern = rb"(?<![\x21-\x7e])" + re.escape(dll.encode("ascii")) + rb"\x00"
    return re.search(pattern, data, re.I) is not None


def exports_of(dump):
    table = re.search(r"\[Ordinal/Name Pointer\] Table.*?\n(.*?)(?:\n\s*\n|\Z)", dump, re.S)
    if not table:
        return []
    return re.findall(r"^\s*\[\s*\d+\]\s+(\S+)", table.group(1), re.M)


def def_exports(path):
    """The export names of a module-definition file: the first word of each line of its EXPORTS
    section, without an ordinal (@N) or other attributes; comments (;) and blank lines skipped."""
    names, in_exports = [], False
    with open(path, encoding="ascii") as f:
        for line in f:
            words = line.split(";", 1)[0].split()
            if not words:
                continue
            keyword = words[0].upper()
            if keyword in ("LIBRARY", "NAME", "DESCRIPTION", "STACKSIZE", "HEAPSIZE", "SECTIONS", "VERSION"):
                in_exports = False
                continue
            if keyword == "EXPORTS":
                in_exports = True
                words = words[1:]
                if not words:
                    continue
            if in_exports:
                names.append(words[0].split("=", 1)[0])
    if not names:
        raise ValueError(f"{path}: no exports")
    return names


RT_MANIFEST = 24
RESOURCE_DIRECTORY = 2  # index of the resource table among the optional header's data directories


def rva_to_offset(sections, rva):
    for virtual_address, virtual_size, raw_offset, raw_size in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            if rva - virtual_address >= raw_size:
                raise ValueError(f"RVA 0x{rva:x} lies in a section's uninitialised part")
            return raw_offset + rva - virtual_address
    raise ValueError(f"RVA 0x{rva:x} lies in no section")


def pe_resource(data, type_id, name_id):
    """The bytes of the resource type_id/name_id (numeric ids) of a PE file, in its first language,
    or None when the file has no such resource. Reads the resource directory's three levels (type,
    name, language) as the loader does; ValueError when the file is no PE image or the directory
    points outside it."""
    def unpack(fmt, offset):
        if offset < 0 or offset + struct.calcsize(fmt) > len(data):
            raise ValueError(f"truncated at 0x{offset:x}")
        return struct.unpack_from(fmt, data, offset)

    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    (pe_offset,) = unpack("<I", 0x3C)
    if data[pe_offset:pe_offset + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    _, section_count, _, _, _, optional_size, _ = unpack("<HHIIIHH", pe_offset + 4)
    optional = pe_offset + 24
    (magic,) = unpack("<H", optional)
    directories = {0x10B: optional + 96, 0x20B: optional + 112}.get(magic)
    if directories is None:
        raise ValueError(f"unknown optional header magic 0x{magic:x}")
    (directory_count,) = unpack("<I", directories - 4)
    if directory_count <= RESOURCE_DIRECTORY:
        return None
    resource_rva, resource_size = unpack("<II", directories + 8 * RESOURCE_DIRECTORY)
    if resource_rva == 0 or resource_size == 0:
        return None
    sections = []
    for n in range(section_count):
        virtual_size, virtual_address, raw_size, raw_offset = unpack("<IIII", optional + optional_size + 40 * n + 8)
        sections.append((virtual_address, virtual_size, raw_offset, raw_size))
    root = rva_to_offset(sections, resource_rva)

    def entries(directory):
        """(id or None for a named entry, offset within the resource data, is a sub-directory)."""
        named, numbered = unpack("<HH", root + directory + 12)
        for n in range(named + numbered):
            name, target = unpack("<II", root + directory + 16 + 8 * n)
            yield (None if name & 0x80000000 else name), target & 0x7FFFFFFF, bool(target & 0x80000000)

    def subdirectory(directory, wanted):
        for key, target, is_directory in entries(directory):
            if key == wanted:
                if not is_directory:
                    raise ValueError(f"resource entry {wanted} is no directory")
                return target
        return None

    names = subdirectory(0, type_id)
    languages = None if names is None else subdirectory(names, name_id)
    if languages is None:
        return None
    for _, target, is_directory in entries(languages):
        if is_directory:
            raise ValueError("a language entry is a directory")
        data_rva, size, _, _ = unpack("<IIII", root + target)
        start = rva_to_offset(sections, data_rva)
        if start + size > len(data):
            raise ValueError("resource data beyond the end of the file")
        return data[start:start + size]
    return None


ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
COMMON_CONTROLS_6_IDENTITY = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                              "publicKeyToken": "6595b64144ccf1df"}
# The manifest's resource id for each kind of binary: 1 is a program's, read when its process is
# created; 2 a library's, activated around the library's own calls into Common Controls.
MANIFESTS = {"program": 1, "library": 2}


def _path(*steps):
    return "/".join(f"{{{ns}}}{tag}" for ns, tag in steps)


def manifest_faults(text, kind):
    """What the manifest text of a binary of the given kind ("program" or "library") lacks or holds
    wrongly, as a list of messages (empty when it is right). Elements count only in the namespaces
    Windows reads them in."""
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        return [f"manifest is no well-formed XML: {error}"]
    if root.tag != f"{{{ASM_V1}}}assembly":
        return [f"manifest root is {root.tag}, not an asm.v1 assembly"]
    faults = []

    identities = root.findall(_path((ASM_V1, "dependency"), (ASM_V1, "dependentAssembly"),
                                    (ASM_V1, "assemblyIdentity")))
    if not any(all(identity.get(k) == v for k, v in COMMON_CONTROLS_6_IDENTITY.items()) for identity in identities):
        faults.append("manifest has no dependency on Common Controls 6.0.0.0 (type win32, publicKeyToken "
                      "6595b64144ccf1df)")

    listed = {element.get("Id", "").lower() for element in root.findall(
        _path((COMPATIBILITY, "compatibility"), (COMPATIBILITY, "application"), (COMPATIBILITY, "supportedOS")))}
    for os_id, os_name in SUPPORTED_OS.items():
        if os_id not in listed:
            faults.append(f"manifest does not list {os_name} {os_id} as a supported OS")

    settings = _path((ASM_V3, "application"), (ASM_V3, "windowsSettings"))
    dpi_aware = root.findall(settings + "/" + _path((SETTINGS_2005, "dpiAware")))
    dpi_awareness = root.findall(settings + "/" + _path((SETTINGS_2016, "dpiAwareness")))
    levels = root.findall(_path((ASM_V3, "trustInfo"), (ASM_V3, "security"), (ASM_V3, "requestedPrivileges"),
                                (ASM_V3, "requestedExecutionLevel")))
    if kind == "program":
        if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("requireAdministrator", "false")]:
            faults.append('manifest does not ask for requestedExecutionLevel level="requireAdministrator" '
                          'uiAccess="false" (once)')
        if [(e.text or "").strip().lower() for e in dpi_aware] != ["true/pm"]:
            faults.append("manifest does not set dpiAware true/pm (once)")
        first = [(e.text or "").split(",")[0].strip().lower() for e in dpi_awareness]
        if first != ["permonitorv2"]:
            faults.append("manifest does not set dpiAwareness PerMonitorV2 first (once)")
    elif dpi_aware or dpi_awareness:
        faults.append("a library's manifest sets DPI awareness, which only the process's manifest can")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm")
    parser.add_argument("--objects", default="", help="semicolon-separated object files the binary was linked from")
    parser.add_argument("--def", dest="def_file", help="module-definition file: the binary exports exactly its names")
    parser.add_argument("--caller-cleans", action="store_true")
    parser.add_argument("--callee-cleans", default="",
                        help="comma-separated Name=argument-bytes, one for each export and no other")
    parser.add_argument("--not-imported", action="append", default=[],
                        help="a DLL the binary loads by itself: neither imported nor delay-loaded by name")
    parser.add_argument("--manifest", choices=sorted(MANIFESTS),
                        help="read the embedded manifest and check what a program's or a library's must ask for")
    parser.add_argument("binary")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.binary], check=True, capture_output=True, text=True).stdout
    faults = []

    imports = imports_of(dump)
    if not imports:
        faults.append("no import table found")
    allowed = allowed_imports(args.binary)
    for dll in imports:
        if dll.lower() not in allowed:
            faults.append(f"imports {dll}, which Windows may look for in the program's folder first")
    if args.not_imported:
        with open(args.binary, "rb") as f:
            data = f.read()
        for dll in args.not_imported:
            if dll.lower() in (i.lower() for i in imports):
                faults.append(f"imports {dll}, which it must load by itself")
            elif names_dll(data, dll):
                faults.append(f"holds the name {dll} as an import or a delay-load holds it, which it must load by itself")

    expected = def_exports(args.def_file) if args.def_file else []
    if expected:
        exported = exports_of(dump)
        if sorted(exported) != sorted(expected):
            faults.append(f"exports {sorted(exported)}, expected {sorted(expected)}")

    if args.caller_cleans or args.callee_cleans:
        objects = [o for o in args.objects.split(";") if o]
        symbols = subprocess.run([args.nm, "-g", *objects], check=True, capture_output=True, text=True).stdout
        defined = set(re.findall(r"^\S+ T (\S+)$", symbols, re.M))
        if args.caller_cleans:
            for name in expected:
                if "_" + name not in defined:
                    faults.append(f"{name} is not compiled caller-cleans (no symbol _{name})")
        callee_cleans = dict(item.split("=") for item in filter(None, args.callee_cleans.split(",")))
        if args.callee_cleans and sorted(callee_cleans) != sorted(expected):
            faults.append(f"argument bytes given for {sorted(callee_cleans)}, exports {sorted(expected)}")
        for name, size in callee_cleans.items():
            if f"_{name}@{size}" not in defined:
                faults.append(f"{name} is not compiled callee-cleans with {size} argument bytes")

    if args.manifest:
        with open(args.binary, "rb") as f:
            data = f.read()
        resource_id = MANIFESTS[args.manifest]
        try:
            manifest = pe_resource(data, RT_MANIFEST, resource_id)
        except ValueError as error:
            faults.append(f"cannot read the resource directory: {error}")
        else:
            if manifest is None:
                faults.append(f"no manifest resource (type {RT_MANIFEST}, id {resource_id})")
            else:
                faults.extend(manifest_faults(manifest, args.manifest))

    for fault in faults:
        print(f"{args.binary}: {fault}")
    print(f"{args.binary}: imports {', '.join(imports)}; {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
