#!/usr/bin/env python3
"""The 32-bit probe's two answers, with a stand-in `wine` first on PATH: one that fails as the
kernel does on a machine without 32-bit emulation, one that runs the probe as a 32-bit Wine would,
and one that prints nothing useful."""
import os
import stat
import subprocess
import tempfile
import unittest

PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "probe_32bit.sh")


def probe_with(wine_script):
    with tempfile.TemporaryDirectory() as bin_dir:
        wine = os.path.join(bin_dir, "wine")
        with open(wine, "w") as f:
            f.write("#!/bin/sh\n" + wine_script)
        os.chmod(wine, stat.S_IRWXU)
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"])
        result = subprocess.run([PROBE], env=env, capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout.strip()


class Probe32Bit(unittest.TestCase):
    def test_a_kernel_without_32_bit_emulation_skips_the_runs(self):
        code, line = probe_with('echo "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2; exit 126\n')
        self.assertEqual((code, line), (1, "32-bit Windows programs cannot run here (the kernel refuses 32-bit "
                                           "executables): the 32-bit runs are skipped"))

    def test_a_32_bit_wine_that_runs_the_probe(self):
        self.assertEqual(probe_with('echo "32-bit hello 4"\n'), (0, "32-bit Windows programs run here"))

    def test_a_64_bit_answer_or_a_failure_is_no(self):
        code, line = probe_with('echo "32-bit hello 8"\n')  # not the 32-bit program that was built
        self.assertEqual(code, 1)
        self.assertTrue(line.startswith("32-bit Windows programs cannot run here (wine could not run the probe"), line)


if __name__ == "__main__":
    unittest.main()
