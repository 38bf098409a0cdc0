"""The account of a trace log: for each plug-in (a phone start and the PC start it relaunched, with
any start that came meanwhile) what each start did, the failures in the order written with the
cause the program traced after each, and the outcome. The first failure of a plug-in is the first
line that reports one; its cause is the Cause line right after it, or, in logs written before the
program traced causes, the detail line before it."""
from failures import KINDS, cause_hint, failure_kind_of_message
from trace_lines import assign, read_lines

UPDATE_CHECK_KINDS = [
    ("PX_PC Download PC Path find failed", "no-base-folder"),
    ("Create failed PX_PC Download PC Path", "package-folder-failed"),
    ("Test version is too long", "test-version-too-long"),
    ("LoadLibrary is failed", "update-library-failed"),
    ("GetProcAddress(CheckPXPC) is failed", "update-library-failed"),
    ("pFuncChkPXPC Error", "update-library-failed"),
    ("CheckPXPC return is FALSE", "update-check-failed"),
    ("PX_PC Download URL is not valid", "package-url-invalid"),
    ("PX_PC Download URL is not HTTP", "package-url-not-http"),
    ("Fail of download (serverconfig.ini)", "serverconfig-download-failed"),
]
DOWNLOAD_SETUP_FAILURES = ("ServerConfigFile name is empty", "Download URL is empty", "Download PC path is empty",
                           "LoadLibrary(QVUTchkdl.dll) failed", "Library function failed", "pFuncUpdateGBCSync(1) Failed")
# What the update library's result word says of the failed check.
RESULT_WORDS = {"MSG_SERVER_CONN_ERROR": "the update service could not be reached (its reachability check failed)",
                "MSG_SERVER_FAIL": "the update service answered with an error or without a package for this phone",
                "MSG_FUNCTION_FAIL": "the update library failed in itself"}
NOT_FATAL = ("device-library-not-loaded", "phone-no-answer", "mode-change-failed")
# Outcomes that are no failure: what the program is meant to do, what the user chose, or a run that
# has not failed so far (its log was taken while it still ran).
GOOD_OUTCOMES = ("tool started", "tool already running", "factory line", "declined", "cancelled",
                 "left to the running dialog", "another phone's dialog runs", "still running")


class Failure:
    def __init__(self, line, kind, detail="", reason=None):
        self.line, self.kind, self.detail = line, kind, detail
        # The Cause line after it, else what the failure's own line says of why (`reason`).
        self.cause, self.reason = None, reason

    @property
    def why(self):
        return self.cause or self.reason

    @property
    def what(self):
        return KINDS[self.kind][0]

    @property
    def who(self):
        return KINDS[self.kind][1]

    @property
    def advice(self):
        return KINDS[self.kind][2]

    @property
    def hint(self):
        return cause_hint(self.why)


class StartAccount:
    """What one start did, in sentences, and the failures it reported."""

    def __init__(self, start):
        self.start, self.facts, self.failures, self.messages = start, [], [], []
        self.online = None
        names = [line.name for line in start.lines]
        self.names = set(names)
        self.read_failures()
        self.read_facts()

    def has(self, name):
        return name in self.names

    def first(self, name):
        return next((line for line in self.start.lines if line.name == name), None)

    def add(self, line, kind, detail="", reason=None):
        self.failures.append(Failure(line, kind, detail, reason))

    def read_failures(self):
        lines, section = self.start.lines, None
        for at, line in enumerate(lines):
            name, fields = line.name, line.fields
            if name in ("download_start", "install_start", "tool_start", "update_check_start"):
                section = name
            elif name in ("download_end", "install_end", "tool_started", "tool_failed"):
                section = None if name != "tool_failed" else "tool_start"
            if name == "online" and self.online is None:
                self.online = fields["value"] == "TRUE"
            if name == "cause":
                self.attach_cause(line)
            elif name == "message":
                self.messages.append(line)
                kind = failure_kind_of_message(fields.get("code"), fields["text"])
                if kind == "copy-failed" and self.has("copy_not_phones"):
                    kind = "copy-not-the-phones"
                if kind and not any(f.kind == kind for f in self.failures):
                    # A failed copy's message ends with the phone's path of the file.
                    parts = fields["text"].split("\\n")
                    self.add(line, kind, parts[-1] if fields.get("code") == "[002]" else "")
            elif name == "copy_refused" and self.start.kind == "phone":
                self.add(line, "copy-failed", fields["src"])
            elif name == "copy_not_phones":
                self.add(line, "copy-not-the-phones", fields["src"])
            elif name in ("relaunch_no_program", "relaunch_redirection", "relaunch_failed"):
                self.add(line, name.replace("_", "-"), line.text)
            elif name == "not_admin":
                self.add(line, "not-administrator")
            elif name == "device_library":
                self.add(line, "device-library-not-loaded", reason=fields["why"])
            elif name == "mode_query_failed" and not self.has("device_library"):
                self.add(line, "phone-no-answer")
            elif name == "other_device":
                self.add(line, "another-device")
            elif name == "config_refused":
                self.add(line, "pc-config-refused", reason=fields["why"])
            elif name == "init_control_failed":
                self.add(line, "licence-missing")
            elif name == "mode_failed":
                self.add(line, "mode-change-failed")
            elif name == "signature_invalid":
                self.add(line, "signature-setting-invalid", reason=fields["why"])
            elif name == "update_check_failed":
                kind = next((k for text, k in UPDATE_CHECK_KINDS if fields["what"].startswith(text)), None)
                answer = self.first("update_answer")
                if kind == "update-check-failed" and answer:
                    word = answer.fields["word"]
                    self.add(line, kind, f"the update library's result {word}: {RESULT_WORDS.get(word, 'unknown')}")
                elif kind:
                    self.add(line, kind, fields["what"])
            elif name == "update_library_not_phones":
                self.add(line, "update-library-failed", line.text)
            elif name == "download_setup_failed" and fields["what"].startswith(DOWNLOAD_SETUP_FAILURES):
                self.add(line, "download-setup-failed", fields["what"])
            elif name == "signature_refused":
                kind = {"download_start": "package-file-unsigned", "install_start": "driver-installer-unsigned",
                        "tool_start": "tool-unsigned"}.get(section, "tool-unsigned")
                self.add(line, kind, fields["path"], reason=fields["why"])
            elif name == "download_file_failed":
                unsigned = self.failures and self.failures[-1].kind == "package-file-unsigned" and \
                    self.failures[-1].line.fields["path"].endswith(fields["name"])
                if not unsigned:
                    self.add(line, "package-file-failed", fields["name"])
                    self.old_cause(at)
            elif name == "folder_refused":
                tool_folder = section == "tool_start" and fields["path"].endswith("\\PXPC") and \
                    fields["why"].endswith(("(2)", "(3)"))
                if tool_folder:
                    self.add(line, "tool-not-installed" if self.online is False else "tool-start-failed",
                             fields["path"], reason="the package folder is not there")
                else:
                    self.add(line, "folder-refused", fields["path"], reason=fields["why"])
            elif name in ("driver_copy_failed", "no_drive_path"):
                self.add(line, "driver-copy-failed", fields.get("src", ""))
            elif name in ("installer_missing", "installer_unusable"):
                self.add(line, "driver-installer-missing")
            elif name == "installer_not_phones":
                self.add(line, "driver-installer-not-the-phones", fields["path"])
            elif name == "driver_not_installed":
                self.add(line, "driver-install-failed", reason=self.installer_outcome(at) or None)
            elif name == "tool_name_empty":
                self.add(line, "tool-name-empty")
            elif name == "tool_no_base":
                self.add(line, "no-base-folder")
            elif name in ("tool_failed", "offline_no_tool", "driver_step_failed", "workflow_gave_up", "abnormal") \
                    and not self.fatal_failures():
                self.add(line, {"tool_failed": "tool-not-installed" if self.online is False else "tool-start-failed",
                                "offline_no_tool": "tool-not-installed", "driver_step_failed": "driver-install-failed",
                                "workflow_gave_up": "package-incomplete", "abnormal": "update-check-failed"}[name])
        self.copy_without_failure_line()

    def fatal_failures(self):
        """Failures that end the run by themselves; a phone that does not answer only shows at the end."""
        return [f for f in self.failures if f.kind not in NOT_FATAL]

    def attach_cause(self, line):
        """The Cause line follows the failure it explains (a message box may come between): one of
        the start's few lines before it, the timer's ticks aside. A cause after a line not read as a failure explains none."""
        # The window's timer ticks may stand between them: they are not counted.
        before = [l for l in self.start.lines[:self.start.lines.index(line)] if l.name != "timer_tick"]
        recent = {l.step for l in before[-3:]}
        for failure in reversed(self.failures):
            if failure.cause is None and failure.line.step in recent:
                failure.cause = line.fields["cause"]
                return

    def old_cause(self, at):
        """Before Cause lines, a failed download said why in a line of its own before the failure."""
        previous = self.start.lines[at - 1] if at else None
        if previous is not None and previous.name == "download_detail":
            self.failures[-1].cause = f"{previous.fields['what']} {previous.fields['why']}"

    def installer_outcome(self, at):
        for line in reversed(self.start.lines[:at]):
            if line.name == "installer_exit":
                return f"the installer ended with exit code {line.fields['code']}"
            if line.name == "installer_not_started":
                return f"the installer did not start (system error {line.fields['error']})"
            if line.name == "installer_hung":
                return f"the installer has not ended after {line.fields['seconds']} s"
        return ""

    def copy_without_failure_line(self):
        """A copy that stopped before its relaunch, in a log older than the traced message boxes."""
        if self.start.kind != "phone" or not self.has("copy_start") or self.has("relaunch") or self.failures:
            return
        copied = [line for line in self.start.lines if line.name == "copied"]
        end = self.first("copy_end") or self.start.lines[-1]
        if copied:
            detail = f"the file listed after {copied[-1].fields['src']}"
        else:
            detail = "its first file, or the folder for the copy ([000], [001] or [004])"
        self.add(end, "copy-failed", detail)

    # -- what the start did -------------------------------------------------------------------------

    def read_facts(self):
        if self.start.kind == "phone":
            self.phone_facts()
        else:
            self.pc_facts()
        self.exit_facts()

    def say(self, text):
        self.facts.append(text)

    def opening_facts(self):
        mode = self.first("selected_mode")
        if self.has("factory_line"):
            self.say("factory line: the phone is switched to modem without asking")
        elif self.has("mode_query_failed"):
            self.say("the phone did not answer the question for its mode" +
                     (f" (taken as {mode.fields['mode']})" if mode else ""))
        elif mode:
            self.say(f"the phone's selected mode is {mode.fields['mode']}")
        if self.has("same_phone"):
            self.say("another instance runs for the same phone: it was brought forward and this start ended")
        elif self.has("other_phone"):
            self.say("another instance runs for another phone: this phone was switched and this start ended")
        elif self.has("other_no_response"):
            self.say("another instance's window did not answer: this start went on")
        if self.has("tool_running"):
            self.say("the PC tool was already running")

    def phone_facts(self):
        self.opening_facts()
        copied = [line for line in self.start.lines if line.name == "copied"]
        if self.has("copy_start"):
            target = copied[0].fields["dst"].rsplit("\\", 1)[0] if copied else None
            self.say(f"copied {len(copied)} file(s) of the package" + (f" to {target}" if target else "") +
                     ("" if self.has("copy_all_done") else ", then stopped"))
        relaunch = self.first("relaunch")
        if relaunch and not any(f.kind.startswith("relaunch") or f.kind == "copy-not-the-phones"
                                for f in self.failures):
            self.say(f"relaunched {relaunch.fields['program']} {relaunch.fields['args']}")

    def pc_facts(self):
        self.opening_facts()
        if self.has("signature_required"):
            self.say(f"packages must bear the signature of {self.first('signature_required').fields['publisher']}")
        elif self.has("signature_none"):
            self.say("the phone names no publisher: packages are not verified")
        if self.online is not None:
            self.say("online" if self.online else "offline")
        preload = self.first("preload")
        self.say(f"the phone carries the driver installer {preload.fields['name']}" if preload
                 else "the phone carries no driver installer" if self.has("no_preload") else "")
        if self.has("abnormal"):
            self.say("the update check failed: the run ends with the mode change")
        elif self.has("hidden_run"):
            self.say("nothing to install: the PC tool is to be started without a window")
        elif self.has("licence_accepted"):
            self.say("the licence page was shown and accepted")
        elif self.has("init_control_failed"):
            pass
        elif self.start.bannered and not self.failures and self.start.exit_code == 1:
            self.say("the licence page was shown and declined or closed")
        if self.has("download_start"):
            if self.has("download_cancelled"):
                self.say("the user cancelled the download")
            elif any(f.kind.startswith("package-file") for f in self.failures):
                self.say("the download failed")
            else:
                self.say("downloaded the package")
        if self.has("download_report"):
            ends = [l.fields["result"] for l in self.start.lines if l.name == "download_report" and
                    l.fields["which"] == "END"]
            self.say("reported the download to the usage statistics" + (f" ({ends[0]})" if ends else ""))
        if self.has("install_start"):
            source = "the server's" if self.has("server_driver") else "the phone's"
            installed = self.has("install_end")
            codes = [l.fields["code"] for l in self.start.lines if l.name == "installer_exit"]
            self.say(f"{'installed' if installed else 'could not install'} {source} driver" +
                     (f" (installer exit code {', '.join(codes)})" if codes else ""))
        if self.has("tool_started"):
            tool = self.first("tool_path")
            self.say("started the PC tool" + (f" {tool.fields['path']}" if tool else ""))
        elif self.has("tool_start"):
            self.say("the PC tool did not start")
        self.facts = [fact for fact in self.facts if fact]

    def exit_facts(self):
        switch = self.first("mode_switch")
        if switch:
            result = "failed" if self.has("mode_failed") else "done" if self.has("mode_ok") else "not finished"
            self.say(f"switched the phone's USB mode with {switch.fields['export']}: {result}")
        elif self.start.exit_code is not None and not self.has("mode_step"):
            self.say("ended without switching the phone")
        if not self.start.ended:
            self.say("the log ends before this start ended")


class PlugInAccount:
    """One plug-in: its starts' accounts, the first failure and the outcome."""

    def __init__(self, number, starts):
        self.number = number
        self.starts = [StartAccount(start) for start in starts]
        failures = sorted((f for s in self.starts for f in s.failures), key=lambda f: f.line.step)
        self.failures = failures
        self.outcome = self.read_outcome()
        if self.outcome == "relaunched" and not failures:
            phone = next(s for s in self.starts if s.start.kind == "phone")
            self.failures = [Failure(phone.first("relaunch"), "no-pc-start")]
        self.failed = bool(self.failures) and self.outcome not in GOOD_OUTCOMES
        if self.outcome in GOOD_OUTCOMES and any(f.kind == "mode-change-failed" for f in self.failures):
            self.failed = True
        self.first_failure = self.failures[0] if self.failed else None
        if self.outcome not in GOOD_OUTCOMES and not self.failures:
            self.failed, self.first_failure = True, Failure(self.starts[-1].start.lines[-1], "unknown")
            self.failures = [self.first_failure]

    def any(self, name):
        return any(s.has(name) for s in self.starts)

    def read_outcome(self):
        if self.any("tool_started"):
            return "tool started"
        if self.any("tool_running"):
            return "tool already running"
        if self.any("factory_line"):
            return "factory line"
        if self.any("download_cancelled"):
            return "cancelled"
        if self.any("other_phone"):
            return "another phone's dialog runs"
        pcs = [s for s in self.starts if s.start.kind == "pc"]
        if not pcs and self.any("same_phone"):
            return "left to the running dialog"
        for pc in pcs:
            if pc.start.bannered and not pc.fatal_failures() and pc.start.exit_code == 1 and not pc.has("licence_accepted") \
                    and not pc.has("abnormal") and not pc.has("hidden_run") and pc.has("pc_step"):
                return "declined"
        if not pcs and self.any("relaunch") and not any(s.failures for s in self.starts):
            return "relaunched"
        if pcs and not pcs[-1].start.ended and not any(s.failures for s in self.starts):
            return "still running"
        return "failed"

    @property
    def summary(self):
        if self.failed:
            return f"FAILED: {self.first_failure.what}"
        return {"tool started": "the PC tool was started",
                "tool already running": "the PC tool was already running: the phone was switched to its mode",
                "factory line": "factory line: the phone was switched to modem",
                "declined": "the licence was declined (or its page closed): the phone was switched to its mode",
                "cancelled": "the user cancelled the download: the phone was switched to its mode",
                "left to the running dialog": "the same phone's dialog was already open: it was brought forward",
                "another phone's dialog runs": "another phone's dialog was open: this phone was switched to its mode",
                "still running": "the log ends while the PC start still runs, without a failure so far (the "
                                 "licence page may be waiting for the user)",
                }[self.outcome]


class Report:
    """The account of the logs in `sources` ((name, bytes) pairs), read as one log in that order."""

    def __init__(self, sources):
        self.sources = [name for name, _ in sources]
        self.lines = read_lines(sources)
        self.starts = assign(self.lines)
        numbers = sorted({s.plug_in for s in self.starts})
        self.plug_ins = [PlugInAccount(n, [s for s in self.starts if s.plug_in == n]) for n in numbers]

    @property
    def last(self):
        return self.plug_ins[-1]

    @property
    def failed(self):
        """The log reads as a failure when its last plug-in failed: the latest is what the user reports."""
        return self.last.failed

    @property
    def kind(self):
        return self.last.first_failure.kind if self.last.failed else None
