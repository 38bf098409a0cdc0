"""The program's trace log read as entries: the file's text (cp1252, CR LF, an empty line after each
entry), each entry named by what it reports, and each given to the start of the program that wrote
it. Both starts of a plug-in write to one file at the same time and the file names neither, so the
owner of a line follows from what each start can write at that point: the phone start copies and
relaunches, the PC start runs the workflow, and both open, ask the phone and exit alike."""
import re

# A tick of the program window's timers, as its thread traces it.
TIMER_TICK = r"^(OnTimer\[\d+\] ?|\[OnTimer\(TIMER_\w+\)\])$"

# (name, pattern, who may write it). "who" picks the owner among the starts, see Assigner.
# Earlier patterns win: the cause and message lines before the step lines they would also match.
PATTERNS = [(name, re.compile(pattern), who) for name, pattern, who in [
    ("cause", r"^\[(?P<op>[^\]]+)\] Cause: (?P<cause>.*)$", "cause"),
    ("message", r"^\[MessageBox\] (?:(?P<code>\[\d{3}\]) )?(?P<text>.*)$", "message"),
    ("config_start", r"^\[GetConfigInfo\(\)\] START", "new"),
    ("config_refused", r"^\[GetConfigInfo\(\)\] \[(?P<path>.*)\] refused, (?P<why>.*)$", "open"),
    ("config_end", r"^\[GetConfigInfo\(\)\] END", "open"),
    ("offline_no_tool", r"^\[CheckSystem\(\)\] IsConnectedInternet\(\) ==> FALSE", "pc"),
    ("factory_line", r"^\[CheckSystem\(\)\] This is Factory Line", "open"),
    ("mode_query_ok", r"^\[CheckSystem\(\)\] Get User Selection Mode Command is Success", "open"),
    ("mode_query_failed", r"^\[CheckSystem\(\)\] Get User Selection Mode Command is Failed", "open"),
    ("not_admin", r"^\[CheckSystem\(\)\] Admin is FALSE", "open"),
    ("selected_mode", r"^\[CheckSystem\(\)\] User Selection Mode is \((?P<mode>-?\d+)\), Admin is \((?P<admin>\d+)\)", "open"),
    ("check", r"^\[CheckSystem\(\)\] (START|END)", "open"),
    ("device_library", r"^\[QVEUSBAutorun\.dll\] \[(?P<path>[^\]]*)\] not loaded: (?P<why>.*)$", "library"),
    ("banner", r"^=+\[OnInitDialog\(\) (?P<start>PHONE|PC) START, (?P<version>[^\]]*)\]=+", "banner"),
    ("mutex_failed", r"^Failed to create mutex", "checking"),
    ("other_device", r"^-+ PXBS of another device is already running on PC", "checking"),
    ("signature_unreadable", r"^\[SIGNATURE\] The phone's config\.ini cannot be read", "checking"),
    ("signature_invalid", r"^\[SIGNATURE\] The setting cannot be applied \((?P<why>.*)\): every file is refused",
     "checking"),
    ("signature_none", r"^\[SIGNATURE\] The phone names no publisher", "checking"),
    ("signature_required", r"^\[SIGNATURE\] Packages must be signed by \[(?P<publisher>[^\]]*)\]", "checking"),
    ("other_check", r"^Start : \[if\(m_hOtherAutoRun != NULL\)\]", "checking"),
    ("same_drive_query", r"^\[IsSamePhoneDrive\(\)\] OldDrv = (?P<old>[^,]*), NewDrv = (?P<new>.*)$", "checking"),
    ("same_phone", r"^\[IsSamePhoneDrive\(\)\] return is TRUE", "checking"),
    ("other_phone", r"^End : \[IsSamePhoneDrive\(\)\] return is FALSE ==> Mode Change", "checking"),
    ("other_no_response", r"^End : \[IsSamePhoneDrive\(\)\] return is FALSE ==> Other App is no response", "checking"),
    ("tool_running", r"^\[OnInitDialog\(\)\] IsRunPXPC\(\) return is TRUE", "checking"),
    # The phone start's copy and relaunch.
    ("copy_start", r"^Start : \[CInitDlg dlg\.DoModal\(\)\]", "phone"),
    ("copied", r"^CopyFile Src\[(?P<src>[^\]]*)\], Target\[(?P<dst>[^\]]*)\], time:\[-?\d+\]", "phone"),
    ("copy_not_phones", r"^CopyFile Src\[(?P<src>[^\]]*)\], Target\[(?P<dst>[^\]]*)\] is not the phone's file", "phone"),
    ("copy_all_done", r"^CopyFile +- All Done", "phone"),
    ("relaunch", r"^ShellExecute\[(?P<program>[^\]]*)\]\[(?P<args>[^\]]*)\]\[(?P<folder>[^\]]*)\]", "phone"),
    ("relaunch_no_program", r"^Not Launch", "phone"),
    ("relaunch_redirection", r"^Relaunch refused: \[(?P<path>[^\]]*)\]", "phone"),
    ("relaunch_failed", r"^Relaunch failed: \[(?P<path>[^\]]*)\] did not start \((?P<error>\d+)\)", "phone"),
    ("copy_end", r"^End : \[CInitDlg dlg\.DoModal\(\)\]", "copy_end"),
    # A copy that the system refused: the phone start's package copy or the PC start's driver copy.
    ("copy_refused", r"^CopyFile Src\[(?P<src>[^\]]*)\], Target\[(?P<dst>[^\]]*)\]$", "copying"),
    ("folder_refused", r"^\[FOLDER\] \[(?P<path>[^\]]*)\] refused, (?P<why>.*)$", "copying"),
    # The PC start: its page, the update check, the download, the driver and the tool.
    ("licence_cut", r"^\[InitControl\(\)\] License\.txt is longer", "pc"),
    ("init_control_failed", r"^End : \[InitControl\(\) == FALSE\]", "pc"),
    ("abnormal", r"^\[OnInitDialog\(\)\] Abnormal Status", "pc"),
    ("hidden_run", r"^\[OnInitDialog\(\)\] Mode Change & Run PXPC", "pc"),
    ("online", r"^\[IsConnectedInternet\(\)\] Connect Check return \((?P<value>TRUE|FALSE)\)", "pc"),
    ("update_check_start", r"^\[IsRequireUpPXPC\(\)\] START", "pc"),
    ("update_check_end", r"^\[IsRequireUpPXPC\(\)\] END", "pc"),
    ("update_answer", r"^\[IsRequireUpPXPC\(\)\] CheckPXPC return MSG is \((?P<word>[^)]*)\)", "pc"),
    ("update_check_failed", r"^\[IsRequireUpPXPC\(\)\] (?P<what>.*?)\.*$", "pc"),
    ("update_library_not_phones", r"^LoadLibrary\[(?P<path>[^\]]*)\] is not the phone's file", "pc"),
    ("preload", r"^Preload Driver\[(?P<name>[^\]]*)\], Type\[(?P<type>[^\]]*)\]", "pc"),
    ("installer_not_phones", r"^Preload Driver\[(?P<path>[^\]]*)\] is not the phone's file", "pc"),
    ("no_preload", r"^This device not support preload driver", "pc"),
    ("preload_copied", r"^Copy Preload Driver - OK", "pc"),
    ("driver_copy_failed", r"^CopyFile Failed Src\[(?P<src>[^\]]*)\], Target\[(?P<dst>[^\]]*)\]", "pc"),
    ("no_drive_path", r"^Failed to get drive path", "pc"),
    ("licence_accepted", r"^ModifyDialog_Step1\(\)", "pc"),
    ("worker_end", r"^\[CUSBAutoRunDlg::PostMessage\[(?P<code>\d+)\]\]", "pc"),
    ("workflow_gave_up", r"^\[AutoRun_PXBootstrap\(\)\] Timer call exit function", "pc"),
    ("driver_step_failed", r"^\[AutoRun_PXBootstrap\(\)\] InstallDriver\(\) ==> FALSE", "pc"),
    ("workflow", r"^\[AutoRun_PXBootstrap\(\)\] (START|END)", "pc"),
    ("download_start", r"^\[DownloadPXPC_Package\(\)\] START", "pc"),
    ("download_file_failed", r"^\[DownloadPXPC_Package\(\)\] Fail of download file\.+\((?P<name>.*)\)$", "pc"),
    ("download_cancelled", r"^\[DownloadPXPC_Package\(\)\] User Cancel", "pc"),
    ("download_report", r"^\[DownloadPXPC_Package\(\)\] pFuncUpdateGBCSync \((?P<which>START|END)\) (?P<result>\w+)",
     "pc"),
    ("download_end", r"^\[DownloadPXPC_Package\(\)\] END", "pc"),
    ("download_setup_failed", r"^\[DownloadPXPC_Package\(\)\] (?P<what>.*?)\.*$", "pc"),
    ("download_detail", r"^Download (of|to) \[(?P<what>[^\]]*)\] (?P<why>(ended|refused): .*)$", "pc"),
    ("same_driver", r"^Server and preload is same", "pc"),
    ("server_driver", r"^Driver install from server", "pc"),
    ("install_skip", r"^\[CUSBAutoRunDlg::InstallDriver\(\)\] SKIP", "pc"),
    ("install_start", r"^\[CUSBAutoRunDlg::InstallDriver\(\)\] START", "pc"),
    ("install_end", r"^\[CUSBAutoRunDlg::InstallDriver\(\)\] END", "pc"),
    ("installer_unusable", r"^\[InstallDriver : strDrvPath\.IsEmpty\(\)\]", "pc"),
    ("installer_missing", r"^\[InstallDriver : IsExistFile\(strPath\)\] return code : FALSE", "pc"),
    ("installer_run", r"^Install Driver Full Path Name = (?P<path>.*)$", "pc"),
    ("installer_exit", r"^\[InstallDriver : the installer ended with exit code (?P<code>-?\d+)\]", "pc"),
    ("installer_not_started", r"^\[InstallDriver : the installer did not start \((?P<error>\d+)\)\]", "pc"),
    ("installer_hung", r"^\[InstallDriver : the installer has not ended after (?P<seconds>\d+) s\]", "pc"),
    ("installer_exception", r"^\*\*\* Exception Run Installer", "pc"),
    ("driver_not_installed", r"^\[InstallDriver\(\)\] IsInstalledDriver\(\) return code : FALSE", "pc"),
    ("tool_start", r"^\[RunPXPC\(\)\] START", "pc"),
    ("tool_name_empty", r"^\[RunPXPC\(\)\] PXPCFilename is Empty", "pc"),
    ("tool_no_base", r"^\[RunPXPC\(\)\] SHGetSpecialFolderPath is failed", "pc"),
    ("tool_path", r"^\[RunPXPC\(\)\] Exe File = \((?P<path>.*)\)$", "pc"),
    ("tool_failed", r"^\[RunPXPC\(\)\] END - Failed to run PXPC", "pc"),
    ("tool_started", r"^\[RunPXPC\(\)\] END\.", "pc"),
    ("signature_accepted", r"^\[SIGNATURE\] \[(?P<path>[^\]]*)\] accepted", "pc"),
    ("signature_refused", r"^\[SIGNATURE\] \[(?P<path>[^\]]*)\] refused, (?P<why>.*)$", "pc"),
    # The window's timer ticks, which its thread traces whenever they come, amid the worker's lines.
    ("timer_tick", TIMER_TICK, "pc"),
    ("pc_step", r"^(\[IsConnectedInternet\(\)\]|\[IsRequireUpDrv\(\)\]|\[IsInstalledDriver\(\)\]|IsInstalledDriver:|"
                r"GetPreloadDriver|Path to copy preload|Copy Preload Driver Path|\[CUSBAutoRunDlg::|SetTimer |"
                r"OnTimer\[|\[OnTimer|OnPaint\(\)|\[OnInitDialog\(\)\]|\[InstallDriver |Drv Setup Filename|"
                r"MoveFile |\[CDriverMgr::|\[RunPXPC\(\)\])", "pc"),
    # Every start's exit, with the mode change when it switches the phone.
    ("exit_start", r"^\[ExitProgram\(\)\] START\[(?P<code>-?\d+)\]", "exit"),
    ("exit_mode_failed", r"^\[ExitProgram\(\)\] Mode Change Failed", "mode"),
    ("exit_end", r"^\[ExitProgram\(\)\] END", "exit_end"),
    ("mode_switch", r"^\[ModeChange\(\)\] (?P<default>default: )?(?P<export>ChangeMode2\w+)\.\.\(Drive : (?P<drive>[^)]*)\)",
     "mode"),
    ("mode_ok", r"^\[ModeChange\(\)\] Mode change success", "mode"),
    ("mode_failed", r"^\[ModeChange\(\)\] Mode change failed", "mode"),
    ("mode_step", r"^\[ModeChange\(\)\] ", "mode"),
]]

# The operation of a cause line that names the phone start's copy; every other one is the PC start's.
COPY_OPERATION = "CopyInstallPackage()"


class Unreadable(Exception):
    """Input that is no trace log: missing, empty, binary, or without one entry of the program."""


class Line:
    """One entry: where it stands (`step` over all files read), its text, what it reports (`name`,
    `fields`) and the start that wrote it (`start`, set by the Assigner)."""

    def __init__(self, step, source, text):
        self.step, self.source, self.text = step, source, text
        self.name, self.fields, self.who = "unknown", {}, "any"
        for name, pattern, who in PATTERNS:
            match = pattern.match(text)
            if match:
                self.name, self.fields, self.who = name, match.groupdict(), who
                break
        self.start = None

    def __repr__(self):
        return f"Line({self.step}, {self.name}, {self.text!r})"


def decode(data, source):
    """The entries of one log file's bytes; Unreadable for what no program wrote."""
    if not data.strip(b"\r\n\t "):
        raise Unreadable(f"{source}: the file is empty")
    controls = sum(1 for b in data if b < 0x20 and b not in (0x09, 0x0A, 0x0D))
    if b"\0" in data or controls * 20 > len(data):
        raise Unreadable(f"{source}: binary data, not a trace log")
    text = data.decode("cp1252", errors="replace")
    return [line for line in re.split(r"\r?\n|\r", text) if line.strip()]


def read_lines(sources):
    """Lines of every (name, bytes) in `sources`, in the order given; Unreadable when a file holds no
    entry of the program."""
    lines = []
    for source, data in sources:
        texts = decode(data, source)
        found = [Line(len(lines) + i, source, text) for i, text in enumerate(texts)]
        if all(line.name == "unknown" for line in found):
            raise Unreadable(f"{source}: no entry of the program's trace log")
        lines += found
    return lines


class Start:
    """One start of the program: phone start or PC start, its lines, and where it stands."""

    def __init__(self, number, kind, plug_in):
        self.number, self.kind, self.plug_in = number, kind, plug_in
        self.lines = []
        self.bannered = False       # its banner line came
        self.checked = False        # past its opening checks: copying, or in its workflow
        self.copying = False        # a phone start between the copy dialog's start and end
        self.copy_ended = False
        self.relaunch_pending = False  # a phone start whose relaunched PC start has not begun yet
        self.exit_code = None       # ExitProgram's argument once it began
        self.mode_pending = False   # its exit switches the phone and the switch has not ended
        self.ended = False

    @property
    def label(self):
        return f"{'phone' if self.kind == 'phone' else 'PC'} start {self.number}"

    def take(self, line):
        line.start = self
        self.lines.append(line)


class Assigner:
    """Gives each line, in order, to the start that wrote it; see the module's comment."""

    def __init__(self):
        self.starts, self.plug_ins = [], 0

    def open_starts(self):
        return [s for s in self.starts if not s.ended]

    def newest(self, test, among=None):
        for start in reversed(self.starts if among is None else among):
            if test(start):
                return start
        return None

    def new_start(self, kind=None):
        waiting = self.newest(lambda s: s.kind == "phone" and s.relaunch_pending)
        if kind is None:
            kind = "pc" if waiting else "phone"
        if kind == "pc" and waiting:
            waiting.relaunch_pending = False
            plug_in = waiting.plug_in
        elif self.open_starts():
            plug_in = self.open_starts()[-1].plug_in  # another start during a run
        else:
            self.plug_ins += 1
            plug_in = self.plug_ins
        start = Start(len(self.starts) + 1, kind, plug_in)
        start.relaunched_by = waiting if kind == "pc" else None
        self.starts.append(start)
        return start

    def owner(self, line):
        who, open_ = line.who, self.open_starts()
        if who == "new":
            return self.new_start()
        if who == "open":
            return self.newest(lambda s: not s.bannered, open_) or self.newest(lambda s: True, open_) or self.new_start()
        if who == "banner":
            kind = "phone" if line.fields["start"] == "PHONE" else "pc"
            start = self.newest(lambda s: not s.bannered, open_) or self.new_start(kind)
            if kind == "phone" and start.relaunched_by:
                # Taken for the relaunched start, it is a phone start of its own: that relaunch
                # wrote nothing here, and this one begins a plug-in unless another start runs.
                start.relaunched_by = None
                others = [s for s in open_ if s is not start]
                if not others:
                    self.plug_ins += 1
                start.plug_in = others[-1].plug_in if others else self.plug_ins
            start.kind, start.bannered = kind, True
            return start
        if who == "checking":
            return (self.newest(lambda s: s.bannered and not s.checked and s.exit_code is None, open_)
                    or self.pc_start(open_))
        if who == "library":
            return (self.newest(lambda s: not s.bannered, open_) or self.newest(lambda s: s.mode_pending, open_)
                    or self.newest(lambda s: True, open_) or self.new_start())
        if who in ("phone", "copy_end"):
            start = self.newest(lambda s: s.kind == "phone" and s.copying, open_) or \
                self.newest(lambda s: s.kind == "phone", open_) or self.new_start("phone")
            start.checked = True
            return start
        if who == "copying":
            copier = self.newest(lambda s: s.kind == "phone" and s.copying and not s.relaunch_pending
                                 and not any(l.name == "relaunch" for l in s.lines), open_)
            return copier or self.pc_start(open_)
        if who == "pc":
            return self.pc_start(open_)
        if who == "exit":
            able = [s for s in open_ if s.exit_code is None and not (s.copying and not s.copy_ended)]
            return self.newest(lambda s: s.copy_ended, able) or self.newest(lambda s: True, able) or \
                self.newest(lambda s: True, open_) or self.new_start()
        if who == "mode":
            exiting = [s for s in open_ if s.exit_code is not None]
            return next((s for s in exiting if s.mode_pending), None) or \
                next((s for s in exiting if s.exit_code == 1), None) or \
                self.newest(lambda s: True, open_) or self.new_start()
        if who == "exit_end":
            exiting = [s for s in open_ if s.exit_code is not None]
            return next((s for s in exiting if not s.mode_pending), None) or \
                next(iter(exiting), None) or self.newest(lambda s: True, open_) or self.new_start()
        if who == "message":
            return self.message_owner(line, open_)
        if who == "cause":
            return self.cause_owner(line, open_)
        return self.newest(lambda s: True, open_) or (self.starts[-1] if self.starts else self.new_start())

    def pc_start(self, open_):
        # A PC start writes a few lines after its exit too (its worker's last words).
        start = self.newest(lambda s: s.kind == "pc", open_) or \
            self.newest(lambda s: s.kind == "pc" and s.plug_in == self.plug_ins) or self.new_start("pc")
        start.checked = start.checked or start.bannered
        return start

    def message_owner(self, line, open_):
        code, text = line.fields.get("code"), line.fields["text"]
        if code in ("[000]", "[001]", "[002]", "[004]") or text.startswith("Failed to copy installation package"):
            return self.newest(lambda s: s.kind == "phone" and s.copying, open_) or self.owner_of_kind("phone", open_)
        if text.startswith("Automatic USB mode change"):
            return self.newest(lambda s: s.exit_code == 1, open_) or self.newest(lambda s: True, open_)
        if text.startswith("[NOTIFICATION]"):
            return self.newest(lambda s: not s.bannered, open_) or self.newest(lambda s: True, open_)
        if "already running" in text:
            return self.newest(lambda s: s.bannered and not s.checked, open_) or self.newest(lambda s: True, open_)
        return self.pc_start(open_)

    def owner_of_kind(self, kind, open_):
        return self.newest(lambda s: s.kind == kind, open_) or self.new_start(kind)

    def cause_owner(self, line, open_):
        if line.fields["op"] == COPY_OPERATION:
            return self.newest(lambda s: s.kind == "phone" and s.copying, open_) or self.owner_of_kind("phone", open_)
        # The start that wrote the failure the cause explains: the latest line of its operation.
        operation = "[" + line.fields["op"] + "]"
        for start in reversed(self.starts):
            if start.lines and any(l.text.startswith(operation) for l in start.lines[-6:]):
                return start
        return self.pc_start(open_)

    def assign(self, lines):
        for line in lines:
            start = self.owner(line)
            start.take(line)
            self.advance(start, line)
        return self.starts

    @staticmethod
    def advance(start, line):
        name = line.name
        if name == "copy_start":
            start.copying = True
        elif name == "relaunch":
            start.relaunch_pending = True
        elif name in ("relaunch_no_program", "relaunch_redirection", "relaunch_failed", "copy_not_phones"):
            start.relaunch_pending = False
        elif name == "copy_end":
            start.copy_ended = True
        elif name == "exit_start":
            start.exit_code = int(line.fields["code"])
            start.mode_pending = start.exit_code == 1
        elif name in ("mode_ok", "mode_failed"):
            start.mode_pending = False
        elif name == "exit_end":
            start.ended = True
            start.relaunch_pending = start.relaunch_pending and start.kind == "phone"


def assign(lines):
    """The starts of `lines`, in the order they began, each with its own lines."""
    return Assigner().assign(lines)
