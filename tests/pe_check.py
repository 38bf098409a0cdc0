#!/usr/bin/env python3
"""Checks a built Windows binary: it imports only DLLs that Windows loads from the system folder
whatever the search order (its known DLLs; Common Controls only where the binary's manifest asks
for version 6, which then comes from the side-by-side store), exports exactly the plain names of
its .def file, and (32-bit) its exports have the expected calling convention, read from the
compiler's own symbol decoration in the objects it was linked from: _Name for caller-cleans,
_Name@N for callee-cleans. Any other system DLL (version, wininet, urlmon, ...) would be looked
for in the program's own folder first; those must be delay-loaded from the system folder instead.
A DLL that the binary must load only by itself, by its full path (--not-imported), is neither in its
import table nor named anywhere in it the way an import table or a delay-load descriptor names one."""
import argparse
import re
import subprocess
import sys

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

    for fault in faults:
        print(f"{args.binary}: {fault}")
    print(f"{args.binary}: imports {', '.join(imports)}; {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
