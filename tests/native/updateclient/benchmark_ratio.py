#!/usr/bin/env python3
"""Prints the answer reader's throughput beside pugixml's for each answer size of one benchmark run
(Google Benchmark's JSON output), with their ratio: reader / pugixml."""
import json
import sys


def main(path):
    try:
        with open(path, encoding="utf-8") as f:
            runs = json.load(f)["benchmarks"]
    except (OSError, ValueError, KeyError) as error:
        print(f"no benchmark results in {path}: {error}", file=sys.stderr)
        return 1
    speed = {}
    for run in runs:
        name, _, size = run["name"].partition("/")
        speed[(name, int(size))] = run["bytes_per_second"] / 1e6
    for size in sorted({size for _, size in speed}):
        ours, theirs = speed.get(("ReaderParse", size)), speed.get(("PugixmlParse", size))
        if ours and theirs:
            print(f"  {size:>3} MB answer: reader {ours:7.0f} MB/s, pugixml {theirs:7.0f} MB/s, ratio {ours / theirs:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
