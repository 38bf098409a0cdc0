#!/usr/bin/env python3
"""Download benchmark (not a test): the fake update server serves a generated file on loopback and
it is fetched in one run by curl, by the program's URL download and by the library's DownloadToFile
(each through download_caller.exe under Wine), at two sizes. Prints MB/s, the ratio to curl and the
peak memory of each (curl's resident set, the Windows caller's peak working set), and checks that
every copy is the file that was served. The library's size request, which comes before its
transfer, is timed on its own too.

    cmake --build --preset win64 --target download_caller
    tools/download_bench/download_benchmark.py [--build build/win64] [--sizes 20,200] [--rounds 3]
"""
import argparse
import hashlib
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "fake_update_server", "fake_update_server.py")
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
MB = 1 << 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def served_digest(size):
    """SHA-256 of the server's generated body of `size` bytes (byte i is i % 251)."""
    pattern = bytes(i % 251 for i in range(251))
    digest = hashlib.sha256()
    whole, rest = divmod(size, len(pattern))
    block = pattern * 4096
    for _ in range(whole // 4096):
        digest.update(block)
    digest.update(pattern * (whole % 4096) + pattern[:rest])
    return digest.hexdigest()


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(MB):
            digest.update(chunk)
    return digest.hexdigest()


def run_curl(url, target):
    started = time.monotonic()
    proc = subprocess.Popen(["curl", "-s", "-o", target, url], stdin=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - started
    return {"ok": os.waitstatus_to_exitcode(status) == 0, "seconds": seconds, "peak": usage.ru_maxrss * 1024}


def run_caller(env, caller, way, url, target, work):
    out = os.path.join(work, "caller.json")
    with open(out, "wb") as f:
        subprocess.run([WINE, caller, way, url, "Z:" + target.replace("/", "\\")], stdin=subprocess.DEVNULL,
                       stdout=f, stderr=subprocess.DEVNULL, env=env, timeout=600)
    with open(out, encoding="utf-8") as f:
        line = f.read().strip()
    result = json.loads(line) if line else {"ok": False, "seconds": 0, "peak_working_set": 0}
    return {"ok": result["ok"], "seconds": result["seconds"], "peak": result["peak_working_set"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "..", "build", "win64"))
    parser.add_argument("--sizes", default="20,200", help="file sizes in MB, comma-separated")
    parser.add_argument("--rounds", type=int, default=3, help="fetches per way and size; the median counts")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    caller = os.path.join(build, "bench", "download_caller.exe")
    if not os.path.exists(caller):
        print(f"{caller} is missing: cmake --build --preset win64 --target download_caller", file=sys.stderr)
        return 2
    if not shutil.which("curl"):
        print("curl is missing: apt-get install curl", file=sys.stderr)
        return 2
    sizes = [int(s) * MB for s in args.sizes.split(",")]

    work = tempfile.mkdtemp(prefix="qv-download-bench-")
    scenario, target = os.path.join(work, "scenario"), os.path.join(work, "fetched.bin")
    os.makedirs(scenario)
    port, probe = free_port(), free_port()
    env = dict(os.environ, WINEPREFIX=os.path.join(build, "wine", "prefix"), HOME=os.path.join(build, "wine", "home"),
               WINELOADER=WINE, WINEDEBUG="-all")
    os.makedirs(env["HOME"], exist_ok=True)
    subprocess.run([sys.executable, SERVER, "start", "--scenario", scenario, "--port", str(port), "--probe-port",
                    str(probe), "--log", os.devnull, "--pidfile", os.path.join(work, "server.pid")],
                   check=True, capture_output=True, timeout=30)
    # Wine's helper processes inherit the output of the first Wine command: never a pipe of ours.
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run([WINESERVER, "-p"], env=env, **quiet)
    subprocess.run([WINE, "cmd", "/c", "exit"], env=env, timeout=300, **quiet)
    rows, failures = [], []
    try:
        for size in sizes:
            with open(os.path.join(scenario, "scenario.json"), "w") as f:
                json.dump({"routes": [{"path": "/file.bin", "size": size}]}, f)
            url = f"http://127.0.0.1:{port}/file.bin"
            expected = served_digest(size)
            ways = {"curl": lambda: run_curl(url, target),
                    "program (DownloadUrlToFile)": lambda: run_caller(env, caller, "url", url, target, work),
                    "library (DownloadToFile)": lambda: run_caller(env, caller, "library", url, target, work),
                    "library's size request": lambda: run_caller(env, caller, "size", url, target, work)}
            medians = {}
            for name, fetch in ways.items():
                results = []
                for _ in range(args.rounds):
                    if os.path.exists(target):
                        os.remove(target)
                    result = fetch()
                    fetched = name.endswith("size request") or (os.path.exists(target) and file_digest(target) == expected)
                    if not result["ok"] or not fetched:
                        failures.append(f"{name} at {size // MB} MB did not fetch the served file")
                    results.append(result)
                medians[name] = (statistics.median(r["seconds"] for r in results), max(r["peak"] for r in results))
            curl_speed = size / MB / medians["curl"][0]
            for name, (seconds, peak) in medians.items():
                speed = size / MB / seconds
                rows.append((size // MB, name, speed, speed / curl_speed, peak / MB))
    finally:
        subprocess.run([sys.executable, SERVER, "stop", "--pidfile", os.path.join(work, "server.pid")],
                       capture_output=True, timeout=30)
        subprocess.run([WINESERVER, "-k"], env=env, **quiet)
        shutil.rmtree(work, ignore_errors=True)

    print(f"{'size':>6}  {'way':<26} {'MB/s':>8} {'vs curl':>8} {'peak memory':>12}")
    for size, name, speed, ratio, peak in rows:
        print(f"{size:>4}MB  {name:<26} {speed:8.1f} {ratio:8.2f} {peak:10.1f}MB")
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
