#!/usr/bin/env python3
"""Shows where the time of a plug-in goes: plays the plug-in of a phone whose package is current
(online, the PC tool started at the end) N times and prints, beside two bare Wine starts in the
same prefix (of a dialog program that ends as it opens, and of a program without a window), the
moment of each step of both starts of the program. The steps come from the program's own debugger
lines, which Wine writes with its time stamps and process ids under WINEDEBUG=warn+seh (the
channel that reports OutputDebugString), so both starts share one clock.
Not a test: the figures depend on the machine. Build outputs come from the end-to-end environment:

    set -a; . build/win32-wine/e2e.env; set +a
    python3 -B tools/e2e/plug_in_timing.py --work /tmp/timing [--rounds 3] [--signed] [--before OLD/bin]

With --before, each round also plays the plug-in with another build's program and update library
(say a worktree of the last release, built), so that a change is timed beside what it changes.

Each step is printed as the milliseconds from the phone start's first line, the median of the
rounds; a step is the bracketed operation of a line with what follows it up to its dots (START,
END or a finding), counted at its first appearance in that start.
"""
import argparse
import os
import re
import shutil
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


def bare_starts(rig, work, program):
    """Seconds that two starts of a bare program take one after the other, each to its exit:
    `program` is "bare_dialog" (a dialog program that ends as its hidden dialog opens, the floor
    of a start of the bootstrap's kind) or "stub_tool" (a program without a window)."""
    started = time.monotonic()
    for n in range(2):
        log = os.path.join(work, f"bare-{n}.log")
        run = rig.run(build_output(program), env={"QV_STUB_LOG": harness.to_windows(log)}, log_name=f"{program}-{n}")
        if run.wait(60) is None:
            raise SystemExit("a bare start did not end")
    return time.monotonic() - started


def timed_plug_in(rig, phone, tool_log, templates, label):
    """Seconds to the tool's start, and the steps of both starts, of one plug-in."""
    log_name = f"plug-in-{label}"
    elapsed = one_plug_in(rig, phone, tool_log, templates, env={"WINEDEBUG": DEBUG_LINES}, log_name=log_name)
    return elapsed, steps_of(os.path.join(rig.logs, log_name + ".log"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and the server")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--signed", action="store_true", help="the phone names the maker's signature")
    parser.add_argument("--before", metavar="BIN",
                        help="another build's bin/ folder, whose plug-in is timed beside this build's in each round")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    authorities = SigningAuthorities()
    with harness.Display() as display, harness.WineRig(os.path.join(work, "rig"), display) as rig, \
            UpdateServer(os.path.join(work, "server")) as server:
        listed = package_of(server, authorities, 1)
        add_root_to_prefix(rig, os.path.join(authorities.out, "maker-root.pem"))
        templates = install_current_package(rig, server, listed, work)
        phones = {"this build": make_phone(os.path.join(work, "phone"), authorities, args.signed)}
        if args.before:
            phones["before"] = make_phone(os.path.join(work, "phone-before"), authorities, args.signed, args.before)
        tool_log = os.path.join(work, "tool.log")
        bare_starts(rig, work, "bare_dialog")  # warm: the bare programs' first start
        bare, windowless = [], []
        plug_ins = {build: [] for build in phones}
        moments = {}  # (start, step) -> build -> ms per round, in order of appearance
        for round_number in range(1, args.rounds + 1):
            bare.append(bare_starts(rig, work, "bare_dialog"))
            windowless.append(bare_starts(rig, work, "stub_tool"))
            line = f"round {round_number}: two bare starts {bare[-1]:.2f} s (without a window {windowless[-1]:.2f} s)"
            # The builds take turns in going first, so that neither always finds the prefix as the other left it.
            for build, phone in sorted(phones.items(), reverse=round_number % 2 == 0):
                if len(phones) > 1 or round_number == 1:
                    rig.map_drive(phone.image, "e")
                    one_plug_in(rig, phone, tool_log, templates)  # warm: the prefix after the remap
                elapsed, steps = timed_plug_in(rig, phone, tool_log, templates, f"{round_number}-{build.split()[-1]}")
                plug_ins[build].append(elapsed)
                origin = steps[0][2] if steps else 0.0
                for which, name, seconds in steps:
                    moments.setdefault((which, name), {}).setdefault(build, []).append((seconds - origin) * 1000)
                line += f", {build} {elapsed:.2f} s ({elapsed / bare[-1]:.2f}x)"
            print(line)
        print()
        print(f"Steps ({'signed' if args.signed else 'unverified'} phone), ms from the phone start's first line, "
              f"median of {args.rounds}" + (", this build and before:" if args.before else ":"))
        for (which, name), builds in moments.items():
            columns = "".join(f"{statistics.median(builds[b]):7.0f}" if b in builds else "      -" for b in phones)
            counts = {len(values) for values in builds.values()}
            print(f"  {columns}  {which:5s}  {name}" +
                  ("" if counts == {args.rounds} else "  (not in every round)"))
        print()
        median_bare = statistics.median(bare)
        if args.before:
            before = statistics.median(plug_ins["before"])
            print(f"before: plug-in {before:.2f} s: {before / median_bare:.2f}x (medians)")
        median_plug_in = statistics.median(plug_ins["this build"])
        print(f"two bare starts {median_bare:.2f} s (without a window {statistics.median(windowless):.2f} s), "
              f"plug-in {median_plug_in:.2f} s: {median_plug_in / median_bare:.2f}x (medians)")


def make_phone(root, authorities, signed, before=None):
    """The phone of the current package; `before` (a build folder's bin/) puts that build's
    program and update library on its image instead of this build's."""
    phone = Phone(root, preload="unison_driver.msi", config=authorities.setting() if signed else None)
    for name in ("PX_Bootstrap.exe", "QVUTchkdl.dll") if before else ():
        shutil.copy(os.path.join(before, name), os.path.join(phone.image, name))
    if signed:
        sign_image(authorities, phone)
    return phone


if __name__ == "__main__":
    main()
