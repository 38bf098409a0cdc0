#!/usr/bin/env python3
"""A stand-in for the maker's update server, for tests on loopback.

Two HTTP servers in one process: the service port answers the update client's pages and package
downloads from a scenario folder, the probe port answers the reachability check. An optional
third port stands for "the Internet": it answers every request with 200, so a program whose
connectivity check points there finds the PC online. The scenario
(DIR/scenario.json) is read afresh for every request, so a test switches behaviour by rewriting
it. Every request is appended to a request log before it is answered.

    fake_update_server.py serve --scenario DIR --port P --probe-port Q --log FILE [--host H]
                                [--connectivity-port C]
    fake_update_server.py start --scenario DIR --port P --probe-port Q --log FILE [--host H]
                                [--connectivity-port C] --pidfile F [--errlog FILE]
    fake_update_server.py stop --pidfile F
"""
import argparse
import json
import mimetypes
import os
import re
import select
import signal
import socket
import subprocess
import sys
import threading
import time
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SCRIPT = os.path.abspath(__file__)
PATTERN = bytes(i % 251 for i in range(251))
START_TIMEOUT = 10.0
STOP_TIMEOUT = 5.0

# Allowed keys and their JSON types; keys starting with "_" are comments and are ignored.
ROUTE_KEYS = {
    "path": str, "query": dict, "body": str, "file": str, "size": int, "status": int,
    "delay": (int, float), "empty": bool, "prefix": str, "content_length": (int, str),
    "close_after": int, "headers": dict, "rate": (int, float), "pause_after": int, "pause": (int, float),
    "release": str, "sizes": list,
}
PROBE_KEYS = {"status": int, "delay": (int, float), "refuse": bool}
TOP_KEYS = {"routes": list, "probe": dict}


class ScenarioError(Exception):
    pass


def diag(message):
    sys.stderr.write(time.strftime("%H:%M:%S ") + message + "\n")
    sys.stderr.flush()


def _check_object(obj, allowed, where):
    if not isinstance(obj, dict):
        raise ScenarioError(f"{where} must be an object")
    for key, value in obj.items():
        if key.startswith("_"):
            continue
        if key not in allowed:
            raise ScenarioError(f"{where}: unknown key {key!r}")
        kind = allowed[key]
        # bool is an int in Python; only keys declared bool may hold true/false
        if not isinstance(value, kind) or (isinstance(value, bool) and kind is not bool):
            raise ScenarioError(f"{where}: {key!r} has the wrong type")
        if isinstance(value, (int, float)) and not isinstance(value, bool) and value < 0:
            raise ScenarioError(f"{where}: {key!r} must not be negative")


def _check_strings(obj, where, latin1):
    for key, value in obj.items():
        if not isinstance(value, str):
            raise ScenarioError(f"{where}: value of {key!r} must be a string")
        if latin1:
            try:
                (key + value).encode("latin-1")
            except UnicodeEncodeError:
                raise ScenarioError(f"{where}: {key!r} is not Latin-1 text") from None


def load_scenario(directory):
    """Reads and checks DIR/scenario.json. A missing file is an empty scenario."""
    path = os.path.join(directory, "scenario.json")
    try:
        with open(path, encoding="utf-8-sig") as f:
            data = json.load(f)
    except FileNotFoundError:
        return {"routes": [], "probe": {}}
    except (OSError, ValueError) as e:
        raise ScenarioError(f"{path}: {e}") from None
    _check_object(data, TOP_KEYS, "scenario")
    data.setdefault("routes", [])
    data.setdefault("probe", {})
    _check_object(data["probe"], PROBE_KEYS, "probe")
    for n, route in enumerate(data["routes"]):
        where = f"routes[{n}]"
        _check_object(route, ROUTE_KEYS, where)
        if "path" not in route:
            raise ScenarioError(f"{where}: no 'path'")
        if sum(k in route for k in ("body", "file", "size", "sizes")) > 1:
            raise ScenarioError(f"{where}: give at most one of 'body', 'file', 'size', 'sizes'")
        sizes = route.get("sizes", [0])
        if not sizes or not all(isinstance(n, int) and not isinstance(n, bool) and n >= 0 for n in sizes):
            raise ScenarioError(f"{where}: 'sizes' must list sizes in bytes")
        _check_strings(route.get("query", {}), where + ".query", latin1=False)
        _check_strings(route.get("headers", {}), where + ".headers", latin1=True)
        length = route.get("content_length")
        if isinstance(length, str) and not re.fullmatch(r"[+-]\d+", length):
            raise ScenarioError(f"{where}: 'content_length' text must be +N or -N")
    return data


def parse_query(raw):
    """Splits on & and the first =, with no percent-decoding; the first occurrence of a key counts."""
    args = {}
    for item in raw.split("&") if raw else []:
        key, _, value = item.partition("=")
        args.setdefault(key, value)
    return args


def route_body(route, directory, answered=0):
    """The body of a route that has answered ``answered`` times before under this scenario."""
    if "body" in route:
        return route["body"].encode("utf-8")
    if "size" in route or "sizes" in route:
        n = route["size"] if "size" in route else route["sizes"][min(answered, len(route["sizes"]) - 1)]
        return (PATTERN * (n // len(PATTERN) + 1))[:n]
    if "file" in route:
        try:
            with open(os.path.join(directory, "files", route["file"]), "rb") as f:
                return f.read()
        except OSError as e:
            raise ScenarioError(f"route file: {e}") from None
    return b""


class Handler(BaseHTTPRequestHandler):
    server_version = "FakeUpdate/1.0"
    timeout = 30

    def parse_request(self):
        # The client does not encode query values, so the target may hold spaces or bytes that
        # Python counts as white space (0x85, 0xA0). The stock parser splits on those; take the
        # target as everything between the first and the last space instead.
        line = str(self.raw_requestline, "iso-8859-1").rstrip("\r\n")
        method, _, rest = line.partition(" ")
        target, _, version = rest.rpartition(" ")
        if not (method and target and version.startswith("HTTP/")):
            return super().parse_request()
        self.raw_requestline = f"{method} / {version}\r\n".encode("iso-8859-1")
        ok = super().parse_request()
        self.requestline, self.path = line, target
        return ok

    def log_message(self, format, *args):
        pass  # the request log is written by _handle

    def do_GET(self):
        self._handle(with_body=True)

    def do_HEAD(self):
        self._handle(with_body=False)

    def _handle(self, with_body):
        target = self.path
        if "://" in target.split("?", 1)[0]:  # absolute form, as sent to a proxy
            target = "/" + target.split("://", 1)[1].partition("/")[2]
        path, _, query = target.partition("?")
        self.server.log_request(f"{self.server.role}\t{self.command}\t{path}\t{query}")
        self.close_connection = True
        directory = self.server.scenario_dir
        try:
            scenario = load_scenario(directory)
            if self.server.role == "probe":
                return self._probe(scenario["probe"], with_body)
            if self.server.role == "connectivity":
                return self._probe({}, with_body)
            args = parse_query(query)
            for index, route in enumerate(scenario["routes"]):
                if route["path"] == path and all(args.get(k) == v for k, v in route.get("query", {}).items()):
                    answered = self.server.count_answer(scenario, index)
                    return self._route(route, route_body(route, directory, answered), with_body)
        except ScenarioError as e:
            diag(f"scenario error: {e}")
            return self._send(500, {}, f"scenario error: {e}\n".encode("utf-8"), None, with_body)
        data = self._static_file(path)
        if data is None:
            return self._send(404, {}, b"not found\n", None, with_body)
        kind = mimetypes.guess_type(path)[0] or "application/octet-stream"
        self._send(200, {"Content-Type": kind}, data, None, with_body)

    def _static_file(self, path):
        """DIR/files/<path>, or None; nothing outside DIR/files is ever served."""
        parts = [p for p in path.split("/") if p]
        if ".." in parts:
            return None
        root = os.path.realpath(os.path.join(self.server.scenario_dir, "files"))
        try:
            full = os.path.realpath(os.path.join(root, *parts))
            if not full.startswith(root + os.sep) or not os.path.isfile(full):
                return None
            with open(full, "rb") as f:
                return f.read()
        except (OSError, ValueError):
            return None

    def _probe(self, probe, with_body):
        time.sleep(probe.get("delay", 0))
        if probe.get("refuse"):
            return  # the connection is closed with no answer at all
        self._send(probe.get("status", 200), {}, b"OK\n", None, with_body)

    def _route(self, route, body, with_body):
        time.sleep(route.get("delay", 0))
        payload = b"" if route.get("empty") else route.get("prefix", "").encode("utf-8") + body
        announced = route.get("content_length")
        if isinstance(announced, str):
            announced = max(0, len(payload) + int(announced))
        if "close_after" in route:
            announced = len(payload) if announced is None else announced
            payload = payload[:route["close_after"]]
        headers = {}
        if "file" in route:
            headers["Content-Type"] = mimetypes.guess_type(route["file"])[0] or "application/octet-stream"
        elif "size" in route:
            headers["Content-Type"] = "application/octet-stream"
        headers.update(route.get("headers", {}))
        pause = (route.get("pause_after", 0), route.get("pause", 0), route.get("release"))
        self._send(route.get("status", 200), headers, payload, announced, with_body, route.get("rate"), pause)

    def _send(self, status, extra, payload, announced, with_body, rate=None, pause=(0, 0, None)):
        """Writes status line, headers and body, the body in one go or, with ``rate``, dripped at
        that many bytes per second in tenths of a second; ``pause`` (bytes, seconds, release file)
        stops the body after its first bytes for that many seconds, or until the release file
        appears in the scenario folder. The connection is closed afterwards."""
        try:
            reason = HTTPStatus(status).phrase
        except ValueError:
            reason = "Unknown"
        headers = {
            "Server": self.server_version,
            "Content-Type": "text/plain; charset=utf-8",
            "Content-Length": str(len(payload) if announced is None else announced),
            "Connection": "close",
        }
        lowered = {k.lower(): k for k in headers}
        for name, value in extra.items():
            headers.pop(lowered.get(name.lower(), name), None)
            headers[name] = value
        head = f"HTTP/1.1 {status} {reason}\r\n"
        head += "".join(f"{k}: {v}\r\n" for k, v in headers.items()) + "\r\n"
        body = payload if with_body else b""
        try:
            if not rate and not pause[1]:
                self.wfile.write(head.encode("latin-1") + body)
                return
            self.wfile.write(head.encode("latin-1"))
            step = max(1, int(rate / 10)) if rate else len(body) or 1
            for start in range(0, len(body), step):
                piece = body[start:start + step]
                if pause[1] and start <= pause[0] < start + len(piece):
                    self.wfile.write(piece[:pause[0] - start])
                    self.wfile.flush()
                    self._hold(pause[1], pause[2])
                    piece = piece[pause[0] - start:]
                self.wfile.write(piece)
                self.wfile.flush()
                if rate:
                    time.sleep(0.1)
        except OSError:
            pass  # the client gave up first


    def _hold(self, seconds, release):
        deadline = time.monotonic() + seconds
        flag = os.path.join(self.server.scenario_dir, release) if release else None
        while time.monotonic() < deadline and not (flag and os.path.exists(flag)):
            time.sleep(0.05)


class Server(ThreadingHTTPServer):
    allow_reuse_address = True  # a port left in TIME_WAIT by the previous run binds at once
    daemon_threads = True
    log_lock = threading.Lock()

    def __init__(self, address, role, scenario_dir, log_path):
        self.role, self.scenario_dir, self.log_path = role, scenario_dir, log_path
        super().__init__(address, Handler)

    def count_answer(self, scenario, index):
        """How often route ``index`` answered before under this scenario; a changed scenario
        starts every count afresh."""
        with self.log_lock:
            if getattr(self, "counted_scenario", None) != scenario:
                self.counted_scenario, self.answers = scenario, {}
            answered = self.answers.get(index, 0)
            self.answers[index] = answered + 1
            return answered

    def log_request(self, line):
        # Latin-1 both ways, so the log holds the bytes of the request line as received.
        with self.log_lock, open(self.log_path, "a", encoding="latin-1", newline="\n") as f:
            f.write(line + "\n")


def listening_ports(args):
    ports = [("service", args.port), ("probe", args.probe_port)]
    if args.connectivity_port is not None:
        ports.append(("connectivity", args.connectivity_port))
    return ports


def serve(args):
    scenario_dir, log_path = os.path.abspath(args.scenario), os.path.abspath(args.log)
    open(log_path, "a").close()
    servers = []
    try:
        for role, port in listening_ports(args):
            servers.append(Server((args.host, port), role, scenario_dir, log_path))
    except OSError as e:
        diag(f"cannot listen on {args.host}:{port}: {e}")
        for s in servers:
            s.server_close()
        return 1
    stopping = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stopping.set())
    for s in servers:
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    diag(f"serving {scenario_dir}: service {args.host}:{args.port}, probe {args.host}:{args.probe_port}")
    if args.ready_fd is not None:
        os.write(args.ready_fd, b"ready\n")
        os.close(args.ready_fd)
    while not stopping.wait(0.5):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    return 0


def read_pidfile(path):
    try:
        with open(path) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def server_alive(pid):
    """True if pid is a live (not zombie) serve process of this script, not a reused pid."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            if f.read().rpartition(")")[2].split()[0] == "Z":
                return False
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            argv = f.read().split(b"\0")
    except OSError:
        return False
    return b"serve" in argv and any(a.endswith(os.path.basename(SCRIPT).encode()) for a in argv)


def stop_pid(pid):
    for sig, wait in ((signal.SIGTERM, STOP_TIMEOUT), (signal.SIGKILL, 2.0)):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return True
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            if not server_alive(pid):
                return True
            time.sleep(0.05)
    return False


def port_open(host, port):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


def start(args):
    pidfile = os.path.abspath(args.pidfile)
    old = read_pidfile(pidfile)
    if old is not None and server_alive(old):
        print(f"stopping the server left running by this pid file (pid {old})")
        stop_pid(old)
    cmd = [sys.executable, SCRIPT, "serve", "--scenario", os.path.abspath(args.scenario),
           "--port", str(args.port), "--probe-port", str(args.probe_port),
           "--log", os.path.abspath(args.log), "--host", args.host]
    if args.connectivity_port is not None:
        cmd += ["--connectivity-port", str(args.connectivity_port)]
    ready_r, ready_w = os.pipe()
    out = open(args.errlog, "ab") if args.errlog else subprocess.DEVNULL
    # Own session, no inherited descriptors but the ready pipe, cwd "/": the server never holds
    # the caller's pipes, terminal or working directory.
    proc = subprocess.Popen(cmd + ["--ready-fd", str(ready_w)], stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT, pass_fds=(ready_w,), start_new_session=True, cwd="/")
    os.close(ready_w)
    if out is not subprocess.DEVNULL:
        out.close()
    deadline = time.monotonic() + START_TIMEOUT
    ready = select.select([ready_r], [], [], START_TIMEOUT)[0] and os.read(ready_r, 16)
    os.close(ready_r)
    if not ready:
        if proc.poll() is None:
            proc.kill()
        print(f"fake update server did not start (status {proc.wait()})"
              + (f"; see {args.errlog}" if args.errlog else ""), file=sys.stderr)
        return 1
    while not all(port_open(args.host, port) for _, port in listening_ports(args)):
        if time.monotonic() > deadline or proc.poll() is not None:
            proc.kill()
            print("fake update server ports do not accept connections", file=sys.stderr)
            return 1
        time.sleep(0.05)
    with open(pidfile + ".tmp", "w") as f:
        f.write(f"{proc.pid}\n")
    os.replace(pidfile + ".tmp", pidfile)
    proc.returncode = 0  # left running on purpose; keeps Popen from warning about it
    print(f"fake update server pid {proc.pid}: service {args.host}:{args.port}, probe {args.host}:{args.probe_port}")
    return 0


def stop(args):
    pid = read_pidfile(args.pidfile)
    ok = True
    if pid is not None and server_alive(pid):
        ok = stop_pid(pid)
    if ok:
        try:
            os.remove(args.pidfile)
        except FileNotFoundError:
            pass
    else:
        print(f"fake update server pid {pid} did not stop", file=sys.stderr)
    return 0 if ok else 1


def main(argv=None):
    parser = argparse.ArgumentParser(description="Fake update server for tests on loopback.")
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("serve", "start"):
        p = commands.add_parser(name)
        p.add_argument("--scenario", required=True, help="scenario folder: scenario.json and files/")
        p.add_argument("--port", type=int, required=True, help="service port")
        p.add_argument("--probe-port", type=int, required=True, help="reachability probe port")
        p.add_argument("--log", required=True, help="request log, appended")
        p.add_argument("--host", default="127.0.0.1")
        p.add_argument("--connectivity-port", type=int, help="optional port that answers every request with 200")
        if name == "serve":
            p.add_argument("--ready-fd", type=int, help=argparse.SUPPRESS)
        else:
            p.add_argument("--pidfile", required=True)
            p.add_argument("--errlog", help="the server's own messages (default: discarded)")
    p = commands.add_parser("stop")
    p.add_argument("--pidfile", required=True)
    args = parser.parse_args(argv)
    return {"serve": serve, "start": start, "stop": stop}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
