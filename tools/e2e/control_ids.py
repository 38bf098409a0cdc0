"""Dialog control ids as the programs are built with them: read from their resource headers, so
that the scenarios name controls (``BOOTSTRAP.IDC_BUTTON_YES``) and follow any renumbering. A name
the header no longer defines fails at once with AttributeError, never with a wrong control."""
import os
import re

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFINE = re.compile(r"^\s*#define\s+(ID[A-Z]?_\w+)\s+\(?(0x[0-9A-Fa-f]+|-?\d+)\)?\s*(?://.*)?$")

# The system's button ids (winuser.h), which message boxes and hidden dialog buttons carry.
IDOK, IDCANCEL = 1, 2


class ResourceIds:
    """The ``#define ID..._NAME number`` lines of one header, as attributes."""

    def __init__(self, relative_path):
        self.path = os.path.join(ROOT, relative_path)
        with open(self.path, encoding="utf-8") as f:
            self._ids = {m.group(1): int(m.group(2), 0) for m in map(DEFINE.match, f) if m}
        controls = [value for name, value in self._ids.items() if name.startswith("IDC_") and value >= 0]
        if len(set(controls)) != len(controls):
            raise ValueError(f"{self.path}: two controls share an id")

    def __getattr__(self, name):
        try:
            return self.__dict__["_ids"][name]
        except KeyError:
            raise AttributeError(f"{name} is not defined in {self.path}") from None


BOOTSTRAP = ResourceIds("bootstrap/res/resource.h")   # PX_Bootstrap.exe's main dialog
SETUP = ResourceIds("updateclient/res/resource.h")    # QVUTchkdl.dll's agent dialogs
