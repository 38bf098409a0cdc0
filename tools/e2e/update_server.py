"""The fake update server as the end-to-end runs and the demo use it: the repository's default
scenario (country table, software lists, the package's serverconfig.ini, pxpcconfig.ini and a
data file) completed with build outputs (the stub PC tool as PXPC.exe, the driver installers),
served on the ports the win64 build talks to, with "the Internet" answering on the connectivity
port so the program finds the PC online. Scenarios change the copy, never the repository. A port
that another program holds stops the start with PortInUse, whose text is one plain sentence."""
import configparser
import errno
import json
import os
import shutil
import socket
import subprocess
import sys
import urllib.parse

from phone_image import build_output

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "..", "fake_update_server", "fake_update_server.py")
DEFAULT_SCENARIO = os.path.join(HERE, "..", "fake_update_server", "scenarios", "default")
PACKAGE = "pkg/pxpc"
STATISTICS_PATH = "/ksvc/b2c/client/ric_hit_rate_pcsync_log.jsp"
DRIVER_INSTALLERS = ("driver_setup.exe", "driver_setup_fail.exe", "unison_driver.msi", "cbw_unison_driver.msi")


def port_from_env(name, default):
    return int(os.environ.get(name, default))


class PortInUse(RuntimeError):
    """A fixed loopback port that another program listens on; its text names the port."""

    def __init__(self, port):
        super().__init__(f"Port {port} is in use by another program: stop it (another demo or test run?) "
                         "and try again.")
        self.port = port


def port_in_use(port, host="127.0.0.1"):
    """Whether binding `port` fails because it is taken. Bound as the fake server binds (address
    reuse on), so a port that an earlier run left in TIME_WAIT counts as free, as it is for the server."""
    with socket.socket() as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind((host, port))
        except OSError as error:
            if error.errno == errno.EADDRINUSE:
                return True
            raise
    return False


def check_ports_free(ports, host="127.0.0.1"):
    """Raises PortInUse for the first of `ports` that another program holds."""
    for port in ports:
        if port_in_use(port, host):
            raise PortInUse(port)


class UpdateServer:
    """One fake server process for a run of scenarios; ``reset()`` restores the default scenario."""

    def __init__(self, root):
        self.root = root
        self.scenario_dir = os.path.join(root, "scenario")
        self.log = os.path.join(root, "requests.log")
        self.pidfile = os.path.join(root, "server.pid")
        self.service_port = port_from_env("QV_E2E_SERVICE_PORT", 19002)
        self.probe_port = port_from_env("QV_E2E_PROBE_PORT", 19080)
        self.connectivity_port = port_from_env("QV_E2E_CONNECTIVITY_PORT", 19003)

    @property
    def package_dir(self):
        return os.path.join(self.scenario_dir, "files", *PACKAGE.split("/"))

    @property
    def package_url(self):
        return f"http://127.0.0.1:{self.service_port}/{PACKAGE}/"

    @property
    def ports(self):
        return [self.service_port, self.probe_port, self.connectivity_port]

    def start(self):
        """Starts the server on a fresh default scenario. PortInUse when one of its ports is taken
        (asked first, and again after a failed start, which a program that took it meanwhile causes);
        RuntimeError with the server's own messages when it fails for another reason."""
        check_ports_free(self.ports)
        os.makedirs(self.root, exist_ok=True)
        self.reset()
        errlog = os.path.join(self.root, "server.err")
        done = subprocess.run([sys.executable, SERVER_SCRIPT, "start", "--scenario", self.scenario_dir,
                               "--port", str(self.service_port), "--probe-port", str(self.probe_port),
                               "--connectivity-port", str(self.connectivity_port), "--log", self.log,
                               "--pidfile", self.pidfile, "--errlog", errlog],
                              capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            check_ports_free(self.ports)
            with open(errlog, errors="replace") if os.path.exists(errlog) else open(os.devnull) as f:
                messages = f.read()
            raise RuntimeError(f"the fake update server did not start: {done.stderr.strip()}\n{messages}".strip())
        return self

    def stop(self):
        subprocess.run([sys.executable, SERVER_SCRIPT, "stop", "--pidfile", self.pidfile],
                       capture_output=True, timeout=30)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def reset(self):
        """The default scenario afresh, with the build outputs in the package; an empty request log."""
        shutil.rmtree(self.scenario_dir, ignore_errors=True)
        shutil.copytree(DEFAULT_SCENARIO, self.scenario_dir)
        shutil.copy(build_output("stub_tool"), os.path.join(self.package_dir, "PXPC.exe"))
        for name in DRIVER_INSTALLERS:
            shutil.copy(os.path.join(build_output("drivers"), name), self.package_dir)
        open(self.log, "w").close()

    # -- the package ------------------------------------------------------------------------

    def serverconfig(self):
        """serverconfig.ini of the package as a ConfigParser that keeps the keys' letter case."""
        config = configparser.ConfigParser(interpolation=None)
        config.optionxform = str
        config.read(os.path.join(self.package_dir, "serverconfig.ini"), encoding="cp1252")
        return config

    def set_serverconfig(self, section, **values):
        """Sets keys of one section; a value of None removes the key."""
        config = self.serverconfig()
        if not config.has_section(section):
            config.add_section(section)
        for key, value in values.items():
            if value is None:
                config.remove_option(section, key)
            else:
                config.set(section, key, str(value))
        with open(os.path.join(self.package_dir, "serverconfig.ini"), "w", newline="\r\n", encoding="cp1252") as f:
            config.write(f, space_around_delimiters=False)

    def package_files(self):
        config = self.serverconfig()
        count = int(config.get("FILES_PXPC", "filecount", fallback="0"))
        return [config.get("FILES_PXPC", f"file{i:02d}") for i in range(count)]

    def package_file(self, name):
        with open(os.path.join(self.package_dir, name), "rb") as f:
            return f.read()

    # -- the scenario -----------------------------------------------------------------------

    def scenario(self):
        """The scenario of the copy, as the server reads it for the next request."""
        with open(os.path.join(self.scenario_dir, "scenario.json"), encoding="utf-8") as f:
            return json.load(f)

    def _edit_scenario(self, change):
        path = os.path.join(self.scenario_dir, "scenario.json")
        scenario = self.scenario()
        change(scenario)
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            json.dump(scenario, f, indent=1)
        os.replace(path + ".tmp", path)  # the server reads it per request: never half written

    def route(self, path, **options):
        """A route that takes precedence over the earlier ones and over the package's files."""
        self._edit_scenario(lambda s: s["routes"].insert(0, {"path": path, **options}))

    def package_route(self, name, **options):
        """Serves a package file with the given misbehaviour (delay, status, ...)."""
        self.route(f"/{PACKAGE}/{name}", file=f"{PACKAGE}/{name}", **options)

    def release(self, name):
        """Ends the pause of the routes whose ``release`` is ``name``."""
        open(os.path.join(self.scenario_dir, name), "w").close()

    def probe(self, **options):
        self._edit_scenario(lambda s: s.__setitem__("probe", options))

    # -- what the program asked -------------------------------------------------------------

    def requests(self, role="service"):
        """(path, raw query) of every request to the given port, in order."""
        with open(self.log, encoding="latin-1") as f:
            rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
        return [(path, query) for port_role, _, path, query in rows if port_role == role]

    def downloads(self):
        """Names of the package files the program fetched, in order."""
        prefix = f"/{PACKAGE}/"
        return [path[len(prefix):] for path, _ in self.requests() if path.startswith(prefix)]

    def reports(self):
        """(status, history id) of every statistics record, in order."""
        records = []
        for path, query in self.requests():
            if path == STATISTICS_PATH:
                fields = dict(item.partition("=")[::2] for item in query.split("&"))
                records.append((fields.get("status"), urllib.parse.unquote(fields.get("history_id", ""))))
        return records
