#!/usr/bin/env python3
"""Shows where the time of a plug-in goes: plays the plug-in of a phone whose package is current
(online, the PC tool started at the end) N times and prints, beside two bare Wine starts of a small
program in the same prefix, the moment of each step of both starts of the program. The steps come
from the program's own debugger lines, which Wine writes with its time stamps and process ids under
WINEDEBUG=warn+seh (the channel that reports OutputDebugString), so both starts share one clock.
Not a test: the figures depend on the machine. Build outputs come from the end-to-end environment:

    set -a; . build/win32-wine/e2e.env; set +a
    python3 -B tools/e2e/plug_in_timing.py --work /tmp/timing [--rounds 3] [--signed]

Each step is printed as the milliseconds from the phone start's first line, the median of the
rounds; a step is the bracketed operation of a line with what follows it up to its dots (START,
END or a finding), counted at its first appearance in that start.
"""
import argparse
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from phone_image import Phone, build_output  # noqa: E402
from signed_plug_in_benchmark import install_current_package, one_plug_in, package_of, sign_image  # noqa: E402
from signing_authorities import SigningAuthorities, add_root_to_prefix  # noqa: E402
from update_server import UpdateServer  # noqa: E402

PROGRAM = "PX_Bootstrap.exe"
# Wine's channel that reports the program's OutputDebugString, with time stamps and process ids.
DEBUG_LINES = "+timestamp,+pid,warn+seh"
# 12345.678:00c8:00cc:warn:seh:OutputDebugStringA "QVEPX:[0] [GetConfigInfo()] START....\r\n"
DEBUG_LINE = re.compile(r'^(?P<seconds>\d+\.\d+):(?P<pid>[0-9a-f]+):[0-9a-f]+:warn:seh:OutputDebugStringA '
                        r'"QVEPX:\[(?P<ms>-?\d+)\] (?P<text>.*)"$')


def step_name(text):
    """The step a trace text stands for: its words up to the row of dots or the line end, with
    paths, numbers and bracketed values after the operation left out."""
    text = text.replace("\\r", "").replace("\\n", "").strip()
    text = re.split(r"\.{3,}", text, maxsplit=1)[0]
    text = re.sub(r"\[[A-Za-z]:\\[^\]]*\]|\([A-Za-z]:\\[^)]*\)", "[path]", text)
    text = re.sub(r"\d+", "N", text)
    return text[:70]


def steps_of(log_path):
    """(start, step, seconds on Wine's clock) of each start's steps, in order, the phone start
    first; the first appearance of each step in each start."""
    starts, seen, steps = [], set(), []
    with open(log_path, encoding="latin-1") as f:
        for line in f:
            found = DEBUG_LINE.match(line.rstrip("\n"))
            if not found:
                continue
            pid = found.group("pid")
            if pid not in starts:
                starts.append(pid)
            which = "phone" if starts.index(pid) == 0 else "pc" if starts.index(pid) == 1 else f"start {starts.index(pid) + 1}"
            name = step_name(found.group("text"))
            if (which, name) not in seen:
                seen.add((which, name))
                steps.append((which, name, float(found.group("seconds"))))
    return steps


def bare_starts(rig, work):
    """Seconds that two starts of the stub tool take one after the other, each to its exit."""
    started = time.monotonic()
    for n in range(2):
        log = os.path.join(work, f"bare-{n}.log")
        run = rig.run(build_output("stub_tool"), env={"QV_STUB_LOG": harness.to_windows(log)}, log_name=f"bare-{n}")
        if run.wait(60) is None:
            raise SystemExit("a bare start did not end")
    return time.monotonic() - started


def timed_plug_in(rig, phone, tool_log, templates, round_number):
    """Seconds to the tool's start, and the steps of both starts, of one plug-in."""
    log_name = f"plug-in-{round_number}"
    elapsed = one_plug_in(rig, phone, tool_log, templates, env={"WINEDEBUG": DEBUG_LINES}, log_name=log_name)
    return elapsed, steps_of(os.path.join(rig.logs, log_name + ".log"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and the server")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--signed", action="store_true", help="the phone names the maker's signature")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    authorities = SigningAuthorities()
    with harness.Display() as display, harness.WineRig(os.path.join(work, "rig"), display) as rig, \
            UpdateServer(os.path.join(work, "server")) as server:
        listed = package_of(server, authorities, 1)
        add_root_to_prefix(rig, os.path.join(authorities.out, "maker-root.pem"))
        templates = install_current_package(rig, server, listed, work)
        phone = Phone(os.path.join(work, "phone"), preload="unison_driver.msi",
                      config=authorities.setting() if args.signed else None)
        if args.signed:
            sign_image(authorities, phone)
        rig.map_drive(phone.image, "e")
        tool_log = os.path.join(work, "tool.log")
        one_plug_in(rig, phone, tool_log, templates)  # warm: the prefix after the remap
        bare, plug_ins, moments = [], [], {}  # moments: (start, step) -> ms per round, in order of appearance
        for round_number in range(1, args.rounds + 1):
            bare.append(bare_starts(rig, work))
            elapsed, steps = timed_plug_in(rig, phone, tool_log, templates, round_number)
            plug_ins.append(elapsed)
            origin = steps[0][2] if steps else 0.0
            for which, name, seconds in steps:
                moments.setdefault((which, name), []).append((seconds - origin) * 1000)
            print(f"round {round_number}: two bare starts {bare[-1]:.2f} s, plug-in to tool started {elapsed:.2f} s "
                  f"({elapsed / bare[-1]:.2f}x)")
        print()
        print(f"Steps ({'signed' if args.signed else 'unverified'} phone), ms from the phone start's first line, "
              f"median of {args.rounds}:")
        for (which, name), values in moments.items():
            print(f"  {statistics.median(values):7.0f}  {which:5s}  {name}" +
                  ("" if len(values) == args.rounds else f"  ({len(values)} of {args.rounds} rounds)"))
        print()
        median_bare, median_plug_in = statistics.median(bare), statistics.median(plug_ins)
        print(f"two bare starts {median_bare:.2f} s, plug-in {median_plug_in:.2f} s: "
              f"{median_plug_in / median_bare:.2f}x (medians)")


if __name__ == "__main__":
    main()
