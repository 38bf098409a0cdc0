#!/usr/bin/env python3
"""The demo's options as a tester runs them: tools/e2e/demo.py itself, under Wine in one prefix of
its own (QV_E2E_WORK/demo), with a maker's model folder (another model name, PC tool name and driver
than the sample's), a model folder the image builder refuses, and each misbehaving server; checked
on the summary it prints, its exit status and what the run left (the PC tool's record, the
server's request log, the package on the PC, the screenshots). BusyPort needs neither Wine nor a
build: a port that another program holds gives one sentence that names it, no traceback."""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools", "e2e")
sys.path.insert(0, TOOLS)
from update_server import PortInUse, UpdateServer, port_in_use  # noqa: E402

DEMO = os.path.join(TOOLS, "demo.py")
SAMPLE_MODEL = os.path.join(HERE, "..", "..", "samples", "demo-phone")
PORT_VARIABLES = ("QV_E2E_SERVICE_PORT", "QV_E2E_PROBE_PORT", "QV_E2E_CONNECTIVITY_PORT")
DOWNLOAD_FAILED = "RO Zeru Zav download is failed. Please try again when Internet access is available."


def run_demo(*args, env=None, timeout=300):
    """demo.py with `args`; (exit status, what it printed on stdout and stderr together)."""
    done = subprocess.run([sys.executable, "-B", DEMO, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, env=env or os.environ, timeout=timeout)
    return done.returncode, done.stdout


def listening(port=0, reuse=False):
    """A socket that listens on loopback, as another program holding the port would (with `reuse`,
    bound with address reuse, as the fake server binds)."""
    holder = socket.socket()
    if reuse:
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    holder.bind(("127.0.0.1", port))
    holder.listen(1)
    return holder


def harness_wait(predicate, timeout=2):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def sentence(port):
    return f"Port {port} is in use by another program: stop it (another demo or test run?) and try again."


class BusyPort(unittest.TestCase):
    """Ports chosen free here, never the build's fixed ones, so no lock is needed."""

    def setUp(self):
        self.holders = [listening() for _ in PORT_VARIABLES]
        self.ports = [h.getsockname()[1] for h in self.holders]
        for holder in self.holders:
            holder.close()  # free again; each case takes the one it needs
        self.env = {**os.environ, **dict(zip(PORT_VARIABLES, map(str, self.ports)))}
        self.work = tempfile.mkdtemp(prefix="qv-demo-port-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def test_the_demo_names_the_taken_port_exits_2_and_builds_nothing(self):
        for index, name in enumerate(PORT_VARIABLES):
            with self.subTest(port=name):
                holder = listening(self.ports[index])
                try:
                    status, output = run_demo("--work", self.work, env=self.env, timeout=60)
                finally:
                    holder.close()
                self.assertEqual(status, 2, output)
                self.assertEqual(output.strip(), sentence(self.ports[index]))
                self.assertNotIn("Traceback", output)
                self.assertEqual(os.listdir(self.work), [], "something was built or started")

    def test_the_server_start_refuses_a_taken_port_in_one_sentence(self):
        holder = listening(self.ports[1])
        self.addCleanup(holder.close)
        server = UpdateServer(os.path.join(self.work, "server"))
        server.service_port, server.probe_port, server.connectivity_port = self.ports
        with self.assertRaises(PortInUse) as raised:
            server.start()
        self.assertEqual(str(raised.exception), sentence(self.ports[1]))
        self.assertEqual(raised.exception.port, self.ports[1])
        self.assertFalse(os.path.exists(server.pidfile), "a server was started")

    def test_a_port_is_taken_only_while_someone_listens(self):
        port = self.ports[0]
        self.assertFalse(port_in_use(port))
        holder = listening(port, reuse=True)
        self.assertTrue(port_in_use(port))
        # An earlier server that answered and ended leaves its side of the connection in TIME_WAIT:
        # the port is free for the next server.
        client = socket.create_connection(("127.0.0.1", port))
        accepted, _ = holder.accept()
        accepted.close()
        time.sleep(0.1)
        client.close()
        holder.close()
        self.assertTrue(harness_wait(lambda: not port_in_use(port)), "a port in TIME_WAIT counts as taken")


def lines_of(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return f.read().splitlines()


def write_config(model, replace):
    """Rewrites config.ini of `model` with the keys in `replace` ({key: value}) changed in place."""
    path = os.path.join(model, "config.ini")
    with open(path, encoding="cp1252") as f:
        lines = f.read().splitlines()
    lines = [f"{line.split('=', 1)[0]}={replace[line.split('=', 1)[0]]}" if line.split("=", 1)[0] in replace
             else line for line in lines]
    with open(path, "w", encoding="cp1252", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


class DemoUnderWine(unittest.TestCase):
    """Each case runs the demo once in the same work folder, so the Wine prefix is made only once."""

    @classmethod
    def setUpClass(cls):
        cls.base = os.path.abspath(os.environ.get("QV_E2E_WORK", os.path.join(tempfile.gettempdir(), "qv-e2e-demo")))
        cls.work = os.path.join(cls.base, "demo")
        os.makedirs(cls.work, exist_ok=True)

    def play(self, *args, timeout=300):
        status, output = run_demo("--work", self.work, *args, timeout=timeout)
        self.assertNotIn("Traceback", output)
        return status, output

    def shot(self, name):
        return os.path.join(self.work, "screenshots", name)

    def requested(self):
        """Paths the fake server's service port was asked for."""
        return [line.split("\t")[2] for line in lines_of(os.path.join(self.work, "server", "requests.log"))
                if line.startswith("service\t")]

    def trace(self):
        with open(os.path.join(self.work, "PX_Bootstrap_Log(0000).txt"), encoding="cp1252") as f:
            return f.read()

    def makers_model(self, **replace):
        """A copy of the sample as a maker makes theirs: another model name, PC tool and driver (the
        build's driver setup program, of the combined family), no signature setting."""
        model = os.path.join(self.base, "maker-phone")
        shutil.rmtree(model, ignore_errors=True)
        shutil.copytree(SAMPLE_MODEL, model)
        shutil.copy(os.path.join(os.environ["QV_E2E_DRIVERS"], "driver_setup.exe"), model)
        write_config(model, {"model_name": "Maker Test Phone", "pxpc_name": "MakerTool.exe",
                             "file05": "driver_setup.exe", "preload": "driver_setup.exe",
                             "preload_type": "unison", **replace})
        return model

    def test_a_makers_model_plays_with_its_name_tool_and_driver(self):
        status, output = self.play("--model", self.makers_model())
        self.assertEqual(status, 0, output)
        self.assertIn("Plugging in a Maker Test Phone (USB mode MTP selected on the phone)", output)
        self.assertIn("- The model \"Maker Test Phone\" was played: its config.ini, licence and driver "
                      "(driver_setup.exe, family unison), its PC tool MakerTool.exe.", output)
        self.assertIn("The model names no maker's signature", output)
        self.assertIn("- The PC tool was started with the argument \"-pxpc;E;T;Maker Test Phone;\".", output)
        self.assertIn("- The USB driver was installed with the phone's own installer driver_setup.exe.", output)
        self.assertEqual(lines_of(os.path.join(self.work, "tool.log")), ["-pxpc;E;T;Maker Test Phone;"])
        # The server served the tool under the model's name and the driver came from the phone.
        self.assertIn("/pkg/pxpc/MakerTool.exe", self.requested())
        self.assertNotIn("/pkg/pxpc/PXPC.exe", self.requested())
        self.assertNotIn("/pkg/pxpc/driver_setup.exe", self.requested())
        self.assertRegex(self.trace(), r"\[RunPXPC\(\)\] Exe File = \([^)]*\\PXPC\\MakerTool\.exe\)")
        self.assertIn("[SIGNATURE] The phone names no publisher: packages are not verified", self.trace())
        self.assertNotIn("] refused", self.trace())
        self.assertTrue(os.path.getsize(self.shot("1-licence-page.png")) > 0)

    def test_a_makers_signature_that_cannot_be_made_here_is_kept_and_refuses_the_files(self):
        model = self.makers_model()
        with open(os.path.join(model, "config.ini"), "a", encoding="cp1252", newline="\r\n") as f:
            f.write("\n[SIGNATURE]\npublisher=Maker Test Ltd\nroot_sha256=" + "ab" * 32 + "\n")
        status, output = self.play("--model", model)
        self.assertEqual(status, 1, output)
        self.assertIn("The model names the maker's signature (publisher \"Maker Test Ltd\"), which cannot be made "
                      "here", output)
        self.assertRegex(output, r"- The signature of MakerTool\.exe was verified \(\dx\): refused, ")
        self.assertIn("- The PC tool MakerTool.exe was not started.", output)
        self.assertEqual(lines_of(os.path.join(self.work, "tool.log")), [])
        self.assertIn("[SIGNATURE] Packages must be signed by [Maker Test Ltd], 1 pinned root(s)", self.trace())

    def test_a_model_the_builder_refuses_stops_with_its_findings(self):
        model = self.makers_model()
        os.remove(os.path.join(model, "driver_setup.exe"))
        shutil.rmtree(os.path.join(self.work, "rig", "logs"), ignore_errors=True)
        status, output = self.play("--model", model, timeout=60)
        self.assertEqual(status, 1, output)
        self.assertRegex(output, r"config\.ini:\d+: error: \[FILES\] file05: 'driver_setup\.exe' is not in the "
                                 r"model folder")
        self.assertIn(f"The image builder refused the model folder {model}: nothing was played.", output)
        self.assertNotIn("Plugging in", output)
        self.assertFalse(os.path.exists(os.path.join(self.work, "rig", "logs")), "Wine was started")

    def test_file_missing_fails_the_download_with_a_message_box(self):
        status, output = self.play("--scenario", "file-missing")
        self.assertEqual(status, 0, output)
        self.assertIn("- Scenario: The server answers 404 Not Found for the package file PXPC_Readme.txt", output)
        self.assertIn(f"- The program showed a message box \"Demo Phone\": \"{DOWNLOAD_FAILED}\"; pressing OK "
                      f"(screenshot {self.shot('4-message-1.png')}).", output)
        self.assertTrue(os.path.getsize(self.shot("4-message-1.png")) > 0)
        self.assertIn("- As the scenario should cause: the download failed", output)
        self.assertNotIn("The PC tool was started", output)
        self.assertIn("[DownloadPXPC_Package()] Fail of download file.....(PXPC_Readme.txt)", self.trace())
        self.assertIn("- Usage statistics record: FAIL.", output)

    def test_slow_file_shows_the_download_page_while_it_comes(self):
        status, output = self.play("--scenario", "slow-file")
        self.assertEqual(status, 0, output)
        self.assertRegex(output, r"- Scenario: The server sends the package file PXPC\.exe slowly: \d+ bytes a second")
        early = re.search(r"\"Downloading\.\.\.\" at (\d+) of 2000 \(screenshot", output)
        later = re.search(r"A few seconds on, the progress page showed \"Downloading\.\.\.\" at (\d+) of 2000", output)
        self.assertIsNotNone(early, output)
        self.assertIsNotNone(later, output)
        self.assertGreater(int(later.group(1)), int(early.group(1)), "the progress did not move while the file came")
        self.assertTrue(os.path.exists(self.shot("2b-downloading-later.png")))
        self.assertIn("- As the scenario should cause: the download page showed the progress moving while the file "
                      "came", output)
        self.assertIn("- The PC tool was started with the argument \"-pxpc;E;T;Demo Phone;\".", output)

    def test_server_down_fails_the_check_and_downloads_nothing(self):
        status, output = self.play("--scenario", "server-down")
        self.assertEqual(status, 0, output)
        self.assertIn("- Scenario: The update service is down: nothing listens on its service port 19002 or its "
                      "probe port 19080", output)
        self.assertIn("- The update check failed: the update client answered MSG_SERVER_CONN_ERROR.", output)
        self.assertIn("- As the scenario should cause: the update check could not connect", output)
        self.assertNotIn("Downloaded into the package folder", output)
        self.assertNotIn("The PC tool was started", output)
        self.assertEqual(self.requested(), [], "the moved service port was asked")

    def test_newer_package_replaces_the_older_one(self):
        status, output = self.play("--scenario", "newer-package")
        self.assertEqual(status, 0, output)
        self.assertIn("- Scenario: Installed an older package (version 1.0.0.8) in the PC's package folder; the "
                      "server offers version 1.0.0.9.", output)
        self.assertIn("- Downloaded into the package folder: PXPC.exe, pxpcconfig.ini, PXPC_Readme.txt", output)
        self.assertIn("- As the scenario should cause: the update was downloaded, the PC's package is now version "
                      "1.0.0.9", output)
        self.assertIn("- The PC tool was started with the argument \"-pxpc;E;T;Demo Phone;\".", output)


if __name__ == "__main__":
    unittest.main()
