"""Client of the UI driver (tools/ui_driver): runs its commands in a Wine prefix and returns their
JSON results. One long-lived driver process (``ui_driver serve``) takes the commands, so a test
pays Wine's process start once rather than on every check. Python 3 standard library only."""
import json
import os
import select
import subprocess
import tempfile
import time


class UiDriverError(Exception):
    """The driver could not run a command: usage error, no answer in time, or it died."""


def parse_json_lines(text):
    """The JSON objects of the driver's output, one per non-empty line."""
    return [json.loads(line) for line in text.splitlines() if line.strip()]


def is_end_marker(item):
    """The line that ``serve`` writes after each command's output: {"end": true, "rc": N}."""
    return set(item) == {"end", "rc"} and item["end"] is True


def filter_args(substring=False, window_class=None, pid=None, hwnd=None, message_box=False, dialog=False):
    """Driver options that narrow which top-level window a command means."""
    args = ["--substring"] if substring else []
    if window_class is not None:
        args += ["--class", window_class]
    if pid is not None:
        args += ["--pid", str(pid)]
    if hwnd is not None:
        args += ["--hwnd", str(hwnd)]
    if message_box:
        args.append("--message-box")
    if dialog:
        args.append("--dialog")
    return args


class UiResult:
    """A command's exit code (0 done, 1 not found or failed) and its JSON objects."""

    def __init__(self, rc, items):
        self.rc, self.items = rc, items

    @property
    def ok(self):
        return self.rc == 0

    @property
    def first(self):
        """The first object, or None."""
        return self.items[0] if self.items else None

    def __repr__(self):
        return f"UiResult(rc={self.rc}, items={self.items!r})"


class ControlWatch:
    """A ``watch`` command running in a driver process of its own (see ``UiDriver.watch``)."""

    def __init__(self, popen, output, args):
        self.popen, self.output, self.args = popen, output, args

    def result(self, timeout):
        """The watch's report once its dialog is gone: {"highest": N, "last": N, "samples": N},
        with ``texts`` a list of the texts seen when asked for.
        UiDriverError when the control was not found or the dialog outlived the watch."""
        try:
            self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.popen.kill()
            self.popen.wait()
        self.output.seek(0)
        items = parse_json_lines(self.output.read().decode("utf-8", "replace"))
        self.output.close()
        if self.popen.returncode != 0 or not items:
            raise UiDriverError(f"watch {self.args} failed ({self.popen.returncode}): {items}")
        return items[0]


class UiDriver:
    """Runs driver commands through ``wine_argv`` (the loader, e.g. ``[wine64]``) with ``env``
    (the rig's WINEPREFIX, DISPLAY...). Call it like the command line: ``ui("state", "Demo", control_id)``;
    the methods below wrap the common commands. Window filters are keyword arguments of
    ``filter_args`` (substring, window_class, pid, hwnd, message_box, dialog)."""

    def __init__(self, exe, wine_argv, env_factory):
        self.exe, self.wine_argv, self.env_factory = exe, list(wine_argv), env_factory
        self._serve = None
        self._buffer = b""

    # -- the driver process -------------------------------------------------------------------

    def close(self):
        """Ends the long-lived driver process (it is started again on the next command)."""
        if self._serve is None:
            return
        try:
            self._serve.stdin.close()
            self._serve.wait(5)
        except (OSError, subprocess.TimeoutExpired):
            self._serve.kill()
            self._serve.wait()
        self._serve.stdout.close()
        self._serve = None

    def _start(self):
        if not self.exe:
            raise UiDriverError("no UI driver: pass ui_driver or set QV_UI_DRIVER")
        self._serve = subprocess.Popen([*self.wine_argv, self.exe, "serve"], env=self.env_factory(),
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, start_new_session=True)
        self._buffer = b""

    def _read_line(self, deadline):
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._serve.stdout], [], [], left)[0]:
                raise TimeoutError
            chunk = os.read(self._serve.stdout.fileno(), 65536)
            if not chunk:
                raise EOFError
            self._buffer += chunk
        line, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(line.decode("utf-8"))

    def _served(self, args, timeout):
        if self._serve is None or self._serve.poll() is not None:
            self._start()
        self._serve.stdin.write(("\t".join(args) + "\n").encode("utf-8"))
        self._serve.stdin.flush()
        deadline, items = time.monotonic() + timeout, []
        while True:
            item = self._read_line(deadline)
            if is_end_marker(item):
                return UiResult(item["rc"], items)
            items.append(item)

    def _single(self, args, timeout):
        if not self.exe:
            raise UiDriverError("no UI driver: pass ui_driver or set QV_UI_DRIVER")
        try:
            done = subprocess.run([*self.wine_argv, self.exe, *args], env=self.env_factory(),
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise UiDriverError(f"UI driver gave no answer to {args} in {timeout} s") from None
        return UiResult(done.returncode, parse_json_lines(done.stdout.decode("utf-8", "replace")))

    def __call__(self, *args, timeout=60):
        """Runs one command; its UiResult. Arguments holding a tab or a line break cannot pass
        through the long-lived process and get a driver process of their own. UiDriverError on a
        usage error, no answer within ``timeout`` seconds, or a driver that died (e.g. when the
        wineserver was killed: the next command starts a new one)."""
        args = [str(a) for a in args]
        if not args or any(c in a for a in args for c in "\t\r\n"):
            result = self._single(args, timeout)
        else:
            try:
                result = self._served(args, timeout)
            except (TimeoutError, EOFError, BrokenPipeError, ValueError) as error:
                self.close()
                raise UiDriverError(f"UI driver failed on {args}: {type(error).__name__}") from None
        if result.rc == 2:
            raise UiDriverError(f"UI driver usage error: {args}")
        return result

    # -- common commands ----------------------------------------------------------------------

    def windows(self, **filters):
        """All top-level windows (hidden ones too), topmost first."""
        return self("windows", *filter_args(**filters)).items

    def wait_window(self, title, timeout=10, visible=True, **filters):
        """Waits up to ``timeout`` seconds for a window with this title (visible unless
        ``visible`` is False); its window dict, or None."""
        args = ["wait", title, "--timeout", int(timeout * 1000), *filter_args(**filters)]
        result = self(*args, *(["--visible"] if visible else []), timeout=timeout + 30)
        return result.first["window"] if result.ok else None

    def wait_gone(self, title, timeout=10, **filters):
        """Waits up to ``timeout`` seconds until no window with this title exists; True if none."""
        args = ["wait-gone", title, "--timeout", int(timeout * 1000), *filter_args(**filters)]
        return self(*args, timeout=timeout + 30).ok

    def state(self, title, control_id, **filters):
        """One control of the dialog with this title: dict (text, visible, enabled, checked,
        pos/min/max, rect...), or None when there is no such dialog or control."""
        result = self("state", title, control_id, *filter_args(**filters))
        return result.first if result.ok else None

    def watch(self, title, control_id, timeout=120, texts_of=None):
        """Starts watching a progress bar of the dialog from inside Wine, every few milliseconds
        until the dialog is destroyed, in a driver process of its own (the other commands go on
        meanwhile). Returns a ControlWatch; its ``result`` gives the highest and last positions,
        and with ``texts_of`` (a control id) each text that control showed, in order."""
        args = ["watch", title, str(control_id), "--timeout", str(int(timeout * 1000))]
        if texts_of is not None:
            args += ["--texts", str(texts_of)]
        output = tempfile.TemporaryFile()  # a file, not a pipe: Wine's helpers may hold a pipe open
        popen = subprocess.Popen([*self.wine_argv, self.exe, *args], env=self.env_factory(),
                                 stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        return ControlWatch(popen, output, args)

    def dialog(self, title, **filters):
        """The dialog (not a message box) with this title and all its controls, or None."""
        result = self("dialog", title, *filter_args(**filters))
        return result.first if result.ok else None

    def controls(self, title, **filters):
        """{control id: state dict} of the dialog, or None."""
        found = self.dialog(title, **filters)
        return None if found is None else {c["id"]: c for c in found["controls"]}

    def click(self, title, control_id, force=False, **filters):
        """Presses a button by posting BM_CLICK; False when the dialog or button is missing, or
        the button is hidden or disabled (unless ``force``)."""
        return self("click", title, control_id, *(["--force"] if force else []), *filter_args(**filters)).ok

    def key(self, title, name, post=False, **filters):
        """Presses a key as the user does (``tab``, ``shift+tab``, ``space``, ``return``,
        ``escape``, ``alt+<letter>``, arrows...): keyboard input to the dialog made the foreground
        window, or with ``post`` posted into its thread's queue (through the thread's message
        loop either way). Returns once the dialog's thread has handled it: the focus then (see
        ``focus``), None when the key could not be delivered."""
        result = self("key", title, name, *(["--post"] if post else []), *filter_args(**filters))
        return (result.first.get("focus") or {"id": None}) if result.ok else None

    def focus(self, title, **filters):
        """The keyboard focus of the dialog's thread: ``id`` (-1 outside the dialog), ``class``,
        ``hwnd``, and whether the dialog is ``active`` and the ``foreground`` window; None when
        there is no such dialog."""
        result = self("focus", title, *filter_args(**filters))
        return result.first if result.ok else None

    def dpi_changed(self, title, dpi, **filters):
        """Sends WM_DPICHANGED for ``dpi`` (no suggested rectangle); the dialog afterwards, as
        ``dialog`` gives it, or None."""
        result = self("dpi-changed", title, dpi, *filter_args(**filters))
        return result.first if result.ok else None

    def accessible(self, title, control_id, **filters):
        """What the system's accessibility layer gives for the control's client object: ``name``,
        ``role`` and ``role_text``, ``value``, ``state`` (None members where it gives none), or None
        when there is no such control."""
        result = self("accessible", title, control_id, *filter_args(**filters))
        return result.first if result.ok else None

    def display(self):
        """What a process started now in the prefix gets: ``logpixels``, ``window_dpi``,
        ``screen``, ``work`` and the system ``colours`` ("#rrggbb")."""
        result = self("display")
        return result.first if result.ok else None

    def drive_kind(self, letter):
        """The type of drive ``letter`` as a program started now sees it: "cdrom", "fixed",
        "no_root", ...; None when the driver could not tell."""
        result = self("drive", letter)
        return result.first["kind"] if result.ok else None

    def close_window(self, title, **filters):
        """Posts WM_CLOSE, as the close box does; False when there is no such window."""
        return self("close", title, *filter_args(**filters)).ok

    def message_boxes(self, title=None):
        """The message boxes shown, all or with this title: dicts with title, text, buttons."""
        return self("message-boxes", *([] if title is None else [title])).items

    def wait_message_box(self, title, timeout=10):
        """Waits for a visible message box with this title; its dict (with text and buttons) or
        None."""
        if self.wait_window(title, timeout, True, message_box=True) is None:
            return None
        boxes = [b for b in self.message_boxes(title) if b["visible"]]
        return boxes[0] if boxes else None

    def answer(self, title, button, timeout=5):
        """Presses a message box button (id: 1 OK, 2 Cancel, 6 Yes, 7 No; or its text) and waits
        until the box is gone; True when it is."""
        return self("answer", title, button, "--timeout", int(timeout * 1000), timeout=timeout + 30).ok

    def processes(self, *names):
        """Windows processes of the prefix, all or with these exe names (any case)."""
        return self("processes", *names).items

    def kill(self, *names):
        """Terminates the prefix's processes with these exe names; how many ended."""
        result = self("kill", *names)
        return result.first["killed"] if result.first else 0
