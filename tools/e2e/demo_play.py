"""One phone plugged in for the demo: the PC made clean, the scenario's changes, the program started
from the phone's drive as autorun starts it, its windows answered as a user would (the licence
accepted, every message box photographed and answered), a screenshot of each page, and what the run
left behind: the trace log, the PC tool's starts, the package on the PC and the server's log."""
import os
import shutil
import time

import harness
from control_ids import BOOTSTRAP as IDS, IDOK
from demo_scenarios import Outcome
from phone_image import Phone

PROGRAM = "PX_Bootstrap.exe"
# How long the demo watches the program at most, from its start.
PLAY_LIMIT = 180


class Run:
    """What one play left: the steps seen (sentences), the outcome, the trace log's text and its kept copy."""

    def __init__(self, shots, phone):
        self.shots, self.phone = shots, phone
        self.steps, self.trace, self.kept_trace, self.scenario_text = [], "", None, None
        self.downloads, self.reports, self.outcome = [], [], None


class WindowWatch:
    """Answers the program's windows while it runs; one ``step()`` looks once at what is shown."""

    def __init__(self, play, scenario, caption, run, setup_release):
        self.play, self.scenario, self.caption, self.run = play, scenario, caption, run
        self.setup_release = setup_release
        self.accepted = self.installing_shot = False
        self.download_shot_at = self.later_shot = None
        self.messages, self.positions = [], []  # the progress bar's position at each download screenshot

    def capture(self, name, text, title=None, **filters):
        shot = os.path.join(self.run.shots, name)
        try:
            self.play.rig.screenshot_window(shot, title or self.caption, **filters)
        except harness.HarnessError:
            self.run.steps.append(f"{text} (gone before its screenshot).")
            return
        self.run.steps.append(f"{text} (screenshot {shot}).")

    def step(self):
        ui = self.play.rig.ui
        for box in [b for b in ui.message_boxes() if b["visible"]]:
            self.answer(box)
        controls = ui.controls(self.caption)
        if not controls or IDS.IDC_BUTTON_YES not in controls or IDS.IDC_RADIO_ACCEPT not in controls:
            return
        if not self.accepted:
            if controls[IDS.IDC_RADIO_ACCEPT]["visible"] and controls[IDS.IDC_RADIO_ACCEPT]["enabled"]:
                self.accept()
            return
        status = (controls.get(IDS.IDC_STATIC_STATUS) or {}).get("text")
        now = time.monotonic()
        if (self.download_shot_at is None and status == "Downloading..."
                and self.scenario.watched in self.play.server.downloads()):
            time.sleep(1)
            self.capture("2-downloading.png", f"The progress page showed \"Downloading...\" at {self.position()} of 2000")
            self.download_shot_at = time.monotonic()
        elif (self.scenario.later_shot and self.download_shot_at is not None and self.later_shot is None
              and status == "Downloading..." and now - self.download_shot_at >= 3):
            self.later_shot = now
            self.capture("2b-downloading-later.png",
                         f"A few seconds on, the progress page showed \"Downloading...\" at {self.position()} of 2000")
        if not self.installing_shot and status == "Installing...":
            time.sleep(1)
            self.capture("3-installing.png", "The progress page showed \"Installing...\"")
            self.installing_shot = True
            self.release_setup()

    def position(self):
        position = (self.play.rig.ui.state(self.caption, IDS.IDC_PROGRESS) or {}).get("pos", 0)
        self.positions.append(position)
        return position

    def accept(self):
        ui = self.play.rig.ui
        time.sleep(0.5)
        self.capture("1-licence-page.png", "The licence page was shown; accepting it for the user and pressing Yes")
        ui.click(self.caption, IDS.IDC_RADIO_ACCEPT)
        harness.wait_for(lambda: (ui.state(self.caption, IDS.IDC_BUTTON_YES) or {}).get("enabled"), 10)
        ui.click(self.caption, IDS.IDC_BUTTON_YES)
        self.accepted = True

    def answer(self, box):
        title, text = box["title"], box["text"]
        buttons = [b for b in box["buttons"] if b["visible"]]
        button = next((b for b in buttons if b["id"] == IDOK), buttons[0] if buttons else {"id": IDOK, "text": "OK"})
        number = len(self.messages) + 1
        plain = " ".join(text.split())
        self.capture(f"4-message-{number}.png",
                     f"The program showed a message box \"{title}\": \"{plain}\"; pressing {button['text'] or 'OK'}",
                     title, message_box=True)
        self.messages.append((title, text))
        self.play.rig.ui.answer(title, button["id"])

    def release_setup(self):
        open(self.setup_release, "w").close()


def clean_pc(rig, tool_log):
    """No package, PC tool, driver or trace log of an earlier run; logging switched on."""
    templates = rig.templates_dir
    rig.reset(paths=[os.path.join(templates, "E"), os.path.join(templates, "PXPC"), tool_log,
                     os.path.join(templates, "serverconfig.ini"),
                     os.path.join(rig.program_files_dir, "QV Electronics")] +
              [os.path.join(templates, f) for f in os.listdir(templates)
               if f.startswith("PX_Bootstrap_Log") or f.startswith("PXPC.update-")])
    with open(os.path.join(templates, "AutoRun_Log.ini"), "w", newline="\r\n") as f:
        f.write("[LOG]\nenablelogging=1\n")


def read_text(path, encoding):
    if not os.path.exists(path):
        return ""
    with open(path, encoding=encoding, errors="replace") as f:
        return f.read()


def package_version(package):
    """pack_version of the PC's package (its pxpcconfig.ini), or None."""
    for line in read_text(os.path.join(package, "pxpcconfig.ini"), "cp1252").splitlines():
        key, _, value = line.partition("=")
        if key.strip().lower() == "pack_version":
            return value.strip()
    return None


def play_phone(play, scenario, model, image_files, work):
    """Plugs the phone in with the scenario's changes made, answers the program's windows until it
    and the PC tool have ended, and returns the Run."""
    rig, server = play.rig, play.server
    shots = os.path.join(work, "screenshots")
    shutil.rmtree(shots, ignore_errors=True)
    os.makedirs(shots)
    tool_log = os.path.join(work, "tool.log")
    clean_pc(rig, tool_log)
    phone = Phone.from_image(os.path.join(work, "phone"), image_files, selected_mode=1)
    run = Run(shots, phone)
    run.scenario_text = scenario.prepare(play)
    if run.scenario_text:
        print(run.scenario_text)

    print(f"Plugging in a {model.caption} (USB mode MTP selected on the phone) as drive E: ...")
    rig.map_drive(phone.image, "e")
    # The driver setup waits for this file, so the installation page can be photographed.
    setup_release = os.path.join(work, "driver_setup.release")
    if os.path.exists(setup_release):
        os.remove(setup_release)
    rig.run(f"E:\\{PROGRAM}", env={**phone.env(), "QV_STUB_LOG": harness.to_windows(tool_log),
                                    "QV_DRIVER_SETUP_HOLD": harness.to_windows(setup_release)})
    watch = WindowWatch(play, scenario, model.caption, run, setup_release)
    started = time.monotonic()
    seen_running = False
    while time.monotonic() - started < PLAY_LIMIT:
        watch.step()
        running = bool(rig.processes([PROGRAM, play.tool]))
        seen_running = seen_running or running
        # Wine needs a moment before the program shows in the process list.
        if not running and (seen_running or time.monotonic() - started > 15):
            break
        time.sleep(0.2)
    if not watch.accepted and not watch.messages:
        run.steps.append("No window was shown.")
    watch.release_setup()
    done = rig.wait_all_exited([PROGRAM, play.tool], timeout=10)

    trace_path = os.path.join(rig.templates_dir, "PX_Bootstrap_Log(0000).txt")
    run.trace = read_text(trace_path, "cp1252")
    run.kept_trace = os.path.join(work, "PX_Bootstrap_Log(0000).txt")
    if os.path.exists(trace_path):
        shutil.copy(trace_path, run.kept_trace)
    tool_starts = read_text(tool_log, "utf-8").splitlines()
    run.downloads, run.reports = server.downloads(), server.reports()
    run.outcome = Outcome(done, tool_starts, watch.messages, [n for n in run.downloads if n != "serverconfig.ini"],
                          package_version(play.package), watch.positions, run.trace)
    return run
