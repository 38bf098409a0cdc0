#!/usr/bin/env python3
"""How the program's pages and the library's dialogs look and behave at display scales of 96, 144
and 192 dpi, with the keyboard alone, and in a high-contrast colour scheme, under Wine on an X
screen large enough for 200 %. One prefix serves every scale (its LogPixels set before each
scale's programs start, and proven by a new process); each scale has one program run (licence
page, keys, progress page) and the library's dialogs through the agent caller. Each window is
photographed and its screenshot checked (tools/e2e/screen_check.py): no text cut at an edge of its
control, no text over a picture, the window inside its work area, pictures at the scale's size and
sharp, texts in the scheme's colours. Screenshots go to QV_E2E_WORK/screenshots; with
QV_E2E_SCREENSHOTS_TO set, those of 96 and 144 dpi and of the high-contrast scheme are also copied
there under the names docs/screenshots uses."""
import json
import os
import shutil
import unittest

from plug_in_case import IDS, PlugInTestCase, harness
from agent_server import AgentServer  # noqa: E402
from control_ids import SETUP  # noqa: E402
from phone_image import Phone, build_output  # noqa: E402
import screen_check  # noqa: E402
from test_agents_e2e import ALTERNATIVE_TITLE, CAB_ROUTE, HEADING, REMINDER, TITLE, AgentCalls  # noqa: E402

MODEL = "Corbel QV Phone Model X Forty Characters"  # 40 characters, with spaces: the caption
LICENCE_HINT = "Please read the following license agreement carefully."
NAVY = (18, 58, 94)  # the art's darkest ink: a picture shown sharp reaches it somewhere
TEXT_INK_TOLERANCE = 24  # smoothed text reaches its colour to within this somewhere
PROGRAM_PICTURES = (IDS.IDC_PICTURE_LEFT, IDS.IDC_PICTURE_RIGHT)
PROGRAM_ART = ((100, 35), (63, 35))  # the header pictures, left and right, at 100 %
LIBRARY_ART = ((111, 37), (87, 39))  # the library's pictures, left and right, at 100 %
INSTALL_NOW, CANCEL_CLOSE = SETUP.IDC_SETUP_INSTALL_NOW, SETUP.IDC_SETUP_CANCEL_CLOSE
LIBRARY_PROGRESS, LIBRARY_STATUS = SETUP.IDC_SETUP_PROGRESS, SETUP.IDC_SETUP_STATUS
LIBRARY_BODY, LIBRARY_HEADING = SETUP.IDC_SETUP_BODY, SETUP.IDC_SETUP_HEADING

# Every program these scenarios start: between scenarios they end, and the prefix's server stays.
PROGRAMS = ("PX_Bootstrap.exe", "PXPC.exe", "driver_setup.exe", "agent_caller.exe", "CBWNotiAgent.exe",
            "CBWUAAgent.exe", "QORClient_CBW.exe", "QORLauncher.exe")

# Screenshots of this suite under the names of docs/screenshots.
DOCS_NAMES = {
    "licence-96.png": "licence-100.png", "licence-144.png": "licence-150.png",
    "progress-96.png": "progress-100.png", "progress-144.png": "progress-150.png",
    "agent-confirm-96.png": "agent-confirm-100.png", "agent-confirm-144.png": "agent-confirm-150.png",
    "agent-progress-96.png": "agent-progress-100.png", "agent-progress-144.png": "agent-progress-150.png",
    "licence-high-contrast.png": "licence-high-contrast.png",
    "agent-confirm-high-contrast.png": "agent-confirm-high-contrast.png",
}

# What the 96 dpi runs drew, for the comparison of the other scales' runs: the question's ink
# height, and the ink extent of each picture by (window kind, picture index).
QUESTION_INK = {}
PICTURE_INK = {}


def scaled(pixels, dpi):
    """A length of the 100 % layout at ``dpi``, rounded to the nearest pixel (halves up)."""
    return (pixels * dpi + 48) // 96


def rect_of(control):
    """(x, y, width, height) of a control in its dialog's client area."""
    rect = control["rect"]
    return (rect["left"], rect["top"], rect["width"], rect["height"])


def by_id(window):
    return {c["id"]: c for c in window["controls"]}


def label_of(controls, control_id):
    """The text a screen reader takes as the name of a control that has none of its own: that
    of the static text directly before it in the dialog's window order (None when the window
    before it is no showing static text)."""
    order = [c["id"] for c in controls]
    at = order.index(control_id)
    before = controls[at - 1] if at > 0 else None
    if before is None or before["class"].lower() != "static" or not before["showing"] or not before["text"]:
        return None
    return before["text"]


def colour(text):
    """"#rrggbb" (as the UI driver reports colours) as an (r, g, b) tuple."""
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


_shared = {}


def setUpModule():
    work = os.path.abspath(os.environ.get("QV_E2E_WORK", os.path.join("/tmp", "qv-e2e-display")))
    os.makedirs(os.path.join(work, "screenshots"), exist_ok=True)
    _shared["work"] = work
    _shared["display"] = harness.Display(geometry=harness.SCREEN_FOR_200_PERCENT).start()
    _shared["rig"] = harness.WineRig(os.path.join(work, "rig"), _shared["display"], programs=PROGRAMS).start()


def tearDownModule():
    rig = _shared.pop("rig", None)
    if rig is not None:
        rig.set_scale(96, restart=False)
        rig.stop()
    display = _shared.pop("display", None)
    if display is not None:
        display.stop()
    target = os.environ.get("QV_E2E_SCREENSHOTS_TO")
    if target and "work" in _shared:
        copy_for_docs(os.path.join(_shared["work"], "screenshots"), target)


def copy_for_docs(shots, target):
    """Copies this suite's screenshots of 96 and 144 dpi and of the high-contrast scheme from
    ``shots`` to ``target`` under the names docs/screenshots uses; returns the names copied."""
    os.makedirs(target, exist_ok=True)
    copied = []
    for made, name in DOCS_NAMES.items():
        if os.path.exists(os.path.join(shots, made)):
            shutil.copy(os.path.join(shots, made), os.path.join(target, name))
            copied.append(name)
    return copied


class DisplayCase(PlugInTestCase):
    """The module's rig at the scale ``DPI`` (and with ``COLOURS``, a scheme of system colours, for
    the programs of the class), and the helpers that photograph and check windows."""

    DPI = 96
    COLOURS = None

    @classmethod
    def setUpClass(cls):
        cls.work, cls.display, cls.rig = _shared["work"], _shared["display"], _shared["rig"]
        cls.shots = os.path.join(cls.work, "screenshots")
        cls.earlier_colours = cls.rig.set_colours(cls.COLOURS) if cls.COLOURS else None

    @classmethod
    def tearDownClass(cls):
        if cls.earlier_colours is not None:
            cls.rig.restore_colours(cls.earlier_colours)

    def setUp(self):
        super().setUp()
        # Every process started from here on gets the class's scale and colours: a new process
        # of the UI driver proves it.
        settings = self.rig.set_scale(self.DPI)
        self.assertEqual((settings["logpixels"], settings["window_dpi"]), (self.DPI, self.DPI),
                         "the prefix does not give new processes the scale")
        self.scheme = {name: colour(value) for name, value in settings["colours"].items()}
        if self.COLOURS:
            self.assertEqual((self.scheme["window"], self.scheme["window_text"]),
                             (harness.scheme_colour(self.COLOURS["Window"]),
                              harness.scheme_colour(self.COLOURS["WindowText"])))

    def tearDown(self):
        # The trace log is kept for a look, not judged: these scenarios judge the windows.
        if os.path.exists(self.trace_path):
            os.makedirs(os.path.join(self.work, "traces"), exist_ok=True)
            shutil.copy(self.trace_path, os.path.join(self.work, "traces", self.id().rsplit(".", 1)[-1] + ".txt"))

    # -- windows and screenshots ----------------------------------------------------------------

    def photograph(self, name, title, picture_ids=(), timeout=10):
        """The window's screenshot (saved as ``name``) as a screen_check Image, with the dialog
        as the UI driver read it just before. A window that has just opened may not have painted
        yet: it is photographed again until every text shows, for up to ``timeout`` seconds (then
        the last picture is the one judged)."""
        shot = {}

        def painted():
            shot["window"] = window = self.rig.ui.dialog(title)
            self.assertIsNotNone(window, f"no window {title!r} to photograph")
            shot["path"] = self.rig.screenshot(os.path.join(self.shots, name), window["rect"])
            shot["image"] = image = screen_check.load(shot["path"])
            return not screen_check.invisible_texts(image, window["rect"], window["controls"], picture_ids)
        harness.wait_for(painted, timeout, 0.3)
        image, window, path = shot["image"], shot["window"], shot["path"]
        with open(path[:-len(".png")] + ".json", "w", encoding="utf-8") as f:
            json.dump(window, f, indent=1)  # the geometry the checks used, for a look at a failure
        return image, window

    def assert_well_drawn(self, image, window, picture_ids=()):
        """Nothing cut, nothing over a picture, the window inside its work area, every text
        visible on its background."""
        controls, title = window["controls"], window["title"]
        with self.subTest("texts whole", window=title):
            self.assertEqual(screen_check.clipped_texts(image, window["rect"], controls, picture_ids), [])
        with self.subTest("no text over a picture", window=title):
            self.assertEqual(screen_check.texts_over_pictures(controls, picture_ids), [])
        with self.subTest("inside the work area", window=title):
            self.assertEqual(screen_check.outside_work_area(window), [])
        with self.subTest("texts visible", window=title):
            self.assertEqual(screen_check.invisible_texts(image, window["rect"], controls, picture_ids), [])

    def assert_pictures_sharp(self, image, window, pictures, art_sizes, kind):
        """Each picture drawn at its art's 100 % size times the scale: its control holds that size,
        what it shows is no larger and (against the 96 dpi run's) grown by the scale, and the art's
        darkest ink is there in full somewhere, which a blurred stretch of smaller art does not
        reach. ``kind`` names the pictures' window for the comparison across scales."""
        for index, (picture, (width, height)) in enumerate(zip(pictures, art_sizes)):
            with self.subTest("picture at the scale, sharp", picture=index, art=(width, height)):
                expected = (scaled(width, self.DPI), scaled(height, self.DPI))
                box = (picture["screen"]["width"], picture["screen"]["height"])
                self.assertTrue(box[0] >= expected[0] - 1 and box[1] >= expected[1] - 1,
                                f"control {box} smaller than the art at this scale {expected}")
                rect = screen_check.image_rect(picture, window["rect"])
                extent = screen_check.ink_extent(image, rect, screen_check.background(image, rect))
                self.assertIsNotNone(extent, "the picture shows nothing")
                drawn = (extent[2] - extent[0], extent[3] - extent[1])
                self.assertTrue(drawn[0] <= expected[0] + 1 and drawn[1] <= expected[1] + 1,
                                f"drawn {drawn}, larger than the art at this scale {expected}")
                record = PICTURE_INK.setdefault((kind, index), {})
                if self.DPI == 96 and not self.COLOURS:
                    record.setdefault(96, drawn)
                elif self.DPI != 96 and 96 in record:
                    at_96 = record[96]
                    grown = (drawn[0] / at_96[0], drawn[1] / at_96[1])
                    self.assertTrue(all(abs(g - self.DPI / 96) <= 0.1 * self.DPI / 96 for g in grown),
                                    f"drawn {drawn}, at 96 dpi {at_96}")
                self.assertTrue(screen_check.reaches(image, rect, NAVY), "the art's navy ink is not reached")

    def assert_texts_in(self, image, window, ids, text_colour):
        """The texts of the controls ``ids`` reach ``text_colour`` (smoothing aside)."""
        controls = by_id(window)
        for control_id in ids:
            rect = screen_check.image_rect(controls[control_id], window["rect"])
            self.assertTrue(screen_check.reaches(image, rect, text_colour, TEXT_INK_TOLERANCE),
                            f"control {control_id} has no text in {text_colour}")

    def key(self, title, name):
        """Presses one key as the user does; the focus once it was handled (its id None when the
        window is gone)."""
        focus = self.rig.ui.key(title, name)
        self.assertIsNotNone(focus, f"key {name} not delivered to {title!r}")
        return focus

    def focus_id(self, title):
        focus = self.rig.ui.focus(title)
        return focus["id"] if focus else None

    def assert_named(self, window, control_id, name):
        """A screen reader names the control ``name``: its label (the static text directly before
        it) is that text, and where the system's accessible object has a name, it is that too."""
        self.assertEqual(label_of(window["controls"], control_id), name, f"the label of control {control_id}")
        accessible = self.rig.ui.accessible(window["title"], control_id)
        if accessible and accessible["ok"] and accessible["name"] is not None:
            self.assertEqual(accessible["name"], name)


class ProgramCase(DisplayCase):
    """A plug-in that stops at the licence page, and the checks of the program's pages."""

    def licence_page_shown(self):
        phone = Phone(os.path.join(self.work, "phone-e"), selected_mode=1, preload="driver_setup.exe",
                      config={"PXPACKAGE": {"model_name": MODEL}})
        self.install_tool()
        hold = {"QV_DRIVER_SETUP_HOLD": harness.to_windows(self.setup_release)}
        if self.rig.drives().get("e") == os.path.realpath(phone.image):
            self.start_again(phone, **hold)  # mapped by an earlier run: the server knows the drive
        else:
            self.plug_in(phone, **hold)
        self.assertIsNotNone(self.rig.ui.wait_window(MODEL, timeout=30), "no licence page")
        return phone

    def assert_licence_layout(self, window, dpi):
        """The licence page as laid out for ``dpi``: the window and each control's place in the
        client area, every pixel number of the 100 % layout scaled (a window shortened to fit its
        work area has a shorter licence text box, and nothing else differs)."""
        s = lambda pixels: scaled(pixels, dpi)  # noqa: E731
        size = (window["rect"]["width"], window["rect"]["height"])
        shortened = s(410) - size[1]
        self.assertEqual(size[0], s(420), "window width")
        self.assertGreaterEqual(shortened, 0, "window height")
        if shortened:
            self.assertEqual(size[1], window["monitor"]["work"]["height"], "shortened, but not to its work area")
        W, H = window["client"]["width"], window["client"]["height"]  # noqa: N806
        controls = by_id(window)
        expected = {
            IDS.IDC_STATIC_HEADER: (0, 0, W, s(45)),
            IDS.IDC_STATIC_QUESTION: (s(20), s(50), W - s(40), s(40)),
            IDS.IDC_EDIT_LICENSE: (s(20), s(136), W - s(40), s(150) - shortened),
            IDS.IDC_BUTTON_YES: (s(20), H - s(40), s(100), s(25)),
            IDS.IDC_BUTTON_NO: (W - s(120), H - s(40), s(100), s(25)),
        }
        self.assertEqual({i: rect_of(controls[i]) for i in expected}, expected)
        self.assertEqual(rect_of(controls[IDS.IDC_PICTURE_LEFT])[:2], (s(20), s(5)))

    def assert_header_band(self, image, window):
        """The header band behind the pictures in the scheme's window colour."""
        controls = by_id(window)
        band = screen_check.image_rect(controls[IDS.IDC_STATIC_HEADER], window["rect"])
        holes = [screen_check.image_rect(controls[i], window["rect"]) for i in PROGRAM_PICTURES]
        self.assertEqual(screen_check.background(image, band, excluding=holes), self.scheme["window"])

    def assert_licence_names(self, window):
        self.assert_named(window, IDS.IDC_EDIT_LICENSE, LICENCE_HINT)
        controls = by_id(window)
        for radio in (IDS.IDC_RADIO_ACCEPT, IDS.IDC_RADIO_DECLINE):
            self.assertEqual(self.rig.ui.accessible(MODEL, radio)["name"], controls[radio]["text"])

    def question_ink(self, image, window):
        question = by_id(window)[IDS.IDC_STATIC_QUESTION]
        return screen_check.ink_height(image, screen_check.image_rect(question, window["rect"]))


class ProgramPages(ProgramCase):
    """The program's licence and progress pages at the class's scale: one plug-in."""

    def test_licence_page_keys_and_progress_page(self):
        ui = self.rig.ui
        self.licence_page_shown()
        image, window = self.photograph(f"licence-{self.DPI}.png", MODEL, PROGRAM_PICTURES)
        with self.subTest("layout"):
            self.assertEqual(window["dpi"], self.DPI)
            self.assert_licence_layout(window, self.DPI)
        self.assert_well_drawn(image, window, PROGRAM_PICTURES)
        controls = by_id(window)
        self.assert_pictures_sharp(image, window, [controls[i] for i in PROGRAM_PICTURES], PROGRAM_ART, "program")
        with self.subTest("colours"):
            self.assert_header_band(image, window)
        QUESTION_INK[self.DPI] = self.question_ink(image, window)
        if self.DPI != 96:
            with self.subTest("fonts at the scale"):
                if 96 not in QUESTION_INK:
                    self.skipTest("compared with the question of the 96 dpi run, which did not run")
                self.assertAlmostEqual(QUESTION_INK[self.DPI] / QUESTION_INK[96], self.DPI / 96,
                                       delta=0.15 * self.DPI / 96, msg=f"question ink heights {QUESTION_INK}")
        with self.subTest("accessible names"):
            self.assert_licence_names(window)
        with self.subTest("initial focus"):
            self.assertEqual(self.focus_id(MODEL), IDS.IDC_EDIT_LICENSE)
        if self.DPI == 96:
            self.check_dpi_change(window)

        if not self.licence_by_keys():  # the progress page is looked at all the same
            ui.click(MODEL, IDS.IDC_BUTTON_YES)
        self.assertTrue(harness.wait_for(lambda: (ui.state(MODEL, IDS.IDC_BUTTON_CANCEL) or {}).get("visible"), 5),
                        "no progress page")
        self.assertTrue(harness.wait_for(lambda: self.lines_of(self.setup_log) == [""], timeout=30),
                        "the driver setup did not start")
        image, window = self.photograph(f"progress-{self.DPI}.png", MODEL, PROGRAM_PICTURES)
        with self.subTest("progress page layout"):
            s = lambda pixels: scaled(pixels, self.DPI)  # noqa: E731
            W, H = window["client"]["width"], window["client"]["height"]  # noqa: N806
            self.assertEqual((window["rect"]["width"], window["rect"]["height"]), (s(420), s(180)))
            self.assertEqual(rect_of(by_id(window)[IDS.IDC_BUTTON_CANCEL]), (W - s(120), H - s(40), s(100), s(25)))
        self.assert_well_drawn(image, window, PROGRAM_PICTURES)
        with self.subTest("accessible names"):
            self.assertEqual(by_id(window)[IDS.IDC_STATIC_STATUS]["text"], "Installing...")
            self.assert_named(window, IDS.IDC_PROGRESS, "Installing...")
        self.release_setup()
        self.wait_until_done()

    TAB_ORDER = (IDS.IDC_RADIO_ACCEPT, IDS.IDC_RADIO_DECLINE, IDS.IDC_BUTTON_YES, IDS.IDC_BUTTON_NO,
                 IDS.IDC_EDIT_LICENSE)  # from the licence text, once Yes is enabled

    def tab_to(self, control_id):
        """Presses Tab until ``control_id`` has the focus (at most one round); whether it got it."""
        for _ in range(len(self.TAB_ORDER) + 1):
            if self.focus_id(MODEL) == control_id:
                return True
            self.key(MODEL, "tab")
        return self.focus_id(MODEL) == control_id

    def yes_enabled(self):
        """Whether Yes of this suite's window (its long model name) is enabled."""
        return bool((self.rig.ui.state(MODEL, IDS.IDC_BUTTON_YES) or {}).get("enabled"))

    def licence_by_keys(self):
        """The licence accepted and Yes pressed with the keyboard alone, each step checked on its
        own (a step that fails is done by a click, so the later ones are still looked at); True
        once the progress page shows."""
        ui = self.rig.ui
        with self.subTest("keyboard: Tab from the licence text"):
            self.assertEqual(self.key(MODEL, "tab")["id"], IDS.IDC_RADIO_ACCEPT)
        with self.subTest("keyboard: Space accepts"):
            self.assertTrue(self.tab_to(IDS.IDC_RADIO_ACCEPT), "the accept button cannot be reached with Tab")
            self.key(MODEL, "space")
            self.assertEqual((ui.state(MODEL, IDS.IDC_RADIO_ACCEPT)["checked"],
                              ui.state(MODEL, IDS.IDC_RADIO_DECLINE)["checked"]), (1, 0))
            self.assertTrue(self.yes_enabled(), "Yes stays disabled after the licence was accepted")
        if not self.yes_enabled():
            ui.click(MODEL, IDS.IDC_RADIO_ACCEPT)
            harness.wait_for(self.yes_enabled, 3)
        with self.subTest("keyboard: Tab order"):
            self.assertTrue(self.tab_to(IDS.IDC_EDIT_LICENSE), "the licence text cannot be reached with Tab")
            visited = [self.key(MODEL, "tab")["id"] for _ in self.TAB_ORDER]
            self.assertEqual(visited, list(self.TAB_ORDER))
        with self.subTest("keyboard: Return and Escape on Yes do nothing"):  # the program's rule
            self.assertTrue(self.tab_to(IDS.IDC_BUTTON_YES), "Yes cannot be reached with Tab")
            for name in ("return", "escape"):
                self.assertEqual(self.key(MODEL, name)["id"], IDS.IDC_BUTTON_YES)
                self.assertTrue(ui.state(MODEL, IDS.IDC_EDIT_LICENSE)["visible"], f"{name} left the licence page")
        with self.subTest("keyboard: Space on Yes"):
            self.assertTrue(self.tab_to(IDS.IDC_BUTTON_YES), "Yes cannot be reached with Tab")
            self.key(MODEL, "space")
            self.assertTrue(harness.wait_for(lambda: (ui.state(MODEL, IDS.IDC_BUTTON_CANCEL) or {}).get("visible"), 5),
                            "Space on Yes did not start the progress page")
            # Cancel takes the focus; once the installation disables it, the bar does.
            def focus_follows_cancel():
                cancel = ui.state(MODEL, IDS.IDC_BUTTON_CANCEL) or {}
                expected = IDS.IDC_BUTTON_CANCEL if cancel.get("enabled") else IDS.IDC_PROGRESS
                return self.focus_id(MODEL) == expected
            self.assertTrue(harness.wait_for(focus_follows_cancel, 2), f"focus on {self.focus_id(MODEL)}")
            return True
        return False

    def check_dpi_change(self, window):
        """WM_DPICHANGED to 144 lays the page out as at 144 (fonts too), with the top-left kept and
        the focus where it was; back to 96 the same."""
        ui = self.rig.ui
        corner = (window["rect"]["left"], window["rect"]["top"])
        with self.subTest("dpi change to 144"):
            larger = ui.dpi_changed(MODEL, 144)
            self.assertEqual((larger["rect"]["left"], larger["rect"]["top"]), corner)
            self.assert_licence_layout(larger, 144)
            image, shown = self.photograph("licence-96-as-144.png", MODEL)
            ratio = self.question_ink(image, shown) / QUESTION_INK[96]
            self.assertAlmostEqual(ratio, 1.5, delta=0.2, msg="the question's ink height 144 : 96")
            self.assertEqual(self.focus_id(MODEL), IDS.IDC_EDIT_LICENSE, "the re-layout moved the focus")
        with self.subTest("dpi change back to 96"):
            back = ui.dpi_changed(MODEL, 96)
            self.assertEqual((back["rect"]["left"], back["rect"]["top"]), corner)
            self.assert_licence_layout(back, 96)


class LibraryCase(AgentCalls, DisplayCase):
    """The fake update server with the agents, the agent caller, and the checks of the library's
    dialogs."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server = AgentServer(os.path.join(cls.work, "server")).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.result_file = os.path.join(self.work, "call.json")
        self.agent_log = os.path.join(self.work, "agents.log")
        for path in (os.path.join(self.rig.program_data_dir, "QVMOBILEAX"), self.result_file):
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.exists(path):
                os.remove(path)
        self.unregister()
        self.server.reset()

    def photographed_dialog(self, title, name, heading):
        """The dialog, once shown, photographed as ``name`` and checked; (image, dialog)."""
        self.assertIsNotNone(self.rig.ui.wait_window(title, timeout=30), f"no dialog {title!r}")
        image, window = self.photograph(name, title)
        self.assert_library_drawn(image, window, heading)
        return image, window

    def assert_library_drawn(self, image, window, heading):
        """Well drawn, its two pictures sharp at the scale, the heading (when there is one) whole
        on one line, the background in the scheme's window colour and the texts in its text colour."""
        self.assert_well_drawn(image, window)
        shown = sorted(screen_check.pictures(window["controls"]), key=lambda p: p["screen"]["left"])
        self.assertEqual(len(shown), 2, "the dialog's two pictures")
        self.assert_pictures_sharp(image, window, shown, LIBRARY_ART, "library")
        controls = by_id(window)
        self.assertEqual(controls[LIBRARY_HEADING]["text"], heading)
        if heading:
            with self.subTest("heading on one line", window=window["title"]):
                rect = screen_check.image_rect(controls[LIBRARY_HEADING], window["rect"])
                self.assertEqual(screen_check.ink_lines(image, rect), 1)
        with self.subTest("colours", window=window["title"]):
            client = window["client_screen"]
            area = screen_check.image_rect({"screen": client}, window["rect"])
            holes = [screen_check.image_rect(p, window["rect"]) for p in shown]
            self.assertEqual(screen_check.background(image, area, excluding=holes), self.scheme["window"])
            texts = [c["id"] for c in screen_check.text_controls(window["controls"])]
            self.assert_texts_in(image, window, texts, self.scheme["window_text"])


class LibraryDialogs(LibraryCase):
    """The library's confirmation (and its reminder) and progress dialogs at the class's scale, with
    the normal and the alternative texts."""

    def test_confirmation_by_keys_and_progress_dialog(self):
        ui = self.rig.ui
        caller = self.start_call("CheckUTSetup")
        self.photographed_dialog(TITLE, f"agent-confirm-{self.DPI}.png", HEADING)
        with self.subTest("confirmation by keys"):
            self.assertEqual(self.focus_id(TITLE), INSTALL_NOW)
            self.assertEqual(self.key(TITLE, "tab")["id"], CANCEL_CLOSE)
            self.key(TITLE, "space")
            self.assertEqual((ui.state(TITLE, CANCEL_CLOSE)["text"], ui.state(TITLE, LIBRARY_BODY)["text"]),
                             ("Close", REMINDER))
            self.assertFalse(ui.state(TITLE, INSTALL_NOW)["visible"])
        if ui.state(TITLE, CANCEL_CLOSE)["text"] == "Cancel":
            ui.click(TITLE, CANCEL_CLOSE)
            harness.wait_for(lambda: ui.state(TITLE, CANCEL_CLOSE)["text"] == "Close", 10)
        self.photographed_dialog(TITLE, f"agent-reminder-{self.DPI}.png", HEADING)
        with self.subTest("reminder closed by keys"):
            self.key(TITLE, "space")
            self.assertTrue(ui.wait_gone(TITLE, timeout=5), "Space on Close did not end the dialog")
        if ui.wait_window(TITLE, timeout=0.1, visible=False) is not None:
            ui.click(TITLE, CANCEL_CLOSE)
        self.assertEqual(self.finish_call(caller), (1, ""))  # ended with Cancel: nothing installed

        # Return on "Install Now" starts the download, held to be photographed.
        self.server.route(CAB_ROUTE, file="agents/QOREUTProg.CAB", pause_after=40000, pause=60, release="cab")
        caller = self.start_call("CheckUTSetup")
        self.assertIsNotNone(ui.wait_window(TITLE, timeout=30), "no confirmation")
        with self.subTest("install by Return"):
            self.assertEqual(self.focus_id(TITLE), INSTALL_NOW)
            self.key(TITLE, "return")
            self.assertTrue(harness.wait_for(lambda: ui.state(TITLE, LIBRARY_PROGRESS) is not None, 20),
                            "Return on Install Now did not start the download")
        if ui.state(TITLE, LIBRARY_PROGRESS) is None:
            ui.click(TITLE, INSTALL_NOW)
        self.assertTrue(harness.wait_for(lambda: (ui.state(TITLE, LIBRARY_PROGRESS) or {}).get("pos", 0) >= 32768, 20),
                        "the download did not start")
        image, window = self.photographed_dialog(TITLE, f"agent-progress-{self.DPI}.png", HEADING)
        with self.subTest("accessible names"):
            self.assert_named(window, LIBRARY_PROGRESS, by_id(window)[LIBRARY_STATUS]["text"])
        self.server.release("cab")
        self.assertTrue(harness.wait_for(lambda: ui.state(TITLE, CANCEL_CLOSE)["text"] == "Close", 30))
        ui.click(TITLE, CANCEL_CLOSE)
        self.assertEqual(self.finish_call(caller), (1, "MSG_OK"))

    def test_alternative_texts(self):
        ui = self.rig.ui
        caller = self.start_call("CheckUASetup")
        self.photographed_dialog(ALTERNATIVE_TITLE, f"agent-confirm-alternative-{self.DPI}.png", "")
        ui.click(ALTERNATIVE_TITLE, INSTALL_NOW)
        self.assertTrue(harness.wait_for(
            lambda: (ui.state(ALTERNATIVE_TITLE, CANCEL_CLOSE) or {}).get("text") == "Close", 30))
        self.photographed_dialog(ALTERNATIVE_TITLE, f"agent-complete-alternative-{self.DPI}.png", "")
        ui.click(ALTERNATIVE_TITLE, CANCEL_CLOSE)
        self.assertEqual(self.finish_call(caller), (1, "MSG_OK"))


# One class per scale and window kind (Scale096Program, Scale096Library, Scale144Program, ...),
# named so that each scale's classes run together (the prefix's server restarts only when the
# scale changes) and 96 dpi first (the other scales' fonts and pictures are compared with its).
for _dpi in (96, 144, 192):
    for _kind, _base in (("Program", ProgramPages), ("Library", LibraryDialogs)):
        _name = f"Scale{_dpi:03d}{_kind}"
        globals()[_name] = type(_name, (_base,), {"DPI": _dpi, "__module__": __name__})


class Scale096HighContrastProgram(ProgramCase):
    """The licence page in a high-contrast scheme: the header band black, the texts white."""

    COLOURS = harness.HIGH_CONTRAST_COLOURS

    def test_licence_page_in_the_schemes_colours(self):
        self.licence_page_shown()
        image, window = self.photograph("licence-high-contrast.png", MODEL, PROGRAM_PICTURES)
        self.assert_well_drawn(image, window, PROGRAM_PICTURES)
        self.assert_header_band(image, window)
        texts = [c["id"] for c in screen_check.text_controls(window["controls"], PROGRAM_PICTURES)]
        self.assert_texts_in(image, window, texts, self.scheme["window_text"])
        self.assertTrue(self.rig.ui.click(MODEL, IDS.IDC_BUTTON_NO))
        self.wait_until_done()


class Scale096HighContrastLibrary(LibraryCase):
    """The library's confirmation in a high-contrast scheme: its background black, its texts white."""

    COLOURS = harness.HIGH_CONTRAST_COLOURS

    def test_confirmation_in_the_schemes_colours(self):
        caller = self.start_call("CheckUTSetup")
        self.photographed_dialog(TITLE, "agent-confirm-high-contrast.png", HEADING)
        self.rig.ui.click(TITLE, CANCEL_CLOSE)
        harness.wait_for(lambda: self.rig.ui.state(TITLE, CANCEL_CLOSE)["text"] == "Close", 10)
        self.rig.ui.click(TITLE, CANCEL_CLOSE)
        self.assertEqual(self.finish_call(caller), (1, ""))


del ProgramPages, LibraryDialogs, _dpi, _kind, _base, _name  # the scales' classes run them

if __name__ == "__main__":
    unittest.main()
