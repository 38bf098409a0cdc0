#!/usr/bin/env python3
"""Plays "a phone is plugged in" once, for a person watching, on a PC that is online: the sample
phone model's CD image is built with the image builder and the phone's CD-ROM drive under Wine
holds the files extracted from that ISO image. The program starts from there, copies itself to
the PC and relaunches, asks the fake update server (its default scenario) where the current PC
tool package lies, shows the licence page (accepted here on the user's behalf), downloads the
package and the USB driver's setup program with progress, installs the driver and starts the PC
tool. The sample model here names the maker's code-signing certificate: the server's tool and
driver setup program are signed by a throwaway authority made at build time, whose root is added
to the Wine prefix's root store, and the program verifies both before it uses them. Prints what
happened in plain words and where the trace log and screenshots were saved. Build outputs come
from the same environment variables as the end-to-end tests.

--model DIR plays a maker's model folder the same way: its config.ini, licence and driver, its
model name as the caption, its PC tool name on the server, and its own signature setting.
--scenario NAME plays a misbehaving server (demo_scenarios.py). A port of the fake server that
another program holds ends the demo with one sentence and exit status 2; a model folder the image
builder refuses, with the builder's findings and exit status 1."""
import argparse
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import demo_scenarios  # noqa: E402
from demo_play import play_phone  # noqa: E402
from phone_image import (MODE_CHANGE, SAMPLE_MODEL, SOURCE_ROOT, ImageRefused, Model,  # noqa: E402
                         build_output, model_image, sample_image)
from signing_authorities import PUBLISHER, SigningAuthorities, add_root_to_prefix  # noqa: E402
from update_server import PortInUse, UpdateServer, check_ports_free  # noqa: E402

sys.path.insert(0, os.path.join(SOURCE_ROOT, "tools", "cd_image"))
from build_cd_image import extract_image, sha256  # noqa: E402

MODE_NAMES = {code: name for name, code in zip(("Modem", "MTP", "UMS", "ASK", "CGO", "TET"), MODE_CHANGE.values())}


class Play:
    """One run: the server, the rig, the PC's package folder and the PC tool's file name."""

    def __init__(self, server, rig, tool):
        self.server, self.rig, self.tool = server, rig, tool
        self.package = os.path.join(rig.templates_dir, "PXPC")


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Plays a phone being plugged in under Wine, with the simulated phone, against the fake update "
                    "server, and prints what happened.", formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="scenarios (--scenario NAME):\n" + demo_scenarios.listing())
    parser.add_argument("--work", help="folder for the Wine prefix, logs and screenshots (required to play)")
    parser.add_argument("--model", metavar="DIR", help="play this maker's model folder instead of the sample")
    parser.add_argument("--scenario", metavar="NAME", choices=[*demo_scenarios.SCENARIOS, "list"],
                        help="play a misbehaving update server; 'list' shows them")
    args = parser.parse_args(argv)
    if args.scenario != "list" and not args.work:
        parser.error("--work is required")
    if args.model and not os.path.isdir(args.model):
        parser.error(f"--model {args.model}: no such folder")
    return args


def build_image(work, model_folder):
    """The model's CD image, its files extracted for the phone's drive; the model folder played."""
    if model_folder is None:
        # The sample model with the maker's setting: the publisher and the throwaway root.
        roots = SigningAuthorities().roots
        model = os.path.join(work, "model", os.path.basename(SAMPLE_MODEL))
        shutil.rmtree(os.path.dirname(model), ignore_errors=True)
        shutil.copytree(SAMPLE_MODEL, model)
        with open(os.path.join(model, "config.ini"), "a", newline="\r\n", encoding="cp1252") as f:
            f.write(f"\n[SIGNATURE]\npublisher={PUBLISHER}\nroot_sha256={roots['maker']}\n")
        iso = sample_image(os.path.join(work, "cd-image"), model=model)
        what = "the sample model"
    else:
        model = os.path.abspath(model_folder)
        # The sample's own folder lacks its driver package, which the build makes.
        same_as_sample = os.path.realpath(model) == os.path.realpath(SAMPLE_MODEL)
        extras = [os.path.join(build_output("drivers"), "unison_driver.msi")] if same_as_sample else []
        iso = model_image(os.path.join(work, "cd-image"), model, extras)
        what = f"the model folder {model}"
    image_files = os.path.join(work, "cd-image-files")
    extract_image(iso, image_files)
    print(f"Built the CD image of {what} {os.path.relpath(iso)} (SHA-256 {sha256(iso)}); "
          "the phone's drive holds the files extracted from it.")
    return Model(model), image_files, model_folder is None


def sign_server_files(server, rig, model, tool, sample):
    """Signs the server's PC tool and driver setup program as the model's setting asks, where the
    test authority can; says what it did."""
    authorities = SigningAuthorities()
    signature = model.signature
    if signature is None:
        print("The model names no maker's signature: the server's files are served unsigned and used as they are.")
        return
    if not sample and authorities.roots["maker"] not in signature["roots"]:
        print(f"The model names the maker's signature (publisher \"{signature['publisher']}\"), which cannot be made "
              "here: the server's files stay unsigned, and the program, with the model's setting, will refuse "
              "them, as a PC would.")
        return
    authorities.copy("signed", build_output("stub_tool"), os.path.join(server.package_dir, tool))
    authorities.copy("signed", os.path.join(build_output("drivers"), "driver_setup.exe"),
                     os.path.join(server.package_dir, "driver_setup.exe"))
    thumbprint = add_root_to_prefix(rig, os.path.join(authorities.out, "maker-root.pem"))
    print(f"Signed the server's {tool} and driver_setup.exe as \"{PUBLISHER}\"; the root "
          f"(SHA-256 {authorities.roots['maker']}, thumbprint {thumbprint}) is in the prefix's root store, "
          "and the phone's config.ini pins it.")
    if signature["publisher"] != PUBLISHER:
        print(f"The model names the publisher \"{signature['publisher']}\", not \"{PUBLISHER}\": the program will "
              "refuse these files, as a PC would.")


def serve_tool_as(server, tool):
    """The server's package with the PC tool under the model's name for it."""
    if tool != "PXPC.exe":
        os.replace(os.path.join(server.package_dir, "PXPC.exe"), os.path.join(server.package_dir, tool))
        names = server.package_files()
        server.set_serverconfig("FILES_PXPC", **{f"file{i:02d}": tool for i, name in enumerate(names)
                                                 if name == "PXPC.exe"})


def print_summary(run, scenario_text, judgement, model, sample, server):
    trace, downloads, reports = run.trace, run.downloads, run.reports
    print()
    print("What happened:")
    if not sample:
        print(f"- The model \"{model.caption}\" was played: its config.ini, licence and driver "
              f"({model.preload or 'none'}, family {model.preload_type or 'none'}), its PC tool {model.pxpc_name}.")
    if scenario_text:
        print(f"- Scenario: {scenario_text}")
    if "PHONE START" in trace and "][-l E][" in trace:
        print("- The phone start copied the package to the PC and relaunched the copy with \"-l E\".")
    if "PC START" in trace:
        print("- The copy on the PC started, asked the phone for its USB mode and checked the user's rights.")
    if "serverconfig.ini" in downloads:
        print(f"- The PC is online: the update server named the package at {server.package_url}; "
              "its serverconfig.ini was downloaded.")
    check = re.search(r"CheckPXPC return MSG is \((\w+)\)", trace)
    if check:
        print(f"- The update check failed: the update client answered {check.group(1)}.")
    for cause in re.findall(r"^\[[^\]]*\] Cause: (.*?)\r?$", trace, re.M):
        print(f"- The trace log gives the cause: {cause}.")
    for step in run.steps:
        print(f"- {step}")
    files = [name for name in downloads if name != "serverconfig.ini"]
    if files and run.outcome.messages:
        print(f"- Asked the server for the package files: {', '.join(files)}.")
    elif files:
        print(f"- Downloaded into the package folder: {', '.join(files)}.")
    for status, history_id in reports:
        print(f"- Usage statistics record: {status}" + (f", history id {history_id}" if history_id else "") + ".")
    if "Driver install from server" in trace and "[CUSBAutoRunDlg::InstallDriver()] END" in trace:
        print("- The USB driver was installed with the setup program from the server.")
    elif "Copy Preload Driver - OK" in trace and "[CUSBAutoRunDlg::InstallDriver()] END" in trace:
        print(f"- The USB driver was installed with the phone's own installer {model.preload}.")
    verdicts = {}  # each file once, with how often it was checked (after its download, before its use)
    for line in trace.splitlines():
        if line.startswith("[SIGNATURE] [") and ("] accepted" in line or "] refused" in line):
            name = line[len("[SIGNATURE] ["):line.index("]", len("[SIGNATURE] ["))].rsplit("\\", 1)[-1]
            verdict = line[line.index("] ", len("[SIGNATURE] [")) + 2:]
            verdicts.setdefault((name, verdict), 0)
            verdicts[(name, verdict)] += 1
    for (name, verdict), times in verdicts.items():
        print(f"- The signature of {name} was verified ({times}x): {verdict}.")
    for line in run.outcome.tool_starts:
        print(f"- The PC tool was started with the argument \"{line}\".")
    if not sample and not run.outcome.tool_starts:
        print(f"- The PC tool {model.pxpc_name} was not started.")
    changes = [MODE_NAMES.get(c, c) for c in run.phone.mode_changes()]
    print(f"- The phone was switched to {', '.join(changes)}." if changes else "- The phone's USB mode was left as it was.")
    if judgement:
        print(f"- {judgement}")
    if not run.outcome.done:
        print("- The program had not ended when the demo stopped waiting.")
    print()
    print(f"Trace log: {run.kept_trace}")
    print(f"Screenshots: {run.shots}")


def main(argv=None):
    args = parse_arguments(argv)
    if args.scenario == "list":
        print("Scenarios (--scenario NAME):\n" + demo_scenarios.listing())
        return 0
    work = os.path.abspath(args.work)
    scenario = demo_scenarios.SCENARIOS[args.scenario]() if args.scenario else demo_scenarios.Scenario()
    server = UpdateServer(os.path.join(work, "server"))
    try:
        # Asked before anything is built: the build's ports, which the program talks to.
        check_ports_free(server.ports)
    except PortInUse as error:
        print(error)
        return 2
    scenario.configure(server)
    try:
        model, image_files, sample = build_image(work, args.model)
    except ImageRefused as refused:
        print(refused.output.rstrip())
        print(f"The image builder refused the model folder {os.path.abspath(args.model or SAMPLE_MODEL)}: "
              "nothing was played.")
        return 1
    tool = model.pxpc_name or "PXPC.exe"

    mode = "host" if os.environ.get("DISPLAY") else None
    try:
        with harness.Display(mode) as display, harness.WineRig(os.path.join(work, "rig"), display) as rig, \
                server:
            serve_tool_as(server, tool)
            sign_server_files(server, rig, model, tool, sample)
            play = Play(server, rig, tool)
            run = play_phone(play, scenario, model, image_files, work)
    except PortInUse as error:  # taken between the check and the start
        print(error)
        return 2
    judgement = None
    if args.scenario:
        passed, judgement = scenario.judge(run.outcome, play)
    else:
        passed = run.outcome.done and bool(run.outcome.tool_starts)
    print_summary(run, run.scenario_text, judgement, model, sample, server)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
