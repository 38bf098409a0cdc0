#!/usr/bin/env python3
"""Runs the fake update server through start/stop on free ports and checks what the tests of the
programs build on without seeing it: a route answers only the exact raw query, and every request
reaches the request log as sent (a scenario's "never asked" is a check of that log)."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "fake_update_server.py")
ROUTES = [
    {"path": "/list.jsp", "query": {"region": "X", "country": "YY"}, "body": "XY"},
    {"path": "/list.jsp", "query": {"country": "a%20b"}, "body": "raw"},
    {"path": "/list.jsp", "query": {"model": "a b\u00a0c"}, "body": "odd"},
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
            json.dump(data, f)

    def test_routes_match_on_raw_query_values_and_requests_are_logged_as_sent(self):
        self.assertEqual(fetch(self.port, "/list.jsp?model=&region=X&country=YY")[2], b"XY")
        self.assertEqual(fetch(self.port, "/list.jsp?country=a%20b")[2], b"raw")
        self.assertEqual(fetch(self.port, "/list.jsp?region=X&country=a b")[0], 404)
        self.assertEqual(fetch(self.port, "/list.jsp?region=X")[0], 404)
        self.assertEqual(fetch(self.port, "/list.jsp?model=a b\xa0c&x=1")[::2], (200, b"odd"))
        with open(self.log, "rb") as f:
            self.assertEqual(f.read().splitlines()[-1], b"service\tGET\t/list.jsp\tmodel=a b\xa0c&x=1")

    def test_the_probe_can_refuse_while_the_internet_stays_up(self):
        # Its other answers (a status, a delay) are played by the online scenarios.
        self.scenario({"probe": {"refuse": True}})
        self.assertEqual(fetch(self.probe, "/any?x"), (None, {}, b""))
        self.assertEqual(fetch(self.internet, "/")[0], 200)
        with open(self.log, "rb") as f:
            self.assertEqual(f.read(), b"probe\tGET\t/any\tx\nconnectivity\tGET\t/\t\n")

    def test_a_route_with_sizes_answers_each_request_with_the_next_size(self):
        self.scenario({"routes": [{"path": "/f.bin", "sizes": [300, 200]}]})
        answers = [fetch(self.port, "/f.bin", method) for method in ("HEAD", "GET", "GET")]
        self.assertEqual([a[1]["Content-Length"] for a in answers], ["300", "200", "200"])
        self.assertEqual(answers[2][2], bytes(i % 251 for i in range(200)))
        self.scenario({"routes": [{"path": "/f.bin", "sizes": [10, 20]}]})  # a new scenario counts anew
        self.assertEqual(fetch(self.port, "/f.bin")[1]["Content-Length"], "10")


def fetch_refused(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
        return False
    except ConnectionRefusedError:
        return True


if __name__ == "__main__":
    unittest.main()
