#!/usr/bin/env python3
"""A phone plugged in on a PC that is online, end to end: the real program under 64-bit Wine
against the fake update server, which answers the update service, serves the package and its
driver installers, and stands for the Internet on the connectivity port. Each scenario starts
from the server's default scenario and changes what it needs; it asserts on the requests the
server saw (package files, statistics records), the package folder, the trace log, the phone's
commands, the tool's start and the windows shown."""
import os
import re
import shutil
import unittest

from plug_in_case import CBW_UNISON_FOLDER, IDS, TOOL_ARGUMENTS, UNISON_FOLDER, PlugInTestCase, harness
from phone_image import MODE_CHANGE, MODEL_NAME, Phone, build_output, write_ini
from signing_authorities import REFUSALS, SigningAuthorities
from update_server import UpdateServer

DOWNLOAD_FAILED = "RO Zeru Zav download is failed.\nPlease try again when Internet access is available."
DRIVER_NOT_INSTALLED = "QV USB modem driver is not installed.\nReinstall QV USB modem driver."


class OnlineEndToEnd(PlugInTestCase):
    SERVER = UpdateServer

    def setUp(self):
        super().setUp()
        self.server.reset()

    # -- helpers ------------------------------------------------------------------------------

    def phone(self, **options):
        """A phone that carries the combined driver package as an MSI, so the server's setup
        program (driver_name) differs from it."""
        options.setdefault("preload", "unison_driver.msi")
        return Phone(os.path.join(self.work, "phone-e"), **options)

    def install_package(self, version="1.0.0.9"):
        """The server's package as an earlier run left it, with its pxpcconfig.ini at `version`."""
        os.makedirs(self.package, exist_ok=True)
        for name in self.server.package_files():
            shutil.copy(os.path.join(self.server.package_dir, name), self.package)
        write_ini(os.path.join(self.package, "pxpcconfig.ini"), {"PXPACKAGE": {"pack_version": version}})

    def local_file(self, name):
        with open(os.path.join(self.package, name), "rb") as f:
            return f.read()

    def package_has(self, name):
        return os.path.exists(os.path.join(self.package, name))

    def downloaded(self):
        return [name for name in self.server.downloads() if name != "serverconfig.ini"]

    def staged_verdict(self, name, verdict):
        """The signature's verdict on `name` as it is checked on its arrival: in the update's own
        folder beside the package folder, which the package takes its files from once complete."""
        return (re.escape("[SIGNATURE] [" + self.rig.to_windows(self.package)) + r"\.update-\d+\\" + re.escape(name) +
                re.escape("] " + verdict))

    def stand_in(self, *args, log_name="stub-instance"):
        """Another program of the user (tools/stub_instance), as Windows runs it."""
        return self.rig.run(os.environ["QV_E2E_STUB_INSTANCE"], args, cwd=self.work, log_name=log_name)

    def accept_watching_progress(self, timeout=90):
        """At the licence page: starts watching the progress bar and the status text from inside
        Wine, accepts, and returns the watch, whose result comes once the page is gone."""
        self.assertIsNotNone(self.rig.ui.wait_window(MODEL_NAME, timeout=30), "no licence page")
        watch = self.rig.ui.watch(MODEL_NAME, IDS.IDC_PROGRESS, timeout, texts_of=IDS.IDC_STATIC_STATUS)
        self.accept_licence()
        return watch

    def finish(self, watch, timeout=90):
        """Waits for the end; the highest and last progress positions the watch saw, and the
        status texts in the order shown."""
        seen = watch.result(timeout)
        self.wait_until_done()
        return seen["highest"], seen["last"], [item["text"] for item in seen["texts"]]

    def run_to_the_end(self, phone, timeout=90):
        """Plugs in, accepts the licence page, and waits for the end; see ``finish``."""
        self.plug_in(phone)
        return self.finish(self.accept_watching_progress(timeout), timeout)

    def run_to_the_download_failure(self, phone):
        """Plugs in, accepts, and expects the download failure message, which it answers."""
        self.licence_page(phone)
        self.accept_licence()
        self.expect_message(DOWNLOAD_FAILED)

    def assert_reports(self, end_status):
        """A start record with a new history id, then the end record: an OK names the same id,
        a FAIL goes out without one."""
        reports = self.server.reports()
        self.assertEqual([status for status, _ in reports], ["START", end_status])
        self.assertRegex(reports[0][1], r"^\d{15}$")
        self.assertEqual(reports[1][1], reports[0][1] if end_status == "OK" else "")

    # -- scenarios ----------------------------------------------------------------------------

    def test_first_run_downloads_the_package_reports_it_and_starts_the_tool(self):
        self.install_driver()
        # The readme is held back until released: time to look at the download page.
        self.server.package_route("PXPC_Readme.txt", pause=60, release="readme")
        phone = self.phone()
        self.plug_in(phone)
        watch = self.accept_watching_progress()
        self.assertTrue(harness.wait_for(lambda: "PXPC_Readme.txt" in self.server.downloads(), timeout=30))
        page = self.rig.ui.controls(MODEL_NAME)
        self.rig.screenshot_window(os.path.join(self.shots, "online-downloading.png"), MODEL_NAME)
        self.assertEqual(page[IDS.IDC_STATIC_STATUS]["text"], "Downloading...")
        self.assertTrue(page[IDS.IDC_PROGRESS]["visible"] and page[IDS.IDC_BUTTON_CANCEL]["enabled"])
        self.server.release("readme")
        highest, last, statuses = self.finish(watch)
        self.assertIn("Installing...", statuses[statuses.index("Downloading..."):],
                      "no installation pause after the tool's update")

        self.assertEqual(self.downloaded(), ["PXPC.exe", "pxpcconfig.ini", "PXPC_Readme.txt"])
        for name in self.server.package_files():
            self.assertEqual(self.local_file(name), self.server.package_file(name), name)
        self.assertEqual(highest, 2000)
        self.assertEqual(last, 2000)
        self.assert_reports("OK")
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])
        self.assertTrue(os.path.exists(os.path.join(self.templates, "serverconfig.ini")))
        trace = self.trace()
        self.assertIn("[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.", trace)
        self.assertIn("[DownloadPXPC_Package()] END...(TRUE)", trace)

    def test_current_package_starts_the_tool_without_a_dialog_or_download(self):
        self.install_driver()
        self.install_package("1.0.0.10")  # numerically newer than the server's 1.0.0.9
        phone = self.phone()
        self.plug_in(phone)
        self.wait_until_done()
        self.assertEqual(self.downloaded(), [])
        self.assertEqual(self.server.reports(), [])
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual(phone.mode_changes(), [])
        self.assertIn("[OnInitDialog()] Mode Change & Run PXPC.......", self.trace())

        # One listed file gone: the whole package is fetched again.
        os.remove(os.path.join(self.package, "PXPC_Readme.txt"))
        os.remove(self.tool_log)
        self.run_to_the_end(phone)
        self.assertEqual(self.downloaded(), ["PXPC.exe", "pxpcconfig.ini", "PXPC_Readme.txt"])
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])

    def test_a_cancelled_or_failed_update_leaves_the_earlier_package_which_still_starts(self):
        self.install_driver()
        self.install_package("1.0.0.8")
        earlier = {name: self.local_file(name) for name in os.listdir(self.package)}
        self.server.package_route("pxpcconfig.ini", pause_after=10, pause=60, release="second")
        phone = self.phone(selected_mode=2)
        self.licence_page(phone)
        self.accept_licence()
        self.assertTrue(harness.wait_for(lambda: "pxpcconfig.ini" in self.server.downloads(), timeout=30))
        # Sent while the second file is half way: the transfer stops at its next arrival at the
        # latest (the release), and nothing of the update takes the earlier package's place.
        self.assertTrue(self.rig.ui("click", MODEL_NAME, IDS.IDC_BUTTON_CANCEL, "--send").ok)
        self.server.release("second")
        self.wait_until_done()  # no failure message holds it open
        self.assertEqual(self.downloaded(), ["PXPC.exe", "pxpcconfig.ini"])
        self.assertEqual({name: self.local_file(name) for name in os.listdir(self.package)}, earlier)
        self.assertEqual([name for name in os.listdir(self.templates) if name.startswith("PXPC.")], [])
        self.assert_reports("FAIL")
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[2]])
        self.assertEqual(self.lines_of(self.tool_log), [])
        self.assert_lines_follow(r"\[DownloadPXPC_Package\(\)\] User Cancel \(1\)",
                                 r"\[DownloadPXPC_Package\(\)\] Cause: GET http://\S+/pxpcconfig\.ini ended: cancelled "
                                 r"after \d+ ms")
        self.assertNotIn("Fail of download file", self.trace())

        # A failed update (the server loses the last file) leaves it too; the next plug-in, when the
        # server offers that version again, starts the earlier tool as it is.
        self.start_over(self.tool_log, phone.log)
        self.server.reset()
        self.server.package_route("PXPC_Readme.txt", status=404)
        self.run_to_the_download_failure(phone)
        self.wait_until_done()
        self.assert_lines_follow(re.escape("[DownloadPXPC_Package()] Fail of download file.....(PXPC_Readme.txt)"),
                                 re.escape(f"[DownloadPXPC_Package()] Cause: GET {self.server.package_url}"
                                           "PXPC_Readme.txt answered HTTP 404"))
        self.assertEqual({name: self.local_file(name) for name in os.listdir(self.package)}, earlier)
        self.assert_reports("FAIL")
        self.start_over(self.tool_log, phone.log)
        self.server.reset()
        self.server.set_serverconfig("PXPACKAGE", pack_version="1.0.0.8")
        self.plug_in(phone)
        self.wait_until_done()
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])

    def test_package_folder_that_is_a_link_gets_nothing_deleted_or_written_through_it(self):
        elsewhere = self.users_folder("PXPC.exe", b"not the tool")
        os.symlink(elsewhere, self.package)
        self.run_to_the_download_failure(self.phone())
        self.assertEqual(self.downloaded(), [])
        self.assert_users_folder_untouched(elsewhere, "PXPC.exe", b"not the tool")
        self.assertIn("[DownloadPXPC_Package()] Fail of download file.....(PXPC.exe)", self.trace())
        self.assert_reports("FAIL")

    def test_package_folder_held_during_a_download_cannot_be_swapped_for_a_link(self):
        elsewhere = self.users_folder("PXPC.exe", b"the user's")
        self.install_driver()
        self.install_package("1.0.0.8")
        self.server.package_route("PXPC.exe", pause_after=10, pause=60, release="first")
        phone = self.phone(selected_mode=2)
        self.licence_page(phone)
        self.accept_licence()
        self.assertTrue(harness.wait_for(lambda: "PXPC.exe" in self.server.downloads(), timeout=30))
        # While the tool is on its way, another program of the user tries to move the package
        # folder aside (to put a link to its own folder in its place): the folder is held.
        moved = self.package + ".moved"
        shutil.rmtree(moved, ignore_errors=True)
        self.addCleanup(shutil.rmtree, moved, ignore_errors=True)
        mover = self.stand_in("move", self.rig.to_windows(self.package), self.rig.to_windows(moved), log_name="mover")
        self.assertEqual(mover.wait(30), 3, mover.output())
        self.assertIn("move failed: 32", mover.output())  # a sharing violation
        self.assertFalse(os.path.exists(moved))
        self.server.release("first")
        self.wait_until_done(90)
        self.assert_users_folder_untouched(elsewhere, "PXPC.exe", b"the user's")
        self.assertEqual(self.local_file("PXPC.exe"), self.server.package_file("PXPC.exe"))
        self.assert_reports("OK")
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])

    def test_server_driver_as_signed_msi_only_by_the_system_installer_not_one_planted_beside_it(self):
        # The tool current and signed, the phone naming the maker: only the driver is due, the
        # server's MSI package, signed.
        authorities = SigningAuthorities()
        for name, source in (("PXPC.exe", build_output("stub_tool")),
                             ("cbw_unison_driver.msi", os.path.join(build_output("drivers"), "cbw_unison_driver.msi"))):
            authorities.copy("signed", source, os.path.join(self.server.package_dir, name))
        self.install_package()
        # An msiexec.exe in the installer's folder and in the program's working folder, which
        # would record its start in the tool log.
        os.makedirs(os.path.join(self.templates, "E"))
        for folder in (self.package, os.path.join(self.templates, "E")):
            shutil.copy(build_output("stub_tool"), os.path.join(folder, "msiexec.exe"))
        phone = Phone(os.path.join(self.work, "phone-e"), config=authorities.setting())  # no driver: the CBW family
        self.run_to_the_end(phone, timeout=150)
        self.assertEqual(self.downloaded(), ["cbw_unison_driver.msi"])
        self.assertTrue(os.path.exists(os.path.join(self.rig.program_files_dir, *CBW_UNISON_FOLDER, "qvusbdiag.sys")))
        trace = self.trace()
        self.assertEqual(trace.count("Install Driver Full Path Name"), 2)  # /x, then /i
        self.assertIn("[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)", trace)
        self.assertNotIn("refused", trace)
        self.assertEqual(self.lines_of(self.setup_log), [])
        self.assert_reports("OK")
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])

    def test_server_driver_as_setup_program_with_the_package(self):
        highest, last, _ = self.run_to_the_end(self.phone())
        self.assertEqual(self.downloaded(), ["PXPC.exe", "pxpcconfig.ini", "PXPC_Readme.txt", "driver_setup.exe"])
        self.assertEqual(self.lines_of(self.setup_log), [""])
        self.assertTrue(os.path.exists(os.path.join(self.rig.program_files_dir, *UNISON_FOLDER, "qvusbdiag.sys")))
        self.assertIn("Driver install from server", self.trace())
        self.assert_reports("OK")
        self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
        self.assertEqual((highest, last), (2000, 2000))

    def test_a_server_driver_installer_needs_the_makers_signature_when_the_phone_names_it(self):
        # The tool is current and signed: only the driver is due, the server's setup program for a
        # phone of the combined family, its MSI package for the CBW family. Each kind refused once
        # (accepted: test_server_driver_as_signed_msi_only_by_the_system_installer_not_one_planted_beside_it
        # and test_a_downloaded_tool_replaced_before_its_start_is_not_started); every way of
        # refusal is the signature check's own test.
        authorities = SigningAuthorities()
        made = os.path.join(self.work, "signed")
        os.makedirs(made, exist_ok=True)
        signed_tool = authorities.copy("signed", build_output("stub_tool"), os.path.join(made, "PXPC.exe"))
        for installer, way in (("driver_setup.exe", "other-name"), ("cbw_unison_driver.msi", "unsigned")):
            with self.subTest(installer=installer, way=way):
                msi = installer.endswith(".msi")
                driver = os.path.join(self.rig.program_files_dir, *(CBW_UNISON_FOLDER if msi else UNISON_FOLDER))
                self.start_over(self.tool_log, self.setup_log, self.package, os.path.dirname(driver))
                self.server.reset()
                shutil.copy(signed_tool, os.path.join(self.server.package_dir, "PXPC.exe"))
                authorities.copy(way, os.path.join(build_output("drivers"), installer),
                                 os.path.join(self.server.package_dir, installer))
                self.install_package()
                phone = Phone(os.path.join(self.work, "phone-e"), config=authorities.setting(),
                              **({} if msi else {"preload": "unison_driver.msi"}))
                # Refused right after its download: a failed download, and nothing installed.
                self.run_to_the_download_failure(phone)
                self.assertEqual(self.downloaded(), [installer])
                trace = self.trace()
                self.assertIn("[SIGNATURE] Packages must be signed by [Demo Maker Ltd], 1 pinned root(s)", trace)
                self.assertFalse(os.path.exists(os.path.join(driver, "qvusbdiag.sys")))
                self.assertRegex(trace, self.staged_verdict(installer, f"refused, {REFUSALS[way]}"))
                self.assertIn(f"[DownloadPXPC_Package()] Fail of download file.....({installer})", trace)
                self.assertFalse(self.package_has(installer))
                self.assertNotIn("Install Driver Full Path Name", trace)
                self.assertEqual(self.lines_of(self.setup_log), [])
                self.assertEqual(self.lines_of(self.tool_log), [])

    def test_a_downloaded_tool_replaced_before_its_start_is_not_started(self):
        # The package and the driver's setup program arrive signed; while the setup runs, the
        # downloaded PXPC.exe is swapped for an unsigned copy, which is then refused at its start.
        authorities = SigningAuthorities()
        for source, name in ((build_output("stub_tool"), "PXPC.exe"),
                             (os.path.join(build_output("drivers"), "driver_setup.exe"), "driver_setup.exe")):
            authorities.copy("signed", source, os.path.join(self.server.package_dir, name))
        phone = self.phone(config=authorities.setting())
        self.licence_page(phone, QV_DRIVER_SETUP_HOLD=harness.to_windows(self.setup_release))
        self.accept_licence()
        self.assertTrue(harness.wait_for(lambda: self.lines_of(self.setup_log) == [""], timeout=60),
                        "the driver setup did not start")
        tool = os.path.join(self.package, "PXPC.exe")
        self.assertEqual(self.local_file("PXPC.exe"), self.server.package_file("PXPC.exe"))
        os.remove(tool)
        shutil.copy(build_output("stub_tool"), tool)
        self.release_setup()
        self.wait_until_done(90)
        trace = self.trace()
        self.assertIn(f"[SIGNATURE] [{self.rig.to_windows(os.path.join(self.package, 'driver_setup.exe'))}] "
                      "accepted, signer [Demo Maker Ltd]", trace)
        self.assertIn(f"[SIGNATURE] [{self.rig.to_windows(tool)}] refused, {REFUSALS['unsigned']}", trace)
        self.assertIn("[RunPXPC()] END - Failed to run PXPC", trace)
        self.assertEqual(self.lines_of(self.tool_log), [])

    def test_every_library_of_a_signed_package_must_bear_the_makers_signature(self):
        # A signed tool with a library of its package that came unsigned under a name of data, with
        # a program inside: the download fails, the library is not left beside the tool, and the
        # tool is not started; signed, the same package runs. (One under a library's name is refused
        # the same: tests/native/bootstrap/package_update_test.cpp, SignedPackage.)
        authorities = SigningAuthorities()
        self.install_driver()
        for name, way in (("plugin.dat", "unsigned"), ("pxpc_helper.dll", "signed")):
            with self.subTest(name=name, way=way):
                self.start_over(self.tool_log, self.package)
                self.server.reset()
                authorities.copy("signed", build_output("stub_tool"), os.path.join(self.server.package_dir, "PXPC.exe"))
                authorities.copy(way, build_output("stub_tool"), os.path.join(self.server.package_dir, name))
                self.server.set_serverconfig("FILES_PXPC", filecount="4", file03=name)
                phone = self.phone(config=authorities.setting())
                local = self.rig.to_windows(os.path.join(self.package, name))
                if way == "signed":
                    self.run_to_the_end(phone)
                    self.assertEqual(self.lines_of(self.tool_log), [TOOL_ARGUMENTS])
                    self.assertIn(f"[SIGNATURE] [{local}] accepted, signer [Demo Maker Ltd]", self.trace())
                    self.assert_reports("OK")
                    continue
                self.run_to_the_download_failure(phone)
                self.wait_until_done()
                trace = self.trace()
                self.assertRegex(trace, self.staged_verdict(name, f"refused, {REFUSALS['unsigned']}"))
                self.assertIn(f"[DownloadPXPC_Package()] Fail of download file.....({name})", trace)
                self.assertFalse(self.package_has(name))
                self.assertEqual(self.lines_of(self.tool_log), [])
                self.assert_reports("FAIL")

    def test_a_failed_update_check_tells_its_cause_and_the_run_ends_with_the_mode_change(self):
        # The service's reachability probe answers with an error: the library's result word says
        # which step failed, the cause line after it says why, both in the program's trace. Which
        # step gives which word, for every step, is the library's own test.
        self.server.probe(status=503)
        phone = self.phone(selected_mode=1)
        self.plug_in(phone)
        self.wait_until_done()
        self.assert_lines_follow(re.escape("[IsRequireUpPXPC()] CheckPXPC return MSG is (MSG_SERVER_CONN_ERROR)......."),
                                 re.escape("[IsRequireUpPXPC()] CheckPXPC return is FALSE......."),
                                 re.escape(f"[IsRequireUpPXPC()] Cause: GET http://127.0.0.1:{self.server.probe_port}/ "
                                           "answered HTTP 503"))
        self.assertEqual(self.downloaded(), [])
        self.assertEqual(phone.mode_changes(), [MODE_CHANGE[1]])

if __name__ == "__main__":
    unittest.main()
