#!/usr/bin/env python3
"""The program's guards, end to end and offline, as in test_bootstrap_e2e: a running program whose
name is only part of the PC tool's, another instance's window that hangs or is not the program's
own (played by tools/stub_instance), a second start
request while the worker runs, the program run by hand from a drive that is no CD-ROM drive, a copy
of the program beside a device library it may not load, and a licence text too large to show whole."""
import os
import shutil
import time
import unittest

from plug_in_case import IDOK, IDS, PROGRAM, TOOL_ARGUMENTS, PlugInTestCase, harness
from phone_image import MODE_CHANGE, MODEL_NAME, Phone, build_output  # noqa: E402
from signing_authorities import REFUSALS, SigningAuthorities  # noqa: E402

APP_MUTEX = "QV PX_Bootstrap Program"  # what makes a start look for another instance's window
NO_RESPONSE = "End : [IsSamePhoneDrive()] return is FALSE ==> Other App is no response..."
ANSWER_LIMIT_S = 3  # how long the program waits for another instance's window to answer


class GuardsEndToEnd(PlugInTestCase):
    def stand_in(self, *args, log_name="stub-instance"):
        return self.rig.run(os.environ["QV_E2E_STUB_INSTANCE"], args, cwd=self.work, log_name=log_name)

    def running_as(self, name, seconds=120):
        """A program called `name` (the stand-in under that name) that runs while the phone plugs in."""
        program = os.path.join(self.work, name)
        shutil.copy(os.environ["QV_E2E_STUB_INSTANCE"], program)
        self.addCleanup(os.remove, program)
        self.rig.run(program, ["idle", str(seconds)], cwd=self.work, log_name=name)
        self.assertTrue(harness.wait_for(lambda: self.rig.processes([name]), timeout=20), f"{name} did not start")

    def test_only_a_program_of_the_tools_own_name_is_the_running_tool(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.install_tool()
        self.rig.map_drive(phone.image, "e")
        # Their names are parts of the tool's name "PXPC.exe", but they are other programs.
        for name in ("c.exe", "pc.exe", "xpc.exe"):
            self.running_as(name)
        self.start_again(phone).wait(45)  # the phone start; then the PC start it relaunched
        self.wait_until_done()
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])
        self.assertNotIn("IsRunPXPC() return is TRUE", self.trace())

        # The tool itself, in another letter case: the phone start says so and switches the phone.
        self.start_over(self.tool_log, phone.log)
        self.running_as("pxpc.EXE", seconds=60)
        self.start_again(phone)
        box = self.rig.ui.wait_message_box(MODEL_NAME, timeout=30)
        self.assertEqual(box and box["text"], "RO Zeru Zav program is already running.")
        self.assertTrue(self.rig.ui.answer(MODEL_NAME, IDOK))
        self.assertTrue(self.rig.wait_all_exited([PROGRAM], 30), "the program did not end")
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
        self.assertEqual(self.lines_of(self.tool_log), [])
        self.assertIn("[OnInitDialog()] IsRunPXPC() return is TRUE......", self.trace())

    def holding(self, path, seconds=120):
        """A program of the user that keeps `path` open for writing, and lets others write to it too:
        it may change the file at any moment."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "ab").close()
        self.stand_in("hold", self.rig.to_windows(path), str(seconds), log_name="holder")
        self.assertTrue(harness.wait_for(lambda: self.rig.processes(["stub_instance.exe"]), timeout=20))

    def test_a_copy_that_cannot_be_held_as_the_phones_own_is_neither_relaunched_nor_installed(self):
        copy_failed = ("Failed to copy installation package to system.\nCannot copy installation package to "
                       "temporary folder.\n[002]")
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.install_tool()
        self.rig.map_drive(phone.image, "e")
        self.holding(os.path.join(self.templates, "E", "PX_Bootstrap.exe"))
        self.start_again(phone)
        self.expect_message(copy_failed + "\nE:\\PX_Bootstrap.exe",
                            cause=r"\[CopyInstallPackage\(\)\] Cause: the copy on the PC does not hold the phone's bytes")
        trace = self.trace()
        self.assertIn("CopyFile Src[E:\\PX_Bootstrap.exe], Target[", trace)
        self.assertIn("] is not the phone's file", trace)
        self.assertNotIn("[OnInitDialog() PC START", trace)
        self.assertEqual(self.lines_of(self.tool_log), [])
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])

        # A copy target that is a second name of another file (a hard link): copying onto it would
        # write into that file. Nothing is copied onto it, nothing installed from it.
        self.start_over(os.path.join(self.templates, "E"), phone.log, self.setup_log)
        other = self.users_file("other.bin")
        os.makedirs(os.path.join(self.templates, "E"))
        os.link(other, os.path.join(self.templates, "E", "driver_setup.exe"))
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=4, preload="driver_setup.exe")
        self.start_again(phone)
        self.expect_message(copy_failed + "\nE:\\driver_setup.exe", cause=r"\[CopyInstallPackage\(\)\] Cause: .+")
        self.assert_users_file_unchanged(other)
        self.assertEqual(self.lines_of(self.setup_log), [])
        self.assertNotIn("[OnInitDialog() PC START", self.trace())
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[4]])

    USERS_BYTES = b"a file of the user's"

    def users_file(self, name):
        """A file of the user's beside the package folder, which nothing may write to."""
        path = os.path.join(self.templates, name)
        self.addCleanup(lambda: os.path.exists(path) and os.remove(path))
        with open(path, "wb") as f:
            f.write(self.USERS_BYTES)
        return path

    def assert_users_file_unchanged(self, path):
        with open(path, "rb") as f:
            self.assertEqual(f.read(), self.USERS_BYTES)

    def test_a_trace_log_that_is_a_second_name_of_another_file_gets_nothing_written(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.install_tool()
        other = self.users_file("other.txt")
        os.link(other, self.trace_path)
        self.plug_in(phone)
        self.wait_until_done()
        self.assert_users_file_unchanged(other)
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])

    def start_tool_copy(self, signatures, name, config=None):
        """Plugs in a phone with ``config`` and the copy ``name`` of the stand-in tool installed;
        returns the phone once the run has ended."""
        self.start_over(self.tool_log, os.path.join(self.work, "phone-e"))
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2, config=config)
        os.makedirs(self.package, exist_ok=True)
        shutil.copy(os.path.join(signatures, name), self.tool)
        self.plug_in(phone).wait(45)
        self.wait_until_done()
        return phone

    def assert_tool_refused(self, phone, reason):
        trace = self.trace()
        self.assertIn("[SIGNATURE] [" + self.rig.to_windows(self.tool) + "] refused, " + reason, trace)
        self.assertIn("[RunPXPC()] END - Failed to run PXPC", trace)
        self.assertEqual(self.lines_of(self.tool_log), [])
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])

    @property
    def tool(self):
        return os.path.join(self.package, "PXPC.exe")

    def test_a_tool_without_the_makers_signature_is_never_started(self):
        # Copies of the stand-in tool signed at build time by throwaway authorities. One refusal
        # (a changed signed program) stands for every way: which findings each way gives is
        # tests/win/common/signature_check_test.cpp, each way's trace line through the same
        # description is test_agents_e2e's signed cabinets.
        authorities = SigningAuthorities()
        for name in ("tampered.exe", "signed.exe"):
            with self.subTest(name):
                phone = self.start_tool_copy(authorities.out, name, authorities.setting())
                self.assertIn("[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)", self.trace())
                if name == "signed.exe":
                    self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
                    self.assertEqual(phone.mode_changes(), [])
                    self.assertNotIn("refused", self.trace())
                else:
                    self.assert_tool_refused(phone, "no valid signature: WinVerifyTrust 0x80096010, signer [")

        # A phone without the setting: today's behaviour, and one line says nothing is verified.
        self.start_tool_copy(authorities.out, "unsigned.exe")
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(self.trace().count("[SIGNATURE]"), 1)
        self.assertIn("[SIGNATURE] The phone names no publisher: packages are not verified", self.trace())

    def test_a_signature_setting_that_cannot_be_applied_refuses_even_a_signed_tool(self):
        # A malformed root: nothing may run, rather than everything unverified (every other
        # setting that cannot be applied: tests/native/common/signature_policy_test.cpp).
        authorities = SigningAuthorities()
        phone = self.start_tool_copy(authorities.out, "signed.exe",
                                     {"SIGNATURE": {"publisher": "Demo Maker Ltd", "root_sha256": "abc"}})
        self.assertIn('[SIGNATURE] The setting cannot be applied (root_sha256 entry is not 64 hex digits: "abc"): '
                      "every file is refused", self.trace())
        self.assert_tool_refused(phone, "a malformed setting")

    def test_the_pc_start_keeps_the_phones_setting_when_the_phone_is_gone(self):
        # The phone start copies the package (with config.ini) and relaunches it; here the phone is
        # gone before the PC start reads its setting: the copy, proven the phone's at the relaunch,
        # still asks for the maker's signature, and the unsigned tool is not started.
        authorities = SigningAuthorities()
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2, config=authorities.setting())
        tool = os.path.join(self.package, "PXPC.exe")
        os.makedirs(self.package, exist_ok=True)
        shutil.copy(os.path.join(authorities.out, "unsigned.exe"), tool)
        self.plug_in(phone).wait(45)
        self.wait_until_done()
        copy = os.path.join(self.templates, phone.letter.upper())
        self.assertTrue(os.path.exists(os.path.join(copy, "config.ini")))
        self.start_over(self.tool_log)
        empty = os.path.join(self.work, "phone-gone")
        os.makedirs(empty, exist_ok=True)
        self.rig.map_drive(empty, phone.letter.lower())
        variables = {"QV_STUB_LOG": harness.to_windows(self.tool_log), **phone.env()}
        self.rig.run(os.path.join(copy, "PX_Bootstrap.exe"), ["-l", phone.letter.upper()], cwd=copy, env=variables)
        # Nor is there the phone's device library to prove the copy's against: none is loaded, the
        # phone does not answer, and the mode change at the end fails.
        self.expect_message("Automatic USB mode change is failed.")
        trace = self.trace()
        library = self.rig.to_windows(os.path.join(copy, "QVEUSBAutorun.dll"))
        self.assertIn(f"[QVEUSBAutorun.dll] [{library}] not loaded: the phone's library [E:\\QVEUSBAutorun.dll] "
                      "cannot be held (error 2)", trace)
        config = self.rig.to_windows(os.path.join(copy, "config.ini"))
        self.assertIn(f"[SIGNATURE] The phone's config.ini cannot be read: the setting comes from [{config}]", trace)
        self.assertIn("[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)", trace)
        self.assertIn("[SIGNATURE] [" + self.rig.to_windows(tool) + "] refused, " + REFUSALS["unsigned"], trace)
        self.assertEqual(self.lines_of(self.tool_log), [])

    def test_a_hung_window_with_the_caption_does_not_hold_the_start(self):
        phone = Phone(os.path.join(self.work, "phone-e"))
        self.install_tool()
        self.rig.map_drive(phone.image, "e")
        self.stand_in("hung", MODEL_NAME, APP_MUTEX, "300")
        self.assertIsNotNone(self.rig.ui.wait_window(MODEL_NAME, timeout=20), "no stand-in window")
        started = time.monotonic()
        self.start_again(phone).wait(45)  # the phone start; then the PC start it relaunched
        self.wait_until_done(timeout=45)
        elapsed = time.monotonic() - started
        print(f"\n  phone start and PC start past a hung window: {elapsed:.1f} s", flush=True)
        trace = self.trace()
        self.assertEqual(trace.count(NO_RESPONSE), 2)  # both starts gave up on it, then went on
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertLess(elapsed, 30)

    def test_a_device_library_beside_a_copy_outside_the_relaunch_folder_is_never_loaded(self):
        # The program copied with the phone's files to a folder of the PC (a download folder), and
        # beside it a library of the device library's name that records any load of it. Started as
        # from the phone, or as a PC start for the phone in E: from there, or from the relaunch
        # folder whose library is not the phone's: it is never loaded, and the phone does not answer.
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.rig.map_drive(phone.image, "e")  # the phone is there, a CD-ROM drive
        planted = build_output("planted_device_library")
        marker = os.path.join(self.work, "planted-device.log")
        downloads = os.path.join(self.rig.profile_dir, "Downloads", "phone")
        relaunch = os.path.join(self.templates, "E")
        pc_copy = os.path.join(self.templates, "C")  # where a start from drive C copies to
        self.addCleanup(shutil.rmtree, downloads, True)
        self.addCleanup(shutil.rmtree, pc_copy, True)
        not_loaded = "[QVEUSBAutorun.dll] [{}] not loaded: {}"
        library_of = lambda folder: self.rig.to_windows(os.path.join(folder, "QVEUSBAutorun.dll"))  # noqa: E731
        cases = [
            ("phone start", downloads, [], "C", [
                not_loaded.format(library_of(downloads), "the program's folder is not a drive's root"),
                # its copy, relaunched for drive C, is no phone's either
                not_loaded.format(library_of(pc_copy), "the launch drive [C:\\] is not a CD-ROM drive")]),
            ("PC start elsewhere", downloads, ["-l", "E"], "E", [
                not_loaded.format(library_of(downloads), "the program's folder is not the relaunch folder ["
                                  + self.rig.to_windows(relaunch) + "\\]")]),
            ("PC start, not the phone's library", relaunch, ["-l", "E"], "E", [
                not_loaded.format(library_of(relaunch),
                                  "not the bytes of the phone's library [E:\\QVEUSBAutorun.dll]")]),
        ]
        for name, folder, args, drive, refusals in cases:
            with self.subTest(name):
                self.start_over(marker, downloads, relaunch, pc_copy)
                shutil.copytree(phone.image, folder)
                shutil.copy(planted, os.path.join(folder, "QVEUSBAutorun.dll"))
                program = os.path.join(folder, PROGRAM)
                self.rig.run(program, args, cwd=folder, env={"QV_PLANTED_MARKER": harness.to_windows(marker),
                                                             **phone.env()})
                self.expect_message("Automatic USB mode change is failed.")
                self.assertEqual(self.lines_of(marker), [], "the planted library was loaded")
                self.assertEqual(phone.commands(), [])
                trace = self.trace()
                self.assertEqual([line for line in trace.splitlines() if line.startswith("[QVEUSBAutorun.dll]")],
                                 refusals)
                # As with a phone that does not answer: no mode is known, and the switch at the end fails.
                self.assertEqual(trace.count("[CheckSystem()] Get User Selection Mode Command is Failed"),
                                 len(refusals))
                self.assertIn("[CheckSystem()] User Selection Mode is (3)", trace)
                self.assertIn(f"[ModeChange()] ChangeMode2ASK..(Drive : {drive})", trace)
                self.assertIn("[ModeChange()] Mode change failed", trace)

    def test_a_licence_over_a_megabyte_shows_its_first_megabyte_and_only_the_program_gets_the_drive(self):
        phone = Phone(os.path.join(self.work, "phone-e"), preload="driver_setup.exe")
        lines = "".join(f"Clause {n}: the terms of use of the software on this phone.\n" for n in range(30000))
        with open(os.path.join(phone.image, "License.txt"), "w", newline="\r\n") as f:
            f.write(lines)  # 1.9 MB
        controls = self.licence_page(phone)
        # Read as text, so each line end counts once; shown with CR LF line ends.
        self.assertEqual(controls[IDS.IDC_EDIT_LICENSE]["text"], lines[:1 << 20].replace("\n", "\r\n"))
        # A window of another program asks as an instance would: it gets no answer (the program's
        # own window still answers a start of the program: see test_bootstrap_e2e).
        query = self.stand_in("query", MODEL_NAME, str(ANSWER_LIMIT_S * 1000))
        self.assertEqual(query.wait(30), 1, "the stand-in's window got the phone's drive")
        self.decline()  # the run ends as a declined licence does
        self.assertIn("[InitControl()] License.txt is longer than 1048576 bytes: only its beginning is shown",
                      self.trace())


if __name__ == "__main__":
    unittest.main()
