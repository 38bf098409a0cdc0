#!/usr/bin/env python3
"""Plays "a phone is plugged in" once, for a person watching: the program starts from the phone's
CD-ROM drive under Wine, copies itself to the PC and relaunches, checks the PC, shows the licence
page (accepted here on the user's behalf), installs the phone's USB driver and starts the PC tool.
Prints what happened in plain words and where the trace log and screenshots were saved.
Build outputs come from the same environment variables as the end-to-end tests."""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from phone_image import MODE_CHANGE, MODEL_NAME, Phone, build_output  # noqa: E402

PROGRAM = "PX_Bootstrap.exe"
MODE_NAMES = {code: name for name, code in zip(("Modem", "MTP", "UMS", "ASK", "CGO", "TET"), MODE_CHANGE.values())}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the Wine prefix, logs and screenshots")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shots = os.path.join(work, "screenshots")
    shutil.rmtree(shots, ignore_errors=True)
    os.makedirs(shots)
    mode = "host" if os.environ.get("DISPLAY") else None
    steps = []

    with harness.Display(mode) as display, harness.WineRig(os.path.join(work, "rig"), display) as rig:
        templates = rig.templates_dir
        tool_log = os.path.join(work, "tool.log")
        rig.reset(paths=[os.path.join(templates, "E"), os.path.join(templates, "PXPC"), tool_log,
                         os.path.join(rig.program_files_dir, "QV Electronics")] +
                  [os.path.join(templates, f) for f in os.listdir(templates) if f.startswith("PX_Bootstrap_Log")])
        with open(os.path.join(templates, "AutoRun_Log.ini"), "w", newline="\r\n") as f:
            f.write("[LOG]\nenablelogging=1\n")
        os.makedirs(os.path.join(templates, "PXPC"))  # the PC tool, installed on an earlier day
        shutil.copy(build_output("stub_tool"), os.path.join(templates, "PXPC", "PXPC.exe"))
        phone = Phone(os.path.join(work, "phone"), selected_mode=1, preload="driver_setup.exe")

        print(f"Plugging in a {MODEL_NAME} (USB mode MTP selected on the phone) as drive E: ...")
        rig.map_drive(phone.image, "e")
        rig.run(f"E:\\{PROGRAM}", env={**phone.env(), "QV_STUB_LOG": harness.to_windows(tool_log),
                                        "QV_DRIVER_SETUP_DELAY_MS": "3000"})
        if rig.ui.wait_window(MODEL_NAME, timeout=60) is None:
            print("No window was shown.")
        else:
            shot = os.path.join(shots, "1-licence-page.png")
            time.sleep(0.5)
            rig.screenshot_window(shot, MODEL_NAME)
            steps.append(f"The licence page was shown (screenshot {shot}); accepting it for the user and pressing Yes.")
            rig.ui.click(MODEL_NAME, 1009)
            harness.wait_for(lambda: rig.ui.state(MODEL_NAME, 1002)["enabled"], 10)
            rig.ui.click(MODEL_NAME, 1002)
            if harness.wait_for(lambda: (rig.ui.state(MODEL_NAME, 1005) or {}).get("text") == "Installing...", 30):
                time.sleep(1)
                shot = os.path.join(shots, "2-installing.png")
                rig.screenshot_window(shot, MODEL_NAME)
                steps.append(f"The progress page showed \"Installing...\" (screenshot {shot}).")
        done = rig.wait_all_exited([PROGRAM, "PXPC.exe"], timeout=120)

        trace_path = os.path.join(templates, "PX_Bootstrap_Log(0000).txt")
        with open(trace_path, encoding="cp1252") as f:
            trace = f.read()
        kept_trace = os.path.join(work, "PX_Bootstrap_Log(0000).txt")
        shutil.copy(trace_path, kept_trace)
        with open(tool_log, encoding="utf-8") if os.path.exists(tool_log) else open(os.devnull) as f:
            tool_starts = f.read().splitlines()

    print()
    print("What happened:")
    if "PHONE START" in trace and "][-l E][" in trace:
        print("- The phone start copied the package to the PC and relaunched the copy with \"-l E\".")
    if "PC START" in trace:
        print("- The copy on the PC started, asked the phone for its USB mode and checked the user's rights.")
    print("- The PC is offline here: no update check; the phone's own driver was used.")
    for step in steps:
        print(f"- {step}")
    if "[CUSBAutoRunDlg::InstallDriver()] END" in trace:
        print("- The phone's USB driver was installed from the phone's drive.")
    for line in tool_starts:
        print(f"- The PC tool was started with the argument \"{line}\".")
    changes = [MODE_NAMES.get(c, c) for c in phone.mode_changes()]
    print(f"- The phone was switched to {', '.join(changes)}." if changes else "- The phone's USB mode was left as it was.")
    print()
    print(f"Trace log: {kept_trace}")
    print(f"Screenshots: {shots}")
    return 0 if done and tool_starts else 1


if __name__ == "__main__":
    sys.exit(main())
