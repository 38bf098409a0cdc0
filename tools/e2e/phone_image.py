"""What a plugged-in phone brings along for the end-to-end runs: the folder that Wine maps as the
phone's CD-ROM drive (the program, both DLLs with the simulated phone's variant of the mode-switch
library, config.ini, License.txt, a driver installer), the simulated phone's settings and
command log, and the build outputs they come from (paths from the environment that ctest sets).
sample_image() builds the sample phone model's CD image from the same build outputs, as a maker
builds theirs; read_model() gives what a model folder's config.ini tells the program (the caption,
the PC tool's name, the driver, the signature setting), as the system's profile reader reads it."""
import os
import shutil
import subprocess
import sys

BUILD_OUTPUTS = {
    "program": "QV_E2E_PROGRAM",          # PX_Bootstrap.exe
    "update_client": "QV_E2E_UPDATE_CLIENT",  # QVUTchkdl.dll
    "phone_dll": "QV_E2E_PHONE_DLL",      # the simulator variant of QVEUSBAutorun.dll
    "stub_tool": "QV_E2E_STUB_TOOL",      # stands in for the PC tool
    "bare_dialog": "QV_E2E_BARE_DIALOG",  # a dialog program that ends as it opens: the floor of a start
    "drivers": "QV_E2E_DRIVERS",          # folder of driver installers
    "agent_cabinets": "QV_E2E_AGENT_CABINETS",  # folder of the agent cabinets (agents/cab)
    "agent_caller": "QV_E2E_AGENT_CALLER",  # agent_caller.exe, beside the stand-in agents
    "planted_library": "QV_E2E_PLANTED_LIBRARY",  # a version.dll that records every load of it
    "planted_device_library": "QV_E2E_PLANTED_DEVICE_LIBRARY",  # a QVEUSBAutorun.dll that records every load of it
}

MODEL_NAME = "Demo Phone"
LICENCE = "Licence terms, first line\nsecond line\rthird line\r\nlast line"

# Command blocks the simulated phone logs: the selected-mode query and the first form of each
# mode change, by the USB mode the phone reports (0 Modem ... 5 TET).
QUERY_SELECTED_MODE = "F10210000000"
MODE_CHANGE = {0: "F10101000000", 1: "F10103000000", 2: "F10102000000", 3: "F10105000000",
               4: "F10108000000", 5: "F10109000000"}


SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE_MODEL = os.path.join(SOURCE_ROOT, "samples", "demo-phone")
IMAGE_BUILDER = os.path.join(SOURCE_ROOT, "tools", "cd_image", "build_cd_image.py")

sys.path.insert(0, os.path.dirname(IMAGE_BUILDER))
import check_config  # noqa: E402


class ImageRefused(RuntimeError):
    """The image builder refused the model folder; ``output`` holds its findings as it printed them."""

    def __init__(self, output):
        super().__init__(f"the image builder failed:\n{output}")
        self.output = output


def build_output(name):
    return os.environ[BUILD_OUTPUTS[name]]


def sample_image(out, signing=(), model=SAMPLE_MODEL):
    """Builds the sample model's CD image into `out` with the image builder, from the program and
    the update client of this build and the simulated phone's variant of the mode-switch library,
    with the built driver installer the sample names. `signing` is passed on to the builder (e.g.
    ``("--pkcs12", file, "--password-file", file)``); `model` is the sample or a copy of it.
    Returns the ISO's path; raises ImageRefused (a RuntimeError) with the builder's output when it fails."""
    return model_image(out, model, [os.path.join(build_output("drivers"), "unison_driver.msi")], signing)


def model_image(out, model, extras=(), signing=()):
    """Builds the CD image of any model folder into `out` as sample_image does, with the given
    `extras` (files for the image's root from elsewhere) only: everything else comes from the folder."""
    binaries = os.path.join(out, "bin")
    shutil.rmtree(binaries, ignore_errors=True)
    os.makedirs(binaries)
    for output, name in (("program", "PX_Bootstrap.exe"), ("update_client", "QVUTchkdl.dll"),
                         ("phone_dll", "QVEUSBAutorun.dll")):
        shutil.copyfile(build_output(output), os.path.join(binaries, name))
    extra_args = [arg for extra in extras for arg in ("--extra", extra)]
    result = subprocess.run([sys.executable, "-B", IMAGE_BUILDER, "--bin", binaries, "--model", model,
                             "--out", out, *extra_args, *signing], capture_output=True, text=True)
    if result.returncode != 0:
        raise ImageRefused(f"{result.stdout}{result.stderr}")
    return os.path.join(out, os.path.basename(os.path.normpath(model)) + ".iso")


class Model:
    """What a model folder's config.ini tells the program: the caption of its windows (model_name,
    or the program's default when empty), the model type, the PC tool's file name, the phone's driver
    installer and its family, and the maker's signature setting (None without a [SIGNATURE] section;
    else its publisher and the pinned roots, lower-case)."""

    def __init__(self, folder):
        profile = check_config.read_profile(check_config.find_in(folder, "config.ini") or
                                            os.path.join(folder, "config.ini"), [])
        self.folder = folder
        self.model_name = profile.get("PXPACKAGE", "model_name")
        self.caption = self.model_name or check_config.DEFAULT_CAPTION
        self.model_type = profile.get("PXPACKAGE", "model_type")
        self.pxpc_name = profile.get("PXPC", "pxpc_name")
        self.preload = profile.get("DRIVER", "preload")
        self.preload_type = profile.get("DRIVER", "preload_type")
        self.signature = None
        if profile.section("SIGNATURE") is not None:
            roots = [r.strip().lower() for r in profile.get("SIGNATURE", "root_sha256").split(",") if r.strip()]
            self.signature = {"publisher": profile.get("SIGNATURE", "publisher").strip(), "roots": roots}

    def tool_arguments(self, letter="E"):
        """The command line the program gives the PC tool started from the phone on drive `letter`:
        the drive, the type's first character (an ASCII letter upper-cased) and the caption."""
        kind = self.model_type[:1].upper() if self.model_type[:1].isascii() else self.model_type[:1]
        return f"-pxpc;{letter};{kind};{self.caption};"


def write_ini(path, sections):
    """An INI file in the ANSI form the system's profile reader takes."""
    lines = []
    for section, values in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in values.items())
    with open(path, "w", newline="\r\n", encoding="cp1252") as f:
        f.write("\n".join(lines) + "\n")


class Phone:
    """One phone: its CD image under ``root/image`` and its simulator under ``root``. ``config``
    sets config.ini values as given, over the ones the other options chose, e.g.
    ``{"DRIVER": {"preload": "nul.msi"}}``; it copies and lists nothing."""

    def __init__(self, root, letter="E", selected_mode=1, preload=None, preload_type="unison",
                 model_type="t", test_version=None, config=None):
        self.root, self.letter = root, letter
        self.image = os.path.join(root, "image")
        self.settings = os.path.join(root, "phone.ini")
        self.log = os.path.join(root, "commands.log")
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(self.image)
        files = ["PX_Bootstrap.exe", "QVEUSBAutorun.dll", "QVUTchkdl.dll", "config.ini", "License.txt"]
        shutil.copy(build_output("program"), self.image)
        shutil.copy(build_output("update_client"), self.image)
        shutil.copy(build_output("phone_dll"), self.image)
        with open(os.path.join(self.image, "License.txt"), "w", newline="", encoding="cp1252") as f:
            f.write(LICENCE)
        entries = {"PXPACKAGE": {"model_name": MODEL_NAME, "model_type": model_type},
                   "PXPC": {"pxpc_name": "PXPC.exe"}, "DRIVER": {}}
        if test_version is not None:
            entries["PXPC"]["pxpc_test_ver"] = test_version
        if preload:
            shutil.copy(os.path.join(build_output("drivers"), preload), self.image)
            entries["DRIVER"] = {"preload": preload, "preload_type": preload_type}
            files.append(preload)
        entries["FILES"] = {"filecount": len(files), **{f"file{i:02d}": name for i, name in enumerate(files)}}
        for section, values in (config or {}).items():
            entries.setdefault(section, {}).update(values)
        write_ini(os.path.join(self.image, "config.ini"), entries)
        self.set(selected_mode=selected_mode)

    @classmethod
    def from_image(cls, root, files, letter="E", selected_mode=1):
        """A phone whose CD image is a copy of the folder `files` (e.g. the files extracted from an
        ISO image) in place of the one made of the build outputs."""
        phone = cls(root, letter, selected_mode)
        shutil.rmtree(phone.image)
        shutil.copytree(files, phone.image)
        return phone

    def set(self, **values):
        """Rewrites the simulated phone's settings; the phone reads them afresh per command."""
        values.setdefault("log", _windows(self.log))
        write_ini(self.settings, {"phone": values})

    def commands(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().split()

    def mode_changes(self):
        return [c for c in self.commands() if c.startswith("F101")]

    def env(self):
        return {"QV_PHONE_SIM": _windows(self.settings)}


def _windows(host_path):
    return "Z:" + host_path.replace("/", "\\")
