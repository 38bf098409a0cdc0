#!/usr/bin/env python3
"""Checks a phone model's config.ini (or a serverconfig.ini, pxpcconfig.ini or AutoRun_Log.ini) the
way the program will read it, and prints one line per finding: file, line, section and key, what is
wrong, what the program would do with it, and the finding's code; then one summary line per file.
An error is what makes a PC do other than the model intends. Exit status 1 when there is an error,
else 0.

    check_config.py [--bin DIR] [--extra FILE]... [--waive CODE]... PATH...

PATH is a model folder (its config.ini is checked, and the files it lists are looked for in it), or
one of the files above. The three deliverables count as supplied by the image builder; with --bin
they must be in DIR. An --extra file is one the builder puts on the image's root from elsewhere.
--waive CODE turns the errors of that code into notes, which do not fail: for a maker who means it.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ini_profile  # noqa: E402
from config_rules import (CODES, DEFAULT_CAPTION, DELIVERABLES, ERROR, FILE_KINDS, NOTE, PROGRAM,  # noqa: E402,F401
                          UNWAIVABLE, WARNING, Checker, Finding)
from ini_profile import NotAProfile, find_in  # noqa: E402,F401


class FileResult:
    """The findings of one checked file, and how many key entries it has."""

    def __init__(self, path, entries, findings):
        self.path, self.entries, self.findings = path, entries, findings

    def count(self, severity):
        return sum(f.severity == severity for f in self.findings)

    def failed(self):
        return self.count(ERROR) > 0

    def summary(self):
        checked = f"{self.path}: {self.entries} {'entry' if self.entries == 1 else 'entries'} checked"
        parts = [f"{n} {word}{'' if n == 1 else 's'}" for n, word in
                 ((self.count(ERROR), "error"), (self.count(WARNING), "warning")) if n]
        if self.count(NOTE):
            parts.append(f"{self.count(NOTE)} waived")
        return f"{checked}, {', '.join(parts) if parts else 'no findings'}"


def read_profile(path, findings):
    """The profile of `path`; findings about its encoding go to `findings`."""
    profile, problems = ini_profile.read_profile(path)
    findings.extend(Finding(path, 1, severity, code, text) for severity, code, text in problems)
    return profile


def check_path(path, bin_dir=None, extras=(), waive=()):
    """The FileResult of one PATH argument, a model folder or a file; the errors of a code in
    `waive` are notes."""
    findings = []
    folder = None
    if os.path.isdir(path):
        folder = path
        config = find_in(path, "config.ini")
        if config is None:
            return FileResult(path, 0, [Finding(path, 0, ERROR, "no-config", "no config.ini in this folder")])
        path = config
    kind = FILE_KINDS.get(os.path.basename(path).lower(), "config")
    if kind == "config" and folder is None:
        folder = os.path.dirname(path) or "."
    try:
        profile = read_profile(path, findings)
    except NotAProfile as problem:
        return FileResult(path, 0, findings + [Finding(path, 0, ERROR, problem.code, str(problem))])
    Checker(profile, kind, findings, folder, bin_dir, extras).run()
    for finding in findings:
        if finding.severity == ERROR and finding.code in waive:
            finding.severity = NOTE
    findings.sort(key=lambda f: (f.line or sys.maxsize, f.severity != ERROR))
    return FileResult(path, profile.entry_count(), findings)


def add_waive_option(parser):
    parser.add_argument("--waive", metavar="CODE", action="append", default=[],
                        help="turn the errors of this finding code into notes (repeatable)")


def check_waived(parser, codes):
    """A usage error for a code that is none of the findings' or cannot be waived."""
    for code in codes:
        if code not in CODES:
            parser.error(f"--waive {code}: no finding has this code (codes: {', '.join(sorted(CODES))})")
        if code in UNWAIVABLE:
            parser.error(f"--waive {code}: without the file nothing of it is checked, so it cannot be waived")


def code_list():
    return "finding codes:\n" + "".join(f"  {code:26} {text}\n" for code, text in CODES.items())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1] + "\n" + code_list())
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--bin", metavar="DIR", help="folder of the built deliverables")
    parser.add_argument("--extra", metavar="FILE", action="append", default=[],
                        help="a file the image gets from elsewhere, on its root")
    add_waive_option(parser)
    args = parser.parse_args(argv)
    if args.bin and not os.path.isdir(args.bin):
        parser.error(f"--bin {args.bin} is not a folder")
    check_waived(parser, args.waive)
    failed = False
    for path in args.paths:
        result = check_path(path, args.bin, args.extra, args.waive)
        for finding in result.findings:
            print(finding)
        print(result.summary())
        failed = failed or result.failed()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
