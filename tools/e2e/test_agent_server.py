#!/usr/bin/env python3
"""AgentServer against a real fake update server on free ports, without Wine: the live-update list
on the wire in the shape the client reads, its entries changed and dropped, and the agent
cabinets and extra files served under /agents/. The build outputs are stand-in files."""
import os
import socket
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_server import CABINETS, LIVE_UPDATE_PATH, AgentServer  # noqa: E402
from update_server import DRIVER_INSTALLERS  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class AgentServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        outputs = os.path.join(cls.tmp.name, "outputs")
        cabinets = os.path.join(outputs, "cab")
        os.makedirs(cabinets)
        for name in DRIVER_INSTALLERS + ("stub_pc_tool.exe",):
            with open(os.path.join(outputs, name), "wb") as f:
                f.write(b"MZ")
        for name in CABINETS:
            with open(os.path.join(cabinets, name), "wb") as f:
                f.write(name.encode() * 1000)
        cls.port = free_port()
        cls.saved = dict(os.environ)
        os.environ.update(QV_E2E_STUB_TOOL=os.path.join(outputs, "stub_pc_tool.exe"), QV_E2E_DRIVERS=outputs,
                          QV_E2E_AGENT_CABINETS=cabinets, QV_E2E_SERVICE_PORT=str(cls.port),
                          QV_E2E_PROBE_PORT=str(free_port()), QV_E2E_CONNECTIVITY_PORT=str(free_port()))
        cls.server = AgentServer(os.path.join(cls.tmp.name, "server")).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        os.environ.clear()
        os.environ.update(cls.saved)
        cls.tmp.cleanup()

    def setUp(self):
        self.server.reset()

    def fetch(self, path):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path}", timeout=10) as answer:
                return answer.status, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, b""

    def served_list(self):
        status, body = self.fetch(LIVE_UPDATE_PATH)
        self.assertEqual(status, 200)
        return body.decode("utf-8")

    def test_default_list_names_the_cabinets_on_this_port_in_the_clients_entry_shape(self):
        body = self.served_list()
        base = f"http://127.0.0.1:{self.port}/agents/"
        for name, cabinet in (("NotiAgent_QOR", "QOREUTProg.CAB"), ("NotiAgent_QOR_UA", "NotiAgent_QOR_UA.cab"),
                              ("QOREUTProg", "QOREUTProg.CAB")):
            entry = f"name='{name}' version='1.0.1.4' url='{base}{cabinet}' />"
            self.assertEqual(body.count(entry), 1, entry)
            self.assertGreater(body.index(f"name='{name}'"), 0)
        for cabinet in CABINETS:
            self.assertEqual(self.fetch(f"/agents/{cabinet}"), (200, cabinet.encode() * 1000))
        self.assertEqual(self.server.agent_downloads(), list(CABINETS))
        self.assertEqual(self.server.live_update_requests(), [""])

    def test_entries_change_drop_and_come_back(self):
        self.server.set_entry("QOREUTProg", version="1.0.1.5")
        self.server.set_entry("NotiAgent_QOR", url=self.server.agent_url("unsafe.cab"))
        self.server.set_entry("NotiAgent_QOR_UA", drop=True)
        body = self.served_list()
        self.assertIn("name='QOREUTProg' version='1.0.1.5' url=", body)
        self.assertIn(f"name='NotiAgent_QOR' version='1.0.1.4' url='{self.server.agent_url('unsafe.cab')}' />", body)
        self.assertNotIn("NotiAgent_QOR_UA", body)
        self.server.set_entry("NotiAgent_QOR_UA", version="2.0.0.0", url="http://127.0.0.1:1/x.cab")
        self.assertEqual(self.server.live_update()[-1], ("NotiAgent_QOR_UA", "2.0.0.0", "http://127.0.0.1:1/x.cab"))
        with self.assertRaises(ValueError):
            self.server.set_entry("Unknown", version="1")

    def test_whole_list_and_extra_files(self):
        self.server.set_live_update([("QOREUTProg", "9.9.9.9", "http://h/a.cab")])
        self.assertEqual(self.served_list(),
                         "<live_update>\n<item name='QOREUTProg' version='9.9.9.9' url='http://h/a.cab' />\n"
                         "</live_update>\n")
        self.server.set_live_update_body("name='QOREUTProg' version='1' url='x'/>")
        self.assertEqual(self.served_list(), "name='QOREUTProg' version='1' url='x'/>")
        self.assertEqual(self.server.add_agent_file("small.cab", b"tiny"), self.server.agent_url("small.cab"))
        self.assertEqual(self.fetch("/agents/small.cab"), (200, b"tiny"))
        self.server.reset()
        self.assertEqual(self.fetch("/agents/small.cab")[0], 404)


if __name__ == "__main__":
    unittest.main()
