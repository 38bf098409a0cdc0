"""The misbehaving update servers the demo plays on request (demo.py --scenario NAME): what each one
changes in the fake server's copy of the default scenario, or on the PC, before the phone is
plugged in, and what it should cause, judged from what the demo saw (the program's end, the PC
tool's starts, the message boxes, the package files fetched, the package left on the PC)."""
import os
import shutil
import socket

from phone_image import write_ini

OLDER_VERSION = "1.0.0.8"


class Outcome:
    """What a demo run saw once the program and the PC tool had ended (or the wait ran out)."""

    def __init__(self, done, tool_starts, messages, downloads, package_version, positions, trace):
        self.done, self.tool_starts, self.messages, self.trace = done, tool_starts, messages, trace
        # positions: the progress bar's at each screenshot of the download page
        self.downloads, self.package_version, self.positions = downloads, package_version, positions


class Scenario:
    """The server as it is (no --scenario): the readme comes slowly, so the download page can be
    seen and photographed. ``watched`` is the package file whose arrival the download page's
    screenshot waits for; ``later_shot`` takes a second one a few seconds on."""
    name = None
    line = "the default scenario: the current package, the driver's setup program"
    watched = "PXPC_Readme.txt"
    later_shot = False

    def configure(self, server):
        """Before the server starts."""

    def prepare(self, play):
        """Once the server runs and the PC is clean; returns what it did, in a sentence, or None."""
        play.server.package_route("PXPC_Readme.txt", delay=2)
        return None

    def judge(self, outcome, play):
        """(whether it went as the scenario should, a sentence that says so)."""
        if outcome.done and outcome.tool_starts:
            return True, "The run ended with the PC tool started."
        return False, "The run did not end with the PC tool started."


class FileMissing(Scenario):
    name = "file-missing"
    line = "a package file (PXPC_Readme.txt) answers 404 Not Found: the download fails"

    def prepare(self, play):
        play.server.package_route("PXPC_Readme.txt", status=404, delay=2)
        return ("The server answers 404 Not Found for the package file PXPC_Readme.txt (after 2 s, so the "
                "download page can be seen).")

    def judge(self, outcome, play):
        if outcome.done and "PXPC_Readme.txt" in outcome.downloads and outcome.messages and not outcome.tool_starts:
            return True, ("As the scenario should cause: the download failed, the program said so in a message "
                          "box, and no PC tool was started.")
        return False, ("Not what the scenario should cause (the download failing with a message box and no PC "
                       "tool started).")


class SlowFile(Scenario):
    name = "slow-file"
    line = "the PC tool's file comes slowly (about 8 s, a tenth of a second at a time): the download page shows"
    later_shot = True

    def prepare(self, play):
        self.watched = play.tool
        size = os.path.getsize(os.path.join(play.server.package_dir, play.tool))
        rate = max(1000, size // 8)
        play.server.package_route(play.tool, rate=rate)
        return (f"The server sends the package file {play.tool} slowly: {rate} bytes a second, {size} bytes in "
                f"about {size / rate:.0f} s.")

    def judge(self, outcome, play):
        moved = len(outcome.positions) >= 2 and outcome.positions[-1] > outcome.positions[0]
        if outcome.done and outcome.tool_starts and moved and play.tool in outcome.downloads:
            return True, ("As the scenario should cause: the download page showed the progress moving while the "
                          "file came, the download completed and the PC tool was started.")
        return False, ("Not what the scenario should cause (the download page's progress moving while the file "
                       "came, then the PC tool started).")


class ServerDown(Scenario):
    name = "server-down"
    line = "the update service's ports refuse connections (no server on them); the Internet answers"

    def configure(self, server):
        # The program asks the build's service and probe ports; the server listens elsewhere, so
        # those refuse connections, while its connectivity port still stands for the Internet.
        self.refused = (server.service_port, server.probe_port)
        server.service_port, server.probe_port = free_port(), free_port()

    def prepare(self, play):
        service, probe = self.refused
        return (f"The update service is down: nothing listens on its service port {service} or its probe port "
                f"{probe}, so they refuse connections; the Internet (connectivity port "
                f"{play.server.connectivity_port}) answers, so the PC is online.")

    def judge(self, outcome, play):
        failed = "CheckPXPC return MSG is (MSG_SERVER_CONN_ERROR)" in outcome.trace
        if outcome.done and failed and not outcome.downloads and not outcome.tool_starts:
            return True, ("As the scenario should cause: the update check could not connect, nothing was "
                          "downloaded and no PC tool was started.")
        return False, "Not what the scenario should cause (a failed update check, no download, no PC tool)."


class NewerPackage(Scenario):
    name = "newer-package"
    line = f"the PC holds an older package ({OLDER_VERSION}); the server offers a newer one: it is downloaded"

    def prepare(self, play):
        os.makedirs(play.package, exist_ok=True)
        for name in play.server.package_files():
            shutil.copy(os.path.join(play.server.package_dir, name), play.package)
        write_ini(os.path.join(play.package, "pxpcconfig.ini"), {"PXPACKAGE": {"pack_version": OLDER_VERSION}})
        self.offered = play.server.serverconfig().get("PXPACKAGE", "pack_version")
        return (f"Installed an older package (version {OLDER_VERSION}) in the PC's package folder; the server "
                f"offers version {self.offered}.")

    def judge(self, outcome, play):
        if (outcome.done and outcome.tool_starts and play.tool in outcome.downloads
                and outcome.package_version == self.offered):
            return True, (f"As the scenario should cause: the update was downloaded, the PC's package is now "
                          f"version {self.offered} and the PC tool was started.")
        return False, (f"Not what the scenario should cause (the update downloaded, the package at version "
                       f"{self.offered}, the PC tool started); the PC's package is at "
                       f"{outcome.package_version or 'no version'}.")


SCENARIOS = {cls.name: cls for cls in (FileMissing, SlowFile, ServerDown, NewerPackage)}


def listing():
    """One line per scenario, for --scenario list and --help."""
    width = max(len(name) for name in SCENARIOS)
    return "\n".join(f"  {name:<{width}}  {cls.line}" for name, cls in SCENARIOS.items())


def free_port():
    """A loopback port that nothing listens on now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
