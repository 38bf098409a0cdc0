"""The account as one self-contained HTML page: the account's text, then a timeline of the log with
one column per start of the program, each line in its start's column at its step (the log keeps
no times, only the order of its lines); failures and causes stand out. No scripts, fonts or
pictures from elsewhere."""
import html

STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
pre.account { background: #f6f6f6; padding: 1em; white-space: pre-wrap; border-left: 4px solid #888; }
.failed pre.account { border-left-color: #c0392b; }
.succeeded pre.account { border-left-color: #27ae60; }
table { border-collapse: collapse; font-family: monospace; font-size: 12px; }
th, td { border: 1px solid #ddd; padding: 2px 6px; vertical-align: top; text-align: left; }
th { background: #eee; position: sticky; top: 0; }
td.step { color: #888; text-align: right; }
td.line { white-space: pre-wrap; word-break: break-all; max-width: 60em; }
tr.failure td.line { background: #fadbd8; font-weight: bold; }
tr.cause td.line { background: #fdebd0; }
tr.message td.line { background: #d6eaf8; }
tr.first td.line { outline: 2px solid #c0392b; }
tr.plugin td { background: #333; color: #fff; font-family: sans-serif; }
"""


def row_class(line, failure_lines, first):
    classes = []
    if line.step in failure_lines:
        classes.append("failure")
    if line.name == "cause":
        classes.append("cause")
    if line.name == "message":
        classes.append("message")
    if first is not None and line.step == first.line.step:
        classes.append("first")
    return " ".join(classes)


def timeline(report):
    """The table of every line, a column per start, a heading row where each plug-in begins."""
    starts = report.starts
    column = {start.number: at for at, start in enumerate(starts)}
    failures = {f.line.step for p in report.plug_ins for f in p.failures}
    firsts = {p.number: p.first_failure for p in report.plug_ins}
    head = "".join(f"<th>{html.escape(s.label)}<br><small>plug-in {s.plug_in}</small></th>" for s in starts)
    rows, plug_in = [], None
    for line in report.lines:
        if line.start.plug_in != plug_in:
            plug_in = line.start.plug_in
            rows.append(f'<tr class="plugin"><td></td><td colspan="{len(starts)}">Plug-in {plug_in}</td></tr>')
        cells = ["<td></td>"] * len(starts)
        cells[column[line.start.number]] = f'<td class="line">{html.escape(line.text)}</td>'
        rows.append(f'<tr class="{row_class(line, failures, firsts[plug_in])}" title="{html.escape(line.source)}">'
                    f'<td class="step">{line.step + 1}</td>{"".join(cells)}</tr>')
    return f"<table><tr><th>step</th>{head}</tr>\n" + "\n".join(rows) + "\n</table>"


def page(report, account):
    verdict = "failed" if report.failed else "succeeded"
    title = f"Trace log: {', '.join(report.sources)}"
    return (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>{html.escape(title)}</title>'
            f"<style>{STYLE}</style></head>\n<body class=\"{verdict}\"><h1>{html.escape(title)}</h1>\n"
            f"<h2>Account</h2>\n<pre class=\"account\">{html.escape(account)}</pre>\n"
            f"<h2>Timeline</h2>\n<p>Each line of the log at its step, in the column of the start that wrote it. "
            f"Red: a failure (outlined: the first of its plug-in); orange: its cause; blue: a message the user saw."
            f"</p>\n{timeline(report)}\n</body></html>\n")


def write_page(path, report, account):
    with open(path, "w", encoding="utf-8") as f:
        f.write(page(report, account))
