#!/usr/bin/env python3
"""rq55ctl serve for MQTT, against a real mosquitto on loopback: the messages, a meter swapped at
an address, a broker restarted, a clean stop within moments whatever serve waits for, the last will,
and a user's password. Arguments: the build folder and the source folder."""
import json
import os
import signal
import subprocess
import time

from serve_support import ServeCase, free_port, get, main, payload, tool, until


class Mqtt(ServeCase):
    def test_messages_a_swapped_meter_a_broker_restart_and_a_clean_stop(self):
        port, metrics = free_port(), free_port()
        sim, sim_port = self.simulator()
        # Started before its broker, which it waits for.
        serve = self.serve(sim_port, "--mqtt", f"127.0.0.1:{port}", "--mqtt-topic", "plant", "--instance", "site4",
                           "--metrics", str(metrics))
        self.assertTrue(serve.said("MQTT broker 127.0.0.1:"))
        server = self.broker(port)
        got = self.messages(port)
        network = json.loads(payload(got, "plant/AB1234/network"))
        self.assertEqual((network["address"], network["block"]), (1, "network"))
        self.assertTrue(payload(got, "plant/AB1234/energy") and payload(got, "plant/AB1234/demand"))
        for topic in ("plant/AB1234/up", "plant/serve/site4/address-1/up", "plant/serve/site4/online"):
            self.assertEqual(payload(got, topic), "true", topic)

        # Another meter at the address: its own serial number from its first poll, the old one's up
        # false and its series gone.
        sim.kill()
        sim.communicate()
        self.simulator("--serial", "BB2222", port=sim_port)
        self.assertTrue(serve.said("address 1: serial number AB1234 is now BB2222"))
        self.assertTrue(payload(got, "plant/BB2222/network"))
        self.assertEqual(self.retained(port, "plant/AB1234/up"), "false")
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
        self.broker(port, f"allow_anonymous false\npassword_file {passwords}\n")
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
        self.assertIn(f"MQTT broker 127.0.0.1:{port} refused: ", err)
        self.assertNotIn("wrong", err, "the password is never said")


if __name__ == "__main__":
    main()
