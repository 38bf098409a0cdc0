#!/usr/bin/env python3
"""Reads end-to-end scenarios' trace logs and compares each with its row of
tests/e2e/trace_verdicts.py: the first failure's kind and a fragment of the account.

    check_traces.py DIR [DIR...]     (folders of <test name>.txt, e.g. build/win32-wine/e2e*/traces)

Prints one line per log and exits 1 when one differs or has no row. The end-to-end scenarios make
the same check on their own trace when they end (tests/e2e/plug_in_case.py)."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
from trace_lines import Unreadable  # noqa: E402
from trace_report import account_text, report_of  # noqa: E402
from trace_verdicts import UNREADABLE, VERDICTS  # noqa: E402


def problem(test_name, path):
    """Why the reader's verdict on the trace at `path` is not the one the table expects for
    `test_name`, or None when it is."""
    if test_name not in VERDICTS:
        return f"no expected verdict for {test_name} in tests/e2e/trace_verdicts.py"
    kind, fragment = VERDICTS[test_name]
    try:
        report = report_of([path])
    except Unreadable as error:
        if kind == UNREADABLE and fragment in str(error):
            return None
        return f"expected {kind or 'success'}, the reader found the log unreadable: {error}"
    text = account_text(report)
    if kind == UNREADABLE or report.kind != kind:
        return f"expected {kind or 'success'}, read {report.kind or 'success'}:\n{text}"
    if fragment not in text:
        return f"the account lacks {fragment!r}:\n{text}"
    return None


def main(folders):
    if not folders or any(f.startswith("-") for f in folders):
        print("usage: check_traces.py FOLDER... (folders of <scenario test name>.txt trace logs)", file=sys.stderr)
        return 2
    differing = 0
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".txt"):
                continue
            found = problem(name[:-4], os.path.join(folder, name))
            differing += found is not None
            print(f"{'ok  ' if found is None else 'DIFF'} {name[:-4]}" + (f"\n     {found}" if found else ""))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
