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
    def test_the_phone_starts_closing_lines_amid_the_pc_start_go_to_the_phone_start(self):
        pc = opening("PC") + OFFLINE
        rep = report(*opening("PHONE"), *COPY, *pc[:12], *PHONE_CLOSE, *pc[12:], *TOOL_RUNS)
        phone, pc_start = rep.starts
        self.assertEqual([l.text for l in phone.lines][-3:], PHONE_CLOSE)
        self.assertEqual([l.text for l in pc_start.lines], opening("PC") + OFFLINE + TOOL_RUNS)
        self.assertEqual(rep.last.outcome, "tool started")

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

    def test_successive_plug_ins_and_a_pc_start_of_its_own(self):
        first = opening("PHONE") + COPY + opening("PC") + OFFLINE + PHONE_CLOSE + TOOL_RUNS
        alone = opening("PC") + OFFLINE + ["[FOLDER] [" + T + "\\PXPC] refused, it cannot be held (2)",
                                           "[RunPXPC()] END - Failed to run PXPC.............",
                                           "[CheckSystem()] IsConnectedInternet() ==> FALSE..."] + switch()
        rep = report(*first, *alone)
        self.assertEqual([p.number for p in rep.plug_ins], [1, 2])
        self.assertEqual([s.start.label for s in rep.plug_ins[1].starts], ["PC start 3"])
        self.assertEqual((rep.plug_ins[0].failed, rep.plug_ins[1].failed), (False, True))
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
    GAVE_UP = ["[DownloadPXPC_Package()] END...(TRUE)................",
               "[MessageBox] RO Zeru Zav download is failed.\\nPlease try again when Internet access is available.",
               "[AutoRun_PXBootstrap()] Timer call exit function"] + switch("ChangeMode2MTP")

    def test_the_cause_line_after_the_first_failure_is_its_cause(self):
        cause = "GET http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt answered HTTP 404"
        rep = report(*self.DOWNLOAD, self.FAILED_FILE, f"[DownloadPXPC_Package()] Cause: {cause}", *self.GAVE_UP)
        first = rep.last.first_failure
        self.assertEqual((first.kind, first.detail, first.why), ("package-file-failed", "PXPC_Readme.txt", cause))
        self.assertIn("lacks this file", first.hint)
        text = trace_report.account_text(rep)
        self.assertIn(f"Cause: {cause}", text)
        self.assertIn('The user saw: "RO Zeru Zav download is failed.\\nPlease try again', text)

    def test_the_windows_timer_ticks_between_a_failure_and_its_cause_are_passed_over(self):
        cause = "GET http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt answered HTTP 404"
        ticks = ["OnTimer[5000] ", "OnTimer[1000] ", "[OnTimer(TIMER_AUTORUN)]"] * 2
        rep = report(*self.DOWNLOAD, self.FAILED_FILE, *ticks, f"[DownloadPXPC_Package()] Cause: {cause}", *self.GAVE_UP)
        self.assertEqual(rep.last.first_failure.why, cause)

    def test_without_a_cause_line_the_older_detail_line_or_none(self):
        older = "Download of [http://127.0.0.1:19002/pkg/pxpc/PXPC_Readme.txt] ended: no data in time after 60000 ms"
        rep = report(*self.DOWNLOAD, older, self.FAILED_FILE, *self.GAVE_UP)
        self.assertIn("no data in time", rep.last.first_failure.why)
        self.assertIn("did not finish in time", rep.last.first_failure.hint)
        rep = report(*self.DOWNLOAD, self.FAILED_FILE, *self.GAVE_UP)
        self.assertIsNone(rep.last.first_failure.why)
        self.assertIn(f"Cause: {trace_report.NO_CAUSE}", trace_report.account_text(rep))

    def test_a_cause_explains_the_failure_of_its_own_start(self):
        # The phone start's cause line comes while the PC start of another plug-in is not there.
        rep = report(*opening("PHONE"), *COPY[:2],
                     "[MessageBox] [002] Failed to copy installation package to system.\\nCannot copy installation "
                     "package to temporary folder.\\n[002]\\nE:\\QVUTchkdl.dll",
                     "[CopyInstallPackage()] Cause: system error 2 (File not found.)",
                     "End : [CInitDlg dlg.DoModal()]", *switch())
        first = rep.last.first_failure
        self.assertEqual((first.kind, first.line.start.label, first.why),
                         ("copy-failed", "phone start 1", "system error 2 (File not found.)"))
        self.assertIn("E:\\QVUTchkdl.dll", first.detail)
        self.assertEqual(len(rep.starts), 1)

    def test_a_cause_after_a_line_that_reports_no_failure_explains_none(self):
        rep = report(*self.DOWNLOAD, self.FAILED_FILE, "[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.",
                     "[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.",
                     "[DownloadPXPC_Package()] END...(TRUE)................",
                     "[DownloadPXPC_Package()] Cause: GET http://x/ answered HTTP 500", *self.GAVE_UP)
        self.assertIsNone(rep.last.first_failure.why)

    def test_a_message_code_names_the_failure(self):
        box = ("[MessageBox] [001] Failed to copy installation package to system.\\nCannot create temporary "
               "installation directory.\\n[001]")
        rep = report(*opening("PHONE"), "Start : [CInitDlg dlg.DoModal()]", box, *PHONE_CLOSE[:1], *switch())
        self.assertEqual(rep.kind, "relaunch-tools-folder")
        # Without the message (an older log), a copy that stopped is a failed copy after its last file.
        rep = report(*opening("PHONE"), *COPY[:3], *PHONE_CLOSE[:1], *switch())
        self.assertEqual((rep.kind, rep.last.first_failure.detail), ("copy-failed", "the file listed after E:\\config.ini"))

    def test_a_signature_refused_on_arrival_is_one_failure_with_its_file(self):
        path = f"{T}\\PXPC.update-12\\pxpc_helper.dll"
        rep = report(*self.DOWNLOAD, f"[SIGNATURE] [{path}] refused, no valid signature: WinVerifyTrust 0x800B0100, "
                                     "signer []", "[DownloadPXPC_Package()] Fail of download file.....(pxpc_helper.dll)",
                     "[DownloadPXPC_Package()] Cause: the maker's signature is required and was refused", *self.GAVE_UP)
        self.assertEqual([f.kind for f in rep.last.failures], ["package-file-unsigned"])
        self.assertEqual(rep.last.first_failure.why, "the maker's signature is required and was refused")

    def test_a_tool_name_the_program_refused_is_its_own_failure(self):
        rep = report(*opening("PC"), "[RunPXPC()] PXPCFilename is Empty", "[OnInitDialog()] Abnormal Status.......",
                     *switch())
        self.assertEqual([f.kind for f in rep.last.failures], ["tool-name-empty"])

    def test_the_update_checks_failures_and_their_hints(self):
        cases = [("[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......",
                  "GET http://127.0.0.1:19002/pkg/pxpc/serverconfig.ini failed with WinINet error 12029 (cannot connect)",
                  "serverconfig-download-failed", "could not reach the server"),
                 ("[IsRequireUpPXPC()] CheckPXPC return is FALSE.......",
                  "GET http://127.0.0.1:19002/ksvc/list.jsp answered HTTP 500", "update-check-failed", "server failed"),
                 ("[IsRequireUpPXPC()] PX_PC Download URL is not HTTP.......", "the service named [ftp://x/]",
                  "package-url-not-http", None)]
        for failure, cause, kind, hint in cases:
            with self.subTest(kind=kind):
                rep = report(*opening("PC"), "[IsConnectedInternet()] Connect Check return (TRUE)......",
                             "[IsRequireUpPXPC()] CheckPXPC return MSG is (MSG_SERVER_FAIL).......", failure,
                             f"[IsRequireUpPXPC()] Cause: {cause}", "[OnInitDialog()] Abnormal Status.......", *switch())
                first = rep.last.first_failure
                self.assertEqual((first.kind, first.why), (kind, cause))
                if kind == "update-check-failed":
                    self.assertIn("MSG_SERVER_FAIL: the update service answered with an error", first.detail)
                if hint:
                    self.assertIn(hint, first.hint)
                else:
                    self.assertIsNone(first.hint)

class Verdicts(unittest.TestCase):
    def run_main(self, *args):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = trace_report.main(list(args))
        return status, out.getvalue(), err.getvalue()

    def write(self, folder, name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_exit_status_and_html_page(self):
        with tempfile.TemporaryDirectory() as folder:
            good = self.write(folder, "good.txt", log_bytes(opening("PHONE") + COPY + opening("PC") + OFFLINE +
                                                            PHONE_CLOSE + TOOL_RUNS))
            bad = self.write(folder, "bad.txt", log_bytes(opening("PHONE") + ["[OnInitDialog()] IsRunPXPC() return is "
                                                                             "TRUE......"] + switch(ok=False)))
            page_path = os.path.join(folder, "out.html")
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
            empty = self.write(folder, "empty.txt", b"")
            status, _, err = self.run_main(good, empty)
            self.assertEqual(status, 2)
            self.assertIn("empty.txt: the file is empty", err)
            self.assertEqual(self.run_main(os.path.join(folder, "missing.txt"))[0], 2)

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
