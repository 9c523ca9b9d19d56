#!/usr/bin/python3
"""RQ55 for Windows under Wine, against the Linux simulator.

  windows_test.py WINDOWS_BUILD HOST_BUILD SOURCE_DIR

The Windows rq55ctl must read what the Linux one reads, over both TCP framings and over a COM port
that Wine maps to the simulator's pseudo-terminal; the desktop program's installation check must
pass, from the build and once installed by the setup program; the uninstaller must take away what
it installed and nothing a user saved.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

WIN, HOST, SRC = sys.argv[1:4]
WINE_RUN = os.path.join(SRC, "tests", "windows", "wine-run")
SIM = os.path.join(HOST, "sim", "rq55-sim")
LINUX_CTL = os.path.join(HOST, "cli", "rq55ctl")
PREFIX = os.environ.setdefault("RQ55_WINEPREFIX", os.path.expanduser("~/.cache/rq55/wine"))


def wine(*args, timeout=120, **kw):
    return subprocess.run([WINE_RUN, *args], capture_output=True, text=True, timeout=timeout, **kw)


def win_path(path):
    return "Z:" + path.replace("/", "\\")


class Windows(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.started = []

    def tearDown(self):
        for p in self.started:
            p.kill()
            p.wait()
        self.scratch.cleanup()

    def simulator(self, *transport):
        p = subprocess.Popen([SIM, *transport, "--static", "--model", "59", "--seed", "7"], stdout=subprocess.PIPE,
                             text=True)
        self.started.append(p)
        ready = p.stdout.readline()
        self.assertIn("RQ55 simulator ready", ready)
        return ready

    def test_rq55ctl_reads_what_the_linux_one_reads(self):
        for transport, link in [(["--rtu-tcp", "0"], []), (["--modbus-tcp", "0"], ["--modbus-tcp"])]:
            with self.subTest(transport=transport[0]):
                port = re.search(r"127\.0\.0\.1:(\d+)", self.simulator(*transport)).group(1)
                args = ["--tcp", f"127.0.0.1:{port}", *link, "--pause", "10"]
                linux = subprocess.run([LINUX_CTL, "read", "network", "--format", "csv", *args], capture_output=True,
                                       text=True, timeout=60)
                windows = wine(os.path.join(WIN, "cli", "rq55ctl.exe"), "read", "network", "--format", "csv", *args)
                self.assertEqual(linux.returncode, 0, linux.stderr)
                self.assertEqual((windows.returncode, windows.stderr), (0, linux.stderr))
                # The time of each read differs; every value must not.
                values = lambda out: [line.split(",", 1)[1] for line in out.replace("\r\n", "\n").splitlines()]
                self.assertEqual(values(windows.stdout), values(linux.stdout))

    def test_backup_then_restore_verify_and_what_is_not_built_here(self):
        port = re.search(r"127\.0\.0\.1:(\d+)", self.simulator("--rtu-tcp", "0")).group(1)
        ctl = os.path.join(WIN, "cli", "rq55ctl.exe")
        saved = os.path.join(self.scratch.name, "meter.bin")
        link = ["--tcp", f"127.0.0.1:{port}", "--pause", "10"]
        backup = wine(ctl, "backup", win_path(saved), *link)
        self.assertEqual(backup.returncode, 0, backup.stderr)
        self.assertEqual(len(open(saved).read().split()), 170)
        restore = wine(ctl, "restore", win_path(saved), "--verify", *link)
        self.assertEqual(restore.returncode, 0, restore.stderr)
        serve = wine(ctl, "serve", "--tcp", f"127.0.0.1:{port}")
        self.assertEqual((serve.returncode, serve.stderr.strip()),
                         (2, "rq55ctl: serve is a Linux service and is not part of RQ55 for Windows: run it on the "
                             "Linux machine that holds the bus."))
        pty = wine(os.path.join(WIN, "sim", "rq55-sim.exe"), "--pty")
        self.assertEqual(pty.returncode, 1)
        self.assertIn("--pty is Linux-only: on Windows use --rtu-tcp or --modbus-tcp", pty.stderr)

    def test_a_com_port_that_wine_maps_to_the_simulators_pseudo_terminal(self):
        device = re.search(r"pty (\S+)", self.simulator("--pty")).group(1)
        reg = wine("reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM7", "/d", device, "/f")
        self.assertEqual(reg.returncode, 0, reg.stderr)
        subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": PREFIX}, check=False)
        windows = wine(os.path.join(WIN, "cli", "rq55ctl.exe"), "read", "network", "--format", "csv", "--com", "7",
                       "--baud", "9600", "--pause", "10")
        linux = subprocess.run([LINUX_CTL, "read", "network", "--format", "csv", "--serial", device, "--baud", "9600",
                                "--pause", "10"], capture_output=True, text=True, timeout=60)
        self.assertEqual((windows.returncode, windows.stderr), (0, ""))
        values = lambda out: [line.split(",", 1)[1] for line in out.replace("\r\n", "\n").splitlines()]
        self.assertEqual(values(windows.stdout), values(linux.stdout))

    def test_installation_check_setup_and_uninstall(self):
        check = wine(os.path.join(WIN, "rq55.exe"), "--check-install")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        setups = glob.glob(os.path.join(WIN, "RQ55-*-setup.exe"))
        self.assertEqual(len(setups), 1, "make windows makes the setup program")
        # Where a user's setup puts it: Program Files (Wine would quote a /D= folder with a space).
        target = os.path.join(PREFIX, "drive_c", "Program Files", "RQ55")
        subprocess.run(["rm", "-rf", target])
        installed = wine(setups[0], "/S")
        self.assertEqual(installed.returncode, 0, installed.stderr)
        for name in ["rq55.exe", "rq55ctl.exe", "rq55ctl-report.exe", "RQ55.uir", "language.ini", "Qt6Core.dll",
                     "platforms/qwindows.dll", "uninstall.exe"]:
            self.assertTrue(os.path.exists(os.path.join(target, name)), name)
        check = wine("C:\\Program Files\\RQ55\\rq55.exe", "--check-install")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        with open(os.path.join(target, "meter1.bin"), "w") as f:
            f.write("saved by a user\n")
        # The uninstaller runs on from a copy of itself, as it does for a user: its end is waited for.
        removed = wine(os.path.join(target, "uninstall.exe"), "/S")
        self.assertEqual(removed.returncode, 0, removed.stderr)
        left = lambda: sorted(os.path.relpath(os.path.join(d, f), target) for d, _, fs in os.walk(target) for f in fs)
        deadline = time.time() + 60
        while left() != ["meter1.bin"] and time.time() < deadline:
            time.sleep(0.5)
        self.assertEqual(left(), ["meter1.bin"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
