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
from the same environment variables as the end-to-end tests."""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from control_ids import BOOTSTRAP as IDS  # noqa: E402
from phone_image import MODE_CHANGE, MODEL_NAME, SAMPLE_MODEL, SOURCE_ROOT, Phone, build_output, sample_image  # noqa: E402
from signing_authorities import PUBLISHER, SigningAuthorities, add_root_to_prefix  # noqa: E402
from update_server import UpdateServer  # noqa: E402

sys.path.insert(0, os.path.join(SOURCE_ROOT, "tools", "cd_image"))
from build_cd_image import extract_image, sha256  # noqa: E402

PROGRAM = "PX_Bootstrap.exe"
MODE_NAMES = {code: name for name, code in zip(("Modem", "MTP", "UMS", "ASK", "CGO", "TET"), MODE_CHANGE.values())}


def capture(rig, shots, name, steps, text):
    shot = os.path.join(shots, name)
    rig.screenshot_window(shot, MODEL_NAME)
    steps.append(f"{text} (screenshot {shot}).")


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
    # The sample model with the maker's setting: the publisher and the throwaway root.
    authorities = SigningAuthorities()
    model = os.path.join(work, "model", os.path.basename(SAMPLE_MODEL))
    shutil.rmtree(os.path.dirname(model), ignore_errors=True)
    shutil.copytree(SAMPLE_MODEL, model)
    with open(os.path.join(model, "config.ini"), "a", newline="\r\n", encoding="cp1252") as f:
        f.write(f"\n[SIGNATURE]\npublisher={PUBLISHER}\nroot_sha256={authorities.roots['maker']}\n")
    iso = sample_image(os.path.join(work, "cd-image"), model=model)
    image_files = os.path.join(work, "cd-image-files")
    extract_image(iso, image_files)
    print(f"Built the CD image of the sample model {os.path.relpath(iso)} (SHA-256 {sha256(iso)}); "
          "the phone's drive holds the files extracted from it.")

    with harness.Display(mode) as display, harness.WineRig(os.path.join(work, "rig"), display) as rig, \
            UpdateServer(os.path.join(work, "server")) as server:
        # The readme comes slowly, so the download page can be seen and photographed.
        server.package_route("PXPC_Readme.txt", delay=2)
        # The server's programs as the maker signs them, under a root this PC trusts.
        authorities.copy("signed", build_output("stub_tool"), os.path.join(server.package_dir, "PXPC.exe"))
        authorities.copy("signed", os.path.join(build_output("drivers"), "driver_setup.exe"),
                         os.path.join(server.package_dir, "driver_setup.exe"))
        thumbprint = add_root_to_prefix(rig, os.path.join(authorities.out, "maker-root.pem"))
        print(f"Signed the server's PXPC.exe and driver_setup.exe as \"{PUBLISHER}\"; the root "
              f"(SHA-256 {authorities.roots['maker']}, thumbprint {thumbprint}) is in the prefix's root store, "
              "and the phone's config.ini pins it.")
        templates = rig.templates_dir
        tool_log = os.path.join(work, "tool.log")
        rig.reset(paths=[os.path.join(templates, "E"), os.path.join(templates, "PXPC"), tool_log,
                         os.path.join(templates, "serverconfig.ini"),
                         os.path.join(rig.program_files_dir, "QV Electronics")] +
                  [os.path.join(templates, f) for f in os.listdir(templates) if f.startswith("PX_Bootstrap_Log")])
        with open(os.path.join(templates, "AutoRun_Log.ini"), "w", newline="\r\n") as f:
            f.write("[LOG]\nenablelogging=1\n")
        phone = Phone.from_image(os.path.join(work, "phone"), image_files, selected_mode=1)

        print(f"Plugging in a {MODEL_NAME} (USB mode MTP selected on the phone) as drive E: ...")
        rig.map_drive(phone.image, "e")
        # The driver setup waits for this file, so the installation page can be photographed.
        setup_release = os.path.join(work, "driver_setup.release")
        if os.path.exists(setup_release):
            os.remove(setup_release)
        rig.run(f"E:\\{PROGRAM}", env={**phone.env(), "QV_STUB_LOG": harness.to_windows(tool_log),
                                        "QV_DRIVER_SETUP_HOLD": harness.to_windows(setup_release)})
        if rig.ui.wait_window(MODEL_NAME, timeout=60) is None:
            print("No window was shown.")
        else:
            time.sleep(0.5)
            capture(rig, shots, "1-licence-page.png", steps,
                    "The licence page was shown; accepting it for the user and pressing Yes")
            rig.ui.click(MODEL_NAME, IDS.IDC_RADIO_ACCEPT)
            harness.wait_for(lambda: rig.ui.state(MODEL_NAME, IDS.IDC_BUTTON_YES)["enabled"], 10)
            rig.ui.click(MODEL_NAME, IDS.IDC_BUTTON_YES)
            if harness.wait_for(lambda: "PXPC_Readme.txt" in server.downloads(), 30):
                time.sleep(1)
                position = (rig.ui.state(MODEL_NAME, IDS.IDC_PROGRESS) or {}).get("pos", 0)
                capture(rig, shots, "2-downloading.png", steps,
                        f"The progress page showed \"Downloading...\" at {position} of 2000")
            if harness.wait_for(lambda: (rig.ui.state(MODEL_NAME, IDS.IDC_STATIC_STATUS) or {}).get("text")
                                == "Installing...", 30):
                time.sleep(1)
                capture(rig, shots, "3-installing.png", steps, "The progress page showed \"Installing...\"")
            open(setup_release, "w").close()
        done = rig.wait_all_exited([PROGRAM, "PXPC.exe"], timeout=120)

        trace_path = os.path.join(templates, "PX_Bootstrap_Log(0000).txt")
        with open(trace_path, encoding="cp1252") as f:
            trace = f.read()
        kept_trace = os.path.join(work, "PX_Bootstrap_Log(0000).txt")
        shutil.copy(trace_path, kept_trace)
        with open(tool_log, encoding="utf-8") if os.path.exists(tool_log) else open(os.devnull) as f:
            tool_starts = f.read().splitlines()
        downloads, reports = server.downloads(), server.reports()

    print()
    print("What happened:")
    if "PHONE START" in trace and "][-l E][" in trace:
        print("- The phone start copied the package to the PC and relaunched the copy with \"-l E\".")
    if "PC START" in trace:
        print("- The copy on the PC started, asked the phone for its USB mode and checked the user's rights.")
    if "serverconfig.ini" in downloads:
        print(f"- The PC is online: the update server named the package at {server.package_url}; "
              "its serverconfig.ini was downloaded.")
    for step in steps:
        print(f"- {step}")
    files = [name for name in downloads if name != "serverconfig.ini"]
    if files:
        print(f"- Downloaded into the package folder: {', '.join(files)}.")
    for status, history_id in reports:
        print(f"- Usage statistics record: {status}" + (f", history id {history_id}" if history_id else "") + ".")
    if "Driver install from server" in trace and "[CUSBAutoRunDlg::InstallDriver()] END" in trace:
        print("- The USB driver was installed with the setup program from the server.")
    verdicts = {}  # each file once, with how often it was checked (after its download, before its use)
    for line in trace.splitlines():
        if line.startswith("[SIGNATURE] [") and ("] accepted" in line or "] refused" in line):
            name = line[len("[SIGNATURE] ["):line.index("]", len("[SIGNATURE] ["))].rsplit("\\", 1)[-1]
            verdict = line[line.index("] ", len("[SIGNATURE] [")) + 2:]
            verdicts.setdefault((name, verdict), 0)
            verdicts[(name, verdict)] += 1
    for (name, verdict), times in verdicts.items():
        print(f"- The signature of {name} was verified ({times}x): {verdict}.")
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
