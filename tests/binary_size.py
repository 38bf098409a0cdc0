#!/usr/bin/env python3
"""Prints the sizes of the shipped binaries and their sum; with --budget, fails when the sum
exceeds it.

    binary_size.py [--budget BYTES] FILE...
"""
import argparse
import os
import sys


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--budget', type=int, help='largest allowed sum, in bytes')
    parser.add_argument('files', nargs='+')
    args = parser.parse_args(argv)
    total = 0
    for path in args.files:
        size = os.path.getsize(path)
        total += size
        print(f'  {os.path.basename(path):<24} {size:>9} bytes ({size / 1024:.1f} KiB)')
    print(f'  {"sum":<24} {total:>9} bytes ({total / 1024:.1f} KiB)', end='')
    if args.budget is None:
        print()
        return 0
    print(f', budget {args.budget} bytes ({args.budget / 1024:.1f} KiB)')
    if total > args.budget:
        print(f'over budget by {total - args.budget} bytes', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
