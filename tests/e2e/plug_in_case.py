"""What every end-to-end scenario shares: a Wine prefix and X display for the test class, a clean
PC between scenarios (no package copy, no PC tool, no driver, no trace log, logging switched on),
and helpers that plug a phone in and read what the program left behind. The trace log of each
scenario is kept under QV_E2E_WORK/traces, and read by tools/trace_report, which must find the verdict
tests/e2e/trace_verdicts.py expects; screenshots go under QV_E2E_WORK/screenshots."""
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "trace_report"))
import check_traces  # noqa: E402
import trace_lines  # noqa: E402
import harness  # noqa: E402
from control_ids import BOOTSTRAP as IDS, IDOK  # noqa: E402,F401 (IDOK re-exported)
from phone_image import MODEL_NAME, build_output  # noqa: E402

PROGRAM = "PX_Bootstrap.exe"
FACTORY_KEY = r"HKLM\SOFTWARE\QV Electronics\ForceDiag"
UNISON_FOLDER = ("QV Electronics", "QV Unison Mobile Driver")
CBW_UNISON_FOLDER = ("QV Electronics", "QV CBW Unison Drivers")
TOOL_ARGUMENTS = f"-pxpc;E;T;{MODEL_NAME};"


COPY_STARTED = "Start : [CInitDlg dlg.DoModal()]"
COPY_ENDED = "End : [CInitDlg dlg.DoModal()]"
TIMER_TICK = re.compile(trace_lines.TIMER_TICK)


def phone_start_closings(trace):
    """The closing lines of each phone start that ran its copy, found in order after its end of
    the copy dialog: the exit's START, with a mode change its START, the export's line and the
    result, then (a failed change) the exit's failure line, then the exit's END. A PC start that
    the copy relaunched writes to the same file meanwhile, so other lines may come between; a
    phone start whose closing lines are not all there is left out."""
    lines = trace.splitlines()
    closings = []
    for at, line in enumerate(lines):
        if line != COPY_ENDED:
            continue
        found, rest = [line], iter(lines[at + 1:])
        wanted = [lambda l: l.startswith("[ExitProgram()] START[")]
        while wanted:
            line = next((l for l in rest if wanted[0](l)), None)
            if line is None:
                break
            found.append(line)
            wanted.pop(0)
            if line == "[ExitProgram()] START[1]...":
                wanted += [lambda l: l.startswith("[ModeChange()] START"),
                           lambda l: l.startswith("[ModeChange()] ") and "..(Drive : " in l,
                           lambda l: l.startswith("[ModeChange()] Mode change ")]
            elif line.startswith("[ModeChange()] Mode change failed"):
                wanted.append(lambda l: l.startswith("[ExitProgram()] Mode Change Failed"))
            if not wanted and not line.startswith("[ExitProgram()] END"):
                wanted.append(lambda l: l.startswith("[ExitProgram()] END"))
        else:
            closings.append(found)
    return closings


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class RigTestCase(unittest.TestCase):
    """A display and a Wine prefix for the test class, in QV_E2E_WORK, and the class's fake server
    (``SERVER``: a server class taking its folder, started for the class) when it names one."""

    SERVER = None

    @classmethod
    def setUpClass(cls):
        cls.work = os.path.abspath(os.environ.get("QV_E2E_WORK", os.path.join(tempfile.gettempdir(), "qv-e2e")))
        cls.shots = os.path.join(cls.work, "screenshots")
        os.makedirs(cls.shots, exist_ok=True)
        cls.display = harness.Display().start()
        cls.rig = harness.WineRig(os.path.join(cls.work, "rig"), cls.display).start()
        cls.server = cls.SERVER(os.path.join(cls.work, "server")).start() if cls.SERVER else None

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.stop()
        cls.rig.stop()
        cls.display.stop()

    def users_folder(self, name, data):
        """A folder of another user's (``elsewhere`` in the work folder) holding one file: what a
        link planted on the programs' way would lead to."""
        elsewhere = os.path.join(self.work, "elsewhere")
        shutil.rmtree(elsewhere, ignore_errors=True)
        os.makedirs(elsewhere)
        with open(os.path.join(elsewhere, name), "wb") as f:
            f.write(data)
        return elsewhere

    def assert_users_folder_untouched(self, elsewhere, name, data):
        """Nothing was written, added or deleted behind the link."""
        self.assertEqual(os.listdir(elsewhere), [name])
        self.assertEqual(read_bytes(os.path.join(elsewhere, name)), data)


class PlugInTestCase(RigTestCase):

    def setUp(self):
        rig = self.rig
        self.started = None  # the program this case started last
        self.templates = rig.templates_dir
        self.package = os.path.join(self.templates, "PXPC")
        self.tool_log = os.path.join(self.work, "tool.log")
        self.setup_log = os.path.join(self.work, "driver_setup.log")
        self.setup_release = os.path.join(self.work, "driver_setup.release")
        rig.reset(paths=[os.path.join(self.templates, name) for name in ("E", "F", "PXPC", "serverconfig.ini")] +
                  [os.path.join(rig.program_files_dir, UNISON_FOLDER[0]), self.tool_log, self.setup_log,
                   self.setup_release] +
                  [os.path.join(self.templates, f) for f in os.listdir(self.templates)
                   if f.startswith("PX_Bootstrap_Log") or f.startswith("PXPC.update-")],
                  reg_keys=[FACTORY_KEY])
        with open(os.path.join(self.templates, "AutoRun_Log.ini"), "w", newline="\r\n") as f:
            f.write("[LOG]\nenablelogging=1\n")

    def tearDown(self):
        if os.path.exists(self.trace_path):
            os.makedirs(os.path.join(self.work, "traces"), exist_ok=True)
            name = self.id().rsplit(".", 1)[-1]
            kept = os.path.join(self.work, "traces", name + ".txt")
            shutil.copy(self.trace_path, kept)
            # The log reader must read the scenario's outcome from it (tests/e2e/trace_verdicts.py).
            found = check_traces.problem(name, kept)
            if found:
                self.fail("trace_report: " + found)

    # -- helpers ------------------------------------------------------------------------------

    def plug_in(self, phone, args=(), **env):
        """Maps the phone's image as its CD-ROM drive and starts the program from it, as autorun does."""
        self.rig.map_drive(phone.image, phone.letter.lower())
        return self.start_again(phone, args, **env)

    def start_again(self, phone, args=(), log_name=None, **env):
        """Starts the program from the phone's drive, already mapped (mapping a drive of a new type
        restarts Wine, which ends every program)."""
        variables = {"QV_STUB_LOG": harness.to_windows(self.tool_log),
                     "QV_DRIVER_SETUP_LOG": harness.to_windows(self.setup_log), **phone.env(), **env}
        self.started = self.rig.run(f"{phone.letter}:\\{PROGRAM}", args, env=variables, log_name=log_name)
        return self.started

    def start_over(self, *paths):
        """Between the cases of one scenario: every program ends; the trace log and ``paths`` go."""
        self.rig.reset(paths=[self.trace_path, *paths])

    def wait_until_done(self, timeout=60):
        # The program started last first: until Wine has made its process, the process list
        # would show nothing to wait for. Then the copies and the tool it started in turn (the
        # tool's record is written when it has run).
        if self.started is not None:
            self.started.wait(timeout)
        self.assertTrue(self.rig.wait_all_exited([PROGRAM, "PXPC.exe"], timeout), "the program did not end")
        self.assert_phone_starts_closed()

    def assert_phone_starts_closed(self):
        """Every phone start that ran its copy wrote its closing lines, in order: the end of the
        copy dialog, then its exit, with the mode change when no copy was relaunched."""
        if not os.path.exists(self.trace_path):
            return
        trace = self.trace()
        started = trace.count(COPY_STARTED)
        self.assertEqual(len(phone_start_closings(trace)), started,
                         "a phone start lost its closing lines:\n" + trace)

    def assert_phone_start_closed(self, relaunched, mode_export=None):
        """The one phone start of this trace closed as given: relaunched (its exit switches
        nothing), or not, with the mode change through `mode_export`."""
        closings = phone_start_closings(self.trace())
        self.assertEqual(len(closings), 1, "not exactly one phone start closed")
        if relaunched:
            self.assertEqual(closings[0], [COPY_ENDED, "[ExitProgram()] START[0]...", "[ExitProgram()] END..."])
        else:
            self.assertEqual(closings[0], [COPY_ENDED, "[ExitProgram()] START[1]...",
                                           "[ModeChange()] START.......................",
                                           f"[ModeChange()] {mode_export}..(Drive : E)...............",
                                           "[ModeChange()] Mode change success.......................",
                                           "[ExitProgram()] END..."])

    def install_tool(self):
        os.makedirs(self.package, exist_ok=True)
        shutil.copy(build_output("stub_tool"), os.path.join(self.package, "PXPC.exe"))

    def install_driver(self, installer="driver_setup.exe"):
        """A driver installed on an earlier day, by running its setup program."""
        setup = self.rig.run(os.path.join(build_output("drivers"), installer), log_name="earlier-driver-setup",
                             env={"QV_DRIVER_SETUP_LOG": harness.to_windows(os.path.join(self.work, "earlier.log"))})
        self.assertEqual(setup.wait(60), 0)

    @property
    def trace_path(self):
        return os.path.join(self.templates, "PX_Bootstrap_Log(0000).txt")

    def accept_with_setup_held(self, phone):
        """With the tool installed, plugs in and accepts the licence; returns once the phone's
        driver setup has started, which then waits until ``release_setup``."""
        self.install_tool()
        self.licence_page(phone, QV_DRIVER_SETUP_HOLD=harness.to_windows(self.setup_release))
        self.accept_licence()
        self.assertTrue(harness.wait_for(lambda: self.lines_of(self.setup_log) == [""], timeout=30),
                        "the driver setup did not start")

    def release_setup(self):
        open(self.setup_release, "w").close()

    def trace(self):
        with open(self.trace_path, encoding="cp1252") as f:
            return f.read()

    def expect_message(self, text, timeout=60, cause=None, traced=True):
        """Waits for the program's message box, checks its text, presses OK and waits for the end.
        The trace log names the box's text (with its code first) before it showed, and, when
        ``cause`` (a pattern) is given, the next line tells the cause of the failure it reports. A
        box of a start that never got to its dialog (``traced`` False) reaches the debugger only."""
        box = self.rig.ui.wait_message_box(MODEL_NAME, timeout=timeout)
        self.assertEqual(box and box["text"], text)
        self.assertTrue(self.rig.ui.answer(MODEL_NAME, IDOK))
        self.wait_until_done()
        if traced:
            code = re.search(r"\[\d{3}\]", text)
            line = "[MessageBox] " + (code.group() + " " if code else "") + text.replace("\n", "\\n")
            self.assert_lines_follow(re.escape(line), *([cause] if cause else []))

    def assert_lines_follow(self, *patterns):
        """Lines of the trace log, one after the other (the empty line after each entry aside), that
        match the patterns in turn, each whole; returns the first line's matches. The window's
        timer ticks, which its thread traces whenever they come, may stand between the worker's
        lines and are passed over."""
        lines = [line for line in self.trace().splitlines() if line and not TIMER_TICK.match(line)]
        for at in range(len(lines) - len(patterns) + 1):
            found = [re.fullmatch(p, lines[at + i]) for i, p in enumerate(patterns)]
            if all(found):
                return found[0]
        self.fail("no lines in a row match " + " / ".join(patterns) + " in:\n" + "\n".join(lines))

    def assert_shown(self, controls, *ids):
        self.assertEqual([i for i in ids if not controls[i]["visible"]], [], "hidden, though they should show")

    def assert_hidden(self, controls, *ids):
        self.assertEqual([i for i in ids if controls[i]["visible"]], [], "showing, though they should be hidden")

    def yes_enabled(self):
        """Whether Yes is enabled; False once the dialog is gone."""
        return bool((self.rig.ui.state(MODEL_NAME, IDS.IDC_BUTTON_YES) or {}).get("enabled"))

    def lines_of(self, path):
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()

    def licence_page(self, phone, **env):
        """Plugs in a phone with something to install, which stops at the licence page."""
        self.plug_in(phone, **env)
        self.assertIsNotNone(self.rig.ui.wait_window(MODEL_NAME, timeout=30), "no licence page")
        return self.rig.ui.controls(MODEL_NAME)

    def accept_licence(self):
        self.rig.ui.click(MODEL_NAME, IDS.IDC_RADIO_ACCEPT)
        self.assertTrue(harness.wait_for(self.yes_enabled))
        self.rig.ui.click(MODEL_NAME, IDS.IDC_BUTTON_YES)

    def decline(self):
        """Presses No on the licence page and waits for the end."""
        self.assertTrue(self.rig.ui.click(MODEL_NAME, IDS.IDC_BUTTON_NO))
        self.wait_until_done()
