#!/usr/bin/env python3
"""rq55ctl serve for Prometheus: its exposition against the README's table and Prometheus' own
tools, and the truth it exports in the field (a silent address, an analyser that stops answering, a
gateway that restarts).
Arguments: the build folder and the source folder."""
import json
import os
import pathlib
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse

from serve_support import BUILD, RQ55CTL, SOURCE, ServeCase, free_port, get, main, samples, tool, until

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import dashboard_plot  # noqa: E402  (the README's picture of the Grafana dashboard)


def float32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def network_of(port):
    """The network block as rq55ctl read prints it in JSON: name -> value."""
    run = subprocess.run([RQ55CTL, "read", "network", "--format", "json", "--tcp", f"127.0.0.1:{port}"],
                         capture_output=True, text=True, timeout=30)
    return {v["name"]: v["value"] for v in json.loads(run.stdout)["values"]}


def readme_families():
    """The families the README's table lists; a maxmin family is its network one with _maximum or
    _minimum before the unit."""
    text = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
    table = text[text.index("| Family | Labels | Unit | Block |"):]
    table = table[:table.index("\n\n")]
    families = set()
    for row in table.splitlines()[2:]:
        names = re.findall(r"`((?:rq55|process)_[a-z_]+)`", row.split("|")[1])
        families.update(names)
        if "maxmin" in row.split("|")[4]:
            for name in names:
                stem, unit = re.match(r"(.*?)_(volts|amperes|watts|var|volt_amperes|ratio|hertz)$", name).groups()
                families.update({f"{stem}_maximum_{unit}", f"{stem}_minimum_{unit}"})
    return families


# A family's name ends in its base unit, _ratio or _total; these say 1 or 0, or a number whose unit
# the program does not know.
UNITLESS = {"rq55_up", "rq55_relay_closed", "rq55_analog_output_present_value", "rq55_build_info", "process_open_fds",
            "process_max_fds", "rq55_maintenance", "rq55_gateway_clients"}
UNIT = re.compile(r"_(volts|amperes|watts|var|volt_amperes|ratio|hertz|seconds|bytes|total)$")


class Exposition(ServeCase):
    def test_bad_options_are_refused_before_anything_is_opened_and_names_are_taken(self):
        # A device that does not exist would fail with 1 once opened: 2 says it never was.
        for bad in [[], ["--metrics", "70000"], ["--metrics", "host:"], ["--metrics", "::1:9755"],
                    ["--mqtt", "broker:x"], ["--metrics", "9755", "--blocks", "network,config"],
                    ["--metrics", "9755", "--blocks", "network,network"], ["--metrics", "9755", "--interval", "0.1"],
                    ["--mqtt", "b", "--mqtt-topic", ""], ["--mqtt", "b", "--mqtt-topic", "plant/+"],
                    ["--mqtt", "b", "--mqtt-topic", "plant/#"], ["--mqtt", "b", "--mqtt-topic", "/plant"],
                    ["--mqtt", "b", "--mqtt-topic", "a//b"], ["--mqtt", "b", "--instance", "a/b"],
                    ["--metrics", "9755", "--ha-discovery"], ["--mqtt", "b", "--ha-discovery", "--ha-prefix", "h/+"],
                    ["--gateway", "5021", "--gateway-unit", "255=0"],
                    ["--gateway", "5021", "--gateway-unit", "0=1", "--gateway-unit", "0=2"],
                    ["--gateway", "5021", "--gateway-allow", "10.0.0.0/33"], ["--gateway-tls", "8802"]]:
            run = subprocess.run([RQ55CTL, "serve", "--serial", "/nonexistent/tty", *bad], capture_output=True,
                                 text=True, timeout=30)
            self.assertEqual(run.returncode, 2, f"{bad}: {run.stderr}")
            self.assertNotIn("nonexistent", run.stderr)
        self.assertEqual(subprocess.run([RQ55CTL, "read", "network", "--metrics", "9755"], capture_output=True,
                                        timeout=30).returncode, 2)
        # Host names and bracketed IPv6 listen; a name that resolves to nothing says so, status 1.
        sim, sim_port = self.simulator()
        for host, url in [("localhost", "127.0.0.1"), ("[::1]", "[::1]")]:
            port = free_port()
            serve = self.serve(sim_port, "--metrics", f"{host}:{port}")
            self.assertTrue(until(lambda: "rq55_up" in (get(f"http://{url}:{port}/metrics") or ""), 30), host)
            serve.send_signal(signal.SIGTERM)
            self.assertEqual(serve.wait(30), 0)
        run = subprocess.run([RQ55CTL, "serve", "--tcp", f"127.0.0.1:{sim_port}", "--metrics", "no-such.invalid:9"],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn("no-such.invalid cannot be listened on: ", run.stderr)

    def test_every_family_is_the_readmes_and_follows_the_naming_guide(self):
        sim, sim_port = self.simulator()
        port = free_port()
        self.serve(sim_port, "--address", "1,9", "--blocks", "network,energy,demand,maxmin,status",
                   "--metrics", str(port), "--gateway", str(free_port()))
        text = until(lambda: (t := get(f"http://127.0.0.1:{port}/metrics")) and 'rq55_up{address="1"} 1' in t
                     and 'address="9",reason="no_reply"} 1' in t and t, 60)
        self.assertTrue(text, "no complete poll in time")
        types = dict(re.findall(r"^# TYPE (\S+) (\S+)$", text, re.M))
        self.assertEqual(set(types), readme_families())
        for family, kind in types.items():
            rows = samples(text, family)
            self.assertTrue(family in UNITLESS or UNIT.search(family), family)
            self.assertEqual(kind == "counter", family.endswith("_total"), family)
            self.assertTrue(all("phase" in labels for labels, _ in rows) or not any("phase" in l for l, _ in rows),
                            f"{family} holds samples with and without phase")
            if family not in ("rq55_up", "rq55_read_failures_total", "rq55_poll_duration_seconds",
                              "rq55_last_poll_timestamp_seconds", "rq55_round_duration_seconds", "rq55_maintenance"):
                self.assertNotIn("9", {labels.get("address") for labels, _ in rows}, f"{family}: a silent analyser")
        # Address 9 never answered: no analyser went down there.
        self.assertEqual(samples(text, "rq55_up"), [({"address": "1"}, 1.0)])
        self.assertEqual(len(samples(text, "rq55_read_failures_total")), 12, "every reason from 0, for each")
        v1 = [value for labels, value in samples(text, "rq55_phase_voltage_volts") if labels["phase"] == "L1"]
        self.assertEqual([float32(v) for v in v1], [float32(network_of(sim_port)["V1"])])
        self.assertEqual({l["output_type"] for l, _ in samples(text, "rq55_analog_output_present_value")}, {"0", "1"})
        lint = subprocess.run([tool("promtool"), "check", "metrics"], input=text, capture_output=True, text=True)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)

    def test_every_query_of_the_grafana_dashboard_answers_and_keeps_each_link_apart(self):
        # One serve per link, as the README advises, into one Prometheus: two simulators with values that
        # move (for the picture), each at address 1 with the same serial number.
        targets = []
        for _ in range(2):
            sim, sim_port = self.simulator(static=False)
            targets.append(f"127.0.0.1:{free_port()}")
            self.serve(sim_port, "--metrics", targets[-1])
        web = free_port()
        config = os.path.join(self.scratch.name, "prometheus.yml")
        with open(config, "w") as f:
            f.write(f"global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: rq55\n    static_configs:\n"
                    f"      - targets: {targets}\n")
        self.start([tool("prometheus"), "--config.file=" + config, f"--web.listen-address=127.0.0.1:{web}",
                    "--storage.tsdb.path=" + os.path.join(self.scratch.name, "data")])

        def query_range(expr, start, end, step):
            reply = get(f"http://127.0.0.1:{web}/api/v1/query_range?" +
                        urllib.parse.urlencode({"query": expr, "start": start, "end": end, "step": step}))
            return json.loads(reply)["data"]["result"] if reply else []

        # Counters' increase and rate need a few scrapes: four, as Grafana's $__rate_interval does.
        def scrapes():
            result = query_range("count_over_time(rq55_up[10s])", time.time(), time.time(), 1)
            return min(float(r["values"][-1][1]) for r in result) if len(result) == 2 else 0
        self.assertTrue(until(lambda: scrapes() >= 5, 90, 0.5))
        with open(os.path.join(SOURCE, "docs", "grafana", "rq55.json")) as f:
            dashboard = json.load(f)

        def chosen(instance):
            return lambda expr: expr.replace('"$job"', '".+"').replace('"$instance"', f'"{instance}"').replace(
                "$address", "1").replace('"$serial"', '".+"').replace("$__rate_interval", "4s")

        # With every link chosen (the default), each series of a panel comes from one link and says which.
        mixed = []
        for panel in dashboard["panels"]:
            for target in panel["targets"]:
                result = query_range(chosen(".+")(target["expr"]), time.time() - 2, time.time(), 1)
                names = [dashboard_plot.legend(target["legendFormat"], r["metric"]) for r in result]
                if len(set(names)) != len(names) or {r["metric"].get("instance") for r in result} != set(targets):
                    mixed.append(f"{panel['title']}: {names}")
        self.assertEqual(mixed, [])

        # Every panel's queries, drawn for one link over what Prometheus holds (the README's picture comes
        # from a run with a longer history): none may be refused or give nothing.
        history = float(os.environ.get("RQ55_DASHBOARD_SECONDS", "0"))
        time.sleep(history)
        picture = os.path.join(BUILD, "dashboard.png")
        self.assertEqual(dashboard_plot.draw(dashboard, query_range, chosen(targets[0]), picture, max(history, 10)), [])


class Field(ServeCase):
    """What serve exports when the field misbehaves: always the truth, or nothing."""

    def scrape(self):
        return get(f"http://127.0.0.1:{self.metrics}/metrics") or ""

    def watch(self, sim_port, *args):
        self.metrics = free_port()
        return self.serve(sim_port, "--metrics", str(self.metrics), *args)

    def test_an_answering_analyser_is_up_from_its_first_poll_while_silent_addresses_are_asked(self):
        sim, sim_port = self.simulator("--address", "5")
        serve = self.watch(sim_port, "--address", "1-30", "--timeout", "300", "--interval", "1")
        ups, started = [], time.monotonic()
        while time.monotonic() - started < 12:
            ups.append(samples(self.scrape(), "rq55_up"))
            time.sleep(0.2)
        seen = [s for s in ups if s]
        self.assertGreater(len(seen), 40, ups)
        self.assertTrue(all(s == [({"address": "5"}, 1.0)] for s in seen), ups)
        # Every address asked once by now, none of them counted against address 5.
        failures = samples(self.scrape(), "rq55_read_failures_total")
        self.assertEqual({l["address"] for l, v in failures if l["reason"] == "no_reply" and v > 0},
                         {str(a) for a in range(1, 31) if a != 5})

    def test_a_counter_that_reads_zero_for_three_polls_is_never_exported_lower(self):
        # The energy block's fourth to sixth reads come back all zero, the next right again.
        sim, sim_port = self.simulator("--fault", "zero:fn=3,start=66,skip=3,times=3")
        broker = free_port()
        self.broker(broker)
        got = self.messages(broker, "rq55/AB1234/energy")
        serve = self.watch(sim_port, "--interval", "0.5", "--blocks", "energy", "--mqtt", f"127.0.0.1:{broker}")
        readings = []
        self.assertTrue(until(lambda: readings.append(samples(self.scrape(), "rq55_active_energy_imported_joules_total"))
                              or any("the drop was not exported" in line for line in serve.err.lines), 30))
        values = [v for r in readings for _, v in r]
        self.assertTrue(values and 0 not in values and values == sorted(values), readings)
        # Over MQTT the withheld readings are null, never 0 nor the reading before repeated.
        self.assertTrue(until(lambda: len(got) >= 8, 10))
        published = [next(v["value"] for v in json.loads(p)["values"] if v["name"] == "active_imported")
                     for _, p in got]
        self.assertEqual(published.count(None), 3, published)
        self.assertNotIn(0, published)

    def test_the_state_folder_is_trusted_for_nothing(self):
        sim, sim_port = self.simulator()
        outside = os.path.join(self.scratch.name, "outside")
        write = lambda path, text: pathlib.Path(path).write_text(text)
        write(outside, "someone else's file")
        gone, kept = "nothing is remembered of the meters; it is written anew", "the meters it named are forgotten; the file is kept as "
        rows = [("a pipe", os.mkfifo, f"serials.json: not a regular file: {gone}"),
                ("a link", lambda path: os.symlink(outside, path), f"serials.json: a symbolic link, not followed: {gone}"),
                ("junk", lambda path: write(path, "junk"), f"serials.json: not what serve writes (illegal value): {kept}"),
                ("cut short", lambda path: write(path, '{"1": "AB1'), f"(unterminated string): {kept}"),
                ("no folder yet", lambda path: os.rmdir(os.path.dirname(path)), "--state-dir {folder}: made")]
        for what, make, said in rows:
            with self.subTest(what):
                folder = tempfile.mkdtemp(dir=self.scratch.name)
                path = os.path.join(folder, "serials.json")
                make(path)
                serve = self.watch(sim_port, "--state-dir", folder)
                self.assertTrue(serve.said(said.format(folder=folder), 10), serve.err.lines)
                # Up all the same, the meter written down anew in a file of its own, a link's target untouched.
                self.assertTrue(until(lambda: samples(self.scrape(), "rq55_up") == [({"address": "1"}, 1.0)], 10))
                self.assertTrue(until(lambda: os.path.isfile(path) and not os.path.islink(path), 10))
                with open(path) as f, open(outside) as o:
                    self.assertEqual((json.load(f), o.read(), os.path.exists(path + ".bad")),
                                     ({"1": "AB1234"}, "someone else's file", what in ("junk", "cut short")))
                self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
                serve.terminate()
                self.assertEqual(serve.wait(10), 0)

    def test_an_analyser_that_stops_answering_is_down_at_its_next_poll(self):
        sim, sim_port = self.simulator()
        self.watch(sim_port)
        self.assertTrue(until(lambda: 'rq55_up{address="1"} 1' in self.scrape(), 30))
        sim.send_signal(signal.SIGSTOP)  # stopped, not closed: it says nothing
        self.assertTrue(until(lambda: 'rq55_up{address="1"} 0' in self.scrape(), 30))
        self.assertEqual(samples(self.scrape(), "rq55_phase_voltage_volts"), [])
        sim.send_signal(signal.SIGCONT)
        self.assertTrue(until(lambda: 'rq55_up{address="1"} 1' in self.scrape(), 30))

    def test_a_gateway_that_restarts_refusing_the_reconnection_is_read_again_once_back(self):
        sim, sim_port = self.simulator("--fault", "restart:ms=2000,fn=3,start=6,times=1")
        serve = self.watch(sim_port, "--timeout", "300")
        self.assertTrue(serve.said("cannot be opened again: connection refused"))
        self.assertTrue(until(lambda: samples(self.scrape(), "rq55_up") == [({"address": "1"}, 1.0)], 30))
        failures = {l["reason"]: v for l, v in samples(self.scrape(), "rq55_read_failures_total")}
        self.assertEqual(failures["no_reply"], 1)
        self.assertGreaterEqual(failures["link"], 1)


if __name__ == "__main__":
    main()
