#!/usr/bin/env python3
"""serve's Modbus gateway: other masters (raw Modbus/TCP and RTU clients, mbpoll, rq55ctl) reach the
simulator through serve's one link, each getting the reply to its own request, while serve's own
polls stay fresh; its refusals, its faults and the maintenance it tells."""

import os
import re
import socket
import struct
import subprocess
import threading
import time

from serve_support import RQ55CTL, Lines, ServeCase, free_port, get, main, payload, samples, tool, until


def crc(data):
    value = 0xFFFF
    for byte in data:
        value ^= byte
        for _ in range(8):
            value = (value >> 1) ^ 0xA001 if value & 1 else value >> 1
    return struct.pack("<H", value)


class Client:
    """One connection to a gateway door: ask() sends a request (unit and PDU), returns the reply's PDU."""

    def __init__(self, port, tcp):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.tcp, self.transaction, self.stream = tcp, 0, self.sock.makefile("rb")

    def ask(self, unit, pdu):
        self.transaction = (self.transaction + 1) & 0xFFFF
        if self.tcp:
            self.sock.sendall(struct.pack(">HHHB", self.transaction, 0, len(pdu) + 1, unit) + pdu)
            head = self.stream.read(7)
            assert head[:4] == struct.pack(">HH", self.transaction, 0) and head[6] == unit, "its own transaction"
            return self.stream.read(struct.unpack(">H", head[4:6])[0] - 1)
        self.sock.sendall(bytes([unit]) + pdu + crc(bytes([unit]) + pdu))
        head = self.stream.read(3)
        body = head + self.stream.read(head[2] + 2 if head[1] in (1, 2, 3, 4) else 2 if head[1] & 0x80 else 5)
        for _ in range(body[-1] if head[1] == 0x2B else 0):  # Device Identification: its objects
            body += self.stream.read(2)
            body += self.stream.read(body[-1])
        body += self.stream.read(2 if head[1] == 0x2B else 0)
        assert crc(body[:-2]) == body[-2:] and body[0] == unit, body
        return body[1:-2]


def read(first, count):
    return struct.pack(">BHH", 3, first, count)


class Gateway(ServeCase):
    def setUp(self):
        super().setUp()
        # A late reply at 805; a write of 809 answered otherwise than with its standard echo (8 for 7).
        self.sim, self.sim_port = self.simulator("--address", "1,2", "--fault", "late:ms=1500,start=805",
                                                 "--fault", "replace:fn=6,start=809,hex=02060329000859b3")
        direct = Client(self.sim_port, False)
        # What each block holds, asked directly, before serve holds the link.
        self.blocks = {(unit, first, count): direct.ask(unit, read(first, count))
                       for unit in (1, 2) for first, count in ((6, 60), (800, 5), (811, 11))}
        direct.sock.close()

    def gateway(self, *args):
        self.metrics, self.tcp, self.rtu = free_port(), free_port(), free_port()
        # Values withdrawn after 10 s without a poll: a loaded machine's slow round is no fault here.
        self.server = self.serve(self.sim_port, "--address", "1,2", "--timeout", "500", "--max-age", "10",
                                 "--metrics", str(self.metrics),
                                 "--gateway-modbus-tcp", str(self.tcp), "--gateway", str(self.rtu), *args)
        self.assertTrue(self.server.said("metrics at"), self.server.err.lines)

    def test_many_masters_each_get_their_own_replies_and_serve_stays_fresh(self):
        broker = free_port()
        self.broker(broker)
        got = self.messages(broker, "rq55/#")
        self.gateway("--mqtt", f"127.0.0.1:{broker}", "--instance", "gw", "--maintenance-hold", "2",
                     "--gateway-writes", "allow")
        topic = "rq55/serve/gw/address-1/maintenance"
        self.assertEqual(payload(got, topic), "false")
        end, wrong, ups = time.monotonic() + 20, [], []

        def client(n):
            c = Client(self.tcp if n % 2 else self.rtu, n % 2 == 1)
            keys = list(self.blocks)
            while time.monotonic() < end:
                key = keys[(n + int(time.monotonic() * 7)) % len(keys)]
                if c.ask(key[0], read(key[1], key[2])) != self.blocks[key]:
                    wrong.append(key)
        clients = [threading.Thread(target=client, args=(n,)) for n in range(8)]
        for t in clients:
            t.start()
        # Two more masters: mbpoll over Modbus/TCP, rq55ctl over RTU frames, each checked.
        polled = subprocess.run([tool("mbpoll"), "-m", "tcp", "-p", str(self.tcp), "-a", "2", "-r", "812", "-c", "10",
                                 "-1", "-0", "127.0.0.1"], capture_output=True, text=True, timeout=60)
        self.assertEqual([int(v) for v in re.findall(r"\]:\s+(-?\d+)", polled.stdout)],
                         list(struct.unpack(">10h", self.blocks[(2, 811, 11)][4:])), polled.stdout)
        identified = subprocess.run([RQ55CTL, "--tcp", f"127.0.0.1:{self.rtu}", "--address", "1", "identify"],
                                    capture_output=True, text=True, timeout=60)
        self.assertEqual(identified.returncode, 0, identified.stderr)
        self.assertEqual(payload(got, topic), "true")
        while time.monotonic() < end:
            text = get(f"http://127.0.0.1:{self.metrics}/metrics")
            ups.append([v for _, v in samples(text, "rq55_up") + samples(text, "rq55_maintenance")])
            time.sleep(0.5)
        for t in clients:
            t.join(30)
        self.assertEqual(wrong, [], "no reply crossed")
        self.assertLess(len(os.listdir(f"/proc/{self.server.pid}/fd")), 40, "what serve holds open stays put")
        self.assertTrue(all(u == [1, 1, 1, 1] for u in ups), f"serve's polls fresh, both in maintenance: {ups}")
        text = get(f"http://127.0.0.1:{self.metrics}/metrics")
        answered = sum(v for l, v in samples(text, "rq55_gateway_requests_total") if l["outcome"] == "answered")
        self.assertGreater(answered, 100)
        # The clients gone and the hold over: maintenance ends.
        newest = lambda: next((p for t, p in reversed(got) if t == topic), None)
        self.assertTrue(until(lambda: newest() == "false", 15), got[-5:])
        # Writes pass when allowed, each said.
        c = Client(self.tcp, True)
        self.assertEqual(c.ask(2, struct.pack(">BHHBH", 16, 808, 1, 2, 7)), struct.pack(">BHH", 16, 808, 1))
        self.assertTrue(self.server.said("write of register 808 at address 2 passed"))
        self.assertEqual(c.ask(2, read(808, 1)), bytes([3, 2, 0, 7]))
        # A write answered otherwise than with the standard echo: the reply as it came, the write made.
        self.assertEqual(c.ask(2, struct.pack(">BHH", 6, 809, 7)), struct.pack(">BHH", 6, 809, 8))
        self.assertTrue(self.server.said("write of register 809 at address 2 passed, answered otherwise than with "
                                         "the standard echo"))
        self.assertEqual(c.ask(2, read(809, 1)), bytes([3, 2, 0, 7]))
        text = get(f"http://127.0.0.1:{self.metrics}/metrics")
        self.assertIn(({"client": "127.0.0.1", "function": "6", "outcome": "answered_nonstandard"}, 1.0),
                      samples(text, "rq55_gateway_requests_total"))

    def test_every_master_is_admitted_and_idle_ones_give_way(self):
        self.gateway("--gateway-idle", "3")
        done, wrong = threading.Event(), []

        def silent():  # a master asking a unit nobody answers, as fast as it is answered
            c = Client(self.tcp, True)
            while not done.is_set():
                c.ask(9, read(6, 2))
        askers = [threading.Thread(target=silent) for _ in range(2)]
        for t in askers:
            t.start()

        def newcomer(n):
            c = Client(self.rtu if n % 2 else self.tcp, n % 2 == 0)
            if c.ask(1, read(811, 11)) != self.blocks[(1, 811, 11)]:
                wrong.append(n)
            c.sock.close()
        newcomers = [threading.Thread(target=newcomer, args=(n,)) for n in range(30)]
        for t in newcomers:
            t.start()
        for t in newcomers:
            t.join(20)
        self.assertEqual((wrong, [t.is_alive() for t in newcomers].count(True)), ([], 0), "all 30 answered")
        # Serve's own rounds stay within their interval (0.5 s) while they ask a unit that never answers
        # (once it has not answered: the first round may hold that first wait).
        def round_seconds():
            found = re.search(r"^rq55_round_duration_seconds (\S+)$", get(f"http://127.0.0.1:{self.metrics}/metrics"), re.M)
            return float(found.group(1)) if found else None
        self.assertTrue(until(lambda: (round_seconds() or 1) < 0.5, 15), round_seconds())
        done.set()
        for t in askers:
            t.join(30)
        # 64 connections that say nothing hold every place; a new master is admitted all the same.
        holders = [socket.create_connection(("127.0.0.1", self.tcp)) for _ in range(64)]
        self.assertEqual(Client(self.tcp, True).ask(1, read(811, 11)), self.blocks[(1, 811, 11)])
        self.assertTrue(self.server.said("without a request, to admit 127.0.0.1 (64 clients at most)"), self.server.err.lines)
        # And one that stays silent for the idle time is closed, and said.
        holders[-1].settimeout(15)
        self.assertEqual(holders[-1].recv(1), b"")
        self.assertTrue(self.server.said("closed after 3 s without a request (--gateway-idle)"))
        for h in holders:
            h.close()

    def test_reads_within_serves_polls_are_answered_from_them_and_the_same_read_is_made_once(self):
        sim, self.sim_port = self.simulator("--address", "1,2", "--trace", "--fault", "late:ms=1500,start=805")
        heard = Lines(sim.stderr)  # every request the analysers receive
        direct = Client(self.sim_port, False)
        self.gateway("--gateway-writes", "allow", "--gateway-unit", "0=broadcast")
        c = Client(self.tcp, True)
        self.assertTrue(until(lambda: any(v == 1 for _, v in samples(get(f"http://127.0.0.1:{self.metrics}/metrics"),
                                                                       "rq55_up")), 30))

        def asked(first):  # requests for `first` the analyser received
            return sum(1 for line in heard.lines if f"<< 01 03 {first >> 8:02x} {first & 0xff:02x} " in line)
        cases = [  # what, the read, whether the bus carried it
            ("within the network block", read(10, 4), False),
            ("the serial number, read first at every poll", read(815, 2), False),
            ("across the end of a polled block", read(64, 4), True),
            ("outside every polled block", read(800, 5), True),
        ]
        for what, pdu, bus in cases:
            first = struct.unpack(">H", pdu[1:3])[0]
            before, got = asked(first), c.ask(1, pdu)
            self.assertEqual((got, bool(until(lambda: asked(first) > before, 1))), (direct.ask(1, pdu), bus), what)
        # A write drops what is held of its unit: the text written at 8420 reads back at 811 at once.
        text = struct.pack(">BHHB4H", 16, 8420, 4, 8, 0x5851, 0x5851, 0x5851, 0x5851)
        self.assertEqual(c.ask(1, text), struct.pack(">BHH", 16, 8420, 4))
        self.assertEqual(c.ask(1, read(811, 4))[2:], struct.pack(">4H", 0x5851, 0x5851, 0x5851, 0x5851))
        # A broadcast, where asked for by name: on the wire to address 0, its client given the echo.
        self.assertEqual((c.ask(0, write := struct.pack(">BHH", 6, 808, 9)), c.ask(0, read(808, 1))),
                         (write, bytes([0x83, 0x0A])))
        self.assertTrue(until(lambda: any("<< 00 06 03 28 00 09" in line for line in heard.lines), 2))
        # Three clients asking the same read while another's late reply holds the bus: one exchange,
        # and the waits serve counts are what the clients' own clocks say, within 10 %.
        def waited():
            text = get(f"http://127.0.0.1:{self.metrics}/metrics")
            return float(re.search(r"^rq55_gateway_wait_seconds_sum (\S+)$", text, re.M).group(1))
        late, counted = Client(self.rtu, False), waited()
        threading.Thread(target=late.ask, args=(1, read(805, 1))).start()
        time.sleep(0.3)
        before, same, sent = asked(800), [Client(self.tcp, True) for _ in range(3)], time.monotonic()
        for s in same:
            s.sock.sendall(struct.pack(">HHHB", 1, 0, 6, 1) + read(800, 5))
        replies = {s.stream.read(7 + 12)[7:] for s in same}
        clocks = 3 * (time.monotonic() - sent)
        until(lambda: asked(800) > before + 1, 1)
        self.assertEqual((replies, asked(800) - before), ({direct.ask(1, read(800, 5))}, 1))
        self.assertLess(abs(waited() - counted - clocks), 0.1 * clocks, (waited() - counted, clocks))
        text = get(f"http://127.0.0.1:{self.metrics}/metrics")
        self.assertEqual(sum(v for l, v in samples(text, "rq55_gateway_requests_total")
                             if l["outcome"] == "answered_from_poll"), 2)

    def test_masters_reading_the_polled_blocks_every_second_leave_the_bus_to_serves_polls(self):
        self.gateway("--interval", "1")  # as often as --gateway-fresh: a read is at times just too old
        self.assertTrue(until(lambda: [v for _, v in samples(get(f"http://127.0.0.1:{self.metrics}/metrics"),
                                                             "rq55_up")] == [1, 1], 30), "both polled first")
        end, wrong = time.monotonic() + 5, []

        def master(unit):  # as fast as it is answered
            c = Client(self.tcp, True)
            while time.monotonic() < end:
                if c.ask(unit, read(6, 60)) != self.blocks[(unit, 6, 60)]:
                    wrong.append(unit)
        masters = [threading.Thread(target=master, args=(unit,)) for unit in (1, 2, 2)]
        for t in masters:
            t.start()
        for t in masters:
            t.join(60)
        outcomes = {l["outcome"] for l, _ in samples(get(f"http://127.0.0.1:{self.metrics}/metrics"),
                                                      "rq55_gateway_requests_total")}
        self.assertEqual((wrong, outcomes), ([], {"answered_from_poll"}))

    def test_refusals_and_faults_reach_only_the_client_that_caused_them(self):
        self.gateway("--gateway-unit", "255=2")
        tcp, rtu = Client(self.tcp, True), Client(self.rtu, False)
        cases = [
            ("a late reply: no reply for its client", 1, read(805, 1), bytes([0x83, 0x0B])),
            ("and the next exchange is right", 1, read(811, 11), self.blocks[(1, 811, 11)]),
            ("a write refused by default", 1, struct.pack(">BHH", 6, 801, 3), bytes([0x86, 0x01])),
            ("a function the link does not frame", 1, bytes([8, 0, 0, 0, 0]), bytes([0x88, 0x01])),
            ("a broadcast", 0, read(6, 2), bytes([0x83, 0x0A])),
            ("unit 255, mapped to address 2", 255, read(811, 11), self.blocks[(2, 811, 11)]),
            ("unit 250, mapped to none", 250, read(6, 2), bytes([0x83, 0x0A])),
            ("Device Identification, answered by serve", 1, bytes([0x2B, 0x0E, 1, 0]),
             bytes([0x2B, 0x0E, 1, 0x81, 0, 0, 3, 0, 4]) + b"RQ55" + bytes([1, 12]) + b"RQ55 gateway" + bytes([2, 3]) + b"1.0"),
            ("one object of it", 255, bytes([0x2B, 0x0E, 4, 1]), bytes([0x2B, 0x0E, 4, 0x81, 0, 0, 1, 1, 12]) + b"RQ55 gateway"),
            ("an object that is not there", 1, bytes([0x2B, 0x0E, 4, 7]), bytes([0xAB, 0x02])),
            ("a count Modbus does not allow", 1, read(6, 126), bytes([0x83, 0x03])),
            ("a byte count that disagrees with the count", 1, bytes([16, 0, 1, 0, 2, 3, 0, 0, 0]), bytes([0x90, 0x03])),
            ("an address nobody answers", 9, read(6, 2), bytes([0x83, 0x0B])),
        ]
        for what, unit, pdu, reply in cases:
            for c in (tcp, rtu):
                self.assertEqual(c.ask(unit, pdu), reply, f"{what} ({'tcp' if c.tcp else 'rtu'})")
        self.assertTrue(self.server.said("gateway client 127.0.0.1: write of register 801 at address 1 refused"))
        # An RTU frame longer than Modbus allows is dropped; the next one is answered.
        rtu.sock.sendall(bytes([1, 16]) + b"\x00" * 300)
        time.sleep(1)  # the client's reply wait: RTU frames end in silence
        self.assertEqual(rtu.ask(1, read(811, 11)), self.blocks[(1, 811, 11)])
        # Garbage and a frame too long for Modbus/TCP end the connection; a client that leaves
        # mid-request takes nothing of anyone else.
        for junk in (b"\xff" * 300, struct.pack(">HHHB", 1, 0, 300, 1)):
            bad = Client(self.tcp, True)
            bad.sock.sendall(junk)
            self.assertEqual(bad.sock.recv(10), b"")
        gone = Client(self.tcp, True)
        gone.sock.sendall(struct.pack(">HHHB", 7, 0, 6, 1) + read(805, 1))
        gone.sock.close()
        self.assertEqual(tcp.ask(2, read(6, 60)), self.blocks[(2, 6, 60)])


if __name__ == "__main__":
    main()
