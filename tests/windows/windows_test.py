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
PREFIX = os.environ.setdefault("RQ55_WINEPREFIX", os.path.expanduser("~/.cache/rq55/wine"))
CTL = os.path.join(WIN, "cli", "rq55ctl.exe")


def wine(*args):
    return subprocess.run([os.path.join(SRC, "tests", "windows", "wine-run"), *args], capture_output=True, text=True,
                          timeout=120)


def values(csv):  # every column but the time of the read
    return [line.split(",", 1)[1] for line in csv.replace("\r\n", "\n").splitlines()]


class Windows(unittest.TestCase):
    def simulator(self, *transport):
        p = subprocess.Popen([os.path.join(HOST, "sim", "rq55-sim"), *transport, "--static", "--seed", "7"],
                             stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (p.kill(), p.wait()))
        return p.stdout.readline()

    def test_rq55ctl_reads_what_the_linux_one_reads(self):
        for transport in ("--rtu-tcp", "--modbus-tcp", "--pty"):
            with self.subTest(transport):
                ready = self.simulator(transport, *(["0"] if transport != "--pty" else []))
                if transport == "--pty":  # Wine's COM7, mapped in its registry to the pseudo-terminal
                    device = re.search(r"pty (\S+)", ready).group(1)
                    self.assertEqual(wine("reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM7", "/d", device,
                                          "/f").returncode, 0)
                    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": PREFIX})
                    linux, windows = ["--serial", device, "--baud", "9600"], ["--com", "7", "--baud", "9600"]
                else:
                    tcp = ["--tcp", "127.0.0.1:" + re.search(r":(\d+)", ready).group(1)]
                    linux = windows = tcp + (["--modbus-tcp"] if transport == "--modbus-tcp" else [])
                read = ["read", "network", "--format", "csv", "--pause", "10"]
                expected = subprocess.run([os.path.join(HOST, "cli", "rq55ctl"), *read, *linux], capture_output=True,
                                          text=True, timeout=60)
                got = wine(CTL, *read, *windows)
                self.assertEqual((got.returncode, got.stderr), (0, expected.stderr))
                self.assertEqual(values(got.stdout), values(expected.stdout))

    def test_backup_restore_report_and_what_is_not_built_here(self):
        link = ["--tcp", "127.0.0.1:" + re.search(r":(\d+)", self.simulator("--rtu-tcp", "0")).group(1)]
        with tempfile.TemporaryDirectory() as scratch:
            saved = "Z:" + os.path.join(scratch, "meter.bin").replace("/", "\\")
            self.assertEqual(wine(CTL, "backup", saved, *link).returncode, 0)
            self.assertEqual(len(open(os.path.join(scratch, "meter.bin")).read().split()), 170)
            restore = wine(CTL, "restore", saved, "--verify", *link)
            self.assertEqual(restore.returncode, 0, restore.stderr)
            # report is rq55ctl-report.exe's, waited for, its status rq55ctl's own.
            self.assertEqual(wine(CTL, "report", saved[:-3] + "pdf", *link).returncode, 0)
            self.assertEqual(open(os.path.join(scratch, "meter.pdf"), "rb").read(4), b"%PDF")
            self.assertEqual(wine(CTL, "report", "Z:\\no\\such\\folder\\r.pdf", *link).returncode, 2)
        tls = ["--tls-cert", "a.crt", "--tls-key", "a.key", "--tls-ca", "ca.crt"]
        for args, said in [(["serve", *link], "serve is a Linux service and is not part of RQ55 for Windows: run it "
                                              "on the Linux machine that holds the bus."),
                           (["identify", *link, *tls], "Modbus/TCP Security (--tls-cert, --tls-key, --tls-ca) is not "
                                                       "part of RQ55 for Windows.")]:
            run = wine(CTL, *args)
            self.assertEqual((run.returncode, run.stderr.strip()), (2, "rq55ctl: " + said), args)
        pty = wine(os.path.join(WIN, "sim", "rq55-sim.exe"), "--pty")
        self.assertEqual((pty.returncode, pty.stderr.strip()),
                         (1, "rq55-sim: cannot start: --pty is Linux-only: on Windows use --rtu-tcp or --modbus-tcp"))

    def test_installation_check_setup_and_uninstall(self):
        check = wine(os.path.join(WIN, "rq55.exe"), "--check-install")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        setups = glob.glob(os.path.join(WIN, "RQ55-*-setup.exe"))
        self.assertEqual(len(setups), 1, "make windows makes the setup program")
        # Where a user's setup puts it: Program Files (Wine would quote a /D= folder with a space).
        target = os.path.join(PREFIX, "drive_c", "Program Files", "RQ55")
        subprocess.run(["rm", "-rf", target])
        self.assertEqual(wine(setups[0], "/S").returncode, 0)
        for name in ["rq55.exe", "rq55ctl.exe", "rq55ctl-report.exe", "RQ55.uir", "language.ini", "Qt6Core.dll",
                     "platforms/qwindows.dll", "uninstall.exe"]:
            self.assertTrue(os.path.exists(os.path.join(target, name)), name)
        check = wine("C:\\Program Files\\RQ55\\rq55.exe", "--check-install")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        with open(os.path.join(target, "meter1.bin"), "w") as f:
            f.write("saved by a user\n")
        # The uninstaller runs on from a copy of itself, as it does for a user: its end is waited for.
        self.assertEqual(wine(os.path.join(target, "uninstall.exe"), "/S").returncode, 0)
        left = lambda: sorted(os.path.relpath(os.path.join(d, f), target) for d, _, fs in os.walk(target) for f in fs)
        deadline = time.time() + 60
        while left() != ["meter1.bin"] and time.time() < deadline:
            time.sleep(0.5)
        self.assertEqual(left(), ["meter1.bin"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
