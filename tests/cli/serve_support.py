"""What the tests of rq55ctl serve share: the programs they start on loopback (the simulated analyser,
serve, a real MQTT broker), and waiting for a condition rather than for a time."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

BUILD, SOURCE = (os.path.abspath(a) for a in sys.argv[1:3])
RQ55CTL = os.path.join(BUILD, "cli", "rq55ctl")
SIM = os.path.join(BUILD, "sim", "rq55-sim")
SBIN = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/sbin"])


def tool(name):
    path = shutil.which(name, path=SBIN)
    if not path:
        raise AssertionError(name + " is not installed (scripts/install-deps --test installs it)")
    return path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def until(what, seconds, step=0.1):
    """The first true value of what() within seconds, else None."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(step)
    return None


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def get(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            return reply.read().decode()
    except OSError:
        return None


def samples(text, family):
    """The samples of one family in an exposition: a list of (labels, value)."""
    out = []
    for line in (text or "").splitlines():
        m = re.match(r'^' + family + r'\{([^}]*)\} (\S+)$', line)
        if m:
            out.append((dict(re.findall(r'([a-z_]+)="([^"]*)"', m.group(1))), float(m.group(2))))
    return out


class Lines:
    """A program's stderr gathered in the background, to wait for what it says."""

    def __init__(self, stream):
        self.lines = []
        threading.Thread(target=lambda: [self.lines.append(line.rstrip("\n")) for line in stream],
                         daemon=True).start()

    def said(self, text, seconds=30):
        return until(lambda: any(text in line for line in self.lines), seconds)


class ServeCase(unittest.TestCase):
    """Starts what a test needs and stops all of it at the end, whatever becomes of the test."""

    def setUp(self):
        self.running = []
        self.scratch = tempfile.TemporaryDirectory()

    def tearDown(self):
        for p in self.running:
            if p.poll() is None:
                p.send_signal(signal.SIGCONT)
                p.kill()
            p.communicate()
        self.scratch.cleanup()

    def start(self, args, **kw):
        p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
        self.running.append(p)
        return p

    def simulator(self, *args, port=0, static=True):
        """rq55-sim on RTU over TCP with values that stay (unless static is false), and its port."""
        p = self.start([SIM, "--rtu-tcp", str(port), *(["--static"] if static else []), "--model", "59", "--seed", "5",
                        *args])
        return p, int(re.search(r"127\.0\.0\.1:(\d+)", p.stdout.readline()).group(1))

    def serve(self, sim_port, *args, **kw):
        """serve polling the simulator every half second, its stderr followed in .said."""
        p = self.start([RQ55CTL, "serve", "--tcp", f"127.0.0.1:{sim_port}", "--interval", "0.5",
                        "--pause", "10", *args], **kw)
        p.err = Lines(p.stderr)
        p.said = p.err.said
        return p

    def broker(self, port, extra="allow_anonymous true\n"):
        config = os.path.join(self.scratch.name, f"mosquitto-{port}.conf")
        with open(config, "w") as f:
            f.write(f"listener {port} 127.0.0.1\n{extra}")
        b = self.start([tool("mosquitto"), "-c", config])
        self.assertTrue(until(lambda: listening(port), 20), "the broker did not start")
        return b

    def messages(self, port, topic="#"):
        """Every message from now on, as (topic, payload), gathered in the background."""
        sub = self.start([tool("mosquitto_sub"), "-h", "127.0.0.1", "-p", str(port), "-t", topic, "-v"])
        got = []
        threading.Thread(target=lambda: [got.append(tuple(line.rstrip("\n").split(" ", 1)))
                                         for line in sub.stdout], daemon=True).start()
        return got

    def retained(self, port, topic, user=()):
        """The message a new subscriber to topic gets first, or None within 3 s."""
        run = subprocess.run([tool("mosquitto_sub"), "-h", "127.0.0.1", "-p", str(port), *user, "-t", topic,
                              "-C", "1", "-W", "3"], capture_output=True, text=True, timeout=30)
        return run.stdout.strip() if run.returncode == 0 else None


def payload(got, topic, seconds=30):
    """The newest message on topic among those gathered, waiting for one."""
    return until(lambda: next((p for t, p in reversed(got) if t == topic), None), seconds)


def main():
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
