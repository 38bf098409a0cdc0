#!/usr/bin/env python3
"""Times a plug-in of a phone whose package is current, from the program's start on the phone's
drive to the PC tool's start, with a package of many programs and libraries: once with the maker's
signature setting on the phone (every file of code held and checked before the tool starts), once
without it, interleaved round by round in one run, on one Wine prefix and one fake update server.
Prints each round and the median of each way, and their ratio. The signed phone's own binaries
are signed by the maker, as the image builder signs them. Not a test: the figures depend on
the machine. Build outputs come from the end-to-end environment (build/<tree>/e2e.env), as for the
end-to-end tests:

    set -a; . build/win32-wine/e2e.env; set +a
    python3 -B tools/e2e/signed_plug_in_benchmark.py --work /tmp/bench [--rounds 3] [--files 20]
"""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from phone_image import Phone, build_output, write_ini  # noqa: E402
from signing_authorities import SigningAuthorities, add_root_to_prefix  # noqa: E402
from update_server import UpdateServer  # noqa: E402

PROGRAM = "PX_Bootstrap.exe"


def package_of(server, authorities, files):
    """The server's package as `files` programs and libraries (the tool and copies of it under
    library names), all signed by the maker, plus the package's configuration and readme."""
    names = ["PXPC.exe"] + [f"pxpc_lib{n:02d}.dll" for n in range(1, files)]
    for name in names:
        authorities.copy("signed", build_output("stub_tool"), os.path.join(server.package_dir, name))
    listed = names + ["pxpcconfig.ini", "PXPC_Readme.txt"]
    server.set_serverconfig("FILES_PXPC", filecount=str(len(listed)),
                            **{f"file{n:02d}": name for n, name in enumerate(listed)})
    return listed


def install_current_package(rig, server, listed, work):
    """The PC as a plug-in finds it when its package is current: the server's `listed` files in the
    package folder with the server's version, and the driver installed on an earlier day, so that
    only the tool's start is timed. Returns the Templates folder."""
    templates = rig.templates_dir
    package = os.path.join(templates, "PXPC")
    rig.reset(paths=[package, os.path.join(templates, "serverconfig.ini"),
                     os.path.join(rig.program_files_dir, "QV Electronics")])
    os.makedirs(package)
    for name in listed:
        shutil.copy(os.path.join(server.package_dir, name), package)
    write_ini(os.path.join(package, "pxpcconfig.ini"), {"PXPACKAGE": {"pack_version": "1.0.0.9"}})
    setup = rig.run(os.path.join(build_output("drivers"), "driver_setup.exe"), log_name="earlier-driver-setup",
                    env={"QV_DRIVER_SETUP_LOG": harness.to_windows(os.path.join(work, "earlier.log"))})
    if setup.wait(60) != 0:
        raise SystemExit("the driver's setup program failed")
    return templates


def sign_image(authorities, phone):
    """The phone's own binaries signed by the maker: a maker who names its certificate signs the
    image's binaries with it too (the image builder does, given the certificate)."""
    for name in ("PX_Bootstrap.exe", "QVUTchkdl.dll", "QVEUSBAutorun.dll"):
        binary = os.path.join(phone.image, name)
        authorities.copy("signed", binary, binary + ".signed")
        os.replace(binary + ".signed", binary)


def one_plug_in(rig, phone, tool_log, templates, env=None, log_name=None):
    """Seconds from the start on the phone's drive to the tool's record of its start; `env` adds
    variables to the program's, whose output goes to the rig's log `log_name`."""
    for path in (tool_log, os.path.join(templates, "E")):
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    started = time.monotonic()
    rig.run(f"E:\\{PROGRAM}", env={**phone.env(), "QV_STUB_LOG": harness.to_windows(tool_log), **(env or {})},
            log_name=log_name)
    if not harness.wait_for(lambda: os.path.exists(tool_log) and os.path.getsize(tool_log) > 0, 60, interval=0.01):
        raise SystemExit("the tool was not started; see the trace log under " + templates)
    elapsed = time.monotonic() - started
    if not rig.wait_all_exited([PROGRAM, "PXPC.exe"], 60):
        raise SystemExit("the program did not end")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and the server")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--files", type=int, default=20, help="programs and libraries in the package")
    parser.add_argument("--trace", action="store_true", help="with the trace log on (it costs time)")
    parser.add_argument("--unsigned-image", action="store_true",
                        help="the signed phone's own binaries unsigned (as no maker ships them)")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    authorities = SigningAuthorities()
    with harness.Display() as display, harness.WineRig(os.path.join(work, "rig"), display) as rig, \
            UpdateServer(os.path.join(work, "server")) as server:
        listed = package_of(server, authorities, args.files)
        add_root_to_prefix(rig, os.path.join(authorities.out, "maker-root.pem"))
        templates = install_current_package(rig, server, listed, work)
        if args.trace:
            with open(os.path.join(templates, "AutoRun_Log.ini"), "w", newline="\r\n") as f:
                f.write("[LOG]\nenablelogging=1\n")
        tool_log = os.path.join(work, "tool.log")
        phones = {
            "signed": Phone(os.path.join(work, "phone-signed"), preload="unison_driver.msi",
                            config=authorities.setting()),
            "unverified": Phone(os.path.join(work, "phone-unverified"), preload="unison_driver.msi"),
        }
        if not args.unsigned_image:
            sign_image(authorities, phones["signed"])
        times = {way: [] for way in phones}
        print(f"Plug-in to tool start, current package of {args.files} programs and libraries "
              f"({len(listed)} files), {args.rounds} rounds:")
        for round_number in range(1, args.rounds + 1):
            for way, phone in phones.items():
                rig.map_drive(phone.image, "e")
                one_plug_in(rig, phone, tool_log, templates)  # warm: the prefix after the remap
                times[way].append(one_plug_in(rig, phone, tool_log, templates))
                print(f"  round {round_number}: {way:10s} {times[way][-1]:.2f} s")
        medians = {way: statistics.median(values) for way, values in times.items()}
        for way, values in times.items():
            print(f"{way:10s} {', '.join(f'{v:.2f}' for v in values)} s (median {medians[way]:.2f} s)")
        print(f"ratio signed / unverified: {medians['signed'] / medians['unverified']:.2f}")


if __name__ == "__main__":
    main()
