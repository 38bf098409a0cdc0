#!/usr/bin/env python3
"""The update-service client library's agent exports end to end: a small caller program loads
QVUTchkdl.dll by its plain name under 64-bit Wine and calls CheckUTSetup, CheckUASetup or
StartUpdate, against the fake update server with its live-update list and agent cabinets. The
stand-in agents record how they were started; the library's dialogs are driven by control id.
Each scenario asserts on the result word and return value, the agent folder, the registry, the
processes and the requests the server saw."""
import json
import os
import re
import shutil
import unittest

from plug_in_case import RigTestCase, harness, read_bytes
from agent_server import AgentServer  # noqa: E402
from control_ids import IDCANCEL, IDOK, SETUP  # noqa: E402
from phone_image import SOURCE_ROOT, build_output, write_ini  # noqa: E402
from signing_authorities import REFUSALS, SigningAuthorities, pack_cabinet  # noqa: E402

TITLE = "Corbel Wireless Software Upgrade Assistant - QV"
ALTERNATIVE_TITLE = "Corbel Wireless Utility Application - QV"
BODY = ("The assistant periodically checks for availability of new software \nupgrades for your QV phone "
        "and helps you complete the\nupgrade in  just a few steps.")
ALTERNATIVE_BODY = "Software is available that will help your QV phone to \ncommunicate with your PC. Download now?"
REMINDER = "You will be reminded the next time you connect your phone to\nyour PC."
HEADING = "Software Upgrade Assistant"
INSTALL_NOW, CANCEL_CLOSE, PROGRESS = SETUP.IDC_SETUP_INSTALL_NOW, SETUP.IDC_SETUP_CANCEL_CLOSE, SETUP.IDC_SETUP_PROGRESS
STATUS, BODY_ID = SETUP.IDC_SETUP_STATUS, SETUP.IDC_SETUP_BODY
CAB_ROUTE = "/agents/QOREUTProg.CAB"
RUN_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
MAKER_KEY = r"HKCU\Software\LowRegistry\QV Electronics Inc\QVMobileAX"
AGENTS = ("CBWNotiAgent.exe", "CBWUAAgent.exe", "QORClient_CBW.exe", "QORLauncher.exe")
UT_PACKAGE = ("CBWNotiAgent.exe", "QORClient_CBW.exe", "QORLauncher.exe", "data/readme.txt")


class AgentCalls:
    """The library's exports called through the caller program, for a test case with ``rig``,
    ``result_file`` and ``agent_log``."""

    def unregister(self):
        for name in ("QOR_AGENT", "QORUA_AGENT"):
            self.rig.reg_delete_value(RUN_KEY, name)

    def start_call(self, export, caller=None):
        """Starts the caller (the built one, or ``caller``, a copy with its library); the library
        runs in it, with the agent log for what it starts. Its trace goes to the caller's output."""
        program = caller or build_output("agent_caller")
        return self.rig.run(program, [export, "--out", harness.to_windows(self.result_file)],
                            cwd=os.path.dirname(program), env={"QV_AGENT_LOG": harness.to_windows(self.agent_log),
                                                               "WINEDEBUG": "-all,+debugstr"})

    def finish_call(self, caller, timeout=60):
        """(returned, result word) of the call; the result buffer is never overrun."""
        self.assertEqual(caller.wait(timeout), 0, caller.output())
        with open(self.result_file, encoding="utf-8") as f:
            outcome = json.load(f)
        self.assertFalse(outcome["overrun"], outcome)
        if outcome["result"] is not None:
            self.assertTrue(outcome["terminated"], outcome)
        return outcome["returned"], outcome["result"]


class AgentEndToEnd(AgentCalls, RigTestCase):
    SERVER = AgentServer

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.stand_ins = os.path.dirname(build_output("agent_caller"))

    def setUp(self):
        rig = self.rig
        self.root = os.path.join(rig.program_data_dir, "QVMOBILEAX")
        self.folder = os.path.join(self.root, "QOR_Client")
        self.agent_log = os.path.join(self.work, "agents.log")
        self.result_file = os.path.join(self.work, "call.json")
        rig.reset(paths=[self.root, self.agent_log, self.result_file, os.path.join(rig.drive_c, "escape3.txt"),
                         os.path.join(rig.drive_c, "escape4.txt"), os.path.join(rig.program_data_dir, "escape.txt")],
                  reg_keys=[MAKER_KEY])
        self.unregister()
        self.server.reset()

    # -- calling the library ------------------------------------------------------------------

    @staticmethod
    def library_trace(process):
        """The library's trace lines in the order written, as Wine's debug channel reports them
        (its escapes undone, the prefix dropped), with the fresh part of temporary names as "*"."""
        lines = []
        for found in re.finditer(r'OutputDebugStringA "(.*)"$', process.output(), re.MULTILINE):
            line = re.sub(r'\\(.)', r'\1', found.group(1)).removeprefix("[KSVC_UT]   ")
            lines.append(re.sub(r"~(download|staging)-[0-9-]+", r"~\1-*", line))
        return lines

    def call(self, export, caller=None):
        return self.finish_call(self.start_call(export, caller))

    def install_through(self, export, caller=None):
        """The call, its confirmation accepted and its dialog closed at the end; (returned, result
        word) and the process."""
        process = self.start_call(export, caller)
        title = TITLE if export == "CheckUTSetup" else ALTERNATIVE_TITLE
        self.accept(title)
        self.close(title)
        return self.finish_call(process), process

    # -- the PC -------------------------------------------------------------------------------

    def install(self, *names):
        os.makedirs(self.folder, exist_ok=True)
        for name in names:
            shutil.copy(os.path.join(self.stand_ins, name), self.folder)

    def run_staying(self, program, *args):
        """Starts a stand-in that stays and holds its mutex; waits until it has recorded its start."""
        before = len(self.starts())
        self.rig.run(program, ["--stay", *args], cwd=os.path.dirname(program) if program.startswith("/") else None,
                     env={"QV_AGENT_LOG": harness.to_windows(self.agent_log)})
        self.assertTrue(harness.wait_for(lambda: len(self.starts()) > before, 20), "the stand-in did not start")

    def starts(self, with_request=False):
        """(exe, working folder, arguments) of every recorded start, and with ``with_request`` the
        synchronisation request each found in the registry at its start."""
        if not os.path.exists(self.agent_log):
            return []
        fields = 4 if with_request else 3
        with open(self.agent_log, encoding="utf-8") as f:
            return [tuple((line.split("\t") + [""] * 3)[:fields]) for line in f.read().splitlines() if line]

    def started(self, count=1):
        """The starts once ``count`` have been recorded: a program the library started runs on its own."""
        harness.wait_for(lambda: len(self.starts()) >= count, 20)
        return self.starts()

    def running(self, name):
        return bool(self.rig.processes([name]))

    def folder_files(self):
        found = []
        for base, _, files in os.walk(self.folder):
            found += [os.path.relpath(os.path.join(base, f), self.folder).replace(os.sep, "/") for f in files]
        return sorted(found)

    def windows_folder(self):
        return self.rig.to_windows(self.folder)

    # -- the dialogs --------------------------------------------------------------------------

    def wait_dialog(self, title=TITLE):
        self.assertIsNotNone(self.rig.ui.wait_window(title, timeout=30), f"no dialog {title!r}")

    def text(self, control, title=TITLE):
        return self.rig.ui.state(title, control)["text"]

    def wait_text(self, control, text, title=TITLE, timeout=30):
        self.assertTrue(harness.wait_for(lambda: self.text(control, title) == text, timeout),
                        f"control {control} never read {text!r} (reads {self.text(control, title)!r})")

    def accept(self, title=TITLE):
        self.wait_dialog(title)
        self.rig.ui.click(title, INSTALL_NOW)
        self.assertTrue(harness.wait_for(lambda: self.rig.ui.state(title, PROGRESS) is not None, 20))

    def hold_cabinet(self):
        """The package cabinet stops after its first 40000 bytes until ``release_cabinet``: the
        transfer is held inside a round, for as long as the scenario needs."""
        self.server.route(CAB_ROUTE, file="agents/QOREUTProg.CAB", pause_after=40000, pause=60, release="cab")
        caller = self.start_call("CheckUTSetup")
        self.accept()
        self.assertTrue(harness.wait_for(lambda: self.rig.ui.state(TITLE, PROGRESS)["pos"] >= 32768, 20))
        return caller

    def release_cabinet(self):
        self.server.release("cab")

    def close(self, title=TITLE):
        """Presses the button once it reads "Close"."""
        self.wait_text(CANCEL_CLOSE, "Close", title)
        self.rig.ui.click(title, CANCEL_CLOSE)

    # -- scenarios ----------------------------------------------------------------------------

    def test_current_agent_is_started_in_its_folder_and_the_launcher_after_the_request(self):
        self.install("CBWUAAgent.exe")
        shutil.copy(os.path.join(self.stand_ins, "QORLauncher.exe"), self.root)
        self.assertEqual(self.call("CheckUASetup"), (1, "MSG_OK"))
        self.assertEqual(self.started(), [("CBWUAAgent.exe", self.windows_folder(), "")])
        self.assertTrue(self.rig.wait_all_exited(AGENTS, 20))
        os.remove(self.agent_log)
        self.assertEqual(self.call("StartUpdate")[0], 1)
        self.started()  # the launcher runs on its own: wait for its record
        self.assertEqual(self.starts(with_request=True), [("QORLauncher.exe", self.rig.to_windows(self.root), "", "TRUE")])
        self.assertEqual(self.rig.reg_query(MAKER_KEY), {"SYNCUPDATE": "TRUE", "SYNCTYPE": "PXPC"})

    def test_outdated_running_agent_is_ended_and_declining_downloads_nothing(self):
        self.install("CBWNotiAgent.exe")
        self.run_staying(os.path.join(self.folder, "CBWNotiAgent.exe"))
        self.server.set_entry("NotiAgent_QOR", version="1.0.1.5")
        caller = self.start_call("CheckUTSetup")
        self.wait_dialog()
        self.assertFalse(self.running("CBWNotiAgent.exe"), "the outdated agent still runs")
        # The heading and the reminder's texts: test_display_e2e's confirmation, at every scale.
        controls = self.rig.ui.controls(TITLE)
        self.assertEqual(controls[BODY_ID]["text"], BODY)
        self.assertEqual((controls[INSTALL_NOW]["text"], controls[CANCEL_CLOSE]["text"]), ("Install Now", "Cancel"))
        self.assertFalse(controls[IDOK]["visible"] or controls[IDCANCEL]["visible"])
        self.rig.screenshot_window(os.path.join(self.shots, "agent-confirm.png"), TITLE)

        self.rig.ui.click(TITLE, CANCEL_CLOSE)  # "Cancel": the reminder, the dialog stays
        self.wait_text(CANCEL_CLOSE, "Close")
        self.rig.screenshot_window(os.path.join(self.shots, "agent-confirm-reminder.png"), TITLE)
        self.rig.ui.click(TITLE, CANCEL_CLOSE)  # "Close"
        self.assertEqual(self.finish_call(caller), (1, ""))
        self.assertEqual(self.server.agent_downloads(), [])
        self.assertIsNone(self.rig.reg_value(RUN_KEY, "QOR_AGENT"))

    def test_accepted_package_is_unpacked_started_and_registered(self):
        caller = self.hold_cabinet()
        self.assertEqual(self.text(STATUS), "Installing...")
        self.rig.screenshot_window(os.path.join(self.shots, "agent-progress.png"), TITLE)
        self.release_cabinet()
        self.wait_text(STATUS, "Installation Complete")
        self.wait_text(CANCEL_CLOSE, "Close")
        self.rig.screenshot_window(os.path.join(self.shots, "agent-complete.png"), TITLE)
        self.close()
        self.assertEqual(self.finish_call(caller), (1, "MSG_OK"))

        self.assertEqual(self.folder_files(), sorted(UT_PACKAGE))  # unpacked, the cabinet deleted
        self.assertEqual(read_bytes(os.path.join(self.root, "QORLauncher.exe")),
                         read_bytes(os.path.join(self.stand_ins, "QORLauncher.exe")))
        self.assertEqual(self.started(), [("CBWNotiAgent.exe", self.windows_folder(), "")])
        self.assertEqual(self.rig.reg_value(RUN_KEY, "QOR_AGENT"), '"' + self.windows_folder() + '\\CBWNotiAgent.exe"')
        self.assertEqual(self.rig.reg_value(MAKER_KEY, "AutoStart"), 1)
        self.assertEqual(self.server.agent_downloads()[-1], "QOREUTProg.CAB")

    def test_assistant_agent_uses_the_alternative_texts(self):
        caller = self.start_call("CheckUASetup")
        self.wait_dialog(ALTERNATIVE_TITLE)
        self.assertEqual(self.text(BODY_ID, ALTERNATIVE_TITLE), ALTERNATIVE_BODY)  # no heading: test_display_e2e
        self.rig.screenshot_window(os.path.join(self.shots, "agent-confirm-alternative.png"), ALTERNATIVE_TITLE)
        self.accept(ALTERNATIVE_TITLE)
        self.close(ALTERNATIVE_TITLE)
        self.assertEqual(self.finish_call(caller), (1, "MSG_OK"))
        self.assertEqual(self.folder_files(), ["CBWUAAgent.exe", "data/readme.txt"])
        self.assertFalse(os.path.exists(os.path.join(self.root, "QORLauncher.exe")))
        self.assertEqual(self.started(), [("CBWUAAgent.exe", self.windows_folder(), "")])
        self.assertEqual(self.rig.reg_value(RUN_KEY, "QORUA_AGENT"), '"' + self.windows_folder() + '\\CBWUAAgent.exe"')
        self.assertEqual(self.rig.reg_value(MAKER_KEY, "UAAutoStart"), 1)

    def test_cancel_or_escape_stops_a_held_transfer_and_close_waits_for_it(self):
        caller = self.hold_cabinet()
        self.rig.ui.click(TITLE, CANCEL_CLOSE)  # "Cancel"
        self.wait_text(CANCEL_CLOSE, "Close")
        self.assertEqual(self.text(STATUS), REMINDER)
        self.assertFalse(self.rig.ui.state(TITLE, PROGRESS)["visible"])
        # "Close" while the worker is still inside the held round: sent, so handled when the
        # driver returns; the dialog stays, however long the transfer is held.
        self.assertTrue(self.rig.ui("click", TITLE, CANCEL_CLOSE, "--send").ok)
        self.assertFalse(self.rig.ui.wait_gone(TITLE, timeout=2))
        # Released, the worker notices the cancel within one chunk; then "Close" ends the dialog.
        self.release_cabinet()
        self.assertTrue(harness.wait_for(self._close_ends, 15))
        self.assertEqual(self.finish_call(caller), (1, "MSG_DOWNLOAD_FAIL"))
        self.assertEqual(self.folder_files(), [])  # what came of the package is not kept
        self.assertEqual(self.starts(), [])

        # Escape is taken as a cancel; the dialog waits for its worker.
        self.server.reset()  # the cabinet held again
        caller = self.hold_cabinet()
        self.rig.ui.key(TITLE, "escape")
        self.wait_text(STATUS, REMINDER)
        self.assertIsNone(caller.poll())
        self.release_cabinet()
        self.assertEqual(self.finish_call(caller, timeout=30), (1, "MSG_DOWNLOAD_FAIL"))

    def _close_ends(self):
        self.rig.ui.click(TITLE, CANCEL_CLOSE)
        return self.rig.ui.wait_gone(TITLE, timeout=1)

    def test_small_download_waits_for_cancel_and_other_files_stay(self):
        self.server.set_entry("QOREUTProg", url=self.server.add_agent_file("small.cab", b"x" * 29999))
        caller = self.start_call("CheckUTSetup")
        self.accept()
        self.assertTrue(harness.wait_for(lambda: "small.cab" in self.server.agent_downloads(), 10))
        self.assertEqual((self.text(CANCEL_CLOSE), self.text(STATUS)), ("Cancel", "Installing..."))
        self.rig.ui.click(TITLE, CANCEL_CLOSE)
        self.wait_text(CANCEL_CLOSE, "Close")
        self.rig.ui.click(TITLE, CANCEL_CLOSE)
        self.assertEqual(self.finish_call(caller), (1, "MSG_DOWNLOAD_FAIL"))
        self.assertEqual(self.folder_files(), [])

        # A file that is not a cabinet is downloaded and kept as it is.
        data = bytes(i % 253 for i in range(40000))
        self.server.set_entry("QOREUTProg", url=self.server.add_agent_file("QOREUTProg.exe", data))
        caller = self.start_call("CheckUTSetup")
        self.accept()
        self.wait_text(STATUS, "Installation Complete")
        self.close()
        self.assertEqual(self.finish_call(caller), (1, "MSG_OK"))
        self.assertEqual(self.folder_files(), ["QOREUTProg.exe"])
        self.assertEqual(read_bytes(os.path.join(self.folder, "QOREUTProg.exe")), data)

    # -- what the update may not touch ------------------------------------------------------------

    USERS_AGENT = ("CBWNotiAgent.exe", b"another user's program")

    def assert_not_registered(self):
        self.assertIsNone(self.rig.reg_value(RUN_KEY, "QOR_AGENT"))
        self.assertIsNone(self.rig.reg_value(RUN_KEY, "QORUA_AGENT"))
        self.assertEqual(self.starts(), [])

    def test_agent_folder_that_is_a_link_is_refused_before_anything_is_asked(self):
        elsewhere = self.users_folder(*self.USERS_AGENT)
        os.makedirs(self.root)
        os.symlink(elsewhere, self.folder)
        self.assertEqual(self.call("CheckUTSetup"), (0, "MSG_FUNCTION_FAIL"))
        self.assert_users_folder_untouched(elsewhere, *self.USERS_AGENT)
        self.assert_not_registered()
        self.assertEqual(self.server.agent_downloads(), [])

    def test_a_link_inside_the_agent_folder_gets_nothing_of_the_package(self):
        # The package's data folder is a link to another user's folder: the update stops before
        # the first file moves, and the installed agent stays as it was.
        elsewhere = self.users_folder(*self.USERS_AGENT)
        self.install("CBWNotiAgent.exe")
        os.symlink(elsewhere, os.path.join(self.folder, "data"))
        installed = read_bytes(os.path.join(self.folder, "CBWNotiAgent.exe"))
        self.server.set_entry("NotiAgent_QOR", version="9.9.9.9")  # an update is due
        self.assertEqual(self.install_through("CheckUTSetup")[0], (0, "MSG_DOWNLOAD_FAIL"))
        self.assert_users_folder_untouched(elsewhere, *self.USERS_AGENT)
        self.assertEqual(read_bytes(os.path.join(self.folder, "CBWNotiAgent.exe")), installed)
        self.assertEqual(sorted(os.listdir(self.folder)), ["CBWNotiAgent.exe", "data"])  # no staging left
        self.assert_not_registered()

    def test_a_package_that_does_not_arrive_whole_or_cannot_be_unpacked_changes_nothing(self):
        self.install("CBWUAAgent.exe")
        installed = read_bytes(os.path.join(self.folder, "CBWUAAgent.exe"))
        cabinet = read_bytes(os.path.join(self.server.agent_dir, "NotiAgent_QOR_UA.cab"))
        damaged = cabinet[:len(cabinet) * 2 // 3]
        cases = {
            # The agent program itself, cut off after 35000 of its 40000 bytes.
            "cut off": ("CBWUAAgent.exe", bytes(i % 251 for i in range(40000)), {"close_after": 35000}),
            # A cabinet whole as sent, but not one the system can read to its end.
            "damaged": ("damaged.cab", damaged + b"\0" * max(0, 30000 - len(damaged)), {}),
        }
        for case, (name, data, misbehaviour) in cases.items():
            with self.subTest(case):
                self.server.set_entry("NotiAgent_QOR_UA", version="9.9.9.9",
                                      url=self.server.add_agent_file(name, data))
                if misbehaviour:
                    self.server.route("/agents/" + name, file="agents/" + name, **misbehaviour)
                self.assertEqual(self.install_through("CheckUASetup")[0], (0, "MSG_DOWNLOAD_FAIL"))
                self.assertEqual(self.folder_files(), ["CBWUAAgent.exe"])
                self.assertEqual(read_bytes(os.path.join(self.folder, "CBWUAAgent.exe")), installed)
                self.assert_not_registered()

    def test_cabinet_names_that_climb_out_are_not_unpacked(self):
        # A cabinet whose names climb out: only the harmless entry is unpacked.
        self.server.set_entry("NotiAgent_QOR_UA", url=self.server.agent_url("unsafe.cab"))
        self.assertEqual(self.install_through("CheckUASetup")[0], (1, "MSG_OK"))
        for outside in (os.path.join(self.root, "escape.txt"), os.path.join(self.rig.program_data_dir, "escape.txt"),
                        os.path.join(self.rig.program_data_dir, "escape2.txt"),
                        os.path.join(self.root, "escape2.txt"), os.path.join(self.rig.drive_c, "escape3.txt"),
                        os.path.join(self.rig.drive_c, "escape4.txt")):
            self.assertFalse(os.path.exists(outside), outside)
        self.assertNotIn("unsafe.cab", self.folder_files())
        self.assertTrue(all(not name.startswith("..") for name in self.folder_files()), self.folder_files())

    def signed_caller(self):
        """(authorities, caller): the caller and the library in a folder of their own, with the
        maker's setting beside the library."""
        authorities = SigningAuthorities()
        signed_caller = os.path.join(self.work, "signed-caller")
        shutil.rmtree(signed_caller, ignore_errors=True)
        os.makedirs(signed_caller)
        for name in ("agent_caller.exe", "QVUTchkdl.dll"):
            shutil.copy(os.path.join(self.stand_ins, name), signed_caller)
        write_ini(os.path.join(signed_caller, "config.ini"), authorities.setting())
        return authorities, os.path.join(signed_caller, "agent_caller.exe")

    def test_packages_and_starts_need_the_makers_signature_when_the_phone_names_it(self):
        # The caller and the library in a folder of their own, with the maker's setting beside
        # the library; the agent, the cabinets and the launcher signed in every way at test time.
        authorities, caller = self.signed_caller()
        made = os.path.join(self.work, "signed")
        agents = authorities.variants(os.path.join(self.stand_ins, "CBWUAAgent.exe"), made, "CBWUAAgent")
        launchers = authorities.variants(os.path.join(self.stand_ins, "QORLauncher.exe"), made, "QORLauncher")
        readme = os.path.join(SOURCE_ROOT, "tools", "stub_agents", "cab_readme.txt")
        inner = pack_cabinet(os.path.join(made, "agent.cab"), {"CBWUAAgent.exe": agents["signed"], "data/readme.txt": readme})
        cabinets = authorities.variants(inner, made, "NotiAgent_QOR_UA")
        # A cabinet the maker signed around a program it did not sign.
        cabinets["signed around an unsigned program"] = authorities.copy("signed", pack_cabinet(
            os.path.join(made, "inner-unsigned.cab"), {"CBWUAAgent.exe": agents["unsigned"], "data/readme.txt": readme}),
            os.path.join(made, "NotiAgent_QOR_UA-inner-unsigned.cab"))
        unsigned_program = REFUSALS["unsigned"]

        def fresh():
            shutil.rmtree(self.root, ignore_errors=True)
            self.unregister()
            if os.path.exists(self.agent_log):
                os.remove(self.agent_log)

        required = "[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)"
        folder = self.windows_folder()
        accepted = "accepted, signer [Demo Maker Ltd]"
        download, staged_agent = f"[SIGNATURE] [{folder}\\~download-*] ", f"[SIGNATURE] [{folder}\\~staging-*\\CBWUAAgent.exe] "
        for way, cabinet in cabinets.items():
            with self.subTest(cabinet=way):
                fresh()
                name = way.replace(" ", "-") + ".cab"
                url = self.server.add_agent_file(name, read_bytes(cabinet))
                self.server.set_entry("NotiAgent_QOR_UA", version="9.9.9.9", url=url)
                returned, process = self.install_through("CheckUASetup", caller)
                asked = ["*" * 38, "UASetup Function call Start", required, "Check KSVC Site working",
                         "Start download Tool", "User Confirm window", "Download start"]
                if way == "signed":
                    self.assertEqual(returned, (1, "MSG_OK"))
                    self.assertEqual(self.library_trace(process), asked + [
                        download + accepted, staged_agent + accepted, "Download complete.",
                        f"[SIGNATURE] [{folder}\\CBWUAAgent.exe] {accepted}", "MSG_OK", "Function call End"])
                    self.assertEqual(self.folder_files(), ["CBWUAAgent.exe", "data/readme.txt"])
                    self.assertEqual(self.started(), [("CBWUAAgent.exe", folder, "")])
                    continue
                checks = ([download + "refused, " + REFUSALS[way]] if way in REFUSALS else
                          [download + accepted, staged_agent + "refused, " + unsigned_program])
                self.assertEqual(returned, (0, "MSG_DOWNLOAD_FAIL"))
                self.assertEqual(self.library_trace(process), asked + checks + [
                    "Package not installed: " + name, "fail to download file", "MSG_DOWNLOAD_FAIL"])
                self.assertEqual(self.folder_files(), [])
                self.assert_not_registered()

        # The launcher is checked before its start (the installed agent's check is the same call,
        # proven in the procedure's own tests).
        launcher = os.path.join(self.root, "QORLauncher.exe")
        for way in ("other-root", "signed"):
            with self.subTest(launcher=way):
                fresh()
                os.makedirs(self.root)
                shutil.copy(launchers[way], launcher)
                process = self.start_call("StartUpdate", caller)
                self.assertEqual(self.finish_call(process)[0], 1 if way == "signed" else 0)
                start = ["*" * 56, "Phone software update tool - Call START", "Check QOR Launcher", required]
                if way == "signed":
                    self.assertEqual(self.library_trace(process), start + [
                        f"[SIGNATURE] [{self.rig.to_windows(launcher)}] {accepted}", "Call Launcher",
                        "Phone software update tool - Call END"])
                    self.assertEqual(len(self.started()), 1)
                else:
                    self.assertEqual(self.library_trace(process), start + [
                        f"[SIGNATURE] [{self.rig.to_windows(launcher)}] refused, {REFUSALS[way]}"])
                    self.assertEqual(self.starts(), [])
        self.assertTrue(self.rig.wait_all_exited(AGENTS, 20))

    def test_every_library_a_signed_cabinet_brings_must_be_signed_whatever_its_name(self):
        # The maker signed the cabinet and the agent, not the library beside it, stored in a
        # sub-folder as "helper.bin" holding a program image (a library's name alone makes a file
        # code: tests/native/common/code_content_test.cpp). Nothing of the package is put in
        # place, the installed agent is neither replaced nor started.
        authorities, caller = self.signed_caller()
        made = os.path.join(self.work, "signed-library")
        os.makedirs(made, exist_ok=True)
        agent = authorities.copy("signed", os.path.join(self.stand_ins, "CBWUAAgent.exe"), os.path.join(made, "agent.exe"))
        library = os.path.join(self.stand_ins, "QORClient_CBW.exe")  # a program image, unsigned
        self.install("CBWUAAgent.exe")
        installed = read_bytes(os.path.join(self.folder, "CBWUAAgent.exe"))
        cabinet = authorities.copy("signed", pack_cabinet(os.path.join(made, "inner.cab"), {
            "CBWUAAgent.exe": agent, "lib/helper.bin": library}), os.path.join(made, "signed.cab"))
        url = self.server.add_agent_file("with-library.cab", read_bytes(cabinet))
        self.server.set_entry("NotiAgent_QOR_UA", version="9.9.9.9", url=url)
        returned, process = self.install_through("CheckUASetup", caller)
        self.assertEqual(returned, (0, "MSG_DOWNLOAD_FAIL"))
        trace = self.library_trace(process)
        self.assertIn(f"[SIGNATURE] [{self.windows_folder()}\\~staging-*\\lib\\helper.bin] refused, "
                      + REFUSALS["unsigned"], trace)
        self.assertNotIn("Download complete.", trace)
        self.assertEqual(self.folder_files(), ["CBWUAAgent.exe"])
        self.assertEqual(read_bytes(os.path.join(self.folder, "CBWUAAgent.exe")), installed)
        self.assert_not_registered()

    def plant_open(self, folder, *names):
        """``folder`` made open to everyone (Wine shows the Unix mode bits as Everyone's rights),
        holding ``names``, each a file open to everyone too."""
        os.makedirs(folder, exist_ok=True)
        os.chmod(folder, 0o777)
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(b"another user's " + name.encode())
            os.chmod(path, 0o666)

    def assert_nothing_open(self):
        """Nothing in the agents' folders may be changed by everyone."""
        for base, folders, files in os.walk(self.root):
            for name in [base] + [os.path.join(base, n) for n in folders + files]:
                self.assertFalse(os.lstat(name).st_mode & 0o002, name)

    def test_agent_folders_open_to_everyone_keep_nothing_of_what_was_planted(self):
        # The agents' folder and its sub-folder open to everyone, with another user's agent in it:
        # removed whole, then the package installed into a new folder.
        self.plant_open(self.folder, "CBWNotiAgent.exe", "QORClient_CBW.exe", "version.dll")
        self.plant_open(os.path.join(self.folder, "data"), "readme.txt", "helper.dll")
        self.assertEqual(self.install_through("CheckUTSetup")[0], (1, "MSG_OK"))
        self.assertEqual(self.folder_files(), sorted(UT_PACKAGE))
        self.assertEqual(read_bytes(os.path.join(self.folder, "CBWNotiAgent.exe")),
                         read_bytes(os.path.join(self.stand_ins, "CBWNotiAgent.exe")))
        self.assertNotIn(b"another user's", read_bytes(os.path.join(self.folder, "data", "readme.txt")))
        self.assert_nothing_open()
        self.assertEqual(self.started(), [("CBWNotiAgent.exe", self.windows_folder(), "")])

        # Inside an admin-only folder, only what everyone may change goes: the current agent is
        # started as it is.
        self.rig.reset(paths=[self.root, self.agent_log])
        self.install("CBWUAAgent.exe")
        self.plant_open(os.path.join(self.folder, "data"), "readme.txt")
        with open(os.path.join(self.folder, "helper.dll"), "wb") as f:
            f.write(b"another user's library")
        os.chmod(os.path.join(self.folder, "helper.dll"), 0o666)
        process = self.start_call("CheckUASetup")
        self.assertEqual(self.finish_call(process), (1, "MSG_OK"))
        removed = [line for line in self.library_trace(process) if line.startswith("Agent folder entry removed")]
        self.assertEqual(sorted(line.rsplit(": ", 1)[1] for line in removed),
                         [self.windows_folder() + "\\data", self.windows_folder() + "\\helper.dll"])
        self.assertEqual(self.folder_files(), ["CBWUAAgent.exe"])
        self.assert_nothing_open()
        self.assertEqual(self.started(), [("CBWUAAgent.exe", self.windows_folder(), "")])

        # The launcher's folder open to everyone, with a launcher planted: emptied, nothing started.
        self.rig.reset(paths=[self.root, self.agent_log])
        self.plant_open(self.root, "QORLauncher.exe")
        self.plant_open(self.folder, "CBWNotiAgent.exe")
        process = self.start_call("StartUpdate")
        self.assertEqual(self.finish_call(process)[0], 0)
        trace = self.library_trace(process)
        self.assertIn("Agent folder emptied and taken back: " + self.rig.to_windows(self.root), trace)
        self.assertEqual(os.listdir(self.root), [])
        self.assert_nothing_open()
        self.assertEqual(self.starts(), [])

    def test_an_agent_or_launcher_the_system_does_not_start_fails_the_call(self):
        # A file of the agent's name that is no program: allowed and held, then refused by the
        # system's start. With no newer version published, the installed agent is what is started.
        self.server.set_entry("NotiAgent_QOR_UA", drop=True)
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, "CBWUAAgent.exe"), "wb") as f:
            f.write(b"not a program")
        process = self.start_call("CheckUASetup")
        self.assertEqual(self.finish_call(process), (0, "MSG_FUNCTION_FAIL"))
        trace = self.library_trace(process)
        self.assertIn("Agent start failed: " + self.windows_folder() + "\\CBWUAAgent.exe, error 193", trace)
        self.assertEqual(self.server.agent_downloads(), [])

        # The launcher the same: the request is written, the call fails.
        with open(os.path.join(self.root, "QORLauncher.exe"), "wb") as f:
            f.write(b"not a program")
        process = self.start_call("StartUpdate")
        self.assertEqual(self.finish_call(process)[0], 0)
        trace = self.library_trace(process)
        self.assertIn("Agent start failed: " + self.rig.to_windows(self.root) + "\\QORLauncher.exe, error 193", trace)
        self.assertNotIn("Phone software update tool - Call END", trace)
        self.assertEqual(self.rig.reg_query(MAKER_KEY), {"SYNCUPDATE": "TRUE", "SYNCTYPE": "PXPC"})
        self.assertEqual(self.starts(), [])


if __name__ == "__main__":
    unittest.main()
