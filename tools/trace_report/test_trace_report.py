#!/usr/bin/env python3
"""Tests of the trace log reader on small logs written here as the program writes them (cp1252,
CR LF, an empty line after each entry): reading the file, giving each line to its start when two
starts write at once, the cause and message lines and logs without them, the verdict and the exit
status, and the HTML page."""
import contextlib
import io
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import trace_report  # noqa: E402
from account import Report  # noqa: E402
from html_page import page  # noqa: E402
from trace_lines import Unreadable, read_lines  # noqa: E402

T = "C:\\Users\\Zoë\\AppData\\Roaming\\Microsoft\\Windows\\Templates"


def log_bytes(lines):
    """A log file's bytes as the program writes them."""
    return "".join(line + "\r\n\r\n" for line in lines).encode("cp1252")


def opening(kind, mode=2):
    return ["[GetConfigInfo()] START...............", "[GetConfigInfo()] END...............",
            "[CheckSystem()] START...............", "[CheckSystem()] Get User Selection Mode Command is Success.....",
            f"[CheckSystem()] User Selection Mode is ({mode}), Admin is (1)", "[CheckSystem()] END...............",
            f"================[OnInitDialog() {kind} START, 1, 0, 7, 0]==============",
            "Start : [if(m_hOtherAutoRun != NULL)] "]


COPY = ["Start : [CInitDlg dlg.DoModal()]",
        f"CopyFile Src[E:\\PX_Bootstrap.exe], Target[{T}\\E\\PX_Bootstrap.exe], time:[6]",
        f"CopyFile Src[E:\\config.ini], Target[{T}\\E\\config.ini], time:[6]",
        "CopyFile  - All Done time:[20]",
        f"ShellExecute[{T}\\E\\PX_Bootstrap.exe][-l E][{T}\\E]"]
PHONE_CLOSE = ["End : [CInitDlg dlg.DoModal()]", "[ExitProgram()] START[0]...", "[ExitProgram()] END..."]
OFFLINE = ["[SIGNATURE] The phone names no publisher: packages are not verified",
           "[IsConnectedInternet()] START.................", "[IsConnectedInternet()] Connect Check return (FALSE)......",
           "This device not support preload driver", "[OnInitDialog()] Mode Change & Run PXPC.......",
           "[CUSBAutoRunDlg::AutoRunThread()] START...........", "[AutoRun_PXBootstrap()] START...............",
           "[RunPXPC()] START.............", f"[RunPXPC()] Exe File = ({T}\\PXPC\\PXPC.exe)"]
TOOL_RUNS = ["[RunPXPC()] END.............", "[AutoRun_PXBootstrap()] END...............",
             "[CUSBAutoRunDlg::PostMessage[0]]", "[ExitProgram()] START[0]...", "[ExitProgram()] END..."]


def switch(export="ChangeMode2UMS", ok=True):
    return ["[ExitProgram()] START[1]...", "[ModeChange()] START.......................",
            f"[ModeChange()] {export}..(Drive : E)...............",
            f"[ModeChange()] Mode change {'success' if ok else 'failed'}.......................",
            *([] if ok else ["[ExitProgram()] Mode Change Failed............."]), "[ExitProgram()] END..."]


# One plug-in that starts the PC tool, the phone start's closing lines amid the PC start's.
PLUG_IN = opening("PHONE") + COPY + opening("PC") + OFFLINE + PHONE_CLOSE + TOOL_RUNS


def report(*lines):
    return Report([("PX_Bootstrap_Log(0000).txt", log_bytes(lines))])


class Reading(unittest.TestCase):
    def test_entries_are_the_non_empty_lines_of_crlf_or_lf_cp1252_text(self):
        for ending in (b"\r\n\r\n", b"\n\n", b"\r\n"):
            lines = read_lines([("log", ending.join([b"[ExitProgram()] START[0]...", b"[ExitProgram()] END..."]))])
            self.assertEqual([(l.name, l.text) for l in lines],
                             [("exit_start", "[ExitProgram()] START[0]..."), ("exit_end", "[ExitProgram()] END...")])
        path = f"{T}\\E\\Données €.ini"
        self.assertEqual(report(f"CopyFile Src[E:\\x.ini], Target[{path}], time:[1]").lines[0].fields["dst"], path)
        # A byte cp1252 leaves undefined does not stop the reading.
        lines = read_lines([("log", b"Relaunch failed: [C:\\\x81\\PX_Bootstrap.exe] did not start (5)\r\n\r\n")])
        self.assertEqual((lines[0].name, lines[0].fields["error"]), ("relaunch_failed", "5"))

    def test_input_that_is_no_trace_log_is_unreadable(self):
        for data, why in ((b"\r\n\r\n  \r\n", "empty"), (b"MZ\x90\x00\x03\x00\x00\x00", "binary"),
                          (bytes(range(1, 32)) * 4, "binary"), (b"a file of the user's", "no entry")):
            with self.subTest(data=data[:8]):
                with self.assertRaisesRegex(Unreadable, why):
                    read_lines([("log", data)])

    def test_several_logs_are_read_as_one_in_the_order_given(self):
        rep = Report([("first.txt", log_bytes(opening("PHONE") + COPY + PHONE_CLOSE)),
                      ("second.txt", log_bytes(opening("PC") + OFFLINE + TOOL_RUNS))])
        self.assertEqual(len(rep.plug_ins), 1)
        self.assertEqual([s.label for s in rep.starts], ["phone start 1", "PC start 2"])
        self.assertEqual({l.source for l in rep.starts[1].lines}, {"second.txt"})


class Interleaving(unittest.TestCase):
    def test_a_pc_start_that_exits_while_the_copy_dialog_waits_takes_its_own_mode_change(self):
        # The licence page closed at once: the PC start's exit comes before the phone start's end.
        pc = opening("PC") + ["[SIGNATURE] The phone names no publisher: packages are not verified",
                              "Preload Driver[driver_setup.exe], Type[unison]", "[OnInitDialog()]..END................."]
        rep = report(*opening("PHONE"), *COPY, *pc, *switch("ChangeMode2CGO"), *PHONE_CLOSE)
        who = {line.step: line.start.label for line in rep.lines}
        mode = next(l for l in rep.lines if "ChangeMode2CGO" in l.text)
        self.assertEqual(who[mode.step], "PC start 2")
        self.assertEqual(rep.lines[-2].start.label, "phone start 1")  # its own exit, after its dialog
        self.assertEqual(rep.last.outcome, "declined")
        self.assertFalse(rep.failed)

    def test_successive_plug_ins_the_phone_starts_closing_lines_amid_its_pc_start_and_a_pc_start_of_its_own(self):
        pc = opening("PC") + OFFLINE
        alone = opening("PC") + OFFLINE + ["[FOLDER] [" + T + "\\PXPC] refused, it cannot be held (2)",
                                           "[RunPXPC()] END - Failed to run PXPC.............",
                                           "[CheckSystem()] IsConnectedInternet() ==> FALSE..."] + switch()
        rep = report(*opening("PHONE"), *COPY, *pc[:12], *PHONE_CLOSE, *pc[12:], *TOOL_RUNS, *alone)
        phone, pc_start, _ = rep.starts
        self.assertEqual([l.text for l in phone.lines][-3:], PHONE_CLOSE)
        self.assertEqual([l.text for l in pc_start.lines], pc + TOOL_RUNS)
        self.assertEqual([p.number for p in rep.plug_ins], [1, 2])
        self.assertEqual([s.start.label for s in rep.plug_ins[1].starts], ["PC start 3"])
        self.assertEqual((rep.plug_ins[0].outcome, rep.plug_ins[0].failed, rep.plug_ins[1].failed),
                         ("tool started", False, True))
        self.assertEqual(rep.kind, "tool-not-installed")  # the last plug-in's

    def test_a_lost_relaunch_is_no_success_and_the_next_phone_start_begins_the_next_plug_in(self):
        # Taken at first for the relaunched start, its banner tells it is a phone start of its own.
        later = opening("PHONE") + ["[OnInitDialog()] IsRunPXPC() return is TRUE......"] + switch()
        self.assertEqual(report(*opening("PHONE"), *COPY, *PHONE_CLOSE).kind, "no-pc-start")
        rep = report(*opening("PHONE"), *COPY, *PHONE_CLOSE, *later)
        self.assertEqual([(s.label, s.plug_in) for s in rep.starts], [("phone start 1", 1), ("phone start 2", 2)])
        self.assertEqual((rep.plug_ins[0].failed, rep.failed), (True, False))


class CausesAndMessages(unittest.TestCase):
    DOWNLOAD = opening("PC", 1) + ["[IsConnectedInternet()] Connect Check return (TRUE)......",
                                   "ModifyDialog_Step1()", "[AutoRun_PXBootstrap()] START...............",
                                   "[DownloadPXPC_Package()] START..................."]
    FAILED_FILE = "[DownloadPXPC_Package()] Fail of download file.....(PXPC_Readme.txt)"
    CAUSE = "GET http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt answered HTTP 404"
    GAVE_UP = ["[DownloadPXPC_Package()] END...(TRUE)................",
               "[MessageBox] RO Zeru Zav download is failed.\\nPlease try again when Internet access is available.",
               "[AutoRun_PXBootstrap()] Timer call exit function"] + switch("ChangeMode2MTP")

    def test_the_one_failure_its_start_detail_cause_and_hint(self):
        download, failed, gave_up = self.DOWNLOAD, self.FAILED_FILE, self.GAVE_UP
        caused = [failed, f"[DownloadPXPC_Package()] Cause: {self.CAUSE}"]
        file_failed = ("PC start 1", "package-file-failed", "PXPC_Readme.txt")
        unsigned = f"{T}\\PXPC.update-12\\pxpc_helper.dll"
        update_check = opening("PC") + ["[IsConnectedInternet()] Connect Check return (TRUE)......",
                                        "[IsRequireUpPXPC()] CheckPXPC return MSG is (MSG_SERVER_FAIL)......."]
        cases = [
            ("the cause line after the first failure", [*download, *caused, *gave_up], *file_failed, self.CAUSE,
             "lacks this file"),
            ("the window's timer ticks between a failure and its cause passed over",
             [*download, caused[0], *["OnTimer[5000] ", "OnTimer[1000] ", "[OnTimer(TIMER_AUTORUN)]"] * 2, caused[1],
              *gave_up], *file_failed, self.CAUSE, "lacks this file"),
            ("without a cause line, the older detail line",
             [*download, "Download of [http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt] ended: no data in time after "
              "60000 ms", failed, *gave_up], *file_failed,
             "http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt ended: no data in time after 60000 ms", "did not finish in time"),
            ("neither", [*download, failed, *gave_up], *file_failed, None, None),
            ("a cause after a line that reports no failure explains none",
             [*download, failed, "[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.",
              "[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.", "[DownloadPXPC_Package()] END...(TRUE)................",
              "[DownloadPXPC_Package()] Cause: GET http://x/ answered HTTP 500", *gave_up], *file_failed, None, None),
            ("a signature refused on arrival is one failure with its file",
             [*download, f"[SIGNATURE] [{unsigned}] refused, no valid signature: WinVerifyTrust 0x800B0100, signer []",
              "[DownloadPXPC_Package()] Fail of download file.....(pxpc_helper.dll)",
              "[DownloadPXPC_Package()] Cause: the maker's signature is required and was refused", *gave_up],
             "PC start 1", "package-file-unsigned", unsigned, "the maker's signature is required and was refused",
             "does not bear the maker's signature"),
            ("a tool name the program refused",
             [*opening("PC"), "[RunPXPC()] PXPCFilename is Empty", "[OnInitDialog()] Abnormal Status.......", *switch()],
             "PC start 1", "tool-name-empty", "", None, None),
            # The phone start's cause line comes while the PC start of another plug-in is not there.
            ("a cause explains the failure of its own start",
             [*opening("PHONE"), *COPY[:2], "[MessageBox] [002] Failed to copy installation package to system.\\nCannot "
              "copy installation package to temporary folder.\\n[002]\\nE:\\QVUTchkdl.dll",
              "[CopyInstallPackage()] Cause: system error 2 (File not found.)", "End : [CInitDlg dlg.DoModal()]", *switch()],
             "phone start 1", "copy-failed", "E:\\QVUTchkdl.dll", "system error 2 (File not found.)", "system error 2"),
            ("a message code names the failure",
             [*opening("PHONE"), "Start : [CInitDlg dlg.DoModal()]", "[MessageBox] [001] Failed to copy installation "
              "package to system.\\nCannot create temporary installation directory.\\n[001]", *PHONE_CLOSE[:1], *switch()],
             "phone start 1", "relaunch-tools-folder", "", None, None),
            ("without the message (an older log), a copy that stopped fails after its last file",
             [*opening("PHONE"), *COPY[:3], *PHONE_CLOSE[:1], *switch()],
             "phone start 1", "copy-failed", "the file listed after E:\\config.ini", None, None),
        ] + [(kind, [*update_check, failure, f"[IsRequireUpPXPC()] Cause: {cause}", "[OnInitDialog()] Abnormal Status.......",
                     *switch()], "PC start 1", kind, detail, cause, hint) for failure, kind, detail, cause, hint in [
            ("[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......", "serverconfig-download-failed",
             "Fail of download (serverconfig.ini)",
             "GET http://127.0.0.1:19002/pkg/pxpc/serverconfig.ini failed with WinINet error 12029 (cannot connect)",
             "could not reach the server"),
            ("[IsRequireUpPXPC()] CheckPXPC return is FALSE.......", "update-check-failed", "the update library's result "
             "MSG_SERVER_FAIL: the update service answered with an error or without a package for this phone",
             "GET http://127.0.0.1:19002/ksvc/list.jsp answered HTTP 500", "server failed"),
            ("[IsRequireUpPXPC()] PX_PC Download URL is not HTTP.......", "package-url-not-http",
             "PX_PC Download URL is not HTTP", "the service named [ftp://x/]", None)]]
        for name, lines, start, kind, detail, why, hint in cases:
            with self.subTest(name):
                rep = report(*lines)
                first = rep.last.first_failure
                self.assertEqual(([s.label for s in rep.starts], rep.kind, [f.kind for f in rep.last.failures]),
                                 ([start], kind, [kind]))
                self.assertEqual((first.line.start.label, first.detail, first.why), (start, detail, why))
                if hint:
                    self.assertIn(hint, first.hint)
                else:
                    self.assertIsNone(first.hint)

    def test_the_account_names_the_cause_or_its_absence_and_what_the_user_saw(self):
        text = trace_report.account_text(report(*self.DOWNLOAD, self.FAILED_FILE,
                                                f"[DownloadPXPC_Package()] Cause: {self.CAUSE}", *self.GAVE_UP))
        self.assertIn(f"Cause: {self.CAUSE}", text)
        self.assertIn('The user saw: "RO Zeru Zav download is failed.\\nPlease try again', text)
        self.assertIn(f"Cause: {trace_report.NO_CAUSE}", trace_report.account_text(report(*self.DOWNLOAD, self.FAILED_FILE,
                                                                                         *self.GAVE_UP)))


class Verdicts(unittest.TestCase):
    def run_main(self, *args):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = trace_report.main(list(args))
        return status, out.getvalue(), err.getvalue()

    def test_exit_status_and_html_page(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        good, bad, empty, page_path = (os.path.join(folder.name, name) for name in ("good.txt", "bad.txt", "empty.txt", "out.html"))
        for path, lines in ((good, PLUG_IN), (bad, opening("PHONE") + ["[OnInitDialog()] IsRunPXPC() return is TRUE......"] +
                                              switch(ok=False)), (empty, [])):
            with open(path, "wb") as f:
                f.write(log_bytes(lines))
        status, text, _ = self.run_main(good, "--html", page_path)
        self.assertEqual(status, 0)
        self.assertIn("Verdict: success", text)
        self.assertIn("started the PC tool", text)
        with open(page_path, encoding="utf-8") as f:
            html = f.read()
        self.assertIn("phone start 1", html)
        self.assertIn(f"({T}\\PXPC\\PXPC.exe)</td>", html)  # read as cp1252, written as UTF-8
        status, text, _ = self.run_main(bad)  # the tool runs, but the phone stayed where it was
        self.assertEqual(status, 1)
        self.assertIn("Verdict: failure (mode-change-failed)", text)
        status, _, err = self.run_main(good, empty)
        self.assertEqual(status, 2)
        self.assertIn("empty.txt: the file is empty", err)
        self.assertEqual(self.run_main(os.path.join(folder.name, "missing.txt"))[0], 2)

    def test_the_page_is_self_contained_and_escapes_the_log(self):
        rep = report(*opening("PHONE"), *COPY, *opening("PC"), "<script>alert(1)</script>", *OFFLINE, *PHONE_CLOSE,
                     *TOOL_RUNS)
        html = page(rep, trace_report.account_text(rep))
        for outside in ("<script", "src=", "href=", "http://", "https://", "<link", "@import"):
            self.assertNotIn(outside, html)
        self.assertIn("&lt;script&gt;alert(1)&lt;/script&gt;", html)
        # One column per start; each line sits in its start's column.
        self.assertEqual(html.count("<th>phone start 1"), 1)
        self.assertEqual(html.count("<th>PC start 2"), 1)
        self.assertIn('<td class="step">1</td><td class="line">[GetConfigInfo()] START', html)
        self.assertIn('<td></td><td class="line">[RunPXPC()] END.', html)


if __name__ == "__main__":
    unittest.main()
