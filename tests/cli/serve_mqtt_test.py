#!/usr/bin/env python3
"""rq55ctl serve for MQTT, against a real mosquitto on loopback: the messages, a meter swapped at
an address, a broker restarted, a clean stop within moments whatever serve waits for, the last will,
a user's password; and Home Assistant's discovery: every entity of every block checked against Home
Assistant's documented rules for sensors, its value template rendered with Jinja (Home Assistant's
template language) on the message serve published, the device announced again at Home Assistant's
birth and removed when its meter is swapped. Arguments: the build folder and the source folder."""
import json
import os
import re
import signal
import subprocess
import time

import jinja2

from serve_support import ServeCase, free_port, get, main, payload, tool, until


# Home Assistant's sensor device classes and the units each allows, as its developer documentation
# lists them (docs/core/entity/sensor.md, "Available device classes"); None is no unit.
HA_UNITS = {
    "voltage": {"V", "mV", "µV", "kV", "MV"},
    "current": {"A", "mA"},
    "power": {"mW", "W", "kW", "MW", "GW", "TW"},
    "reactive_power": {"mvar", "var", "kvar"},
    "apparent_power": {"mVA", "VA", "kVA"},
    "power_factor": {"%", None},
    "frequency": {"mHz", "Hz", "kHz", "MHz", "GHz"},
    "energy": {"J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh", "cal", "kcal", "Mcal", "Gcal"},
    "reactive_energy": {"varh", "kvarh"},
    "duration": {"d", "h", "min", "s", "ms", "µs"},
}
HA_STATE_CLASSES = {"measurement", "measurement_angle", "total", "total_increasing"}
# Totals only: the energy dashboard takes an energy sensor whose state class is a total.
HA_TOTALS = {"energy", "reactive_energy"}
# What the energy dashboard offers as grid consumption and return.
GRID = {"active_imported", "active_exported"}

BLOCKS = "network,energy,demand,maxmin,status"


class Mqtt(ServeCase):
    def test_messages_a_swapped_meter_a_broker_restart_and_a_clean_stop(self):
        port, metrics = free_port(), free_port()
        sim, sim_port = self.simulator()
        # Started before its broker, which it waits for.
        serve = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "plant", "--instance", "site4",
                           "--metrics", str(metrics), "--ha-discovery")
        self.assertTrue(serve.said("MQTT broker 127.0.0.1:"))
        server = self.broker(port)
        got = self.messages(port)
        network = json.loads(payload(got, "plant/AB1234/network"))
        self.assertEqual((network["address"], network["block"]), (1, "network"))
        self.assertTrue(payload(got, "plant/AB1234/energy") and payload(got, "plant/AB1234/demand"))
        for topic in ("plant/AB1234/up", "plant/serve/site4/address-1/up", "plant/serve/site4/online"):
            self.assertEqual(payload(got, topic), "true", topic)
        # Home Assistant's birth message has the device announced again, within a few seconds.
        config = "homeassistant/device/rq55_AB1234/config"
        announced = self.messages(port, config)
        self.assertTrue(until(lambda: len(announced) == 1, 10), "the retained message, at subscription")
        subprocess.run([tool("mosquitto_pub"), "-p", str(port), "-t", "homeassistant/status", "-m", "online"],
                       check=True, timeout=30)
        self.assertTrue(until(lambda: len(announced) == 2, 8), "announced again")

        # Another meter at the address: its own serial number from its first poll, the old one's up
        # false and its series gone.
        sim.kill()
        sim.communicate()
        self.simulator("--serial", "BB2222", port=sim_port)
        self.assertTrue(serve.said("address 1: serial number AB1234 is now BB2222"))
        self.assertTrue(payload(got, "plant/BB2222/network"))
        self.assertEqual(self.retained(port, "plant/AB1234/up"), "false")
        self.assertTrue(self.retained(port, "homeassistant/device/rq55_BB2222/config"))
        self.assertIsNone(self.retained(port, config), "the old meter's device removed")
        text = until(lambda: (t := get(f"http://127.0.0.1:{metrics}/metrics")) and "BB2222" in t and t, 30)
        self.assertNotIn("AB1234", text)

        # A broker restarted mid-run: serve connects again and goes on publishing.
        server.send_signal(signal.SIGTERM)
        server.wait(30)
        self.broker(port)
        got = self.messages(port)
        self.assertTrue(payload(got, "plant/BB2222/network"), "nothing published after the broker came back")
        self.assertEqual(self.retained(port, "plant/serve/site4/online"), "true")

        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)
        for topic in ("plant/BB2222/up", "plant/serve/site4/address-1/up", "plant/serve/site4/online"):
            self.assertEqual(self.retained(port, topic), "false", topic)

    def test_a_stop_in_mid_wait_and_the_last_will(self):
        port = free_port()
        self.broker(port)
        sim, sim_port = self.simulator()
        # Five silent addresses, each waited for 10 s: a stop ends it all the same, cleanly.
        serve = self.serve(sim_port, "--address", "2-6", "--timeout", "10000", "--mqtt", f"127.0.0.1:{port}",
                           "--instance", "quiet")
        got = self.messages(port)
        self.assertTrue(serve.said("connected to the MQTT broker"))
        self.assertEqual(payload(got, "rq55/serve/quiet/address-6/up"), "false", "before its first poll")
        time.sleep(0.5)  # well into a reply wait
        stopped = time.monotonic()
        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)
        self.assertLess(time.monotonic() - stopped, 8, "not the rest of a 10 s wait, let alone five")
        self.assertEqual(self.retained(port, "rq55/serve/quiet/online"), "false")
        for address in range(2, 7):
            self.assertEqual(self.retained(port, f"rq55/serve/quiet/address-{address}/up"), "false")

        # Killed outright: the broker gives its last will.
        killed = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--instance", "killed")
        self.assertTrue(until(lambda: self.retained(port, "rq55/serve/killed/online") == "true", 30, 0.2))
        killed.kill()
        self.assertTrue(until(lambda: self.retained(port, "rq55/serve/killed/online") == "false", 30, 0.2))

    def test_user_and_password_from_the_environment(self):
        port = free_port()
        passwords = os.path.join(self.scratch.name, "passwords")
        subprocess.run([tool("mosquitto_passwd"), "-c", "-b", passwords, "meter", "s3cret pass"], check=True,
                       timeout=30)
        # The broker started as root reads its files as its own user.
        os.chmod(self.scratch.name, 0o755)
        os.chmod(passwords, 0o644)
        # Its ACL lets the user publish under good/ and bad/ only.
        acl = os.path.join(self.scratch.name, "acl")
        with open(acl, "w") as f:
            f.write("user meter\ntopic readwrite good/#\ntopic readwrite bad/#\n")
        os.chmod(acl, 0o644)
        self.broker(port, f"allow_anonymous false\npassword_file {passwords}\nacl_file {acl}\n")
        sim, sim_port = self.simulator()

        def publishes(prefix, password):
            """Whether serve, as user meter with this password, gets its first up through, and what it said."""
            serve = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", prefix, "--mqtt-user", "meter",
                               env=dict(os.environ, RQ55_MQTT_PASSWORD=password))
            up = until(lambda: self.retained(port, f"{prefix}/AB1234/up", ("-u", "meter", "-P", "s3cret pass")), 10)
            serve.send_signal(signal.SIGTERM)
            serve.wait(30)
            return up == "true", "\n".join(serve.err.lines)

        ok, err = publishes("good", "s3cret pass")
        self.assertTrue(ok, err)
        self.assertIn(f"connected to the MQTT broker at 127.0.0.1:{port}", err)
        ok, err = publishes("bad", "wrong")
        self.assertFalse(ok)
        self.assertIn(f"MQTT broker 127.0.0.1:{port} refused the connection: ", err)
        self.assertNotIn("wrong", err, "the password is never said")
        # No user at all: the refusal names the options that give one.
        anonymous = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}")
        self.assertTrue(anonymous.said("(it asks for a user: --mqtt-user USER and --mqtt-password-file FILE)", 10))
        # Topics the ACL denies: each refusal said in the broker's words, not dropped in silence.
        ok, err = publishes("denied", "s3cret pass")
        self.assertFalse(ok)
        self.assertIn("MQTT: the broker refused denied/", err)
        self.assertIn("Not authorized", err)


class HomeAssistant(ServeCase):
    def discover(self, port, sim_port, *args):
        serve = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--ha-discovery", "--instance", "ha", *args)
        config = until(lambda: self.retained(port, "homeassistant/device/rq55_AB1234/config"), 30)
        self.assertTrue(config, "no discovery message")
        return serve, json.loads(config)

    def test_every_entity_follows_home_assistants_rules_and_reads_the_published_value(self):
        port = free_port()
        self.broker(port)
        sim, sim_port = self.simulator()
        got = self.messages(port, "rq55/#")
        serve, config = self.discover(port, sim_port, "--blocks", BLOCKS)

        self.assertEqual(config["device"]["identifiers"], ["rq55_AB1234"])
        self.assertEqual((config["device"]["model"], config["device"]["serial_number"]), ("RQ59", "AB1234"))
        self.assertEqual(config["origin"]["name"], "rq55ctl")
        self.assertEqual(config["availability_mode"], "all")
        self.assertEqual([a["topic"] for a in config["availability"]], ["rq55/serve/ha/online", "rq55/AB1234/up"])

        components = config["components"]
        unique = [c["unique_id"] for c in components.values()]
        self.assertEqual(len(unique), len(set(unique)))
        messages = {block: payload(got, f"rq55/AB1234/{block}") for block in BLOCKS.split(",")}
        every_name = {v["name"] for m in messages.values() for v in json.loads(m)["values"]}
        self.assertEqual(set(components), every_name, "one entity for every value of every block served")
        for key, c in components.items():
            with self.subTest(key):
                self.assertEqual(c["platform"], "sensor")
                self.assertTrue(re.fullmatch(r"[A-Za-z0-9_-]+", key) and c["name"])
                dc, sc, unit = c.get("device_class"), c.get("state_class"), c.get("unit_of_measurement")
                if dc:
                    self.assertIn(dc, HA_UNITS)
                    self.assertIn(unit, HA_UNITS[dc])
                self.assertIn(sc, HA_STATE_CLASSES | {None})
                if dc in HA_TOTALS:
                    self.assertIn(sc, {"total", "total_increasing"})
                self.assertIn(c.get("entity_category"), {None, "diagnostic"})
                # The template, rendered as Home Assistant renders it, on what serve published.
                block = c["state_topic"].rsplit("/", 1)[1]
                message = messages[block]
                token = re.search(r'\{"name":"%s","unit":"[^"]*","value":(null|"[^"]*"|[^}]+)\}' % re.escape(key),
                                  message).group(1)
                rendered = jinja2.Environment().from_string(c["value_template"]).render(value_json=json.loads(message))
                value = json.loads(token)
                self.assertEqual(rendered, "None" if value is None else value if isinstance(value, str) else token)
        for name in GRID:
            self.assertEqual((components[name]["device_class"], components[name]["state_class"],
                              components[name]["unit_of_measurement"]), ("energy", "total_increasing", "kWh"))
        self.assertNotIn("unit_of_measurement", components["PF_total"])

        # The same ids after a restart: Home Assistant keeps its entities.
        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)
        subprocess.run([tool("mosquitto_pub"), "-h", "127.0.0.1", "-p", str(port), "-r", "-n", "-t",
                        "homeassistant/device/rq55_AB1234/config"], check=True, timeout=30)
        serve, again = self.discover(port, sim_port, "--blocks", BLOCKS)
        self.assertEqual([c["unique_id"] for c in again["components"].values()], unique)
        # Without the option serve announces nothing, and removes nothing either.
        serve.send_signal(signal.SIGTERM)
        self.assertEqual(serve.wait(30), 0)
        announced = self.messages(port, "homeassistant/#")
        self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--instance", "ha")
        self.assertTrue(until(lambda: self.retained(port, "rq55/AB1234/up") == "true", 30, 0.2))
        self.assertEqual(len(announced), 1, "only the retained message, as it was")

    def test_a_crash_and_a_restart_with_one_meter_gone_and_one_swapped(self):
        port = free_port()
        self.broker(port)
        state = os.path.join(self.scratch.name, "state")
        os.mkdir(state)
        sim, sim_port = self.simulator("--address", "1,2")
        args = ("--address", "1,2", "--mqtt", f"127.0.0.1:{port}", "--ha-discovery", "--instance", "ha",
                "--state-dir", state)
        serve = self.serve(sim_port, *args)
        device = lambda serial: self.retained(port, f"homeassistant/device/rq55_{serial}/config")
        self.assertTrue(until(lambda: self.retained(port, "rq55/AB1202/up") == "true" and device("AB1234"), 30))
        serve.kill()  # as an out-of-memory kill: nothing said on the way out
        sim.kill()
        sim.communicate()
        # Meanwhile the meter at 2 is gone and the one at 1 replaced.
        self.simulator("--serial", "BB2222", port=sim_port)
        got = self.messages(port, "rq55/#")
        serve = self.serve(sim_port, *args)
        self.assertTrue(until(lambda: self.retained(port, "rq55/BB2222/up") == "true", 30))
        self.assertTrue(serve.said("address 1: serial number AB1234 is now BB2222"))
        self.assertEqual([self.retained(port, f"rq55/{s}/up") for s in ("AB1202", "AB1234")], ["false", "false"])
        self.assertTrue(device("BB2222") and device("AB1202"), "a meter gone silent stays, unavailable")
        self.assertIsNone(device("AB1234"), "the replaced meter's device removed")
        # Neither old meter was said up at any moment once serve was online again.
        online = next(i for i, m in enumerate(got) if m == ("rq55/serve/ha/online", "true") and i > 0)
        self.assertNotIn(("rq55/AB1202/up", "true"), got[online:])
        self.assertLess(got.index(("rq55/AB1202/up", "false")), online)


if __name__ == "__main__":
    main()
