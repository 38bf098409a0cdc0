"""The fake update server with the update tool's agents, for the runs that install them: the
default scenario (see update_server.py) with its live-update list pointing at this server, and
the agent cabinets built for the tests (QOREUTProg.CAB, NotiAgent_QOR_UA.cab, unsafe.cab) served
under /agents/. Each entry of the list is one line that the client reads as plain text:

    <item name='NotiAgent_QOR' version='1.0.1.4' url='http://127.0.0.1:19002/agents/QOREUTProg.CAB' />

Tests change an entry's version or address, drop it, or replace the whole list, and may serve
any other file under /agents/."""
import os
import re
import shutil

from phone_image import build_output
from update_server import UpdateServer

LIVE_UPDATE_PATH = "/client/app/live_update.jsp"
AGENT_FILES = "agents"
CABINETS = ("QOREUTProg.CAB", "NotiAgent_QOR_UA.cab", "unsafe.cab")
ENTRY = re.compile(r"<item name='([^']*)' version='([^']*)' url='([^']*)' />")


def render_live_update(entries):
    """The list's body for (name, version, address) entries: one line each, between an opening
    and a closing line, so no entry starts the body."""
    lines = [f"<item name='{name}' version='{version}' url='{url}' />" for name, version, url in entries]
    return "\n".join(["<live_update>", *lines, "</live_update>", ""])


def parse_live_update(body):
    """(name, version, address) of every well-formed entry, in order."""
    return [match.groups() for match in ENTRY.finditer(body)]


class AgentServer(UpdateServer):
    """UpdateServer whose ``reset()`` also adds the agent cabinets and points the live-update list
    at this server's service port."""

    @property
    def agent_dir(self):
        return os.path.join(self.scenario_dir, "files", AGENT_FILES)

    def agent_url(self, name):
        return f"http://127.0.0.1:{self.service_port}/{AGENT_FILES}/{name}"

    def reset(self):
        super().reset()
        os.makedirs(self.agent_dir, exist_ok=True)
        for name in CABINETS:
            shutil.copy(os.path.join(build_output("agent_cabinets"), name), self.agent_dir)
        self.set_live_update([(name, version, self.agent_url(url.rsplit("/", 1)[-1]))
                              for name, version, url in self.live_update()])

    def add_agent_file(self, name, data):
        """Serves `data` (bytes, or the path of a file to copy) as /agents/<name>; returns its address."""
        target = os.path.join(self.agent_dir, name)
        if isinstance(data, (bytes, bytearray)):
            with open(target, "wb") as f:
                f.write(data)
        else:
            shutil.copy(data, target)
        return self.agent_url(name)

    # -- the live-update list ---------------------------------------------------------------

    def _live_update_route(self, scenario):
        for route in scenario["routes"]:
            if route["path"] == LIVE_UPDATE_PATH:
                return route
        route = {"path": LIVE_UPDATE_PATH, "body": render_live_update([])}
        scenario["routes"].append(route)
        return route

    def live_update_body(self):
        route = next((r for r in self.scenario()["routes"] if r["path"] == LIVE_UPDATE_PATH), {})
        return route.get("body", "")

    def live_update(self):
        """The list's (name, version, address) entries as the server sends them now."""
        return parse_live_update(self.live_update_body())

    def set_live_update_body(self, text):
        """The list's body exactly as given (malformed entries, other line ends, ...)."""
        self._edit_scenario(lambda s: self._live_update_route(s).__setitem__("body", text))

    def set_live_update(self, entries):
        self.set_live_update_body(render_live_update(entries))

    def set_entry(self, name, version=None, url=None, drop=False):
        """Changes the version and/or address of the entry `name` (e.g. "QOREUTProg"), or drops
        it; an entry not in the list is added at its end (then version and url are needed)."""
        entries = self.live_update()
        index = next((i for i, entry in enumerate(entries) if entry[0] == name), None)
        if drop:
            if index is not None:
                del entries[index]
        elif index is None:
            if version is None or url is None:
                raise ValueError(f"a new entry {name} needs a version and an address")
            entries.append((name, version, url))
        else:
            old = entries[index]
            entries[index] = (name, old[1] if version is None else version, old[2] if url is None else url)
        self.set_live_update(entries)

    # -- what the program asked -------------------------------------------------------------

    def live_update_requests(self):
        """The raw query of every request for the live-update list, in order."""
        return [query for path, query in self.requests() if path == LIVE_UPDATE_PATH]

    def agent_downloads(self):
        """Names of the files fetched under /agents/, in order."""
        prefix = f"/{AGENT_FILES}/"
        return [path[len(prefix):] for path, _ in self.requests() if path.startswith(prefix)]
