"""End-to-end test harness: an X display, a Wine prefix of the tests' own, the phone's CD-ROM drive,
programs started as autorun starts them, the registry, and the UI driver that reads and drives
their windows. Python 3 standard library only.

The prefix is a 64-bit one, as on a 64-bit Windows PC. The programs under test are the x86_64 build
(``QV_E2E_BITS`` 64, the default) or the i686 build (32), on machines that run 32-bit code; what
depends on that comes from ``Bitness`` below, one place: the Wine loader, the registry view the
programs see (the registry helpers use it) and their Program Files folder.

Typical use::

    with Display() as display, WineRig("build/win64/e2e", display, ui_driver=exe) as rig:
        rig.map_drive(phone_folder, "e")
        proc = rig.run("E:\\\\PX_Bootstrap.exe")
        rig.ui.wait_window("Demo")
        rig.ui.click("Demo", BOOTSTRAP.IDC_RADIO_ACCEPT)  # ids: control_ids.py
        rig.screenshot("shot.png")
"""
import os
import shutil
import subprocess
import tempfile
import time

import wine_prefix
from ui_client import UiDriver, UiDriverError, UiResult, parse_json_lines  # noqa: F401 (re-exported)

WINE64 = wine_prefix.WINE64  # makes the prefix and Wine's own settings: always 64-bit
WINESERVER = wine_prefix.WINESERVER


class Bitness:
    """What the programs under test see, by their bitness (``QV_E2E_BITS``, 64 unless set)."""

    def __init__(self, bits=None):
        self.bits = int(bits or os.environ.get("QV_E2E_BITS", "64"))
        if self.bits not in (32, 64):
            raise ValueError(f"QV_E2E_BITS must be 32 or 64, not {self.bits}")
        self.loader = "/usr/lib/wine/wine" if self.bits == 32 else WINE64
        self.registry_view = f"/reg:{self.bits}"
        self.program_files = "Program Files (x86)" if self.bits == 32 else "Program Files"


BITNESS = Bitness()
WINE_LOADER = BITNESS.loader
IMPORT = "/usr/bin/import"  # ImageMagick's own; /usr/local/bin may hold stand-ins
XVFB = "/usr/bin/Xvfb"
DEFAULT_OVERRIDES = wine_prefix.NO_MENU_ENTRIES


DRIVES_KEY = r"HKLM\Software\Wine\Drives"  # the drives' types (Wine's own setting)
# The processes Wine itself runs in a prefix; a reset between scenarios ends every other one.
WINE_OWN_PROGRAMS = frozenset({"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "explorer.exe",
                               "rpcss.exe", "conhost.exe"})


class HarnessError(Exception):
    """A step of the rig itself failed (not an assertion of a scenario)."""


# ---------------------------------------------------------------------------------------------
# Display scale and colour scheme, as the user's settings of the prefix.

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"  # LogPixels: the scale every new process gets
COLOURS_KEY = r"HKCU\Control Panel\Colors"   # the system colours, read by each process at its start
SCREEN_FOR_200_PERCENT = "1920x1200x24"       # room for the program's pages at 192 dpi

# A high-contrast scheme (white on black, blue selection), as the system colours under
# "Control Panel\Colors": a program that draws with the system colours shows it.
HIGH_CONTRAST_COLOURS = {
    "Window": "0 0 0", "WindowText": "255 255 255", "WindowFrame": "255 255 255",
    "ButtonFace": "0 0 0", "ButtonText": "255 255 255", "ButtonShadow": "128 128 128",
    "ButtonHilight": "255 255 255", "ButtonLight": "192 192 192", "ButtonDkShadow": "255 255 255",
    "ButtonAlternateFace": "0 0 0", "GrayText": "0 255 0", "Hilight": "0 0 255", "HilightText": "255 255 255",
    "HotTrackingColor": "255 255 0", "InfoWindow": "0 0 0", "InfoText": "255 255 255",
    "Menu": "0 0 0", "MenuText": "255 255 255", "MenuBar": "0 0 0", "MenuHilight": "0 0 255",
    "Background": "0 0 0", "Scrollbar": "0 0 0", "AppWorkSpace": "0 0 0",
    "ActiveBorder": "0 0 0", "InactiveBorder": "0 0 0", "ActiveTitle": "0 0 255", "TitleText": "255 255 255",
    "InactiveTitle": "0 0 0", "InactiveTitleText": "0 255 0",
    "GradientActiveTitle": "0 0 255", "GradientInactiveTitle": "0 0 0",
}


def scheme_colour(text):
    """A colour of ``HKCU\\Control Panel\\Colors`` ("R G B") as an (r, g, b) tuple."""
    r, g, b = (int(part) for part in text.split())
    return (r, g, b)


# ---------------------------------------------------------------------------------------------
# Pure helpers (no Wine, no display): path mapping and parsing of tool output.

def wait_for(predicate, timeout=20, interval=0.2):
    """Polls ``predicate`` until it is true; False when ``timeout`` seconds pass first."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return False


def to_windows(host_path):
    """The Windows path of a host path through Wine's Z: drive (the host's root), e.g.
    ``/tmp/a b/x.ini`` -> ``Z:\\tmp\\a b\\x.ini``."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")


def resolve_case_insensitive(host_path):
    """``host_path`` with each existing component replaced by the entry that matches it without
    regard to case, as Windows programs see names; missing components are kept as given."""
    parts = os.path.abspath(host_path).split("/")[1:]
    current = "/"
    for index, part in enumerate(parts):
        candidate = os.path.join(current, part)
        if not os.path.exists(candidate) and os.path.isdir(current):
            matches = [e for e in os.listdir(current) if e.lower() == part.lower()]
            if matches:
                candidate = os.path.join(current, sorted(matches)[0])
        current = candidate
        if not os.path.exists(current):
            return os.path.join(current, *parts[index + 1:])
    return current


def parse_reg_query(text):
    """``reg query`` output -> {key path: {value name: (type, data)}}; the default value is
    named ``""``. Sub-keys that ``reg query`` lists without values map to empty dicts."""
    keys, current = {}, None
    for line in text.splitlines():
        line = line.rstrip("\r")
        if not line.strip():
            continue
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
        elif line.startswith("    ") and current is not None:
            fields = line.strip().split("    ", 2)
            name, kind = fields[0], fields[1] if len(fields) > 1 else ""
            data = fields[2] if len(fields) > 2 else ""
            current["" if name == "(Default)" else name] = (kind, data)
    return keys


def reg_data(kind, data):
    """A ``reg query`` value as Python data: int for REG_DWORD/REG_QWORD, list for REG_MULTI_SZ,
    bytes for REG_BINARY, else the text."""
    if kind in ("REG_DWORD", "REG_QWORD"):
        return int(data, 16)
    if kind == "REG_MULTI_SZ":
        return [item for item in data.split("\\0") if item]
    if kind == "REG_BINARY":
        return bytes.fromhex(data)
    return data


# ---------------------------------------------------------------------------------------------
# The display.

class Display:
    """An X display for Wine's windows. ``mode="host"`` (or ``QV_E2E_DISPLAY=host``) uses the
    caller's ``$DISPLAY``; otherwise an Xvfb on a free display number is started and stopped."""

    def __init__(self, mode=None, geometry="1024x768x24"):
        self.mode = mode if mode is not None else os.environ.get("QV_E2E_DISPLAY", "xvfb")
        self.geometry = geometry
        self.name = None
        self._xvfb = None

    @classmethod
    def existing(cls, name):
        """A display that runs already (e.g. ``":5"``); start and stop leave it alone."""
        display = cls("host")
        display.name = name
        return display

    def start(self):
        """Starts (or adopts) the display; returns self. Raises HarnessError when none comes up."""
        if self.mode == "host":
            self.name = self.name or os.environ.get("DISPLAY")
            if not self.name:
                raise HarnessError("QV_E2E_DISPLAY=host but DISPLAY is not set")
            return self
        read_end, write_end = os.pipe()
        try:
            # -displayfd: Xvfb picks a free number itself and writes it once it accepts clients.
            self._xvfb = subprocess.Popen(
                [XVFB, "-displayfd", str(write_end), "-screen", "0", self.geometry, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
            os.close(write_end)
            write_end = None
            number = b""
            while not number.endswith(b"\n"):
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise HarnessError("Xvfb exited before it gave a display number")
                number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.name = ":" + number.decode().strip()
        return self

    def stop(self):
        """Stops an Xvfb that this object started; a host display is left alone."""
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
            self._xvfb = None

    def screenshot(self, path, rect=None):
        """Saves the whole screen, or the part ``rect`` (a dict with left, top, width, height as
        the UI driver gives window rectangles, or a tuple (x, y, width, height)), as PNG."""
        argv = [IMPORT, "-display", self.name, "-window", "root"]
        if rect is not None:
            if isinstance(rect, dict):
                rect = (rect["left"], rect["top"], rect["width"], rect["height"])
            x, y, width, height = rect
            width, height = width + min(x, 0), height + min(y, 0)  # a window partly off screen
            argv += ["-crop", f"{width}x{height}+{max(x, 0)}+{max(y, 0)}", "+repage"]
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        done = subprocess.run(argv + [path], stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        if done.returncode != 0:
            raise HarnessError(f"import failed: {done.stderr.decode(errors='replace').strip()}")
        return path

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# ---------------------------------------------------------------------------------------------
# Programs and the Wine rig.

class WineProcess:
    """A Windows program started by ``WineRig.run``. Under Wine the host process is the Windows
    process, so its exit code is the program's. Programs it starts in turn are not covered:
    use ``WineRig.wait_all_exited`` for those."""

    def __init__(self, popen, program, log_path):
        self.popen, self.program, self.log_path = popen, program, log_path

    @property
    def pid(self):
        """The host's process id (not the Windows one)."""
        return self.popen.pid

    def poll(self):
        """The exit code, or None while the program runs."""
        return self.popen.poll()

    def wait(self, timeout=60):
        """Waits for the exit and returns the exit code; HarnessError after ``timeout`` seconds."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.program} still runs after {timeout} s") from None

    def kill(self):
        """Ends the program at once (the Wine process of the host)."""
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()

    def output(self):
        """What the program (and Wine on its behalf) wrote to stdout and stderr."""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()


class WineRig:
    """A Wine prefix and HOME of the tests' own under ``root`` (``root/prefix``, ``root/home``,
    ``root/logs``), one persistent wineserver bound to ``display``, and the helpers that the
    scenarios use. ``ui_driver`` is the host path of ``ui_driver.exe`` (default: ``$QV_UI_DRIVER``).
    The registry helpers use the view of the programs under test (``BITNESS``)."""

    def __init__(self, root, display, ui_driver=None, loader=WINE_LOADER, server=WINESERVER, programs=None):
        self.root = os.path.abspath(root)
        # Exe names of every program the scenarios start: with them, ``reset`` ends just those and
        # keeps the server (quicker); without, it ends every Wine process and starts a new server.
        self.programs = list(programs) if programs is not None else None
        self.scale = None  # the LogPixels the server started with, once set_scale has asked
        self.prefix = os.path.join(self.root, "prefix")
        self.home = os.path.join(self.root, "home")
        self.logs = os.path.join(self.root, "logs")
        self.display = Display.existing(display) if isinstance(display, str) else display
        self.loader, self.server_path = loader, server
        self.timings = {}  # step -> seconds, for the report of a slow run
        self._drive_types = None         # {"e:": "cdrom"} as configured (read once, then kept here)
        self._served_drive_types = None  # the same, as the running server took them at its start
        self.ui = UiDriver(ui_driver or os.environ.get("QV_UI_DRIVER"), [loader], self.env)

    # -- environment and plain runs ---------------------------------------------------------

    def env(self, extra=None):
        """The environment of every Wine process of this rig, plus ``extra``."""
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix, HOME=self.home, WINELOADER=self.loader, WINESERVER=self.server_path,
                   WINEDEBUG="-all", WINEDLLOVERRIDES=DEFAULT_OVERRIDES, DISPLAY=self.display.name)
        env.update(extra or {})
        return env

    def _exec(self, argv, timeout, cwd=None, env=None):
        """Runs a host command; returns (exit code, stdout, stderr). Output goes through files, not
        pipes: the helper processes that a first Wine process starts would keep a pipe open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                rc = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=cwd,
                                    env=env or self.env(), timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise HarnessError(f"{argv[:3]} did not finish in {timeout} s") from None
            out.seek(0)
            err.seek(0)
            return (rc, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace"))

    def wine(self, *args, timeout=60, cwd=None, env=None):
        """Runs ``wine64 args...`` in the prefix to its end; returns (exit code, stdout, stderr)."""
        return self._exec([self.loader, *args], timeout, cwd=cwd, env=self.env(env))

    def wineserver(self, *args, timeout=60):
        """Runs the wineserver program of this prefix with ``args`` (``-k``, ``-w``, ``-p``)."""
        return self._exec([self.server_path, *args], timeout)[0]

    # -- lifecycle ----------------------------------------------------------------------------

    def ensure_prefix(self):
        """Creates the prefix when it is missing: a copy of the tree's template prefix
        (``QV_E2E_PREFIX_TEMPLATE``, made once by ``wineboot -i``, see wine_prefix.py), or without
        one by wineboot itself; returns True when it did. An existing prefix is reused as it is."""
        os.makedirs(self.home, exist_ok=True)
        os.makedirs(self.logs, exist_ok=True)
        started = time.monotonic()
        try:
            made = wine_prefix.ensure(self.prefix, self.home, os.environ.get("QV_E2E_PREFIX_TEMPLATE"))
        except wine_prefix.PrefixError as error:
            raise HarnessError(str(error)) from None
        self._own_profile_folders()
        if made:
            self.timings["prefix_create"] = time.monotonic() - started
        return made

    def _own_profile_folders(self):
        # A new prefix links Desktop, Documents, Templates and the like to $HOME itself; as on
        # Windows, each becomes a folder of its own inside the profile.
        for folder in (self.profile_dir, os.path.dirname(self.templates_dir)):
            for name in os.listdir(folder):
                path = os.path.join(folder, name)
                if os.path.islink(path) and os.path.realpath(path) == os.path.realpath(self.home):
                    os.remove(path)
                    os.mkdir(path)

    def start(self):
        """Makes the rig ready: the prefix, a fresh persistent wineserver that knows the display
        (a server left by an earlier run may have another display or none), Wine's own window
        frames (``Managed=N``, so that screenshots show title bars). Returns self."""
        started = time.monotonic()
        self.ensure_prefix()
        self.kill_all()
        self._up()
        self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N", wine_setting=True)
        self.timings["start"] = time.monotonic() - started
        return self

    def _up(self):
        # The server and Wine's helper processes start here, with no pipe of ours to inherit.
        self.wineserver("-p")
        self.wine("cmd", "/c", "exit", timeout=120)
        if self._drive_types is None:
            self._drive_types = {name.lower(): str(kind).lower() for name, kind in
                                 (self.reg_query(DRIVES_KEY, wine_setting=True) or {}).items()}
        # A drive's type reaches programs through the mount manager, which reads it only in a
        # new server: these are the types programs see until the next start.
        self._served_drive_types = dict(self._drive_types)

    def kill_all(self):
        """Ends every Wine process of the prefix and the wineserver (registry saved), and waits
        for the server to be gone. The next Wine command starts a new one."""
        self.ui.close()
        self.wineserver("-k")
        self.wineserver("-w", timeout=60)

    def restart(self):
        """kill_all, then a new persistent server: for settings read only when it starts."""
        started = time.monotonic()
        self.kill_all()
        self._up()
        self.timings["restart"] = time.monotonic() - started

    def stop(self):
        """Ends all Wine processes of the prefix and the server."""
        self.kill_all()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def reset(self, paths=(), reg_keys=()):
        """Between scenarios in one prefix: ends the scenario's programs and keeps the server (with
        ``programs``, just those; without, every process that is not Wine's own; should one not
        end, every Wine process and the server, which then starts again), removes the given host
        files and folders and deletes the given registry keys (the programs' view)."""
        try:
            names = self.programs if self.programs is not None else self._scenario_programs()
            if names:
                self.end_programs(names)
        except HarnessError:
            if self.programs is not None:
                raise
            self.restart()
        for path in paths:
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.remove(path)
        for key in reg_keys:
            self.reg_delete_key(key)

    def _scenario_programs(self):
        own = WINE_OWN_PROGRAMS | {os.path.basename(self.ui.exe or "").lower()}
        return sorted({p["exe"].lower() for p in self.processes()} - own)

    # -- drives and paths ---------------------------------------------------------------------

    def _dosdevice(self, letter):
        return os.path.join(self.prefix, "dosdevices", letter.lower().rstrip(":") + ":")

    def map_drive(self, host_folder, letter="e", cdrom=True, restart=True):
        """Makes ``host_folder`` drive ``letter`` (a CD-ROM drive unless ``cdrom`` is False). Wine
        takes a new drive type only in a new server: when the drives' types differ from those the
        server started with, the server restarts (which ends every program), unless ``restart`` is
        False (the drive then answers with its former type until the next restart). A drive that
        keeps its type is only pointed at the new folder, and the programs go on running."""
        link = self._dosdevice(letter)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(host_folder), link)
        name = os.path.basename(link)
        self._set_drive_type(name, "cdrom" if cdrom else None)
        if restart:
            self._restart_for_drive_types()
            if cdrom and self.ui.exe:
                self._await_cdrom(letter, name)

    def _restart_for_drive_types(self):
        # Only a new server takes drives' types as configured.
        if self._drive_types != self._served_drive_types:
            self.restart()

    def _set_drive_type(self, name, kind):
        if self._drive_types is None:
            raise HarnessError("the rig has not started")
        if self._drive_types.get(name) == kind:
            return
        if kind:
            self.reg_add(DRIVES_KEY, name, kind, wine_setting=True)
            self._drive_types[name] = kind
        else:
            self.reg_delete_value(DRIVES_KEY, name, wine_setting=True)
            self._drive_types.pop(name, None)

    def _await_cdrom(self, letter, name, attempts=2, timeout=20):
        # A program asks the mount manager for the type; on a loaded machine it may answer only
        # a moment after the server's start, and a server ended before it saved the registry
        # forgets the type. So the drive is confirmed from the Windows side before any program
        # of a scenario starts, with the type written and the server started once more if lost.
        for attempt in range(attempts):
            if wait_for(lambda: self.ui.drive_kind(letter) == "cdrom", timeout, 0.5):
                return
            if attempt + 1 < attempts:
                if self.reg_value(DRIVES_KEY, name, wine_setting=True) != "cdrom":
                    self.reg_add(DRIVES_KEY, name, "cdrom", wine_setting=True)
                self.restart()
        raise HarnessError(f"drive {letter.upper()}: is not a CD-ROM drive after {attempts} server starts: "
                           f"{self.ui.drive_kind(letter)}")

    def unmap_drive(self, letter="e"):
        """Removes drive ``letter`` and its type, and restarts the server when the type goes."""
        link = self._dosdevice(letter)
        if os.path.lexists(link):
            os.remove(link)
        self._set_drive_type(os.path.basename(link), None)
        self._restart_for_drive_types()

    def drives(self):
        """{letter: host folder} of the prefix's drives (``c``, ``z``, mapped ones)."""
        folder = os.path.join(self.prefix, "dosdevices")
        found = {}
        for entry in sorted(os.listdir(folder)):
            if len(entry) == 2 and entry.endswith(":") and os.path.isdir(os.path.join(folder, entry)):
                found[entry[0]] = os.path.realpath(os.path.join(folder, entry))
        return found

    def to_windows(self, host_path):
        """The Windows path of a host path, through the drive whose folder holds it most closely,
        as Wine maps it: under a mapped phone folder that drive, under ``drive_c`` C:, else Z:.
        Symbolic links in the path are kept, so a folder of the profile stays on C:."""
        drives = self.drives()
        for path in (os.path.abspath(host_path), os.path.realpath(host_path)):
            best = None
            for letter, root in drives.items():
                if root != "/" and (path == root or path.startswith(root + "/")):
                    if best is None or len(root) > len(best[1]):
                        best = (letter, root)
            if best is not None:
                rest = path[len(best[1]):].strip("/")
                return best[0].upper() + ":\\" + rest.replace("/", "\\")
        return to_windows(host_path)

    def to_host(self, windows_path):
        """The host path of ``X:\\...`` in this prefix, matching existing names without regard to
        case as Windows does. HarnessError for a drive that does not exist."""
        letter, rest = windows_path[0].lower(), windows_path[2:].replace("\\", "/").strip("/")
        root = self.drives().get(letter)
        if windows_path[1:2] != ":" or root is None:
            raise HarnessError(f"no drive for {windows_path!r}")
        return resolve_case_insensitive(os.path.join(root, rest)) if rest else root

    @property
    def drive_c(self):
        return os.path.join(self.prefix, "drive_c")

    @property
    def user_name(self):
        """The Windows user of the prefix (Wine takes the host user's name)."""
        users = [u for u in os.listdir(os.path.join(self.drive_c, "users")) if u != "Public"]
        if len(users) != 1:
            raise HarnessError(f"cannot tell the prefix's user from {users}")
        return users[0]

    @property
    def profile_dir(self):
        return os.path.join(self.drive_c, "users", self.user_name)

    @property
    def appdata_dir(self):
        """Application Data: ``C:\\users\\<user>\\AppData\\Roaming``."""
        return os.path.join(self.profile_dir, "AppData", "Roaming")

    @property
    def templates_dir(self):
        """Templates: ``...\\AppData\\Roaming\\Microsoft\\Windows\\Templates``."""
        return os.path.join(self.appdata_dir, "Microsoft", "Windows", "Templates")

    @property
    def program_files_dir(self):
        """The Program Files folder the programs under test get: ``C:\\Program Files`` for 64-bit
        programs, ``C:\\Program Files (x86)`` for 32-bit ones."""
        return os.path.join(self.drive_c, BITNESS.program_files)

    @property
    def program_files_x86_dir(self):
        """``C:\\Program Files (x86)``: what a 32-bit program gets as Program Files."""
        return os.path.join(self.drive_c, "Program Files (x86)")

    @property
    def program_data_dir(self):
        """Common application data: ``C:\\ProgramData``."""
        return os.path.join(self.drive_c, "ProgramData")

    # -- programs -----------------------------------------------------------------------------

    def run(self, program, args=(), cwd=None, env=None, log_name=None):
        """Starts a Windows program in the prefix without waiting, as autorun starts it: by its
        Windows path (a host path is converted), with the root of the program's drive as working
        folder unless ``cwd`` (host or Windows path) says otherwise. ``env`` adds variables.
        Output goes to ``logs/<log_name or exe>.log``. Returns a WineProcess."""
        if program.startswith("/"):
            program = self.to_windows(program)
        if cwd is None:
            cwd = self.to_host(program[:3])
        elif not cwd.startswith("/"):
            cwd = self.to_host(cwd)
        name = log_name or program.replace("\\", "/").rsplit("/", 1)[-1]
        log_path = os.path.join(self.logs, name + ".log")
        os.makedirs(self.logs, exist_ok=True)
        with open(log_path, "wb") as log:
            popen = subprocess.Popen([self.loader, program, *args], cwd=cwd, env=self.env(env),
                                     stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        return WineProcess(popen, program, log_path)

    def processes(self, names=()):
        """The prefix's Windows processes, or those with the given exe names (any case):
        dicts with pid, ppid, exe, threads (Windows ids)."""
        return self.ui.processes(*names)

    def wait_all_exited(self, names, timeout=60, interval=0.2):
        """Waits until no process with one of the exe names is left in the prefix (a program and
        the copies it started); True when none is left within ``timeout`` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            if not self.processes(names):
                return True
            if time.monotonic() >= deadline:
                return False
            time.sleep(interval)

    def end_programs(self, names, timeout=20):
        """Terminates the prefix's processes with these exe names and waits until none is left;
        HarnessError when one stays."""
        if self.processes(names):
            self.kill_processes(names)
        if not self.wait_all_exited(names, timeout):
            raise HarnessError(f"still running after {timeout} s: {[p['exe'] for p in self.processes(names)]}")

    def kill_processes(self, names):
        """Terminates the prefix's processes with these exe names; returns how many ended."""
        return self.ui.kill(*names)

    # -- registry (the programs' view) -----------------------------------------------------------

    def _reg(self, *args, wine_setting=False):
        # The 64-bit tool, told which view: that of the programs under test, or Wine's own settings
        # (drive types, window frames), which Wine reads from the 64-bit view.
        view = "/reg:64" if wine_setting else BITNESS.registry_view
        return self._exec([WINE64, "reg", *args, view], 60, env=self.env())

    def reg_add(self, key, name=None, data=None, kind="REG_SZ", wine_setting=False):
        """Creates ``key`` (the programs' view, or with ``wine_setting`` Wine's own) and, given a name
        (``""``: the default value), sets that value; REG_DWORD data may be an int, REG_MULTI_SZ data
        a list. HarnessError on failure."""
        args = ["add", key]
        if name is not None:
            args += ["/ve"] if name == "" else ["/v", name]
            if isinstance(data, (list, tuple)):
                data = "\\0".join(data)
            args += ["/t", kind, "/d", str(data if data is not None else "")]
        rc, out, err = self._reg(*args, "/f", wine_setting=wine_setting)
        if rc != 0:
            raise HarnessError(f"reg add {key} {name}: exit code {rc}: {out}{err}".strip())

    def reg_delete_key(self, key):
        """Deletes ``key`` with its sub-keys (the programs' view); True when it existed."""
        return self._reg("delete", key, "/f")[0] == 0

    def reg_delete_value(self, key, name, wine_setting=False):
        """Deletes one value (the programs' view, or with ``wine_setting`` Wine's own); True when it
        existed."""
        args = ["delete", key, *(["/ve"] if name == "" else ["/v", name]), "/f"]
        return self._reg(*args, wine_setting=wine_setting)[0] == 0

    def reg_query(self, key, wine_setting=False):
        """The values of ``key`` (the programs' view, or with ``wine_setting`` Wine's own) as
        {name: data} (see ``reg_data``), or None when the key does not exist."""
        rc, out, _ = self._reg("query", key, wine_setting=wine_setting)
        if rc != 0:
            return None
        values = next(iter(parse_reg_query(out).values()), {})  # the key itself comes first
        return {name: reg_data(kind, data) for name, (kind, data) in values.items()}

    def reg_value(self, key, name, default=None, wine_setting=False):
        """One value of ``key`` (the programs' view, or with ``wine_setting`` Wine's own), or
        ``default`` when the key or value is missing."""
        values = self.reg_query(key, wine_setting=wine_setting)
        return default if values is None else values.get(name, default)

    # -- display scale and colours ----------------------------------------------------------

    def set_scale(self, dpi, restart=True):
        """Makes ``dpi`` the scale of the prefix (``LogPixels`` of the user's desktop settings; 96
        is 100 %) and, unless ``restart`` is False, restarts the server when the scale changes.
        Each process reads the scale at its start, but Wine answers another process's question for
        a window's scale (GetDpiForWindow) from what its desktop took when the server started.
        Returns the scale a new process gets, as ``display_settings()`` reports it."""
        if self.scale is None:  # what the running server started with
            self.scale = self.reg_value(DESKTOP_KEY, "LogPixels", 96, wine_setting=True)
        self.reg_add(DESKTOP_KEY, "LogPixels", int(dpi), kind="REG_DWORD", wine_setting=True)
        if restart and dpi != self.scale:
            self.restart()
            self.scale = dpi
        self.ui.close()  # the driver's next process has the new scale
        return self.display_settings()

    def display_settings(self):
        """What a process started now gets: ``logpixels`` (the screen's dots per inch),
        ``window_dpi`` (GetDpiForWindow of a new window), ``screen`` and ``work`` (the work area)
        and ``colours`` (the system colours as "#rrggbb": window, window_text, button_face...)."""
        settings = self.ui.display()
        if settings is None:
            raise HarnessError("the UI driver's display probe failed")
        return settings

    def set_colours(self, colours):
        """Writes the system colours (``{name: "R G B"}``, e.g. ``HIGH_CONTRAST_COLOURS``) that
        programs started from now on draw with, in one registry import; returns the values they
        replace (None where there was none), for ``restore_colours``."""
        before = self.reg_query(COLOURS_KEY, wine_setting=True) or {}
        earlier = {name: before.get(name) for name in colours}
        self.reg_import({COLOURS_KEY: colours})
        self.ui.close()  # the driver's next process reads the new colours
        return earlier

    def restore_colours(self, earlier):
        """Puts back what ``set_colours`` returned."""
        self.reg_import({COLOURS_KEY: earlier})
        self.ui.close()

    def reg_import(self, keys):
        """Sets string values of keys in Wine's own view with one ``reg import``: ``{key: {name:
        text, or None to delete the value}}``, keys as ``HKCU\\...`` or ``HKLM\\...``."""
        roots = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}
        quoted = lambda text: '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'  # noqa: E731
        lines = ["REGEDIT4", ""]
        for key, values in keys.items():
            root, rest = key.split("\\", 1)
            lines.append(f"[{roots.get(root, root)}\\{rest}]")
            lines += [f"{quoted(name)}={'-' if value is None else quoted(value)}" for name, value in values.items()]
            lines.append("")
        with tempfile.NamedTemporaryFile("w", suffix=".reg", dir=self.root, delete=False, encoding="ascii") as f:
            f.write("\r\n".join(lines) + "\r\n")
        try:
            rc, out, err = self._reg("import", to_windows(f.name), wine_setting=True)
        finally:
            os.remove(f.name)
        if rc != 0:
            raise HarnessError(f"reg import: exit code {rc}: {out}{err}".strip())

    # -- screenshots --------------------------------------------------------------------------

    def screenshot(self, path, rect=None):
        """Saves the screen (or ``rect`` of it) as PNG; see ``Display.screenshot``."""
        return self.display.screenshot(path, rect)

    def screenshot_window(self, path, title, **filters):
        """Saves one visible window, frame included, as PNG; HarnessError when none is shown."""
        window = self.ui.wait_window(title, 5, True, **filters)
        if window is None:
            raise HarnessError(f"no visible window {title!r} to photograph")
        return self.screenshot(path, window["rect"])
