#!/usr/bin/env python3
"""rq55ctl serve against the real engines a plant runs: Prometheus scraping it and an MQTT broker,
each started here on loopback with the simulated analyser. Arguments: the build folder and the
source folder."""
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import urllib.request

BUILD, SOURCE = (os.path.abspath(a) for a in sys.argv[1:3])
RQ55CTL = os.path.join(BUILD, "cli", "rq55ctl")
SIM = os.path.join(BUILD, "sim", "rq55-sim")
SBIN = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/sbin"])


def tool(name):
    path = shutil.which(name, path=SBIN)
    if not path:
        raise AssertionError(name + " is not installed (scripts/install-deps installs it)")
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


def float32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def get(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            return reply.read().decode()
    except OSError:
        return None


class Processes:
    """Processes that end with the test, whatever becomes of it."""

    def __init__(self):
        self.running = []

    def start(self, args, **kw):
        p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
        self.running.append(p)
        return p

    def simulator(self, *args):
        p = self.start([SIM, "--rtu-tcp", "0", "--static", "--model", "59", "--seed", "5", *args])
        return p, int(re.search(r"127\.0\.0\.1:(\d+)", p.stdout.readline()).group(1))

    def stop_all(self):
        for p in self.running:
            if p.poll() is None:
                p.kill()
            p.communicate()


def network_of(port, address=1):
    """The network block as rq55ctl read prints it in JSON: name -> value."""
    run = subprocess.run([RQ55CTL, "read", "network", "--format", "json", "--tcp", f"127.0.0.1:{port}",
                          "--address", str(address)], capture_output=True, text=True, timeout=30)
    return {v["name"]: v["value"] for v in json.loads(run.stdout)["values"]}


# Every family serve exports: its type and the labels of its samples.
ANALYSER = {"address", "serial"}
PHASED = ANALYSER | {"phase"}
FAMILIES = {
    "rq55_up": ("gauge", {"address"}),
    "rq55_last_success_timestamp_seconds": ("gauge", {"address"}),
    "rq55_poll_duration_seconds": ("gauge", {"address"}),
    "rq55_read_failures_total": ("counter", {"address", "reason"}),
    "rq55_frequency_hertz": ("gauge", ANALYSER),
    "rq55_voltage_phase_average_volts": ("gauge", ANALYSER),
    "rq55_voltage_line_average_volts": ("gauge", ANALYSER),
    "rq55_current_average_amperes": ("gauge", ANALYSER),
    "rq55_active_energy_imported_joules_total": ("counter", ANALYSER),
    "rq55_active_energy_exported_joules_total": ("counter", ANALYSER),
    "rq55_reactive_energy_inductive_var_seconds_total": ("counter", ANALYSER),
    "rq55_reactive_energy_capacitive_var_seconds_total": ("counter", ANALYSER),
    "rq55_apparent_energy_volt_ampere_seconds_total": ("counter", ANALYSER),
    "rq55_reactive_energy_quadrant_var_seconds_total": ("counter", ANALYSER | {"quadrant"}),
    "rq55_operating_seconds_total": ("counter", ANALYSER),
    "rq55_energy_resets_total": ("counter", ANALYSER),
    "rq55_relay_closed": ("gauge", ANALYSER | {"relay"}),
    "rq55_analog_output_present_value": ("gauge", ANALYSER | {"output"}),
}
for quantity, unit in [("voltage", "volts"), ("current", "amperes"), ("active_power", "watts"),
                       ("reactive_power", "var"), ("apparent_power", "volt_amperes"), ("power_factor", ""),
                       ("frequency", "hertz"), ("voltage_phase_average", "volts"),
                       ("voltage_line_average", "volts"), ("current_average", "amperes")]:
    for kind in ["", "_maximum", "_minimum"] + (["_demand", "_maximum_demand"] if quantity in (
            "current", "active_power", "reactive_power", "apparent_power") else []):
        name = "rq55_" + quantity + kind + ("_" + unit if unit else "")
        FAMILIES.setdefault(name, ("gauge", PHASED))

SAMPLE = re.compile(r'^([a-z_0-9]+)\{((?:[a-z]+="[^"\\]*",?)*)\} (\S+)$')


def parse_exposition(test, text):
    """name -> list of (labels, value), each line checked against the format and the table."""
    samples, declared, last = {}, [], None
    for line in text.splitlines():
        help_line = re.match(r"^# HELP ([a-z_0-9]+) \S.*$", line)
        type_line = re.match(r"^# TYPE ([a-z_0-9]+) (gauge|counter)$", line)
        if help_line:
            test.assertNotIn(help_line.group(1), declared, "a family declared twice")
            last = help_line.group(1)
            declared.append(last)
        elif type_line:
            test.assertEqual(type_line.group(1), last, "TYPE right after its HELP")
            test.assertEqual(type_line.group(2), FAMILIES[last][0], last)
        else:
            m = SAMPLE.match(line)
            test.assertTrue(m, "not a sample line: " + line)
            test.assertEqual(m.group(1), last, "a sample under its own family: " + line)
            labels = dict(re.findall(r'([a-z]+)="([^"]*)"', m.group(2)))
            test.assertLessEqual(set(labels), FAMILIES[last][1], line)
            samples.setdefault(last, []).append((labels, float(m.group(3))))
    test.assertEqual(set(declared), set(FAMILIES), "HELP and TYPE for every family, and no other")
    return samples


class Serve(unittest.TestCase):
    def setUp(self):
        self.processes = Processes()
        self.scratch = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.processes.stop_all()
        self.scratch.cleanup()

    def serve(self, sim_port, *args):
        return self.processes.start([RQ55CTL, "serve", "--tcp", f"127.0.0.1:{sim_port}", "--interval", "1",
                                     "--timeout", "500", *args])

    def test_bad_options_are_refused_before_anything_is_opened(self):
        # A device that does not exist would fail with 1 once opened: 2 says it never was.
        for bad in [[], ["--metrics", "70000"], ["--metrics", "host:"], ["--mqtt", "broker:x"],
                    ["--metrics", "9755", "--blocks", "network,config"], ["--metrics", "9755", "--interval", "0.1"],
                    ["--metrics", "9755", "--mqtt-topic", ""]]:
            run = subprocess.run([RQ55CTL, "serve", "--serial", "/nonexistent/tty", *bad], capture_output=True,
                                 text=True, timeout=30)
            self.assertEqual(run.returncode, 2, f"{bad}: {run.stderr}")
            self.assertNotIn("nonexistent", run.stderr)
        run = subprocess.run([RQ55CTL, "read", "network", "--metrics", "9755"], capture_output=True, text=True,
                             timeout=30)
        self.assertEqual(run.returncode, 2, run.stderr)

    def test_the_exposition_holds_every_family_and_no_value_of_a_silent_analyser(self):
        sim, sim_port = self.processes.simulator()
        port = free_port()
        self.serve(sim_port, "--address", "1,9", "--blocks", "network,energy,demand,maxmin,status",
                   "--metrics", str(port))
        text = until(lambda: (t := get(f"http://127.0.0.1:{port}/metrics")) and 'rq55_up{address="1"} 1' in t
                     and 'reason="no_reply"' in t and t, 60)
        self.assertTrue(text, "no complete poll in time")
        samples = parse_exposition(self, text)
        self.assertEqual(samples["rq55_up"], [({"address": "1"}, 1.0), ({"address": "9"}, 0.0)])
        for name, rows in samples.items():
            if FAMILIES[name][1] >= ANALYSER:
                self.assertEqual({labels["address"] for labels, _ in rows}, {"1"}, name)
        v1 = [value for labels, value in samples["rq55_voltage_volts"] if labels.get("phase") == "L1"]
        self.assertEqual([float32(v) for v in v1], [float32(network_of(sim_port)["V1"])])
        self.assertEqual(len(samples["rq55_voltage_volts"]), 6)
        self.assertEqual(len(samples["rq55_analog_output_present_value"]), 4)
        # Prometheus' own linter reads it as its exposition format.
        lint = subprocess.run([tool("promtool"), "check", "metrics"], input=text, capture_output=True, text=True)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)

    def test_prometheus_scrapes_it_and_sees_the_analyser_go(self):
        prometheus = tool("prometheus")
        sim, sim_port = self.processes.simulator()
        metrics, web = free_port(), free_port()
        serve = self.serve(sim_port, "--metrics", str(metrics), "--interval", "2")
        config = os.path.join(self.scratch.name, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: rq55\n"
                    f"    static_configs:\n      - targets: ['127.0.0.1:{metrics}']\n")
        self.processes.start([prometheus, "--config.file=" + config, "--web.listen-address=127.0.0.1:%d" % web,
                              "--storage.tsdb.path=" + os.path.join(self.scratch.name, "data")])

        def query(q):
            reply = get(f"http://127.0.0.1:{web}/api/v1/query?" + urllib.parse.urlencode({"query": q}))
            return json.loads(reply)["data"]["result"] if reply else None

        v1 = until(lambda: query('rq55_voltage_volts{phase="L1",address="1"}'), 90, 0.5)
        self.assertTrue(v1, "Prometheus never had the L1 voltage")
        self.assertEqual(v1[0]["metric"]["serial"], "AB1234")
        self.assertEqual(float32(float(v1[0]["value"][1])), float32(network_of(sim_port)["V1"]))

        # Gone within two intervals of the analyser going, and its values with it.
        sim.kill()
        killed = time.monotonic()
        self.assertTrue(until(lambda: 'rq55_up{address="1"} 0' in (get(f"http://127.0.0.1:{metrics}/metrics") or ""),
                              4, 0.05))
        self.assertLessEqual(time.monotonic() - killed, 4.0)
        self.assertNotIn("rq55_voltage_volts{", get(f"http://127.0.0.1:{metrics}/metrics"))
        self.assertTrue(until(lambda: (up := query('rq55_up{address="1"}')) and up[0]["value"][1] == "0", 30, 0.5))
        self.assertEqual(query("rq55_voltage_volts"), [])

        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)

    def test_promtool_accepts_the_configuration_and_each_alert_fires(self):
        promtool = tool("promtool")
        docs = os.path.join(SOURCE, "docs", "prometheus")
        for check in [["check", "config", os.path.join(docs, "prometheus.yml")],
                      ["check", "rules", os.path.join(docs, "alerts.yml")],
                      ["test", "rules", os.path.join(SOURCE, "tests", "cli", "alerts_test.yml")]]:
            run = subprocess.run([promtool, *check], capture_output=True, text=True, timeout=60)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_mqtt_messages_the_last_will_a_clean_stop_and_a_broker_restart(self):
        broker_bin, sub_bin = tool("mosquitto"), tool("mosquitto_sub")
        port = free_port()
        config = os.path.join(self.scratch.name, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence true\n"
                    f"persistence_location {self.scratch.name}/\n")

        def broker():
            b = self.processes.start([broker_bin, "-c", config])
            self.assertTrue(until(lambda: listening(port), 20), "the broker did not start")
            return b

        def retained(topic):
            """The message a new subscriber to topic gets first, or None within 3 s."""
            run = subprocess.run([sub_bin, "-h", "127.0.0.1", "-p", str(port), "-t", topic, "-C", "1", "-W", "3"],
                                 capture_output=True, text=True, timeout=30)
            return run.stdout.strip() if run.returncode == 0 else None

        def messages():
            """Every message from now on, as (topic, payload), gathered in the background."""
            sub = self.processes.start([sub_bin, "-h", "127.0.0.1", "-p", str(port), "-t", "plant/#", "-v"])
            got = []
            threading.Thread(target=lambda: [got.append(tuple(line.rstrip("\n").split(" ", 1)))
                                             for line in sub.stdout], daemon=True).start()
            return got

        def payload(got, topic):
            return until(lambda: next((p for t, p in reversed(got) if t == topic), None), 30)

        # Started before its broker, which it waits for.
        sim, sim_port = self.processes.simulator()
        serve = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "plant")
        time.sleep(1.5)
        server = broker()
        got = messages()
        online = f"plant/serve/rq55-serve-{serve.pid}/online"
        network = json.loads(payload(got, "plant/AB1234/network"))
        self.assertEqual(network["address"], 1)
        self.assertEqual(network["block"], "network")
        values = {v["name"]: v["value"] for v in network["values"]}
        self.assertEqual(float32(values["V1"]), float32(network_of(sim_port)["V1"]))
        self.assertTrue(payload(got, "plant/AB1234/energy") and payload(got, "plant/AB1234/demand"))
        self.assertEqual(payload(got, "plant/AB1234/up"), "true")
        self.assertEqual(payload(got, online), "true")

        # A broker restarted mid-run: serve connects again and goes on publishing.
        server.send_signal(signal.SIGTERM)
        server.wait(30)
        server = broker()
        got = messages()
        self.assertTrue(payload(got, "plant/AB1234/network"), "nothing published after the broker came back")
        self.assertEqual(retained(online), "true")

        # A clean stop says the analyser is no longer watched, and the process is gone.
        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)
        self.assertEqual(retained("plant/AB1234/up"), "false")
        self.assertEqual(retained(online), "false")

        # Killed outright: the broker gives its last will.
        killed = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "plant")
        will = f"plant/serve/rq55-serve-{killed.pid}/online"
        self.assertTrue(until(lambda: retained(will) == "true", 30, 0.2))
        killed.kill()
        self.assertTrue(until(lambda: retained(will) == "false", 30, 0.2))

    def test_mqtt_user_and_password_from_the_environment(self):
        broker_bin, sub_bin = tool("mosquitto"), tool("mosquitto_sub")
        port = free_port()
        passwords = os.path.join(self.scratch.name, "passwords")
        subprocess.run([tool("mosquitto_passwd"), "-c", "-b", passwords, "meter", "s3cret pass"], check=True,
                       timeout=30)
        # The broker started as root reads its files as its own user.
        os.chmod(self.scratch.name, 0o755)
        os.chmod(passwords, 0o644)
        config = os.path.join(self.scratch.name, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"listener {port} 127.0.0.1\nallow_anonymous false\npassword_file {passwords}\n")
        self.processes.start([broker_bin, "-c", config])
        self.assertTrue(until(lambda: listening(port), 20), "the broker did not start")
        sim, sim_port = self.processes.simulator()

        def publishes(prefix, password):
            """Whether serve, as user meter with this password, gets its first up message through, and
            what it said on stderr."""
            serve = self.processes.start(
                [RQ55CTL, "serve", "--tcp", f"127.0.0.1:{sim_port}", "--interval", "1", "--timeout", "500",
                 "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", prefix, "--mqtt-user", "meter"],
                env=dict(os.environ, RQ55_MQTT_PASSWORD=password))
            run = subprocess.run([sub_bin, "-h", "127.0.0.1", "-p", str(port), "-u", "meter", "-P", "s3cret pass",
                                  "-t", f"{prefix}/AB1234/up", "-C", "1", "-W", "5"],
                                 capture_output=True, text=True, timeout=30)
            serve.send_signal(signal.SIGTERM)
            _, err = serve.communicate(timeout=30)
            return run.returncode == 0 and run.stdout.strip() == "true", err

        ok, err = publishes("good", "s3cret pass")
        self.assertTrue(ok, err)
        self.assertIn(f"connected to the MQTT broker at 127.0.0.1:{port}", err)
        ok, err = publishes("bad", "wrong")
        self.assertFalse(ok)
        self.assertIn(f"MQTT broker 127.0.0.1:{port} refused: ", err)
        self.assertNotIn("wrong", err, "the password is never said")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
