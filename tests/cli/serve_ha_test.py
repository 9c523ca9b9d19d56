#!/usr/bin/env python3
"""rq55ctl serve --ha-discovery against a real mosquitto on loopback: every entity of every block
checked against Home Assistant's documented rules for sensors, its value template rendered with
Jinja (Home Assistant's template language) on the message serve published, and the device's life:
Home Assistant's birth message, a meter swapped, an analyser gone silent, serve killed.
Arguments: the build folder and the source folder."""
import json
import re
import signal
import subprocess

import jinja2

from serve_support import ServeCase, free_port, main, payload, tool, until

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

    def test_the_devices_life_birth_swap_silence_and_death(self):
        port = free_port()
        self.broker(port)
        sim, sim_port = self.simulator()
        serve, _ = self.discover(port, sim_port)
        seen = self.messages(port, "homeassistant/device/#")
        self.assertTrue(until(lambda: len(seen) == 1, 10), "the retained message, at subscription")
        # Home Assistant comes online: its birth message has every device announced again.
        subprocess.run([tool("mosquitto_pub"), "-h", "127.0.0.1", "-p", str(port), "-t", "homeassistant/status",
                        "-m", "online"], check=True, timeout=30)
        self.assertTrue(until(lambda: len(seen) == 2, 8), "announced again within a few seconds")

        # Another meter at the address: the old device removed, the new one announced.
        sim.kill()
        sim.communicate()
        sim, _ = self.simulator("--serial", "BB2222", port=sim_port)
        self.assertTrue(until(lambda: self.retained(port, "homeassistant/device/rq55_BB2222/config"), 30))
        self.assertIsNone(self.retained(port, "homeassistant/device/rq55_AB1234/config"))

        # An analyser that stops answering is unavailable at its next poll; serve killed, at once.
        sim.send_signal(signal.SIGSTOP)
        self.assertTrue(until(lambda: self.retained(port, "rq55/BB2222/up") == "false", 30, 0.2))
        serve.kill()
        self.assertTrue(until(lambda: self.retained(port, "rq55/serve/ha/online") == "false", 30, 0.2))


if __name__ == "__main__":
    main()
