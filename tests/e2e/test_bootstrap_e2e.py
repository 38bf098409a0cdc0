#!/usr/bin/env python3
"""A phone plugged in, end to end: the real program runs under 64-bit Wine from a folder mapped as
the phone's CD-ROM drive, with the simulated phone, the stub PC tool and real driver installers,
on an X display of its own. The PC is offline (the connectivity probe's loopback port is closed).
Every scenario asserts on what the program left behind: the trace log, the copied package, the
phone's commands, the tool's command line, installed driver files, and the windows it showed.
Screenshots of the windows go to QV_E2E_WORK/screenshots."""
import os
import shutil
import unittest

from plug_in_case import FACTORY_KEY, IDS, PROGRAM, TOOL_ARGUMENTS, UNISON_FOLDER, PlugInTestCase, harness
from phone_image import LICENCE, MODE_CHANGE, MODEL_NAME, QUERY_SELECTED_MODE, Phone, build_output  # noqa: E402


class BootstrapEndToEnd(PlugInTestCase):
    def test_phone_start_copies_relaunches_and_the_pc_start_runs_the_tool_past_a_planted_library(self):
        # Any program of the user can write to the relaunch folder: a system library planted there
        # is never loaded. Wine is told to prefer a library found beside the program, as Windows
        # searches the program's folder first for a library it does not protect. (wininet.dll:
        # Wine's own user32 imports version.dll, which Windows' does not, so a preferred
        # version.dll is loaded into every program under Wine.)
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.install_tool()
        os.makedirs(os.path.join(self.templates, "E"))
        shutil.copy(build_output("planted_library"), os.path.join(self.templates, "E", "wininet.dll"))
        marker = os.path.join(self.work, "planted.log")
        if os.path.exists(marker):
            os.remove(marker)
        self.plug_in(phone, WINEDLLOVERRIDES=harness.DEFAULT_OVERRIDES + ";wininet=n,b",
                     QV_PLANTED_MARKER=harness.to_windows(marker))
        self.wait_until_done()
        self.assertEqual(self.lines_of(marker), [], "the planted library was loaded")
        for name in ("PX_Bootstrap.exe", "QVEUSBAutorun.dll", "QVUTchkdl.dll", "config.ini", "License.txt"):
            self.assertTrue(os.path.exists(os.path.join(self.templates, "E", name)), name)
        self.assertTrue(os.path.isdir(os.path.join(self.templates, "E", "tools")))
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.commands(), [QUERY_SELECTED_MODE] * 2)  # both starts ask; neither switches
        trace = self.trace()
        self.assertNotIn("[QVEUSBAutorun.dll]", trace)  # both loaded the device library, which says nothing
        self.assertIn("[OnInitDialog() PHONE START, 1, 0, 7, 0]", trace)
        self.assertIn("ShellExecute[C:\\users\\", trace)
        self.assertIn("][-l E][", trace)
        self.assertIn("[OnInitDialog() PC START, 1, 0, 7, 0]", trace)
        self.assertIn("[RunPXPC()] END.............\n", trace)
        self.assertNotIn("[ModeChange()]", trace)
        # The connectivity probe ran through the system's library (offline here: its port is closed).
        self.assertIn("[IsConnectedInternet()] Connect Check return (FALSE)......", trace)
        self.assert_phone_start_closed(relaunched=True)

    SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"

    def test_a_templates_folder_whose_path_holds_the_programs_name_still_relaunches_the_program(self):
        # The user's Templates folder lies in a folder named like the program: every copied file's
        # path then holds the program's name, and only the entry of its own name is the program.
        named = os.path.join(self.rig.profile_dir, "PX_Bootstrap.exe", "Templates")
        shutil.rmtree(os.path.dirname(named), ignore_errors=True)
        os.makedirs(os.path.join(named, "PXPC"))
        self.addCleanup(shutil.rmtree, os.path.dirname(named), ignore_errors=True)
        shutil.copy(build_output("stub_tool"), os.path.join(named, "PXPC", "PXPC.exe"))
        shutil.copy(os.path.join(self.templates, "AutoRun_Log.ini"), named)
        earlier = self.rig.reg_value(self.SHELL_FOLDERS, "Templates")
        self.rig.reg_add(self.SHELL_FOLDERS, "Templates", self.rig.to_windows(named), kind="REG_EXPAND_SZ")
        self.addCleanup(lambda: self.rig.reg_add(self.SHELL_FOLDERS, "Templates", earlier, kind="REG_EXPAND_SZ")
                        if earlier is not None else self.rig.reg_delete_value(self.SHELL_FOLDERS, "Templates"))
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.plug_in(phone)
        self.wait_until_done()
        with open(os.path.join(named, "PX_Bootstrap_Log(0000).txt"), encoding="cp1252") as f:
            trace = f.read()
        copy = self.rig.to_windows(os.path.join(named, "E"))
        self.assertIn(f"ShellExecute[{copy}\\PX_Bootstrap.exe][-l E][{copy}]", trace)
        self.assertIn("[OnInitDialog() PC START, 1, 0, 7, 0]", trace)
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])

    def test_a_library_redirection_beside_the_copy_refuses_the_relaunch(self):
        # "PX_Bootstrap.exe.local" beside the relaunched copy would make the system load the
        # program's libraries (its side-by-side common controls among them) from the user's folder.
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.install_tool()
        redirection = os.path.join(self.templates, "E", "PX_Bootstrap.exe.local")
        os.makedirs(redirection)
        self.plug_in(phone)
        self.wait_until_done()
        copy = self.rig.to_windows(os.path.join(self.templates, "E"))
        self.assertIn(f"Relaunch refused: [{copy}\\PX_Bootstrap.exe.local] would redirect the program's libraries",
                      self.trace())
        self.assertNotIn("[OnInitDialog() PC START", self.trace())
        self.assertEqual(self.lines_of(self.tool_log), [])
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
        self.assert_phone_start_closed(relaunched=False, mode_export="ChangeMode2UMS")

        # A file of that name is removed, and the relaunch goes on.
        self.start_over(redirection, phone.log)
        open(redirection, "w").close()
        self.plug_in(phone)
        self.wait_until_done()
        self.assertFalse(os.path.exists(redirection))
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assert_phone_start_closed(relaunched=True)

    def test_without_the_tool_the_phone_goes_to_the_mode_it_reported(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        self.plug_in(phone)
        self.wait_until_done()
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
        self.assertIn("[CheckSystem()] IsConnectedInternet() ==> FALSE...", self.trace())
        self.assertIn("[ModeChange()] ChangeMode2UMS..(Drive : E)", self.trace())

    def test_factory_line_switches_to_modem_without_asking(self):
        self.rig.reg_add(FACTORY_KEY)
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=1)
        self.plug_in(phone)
        self.wait_until_done()  # a message box would hold it open
        self.assertEqual(phone.commands(), [MODE_CHANGE[0]])
        self.assertFalse(os.path.exists(os.path.join(self.templates, "E")))
        self.assertIn("[CheckSystem()] This is Factory Line.......", self.trace())

    def test_switch_without_drive_letter_is_refused(self):
        phone = Phone(os.path.join(self.work, "phone-e"))
        self.plug_in(phone, args=["-l"])
        # Refused before the dialog that starts the log file: the box is traced to the debugger only.
        self.expect_message("Failed to run QV Autorun in system.\nInvalid parameter to run QV Autorun.\n[003]",
                            traced=False)
        self.assertEqual(phone.commands(), [])

    def swapped_for_link(self, folder):
        """Moves `folder` aside and puts a symbolic link to it in its place; returns where it went
        and a function that puts it back (also run at the end of the test, when still needed)."""
        moved = folder + ".moved"
        os.rename(folder, moved)
        os.symlink(moved, folder)

        def restore():
            if os.path.islink(folder):
                os.remove(folder)
                os.rename(moved, folder)
        self.addCleanup(restore)
        return moved, restore

    def test_relaunch_or_base_folder_that_is_a_link_gets_nothing_written_through_it(self):
        elsewhere = os.path.join(self.work, "elsewhere")
        shutil.rmtree(elsewhere, ignore_errors=True)
        os.makedirs(elsewhere)
        no_folder = ("Failed to copy installation package to system.\nCannot create temporary installation "
                     "directory.\n[000]")
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=2)
        os.symlink(elsewhere, os.path.join(self.templates, "E"))
        self.plug_in(phone)
        self.expect_message(no_folder, cause=r"\[CopyInstallPackage\(\)\] Cause: a link on the way to \[.*\\E\]")
        self.assertEqual(os.listdir(elsewhere), [])
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
        self.assertIn("[OnInitDialog() PHONE START", self.trace())

        # The whole base folder a link, or a folder further up inside the profile: neither the copy
        # nor the trace log goes through it (no log either).
        self.start_over(os.path.join(self.templates, "E"))
        for linked in (self.templates, os.path.dirname(self.templates)):
            with self.subTest(linked=linked):
                self.start_over(phone.log)
                moved, restore = self.swapped_for_link(linked)
                self.plug_in(phone)
                self.expect_message(no_folder, traced=False)
                below = os.path.join(moved, os.path.relpath(self.templates, linked))
                self.assertEqual([n for n in os.listdir(below) if n == "E" or n.startswith("PX_Bootstrap_Log")], [])
                self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
                restore()

    def test_licence_page_closed_ends_with_mode_change(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=4, preload="driver_setup.exe")
        controls = self.licence_page(phone)
        self.rig.screenshot_window(os.path.join(self.shots, "licence-page.png"), MODEL_NAME)
        page = self.rig.ui.dialog(MODEL_NAME)
        self.assertEqual((page["rect"]["width"], page["rect"]["height"]), (420, 410))
        self.assertEqual(controls[IDS.IDC_STATIC_QUESTION]["text"],
                         f"Software is available for your {MODEL_NAME} to communicate with your PC.\n"
                         "Download and Install now?")
        self.assertEqual(controls[IDS.IDC_EDIT_LICENSE]["text"],
                         LICENCE.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n"))
        self.assertEqual((controls[IDS.IDC_RADIO_ACCEPT]["checked"], controls[IDS.IDC_RADIO_DECLINE]["checked"]), (0, 1))
        self.assertEqual((controls[IDS.IDC_BUTTON_YES]["enabled"], controls[IDS.IDC_BUTTON_NO]["enabled"]), (False, True))
        self.assert_shown(controls, IDS.IDC_STATIC_QUESTION, IDS.IDC_BUTTON_YES, IDS.IDC_BUTTON_NO,
                          IDS.IDC_STATIC_LICENSE_HINT, IDS.IDC_STATIC_HEADER, IDS.IDC_PICTURE_LEFT,
                          IDS.IDC_PICTURE_RIGHT, IDS.IDC_EDIT_LICENSE, IDS.IDC_RADIO_ACCEPT, IDS.IDC_RADIO_DECLINE)
        self.assert_hidden(controls, IDS.IDC_PROGRESS, IDS.IDC_STATIC_STATUS, IDS.IDC_BUTTON_CANCEL,
                           IDS.IDC_STATIC_LICENSE_TITLE)
        left = controls[IDS.IDC_PICTURE_LEFT]["rect"]
        self.assertEqual(left["right"] - left["left"], 100)

        self.rig.ui.close_window(MODEL_NAME)  # no worker runs yet: the close box ends with a mode change
        self.wait_until_done()
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[4]])

    def test_same_phone_again_brings_the_page_forward_and_only_a_decline_switches_the_mode(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=1, preload="driver_setup.exe")
        self.licence_page(phone)
        before = phone.commands()
        self.start_again(phone, log_name="second-start").wait(30)
        self.assertTrue(harness.wait_for(lambda: len(self.rig.processes([PROGRAM])) == 1, timeout=30))
        self.assertEqual(phone.mode_changes(), [])
        self.assertEqual(len(phone.commands()), len(before) + 1)  # it only asked for the mode
        self.assertIn("[IsSamePhoneDrive()] return is TRUE", self.trace())
        self.assertTrue(self.rig.ui.dialog(MODEL_NAME)["foreground"])

        for key in ("return", "escape"):
            self.assertTrue(self.rig.ui.key(MODEL_NAME, key))
        # Posted after the keys to the same thread, so handled after them: once it shows, the
        # keys have been handled, and the page is still there.
        self.rig.ui.click(MODEL_NAME, IDS.IDC_RADIO_ACCEPT)
        self.assertTrue(harness.wait_for(self.yes_enabled), "Return or Escape closed the dialog")
        self.rig.ui.click(MODEL_NAME, IDS.IDC_RADIO_DECLINE)
        self.assertTrue(harness.wait_for(lambda: not self.yes_enabled()))
        self.assertFalse(self.rig.ui.click(MODEL_NAME, IDS.IDC_BUTTON_YES))  # refused: disabled
        self.decline()
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[1]])
        self.assertEqual(self.lines_of(self.setup_log), [])

    def test_accept_installs_the_phones_setup_program_once_whatever_the_clicks_then_starts_the_tool(self):
        phone = Phone(os.path.join(self.work, "phone-e"), preload="driver_setup.exe")
        self.accept_with_setup_held(phone)  # the installation page stays until the release
        progress = self.rig.ui.controls(MODEL_NAME)
        self.rig.screenshot_window(os.path.join(self.shots, "installing.png"), MODEL_NAME)
        self.assertEqual(self.rig.ui.dialog(MODEL_NAME)["rect"]["height"], 180)
        self.assertEqual(progress[IDS.IDC_STATIC_STATUS]["text"], "Installing...")
        self.assert_shown(progress, IDS.IDC_PROGRESS, IDS.IDC_STATIC_STATUS, IDS.IDC_BUTTON_CANCEL)
        self.assertFalse(progress[IDS.IDC_BUTTON_CANCEL]["enabled"])
        self.assert_hidden(progress, IDS.IDC_STATIC_QUESTION, IDS.IDC_BUTTON_YES, IDS.IDC_BUTTON_NO,
                           IDS.IDC_RADIO_ACCEPT, IDS.IDC_RADIO_DECLINE, IDS.IDC_EDIT_LICENSE)
        # While the worker waits for the driver setup, a second click reaches the button though
        # the progress page has hidden it; it is sent, so it has been handled when the driver returns.
        second = self.rig.ui("click", MODEL_NAME, IDS.IDC_BUTTON_YES, "--force", "--send")
        self.release_setup()
        self.wait_until_done()
        self.assertTrue(second.ok, "the dialog did not take the second click at once")
        self.assertEqual(self.lines_of(self.setup_log), [""])  # one run, no parameters
        installed = os.path.join(self.rig.program_files_dir, *UNISON_FOLDER, "qvusbdiag.sys")
        self.assertTrue(os.path.exists(installed))
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])
        trace = self.trace()
        self.assertEqual(trace.count("Install Driver Full Path Name"), 1)
        self.assertEqual(trace.count("[CUSBAutoRunDlg::AutoRunThread()] START"), 1)  # one worker
        self.assertEqual(trace.count("ModifyDialog_Step1()"), 1)

    def test_failed_driver_installation_is_reported_and_switches_the_mode(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=5, preload="driver_setup_fail.exe")
        self.install_tool()
        self.licence_page(phone)
        self.accept_licence()
        self.expect_message("QV USB modem driver is not installed.\nReinstall QV USB modem driver.")
        self.assert_lines_follow(r"\[InstallDriver\(\)\] IsInstalledDriver\(\) return code : FALSE",
                                 r"\[InstallDriver\(\)\] Cause: the installer ended with exit code 1603, and the "
                                 r"driver's files are not installed")
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[5]])
        self.assertEqual(self.lines_of(self.tool_log), [])

    def test_second_phone_is_switched_to_its_own_mode(self):
        os.remove(os.path.join(self.templates, "AutoRun_Log.ini"))  # and with logging off, no log file
        first = Phone(os.path.join(self.work, "phone-e"), selected_mode=1, preload="driver_setup.exe")
        second = Phone(os.path.join(self.work, "phone-f"), letter="F", selected_mode=4)
        # Mapped first: plugging in the first phone starts the server again if F: is new, and only
        # then is F: a CD-ROM.
        self.rig.map_drive(second.image, "f", restart=False)
        self.licence_page(first)
        self.start_again(second, log_name="second-phone").wait(30)
        self.assertTrue(harness.wait_for(lambda: second.mode_changes() == [MODE_CHANGE[4]], timeout=30))
        self.assertTrue(harness.wait_for(lambda: len(self.rig.processes([PROGRAM])) == 1, timeout=30))
        self.assertEqual(first.mode_changes(), [])
        self.assertFalse(os.path.exists(os.path.join(self.templates, "F")))
        self.decline()
        self.assertEqual(first.mode_changes(), [MODE_CHANGE[1]])
        self.assertFalse(any(f.startswith("PX_Bootstrap_Log") for f in os.listdir(self.templates)))


if __name__ == "__main__":
    unittest.main()
