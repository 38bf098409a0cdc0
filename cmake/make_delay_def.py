#!/usr/bin/env python3
"""Writes the module-definition file of a delay-import library: the functions a binary calls in
one system DLL, under the symbol names the toolchain's own import library gives them (on i686
the stdcall decoration, e.g. InternetOpenA@20), so that no argument size is written by hand.

    make_delay_def.py --nm NM --import-lib LIB --dll NAME --out FILE FUNCTION...
"""
import argparse
import re
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nm", required=True)
    parser.add_argument("--import-lib", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("functions", nargs="+")
    args = parser.parse_args()

    symbols = subprocess.run([args.nm, args.import_lib], check=True, capture_output=True, text=True).stdout
    # "__imp__Name@N" (i686) or "__imp_Name" (x86_64): the import thunk of each function.
    found = {}
    for match in re.finditer(r"\s__imp__?([A-Za-z0-9_]+)(@\d+)?$", symbols, re.M):
        found.setdefault(match.group(1), match.group(1) + (match.group(2) or ""))
    missing = [name for name in args.functions if name not in found]
    if missing:
        sys.exit(f"{args.import_lib} has no {', '.join(missing)}")
    with open(args.out, "w") as f:
        f.write(f"LIBRARY {args.dll}\nEXPORTS\n")
        f.writelines(f"{found[name]}\n" for name in args.functions)


if __name__ == "__main__":
    main()
