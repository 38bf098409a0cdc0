#!/usr/bin/env python3
"""Reads the program's trace logs (PX_Bootstrap_Log(NNNN).txt in the user's Templates folder) and
tells what happened at each plug-in: what the phone start and the PC start did, the first failure,
its cause and what the user or the maker should do.

    trace_report.py LOG [LOG...] [--html OUT]

Several logs are read as one, in the order given. With --html, OUT gets one self-contained page
with the account and a timeline of the starts. Exit status: 0 when the log's last plug-in reads as
a success (the PC tool started, or what the user chose), 1 when it failed, 2 for input that is no
trace log (missing, empty, binary, or without one entry of the program)."""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from account import Report  # noqa: E402
from html_page import write_page  # noqa: E402
from trace_lines import Unreadable  # noqa: E402

NO_CAUSE = "not in the log (older versions of the program write no cause lines; see the lines before)"


def failure_lines(failure, indent):
    where = f"step {failure.line.step + 1}, {failure.line.start.label}"
    lines = [f"{indent}First failure ({where}): {failure.what}",
             f"{indent}  Line: {failure.line.text}"]
    if failure.detail and failure.detail not in failure.line.text:
        lines.append(f"{indent}  Detail: {failure.detail}")
    lines.append(f"{indent}  Cause: {failure.why or NO_CAUSE}")
    lines.append(f"{indent}  What to do ({failure.who}): {failure.advice}")
    if failure.hint:
        lines.append(f"{indent}  From the cause: {failure.hint}")
    return lines


def plug_in_lines(plug_in, count):
    lines = [f"Plug-in {plug_in.number} of {count}: {plug_in.summary}"]
    for start in plug_in.starts:
        label = start.start.label
        lines.append(f"  {label[0].upper()}{label[1:]}: " + "; ".join(start.facts) + ".")
        for message in start.messages:
            lines.append(f"    The user saw: \"{message.fields['text']}\"")
    if plug_in.first_failure:
        lines += failure_lines(plug_in.first_failure, "  ")
    later = [f for f in plug_in.failures if f is not plug_in.first_failure]
    if later:
        title = "Later failures" if plug_in.failed else "Warnings"
        lines.append(f"  {title}: " + "; ".join(f"{f.what} (step {f.line.step + 1})" for f in later))
    return lines


def account_text(report):
    """The account as printed: every plug-in of the log, the latest last, then the verdict."""
    starts = len(report.starts)
    lines = [f"{', '.join(report.sources)}: {len(report.plug_ins)} plug-in(s), {starts} start(s) of the program, "
             f"{len(report.lines)} lines"]
    for plug_in in report.plug_ins:
        lines.append("")
        lines += plug_in_lines(plug_in, len(report.plug_ins))
    lines.append("")
    lines.append(f"Verdict: failure ({report.kind})" if report.failed else "Verdict: success")
    return "\n".join(lines) + "\n"


def read_sources(paths):
    sources = []
    for path in paths:
        try:
            with open(path, "rb") as f:
                sources.append((os.path.basename(path), f.read()))
        except OSError as error:
            raise Unreadable(f"{path}: {error.strerror or error}")
    return sources


def report_of(paths):
    """The Report of the logs at `paths`; Unreadable when one is no trace log."""
    return Report(read_sources(paths))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("logs", nargs="+", metavar="LOG", help="trace log files, read as one in this order")
    parser.add_argument("--html", metavar="OUT", help="also write the account and a timeline to this HTML page")
    args = parser.parse_args(argv)
    try:
        report = report_of(args.logs)
    except Unreadable as error:
        print(f"trace_report: {error}", file=sys.stderr)
        return 2
    text = account_text(report)
    sys.stdout.write(text)
    if args.html:
        write_page(args.html, report, text)
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
