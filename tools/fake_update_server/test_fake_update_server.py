#!/usr/bin/env python3
"""Runs the fake update server through start/stop on free ports and checks its answers on the wire."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "fake_update_server.py")
ROUTES = [
    {"path": "/list.jsp", "query": {"region": "X", "country": "YY"}, "body": "XY"},
    {"path": "/list.jsp", "query": {"country": "a%20b"}, "body": "raw"},
    {"path": "/list.jsp", "query": {"model": "a b\u00a0c"}, "body": "odd"},
    {"path": "/short", "body": "0123456789", "content_length": "-4"},
    {"path": "/long", "body": "0123456789", "content_length": 100},
    {"path": "/cut", "size": 1000, "close_after": 7},
    {"path": "/prefixed", "body": "<r/>", "prefix": "\ufeff  junk "},
    {"path": "/empty", "body": "ignored", "empty": True},
    {"path": "/busy", "status": 503, "headers": {"content-type": "text/xml", "X-Test": "1"}},
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(port, target, method="GET"):
    """Sends one raw request; returns (status, headers, body read until the server closed)."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(f"{method} {target} HTTP/1.1\r\nHost: x\r\n\r\n".encode("latin-1"))
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    if not data:
        return None, {}, b""
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = dict(line.split(": ", 1) for line in lines[1:])
    return int(lines[0].split()[1]), headers, body


class FakeUpdateServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        os.makedirs(os.path.join(cls.dir, "files", "pkg"))
        with open(os.path.join(cls.dir, "files", "pkg", "a.ini"), "w") as f:
            f.write("[A]\n")
        cls.log = os.path.join(cls.dir, "requests.log")
        cls.pidfile = os.path.join(cls.dir, "server.pid")
        cls.port, cls.probe, cls.internet = free_port(), free_port(), free_port()
        cls.cli("start", "--scenario", cls.dir, "--port", str(cls.port), "--probe-port", str(cls.probe),
                "--connectivity-port", str(cls.internet), "--log", cls.log, "--pidfile", cls.pidfile)

    @classmethod
    def tearDownClass(cls):
        cls.cli("stop", "--pidfile", cls.pidfile)
        stopped = not os.path.exists(cls.pidfile) and fetch_refused(cls.port) and fetch_refused(cls.internet)
        cls.tmp.cleanup()
        assert stopped, "stop left the server or its pid file behind"

    @staticmethod
    def cli(*args):
        # Output is captured: were the server to keep the pipe open, this would time out.
        subprocess.run([sys.executable, SERVER, *args], check=True, capture_output=True, timeout=20)

    def setUp(self):
        self.scenario({"routes": ROUTES})
        open(self.log, "w").close()

    def scenario(self, data):
        with open(os.path.join(self.dir, "scenario.json"), "w") as f:
            f.write(data if isinstance(data, str) else json.dumps(data))

    def test_routes_match_on_raw_query_values(self):
        self.assertEqual(fetch(self.port, "/list.jsp?model=&region=X&country=YY")[2], b"XY")
        self.assertEqual(fetch(self.port, "/list.jsp?country=a%20b")[2], b"raw")
        self.assertEqual(fetch(self.port, "/list.jsp?region=X&country=a b")[0], 404)
        self.assertEqual(fetch(self.port, "/list.jsp?region=X")[0], 404)

    def test_odd_bytes_in_the_query_are_taken_and_logged_as_sent(self):
        self.assertEqual(fetch(self.port, "/list.jsp?model=a b\xa0c&x=1")[::2], (200, b"odd"))
        with open(self.log, "rb") as f:
            self.assertEqual(f.read(), b"service\tGET\t/list.jsp\tmodel=a b\xa0c&x=1\n")

    def test_files_are_served_and_nothing_outside_them(self):
        self.assertEqual(fetch(self.port, "/pkg/a.ini")[::2], (200, b"[A]\n"))
        self.assertEqual(fetch(self.port, "/pkg/../pkg/a.ini")[0], 404)
        self.assertEqual(fetch(self.port, "/../scenario.json")[0], 404)
        self.assertEqual(fetch(self.port, "/pkg/missing.ini")[0], 404)

    def test_announced_length_differs_from_the_body(self):
        status, headers, body = fetch(self.port, "/short")
        self.assertEqual((status, headers["Content-Length"], body), (200, "6", b"0123456789"))
        status, headers, body = fetch(self.port, "/long")
        self.assertEqual((headers["Content-Length"], headers["Connection"], body), ("100", "close", b"0123456789"))

    def test_close_after_sends_part_of_a_sized_body(self):
        status, headers, body = fetch(self.port, "/cut")
        self.assertEqual((headers["Content-Length"], body), ("1000", bytes(range(7))))
        self.scenario({"routes": [{"path": "/cut", "size": 600}]})
        self.assertEqual(fetch(self.port, "/cut")[2], bytes(i % 251 for i in range(600)))

    def test_rate_drips_the_whole_body(self):
        self.scenario({"routes": [{"path": "/slow", "size": 300, "rate": 1000}]})
        started = time.monotonic()
        status, headers, body = fetch(self.port, "/slow")
        elapsed = time.monotonic() - started
        self.assertEqual((status, headers["Content-Length"], body), (200, "300", bytes(range(251)) + bytes(range(49))))
        self.assertGreaterEqual(elapsed, 0.25)  # three tenths of 100 bytes each

    def test_pause_stops_the_body_after_its_first_bytes(self):
        self.scenario({"routes": [{"path": "/stall", "size": 50, "pause_after": 20, "pause": 0.5}]})
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(b"GET /stall HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while not data.endswith(bytes(range(20))):
                data += s.recv(65536)
            s.settimeout(0.3)
            with self.assertRaises(socket.timeout):  # nothing more during the pause
                s.recv(65536)
            s.settimeout(5)
            while chunk := s.recv(65536):
                data += chunk
        self.assertTrue(data.endswith(bytes(range(50))))

    def test_prefix_empty_status_and_headers(self):
        self.assertEqual(fetch(self.port, "/prefixed")[2], "\ufeff  junk <r/>".encode("utf-8"))
        status, headers, body = fetch(self.port, "/empty")
        self.assertEqual((status, headers["Content-Length"], body), (200, "0", b""))
        status, headers, body = fetch(self.port, "/busy")
        types = [v for k, v in headers.items() if k.lower() == "content-type"]
        self.assertEqual((status, types, headers["X-Test"]), (503, ["text/xml"], "1"))

    def test_head_gives_headers_only(self):
        status, headers, body = fetch(self.port, "/pkg/a.ini", "HEAD")
        self.assertEqual((status, headers["Content-Length"], body), (200, "4", b""))

    def test_probe_answers_every_path_and_can_refuse_while_the_internet_stays_up(self):
        self.assertEqual(fetch(self.probe, "/")[0], 200)
        self.scenario({"probe": {"status": 503}})
        self.assertEqual(fetch(self.probe, "/any?x")[0], 503)
        self.scenario({"probe": {"refuse": True}})
        self.assertEqual(fetch(self.probe, "/"), (None, {}, b""))
        self.assertEqual(fetch(self.internet, "/")[0], 200)
        with open(self.log, "rb") as f:
            self.assertEqual(f.read(), b"probe\tGET\t/\t\nprobe\tGET\t/any\tx\nprobe\tGET\t/\t\n"
                                       b"connectivity\tGET\t/\t\n")

    def test_scenario_changes_apply_to_the_next_request(self):
        self.scenario("{ not json")
        self.assertEqual(fetch(self.port, "/list.jsp?region=X&country=YY")[0], 500)
        self.scenario({"routes": [{"path": "/x", "delai": 1}]})
        self.assertEqual(fetch(self.port, "/x")[0], 500)
        os.remove(os.path.join(self.dir, "scenario.json"))
        self.assertEqual(fetch(self.port, "/list.jsp?region=X&country=YY")[0], 404)
        self.assertEqual(fetch(self.port, "/pkg/a.ini")[0], 200)


def fetch_refused(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
        return False
    except ConnectionRefusedError:
        return True


if __name__ == "__main__":
    unittest.main()
