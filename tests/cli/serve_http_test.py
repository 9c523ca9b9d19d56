#!/usr/bin/env python3
"""rq55ctl serve's HTTP endpoint against any client that reaches it, in plain HTTP and over TLS: a
table of requests as HTTP wants them answered, a hundred scrapers at once each on a new connection,
idle and endless connections, and a flood of wrong passwords beside a scraper with the right one.
Arguments: the build folder and the source folder."""
import gzip
import os
import re
import resource
import socket
import ssl
import subprocess
import threading
import time
import warnings

from serve_support import ServeCase, free_port, get, main, tool, until

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt

GET = b"GET /metrics HTTP/1.1\r\nHost: x\r\n"
# A request, the status of each answer, and whether the connection is closed after them.
REQUESTS = [
    (GET + b"\r\n", [b"200"], False),
    (GET + b"Connection: keep-alive, close\r\n\r\n", [b"200"], True),
    (b"GET /metrics HTTP/1.0\r\n\r\n", [b"200"], True),
    (b"HEAD /metrics HTTP/1.0\r\n\r\n", [b"200"], True),
    (b"GET /metrics HTTP/1.1\nHost: x\n\n", [b"200"], False),  # bare line feeds
    (GET + b"\r\n" + GET + b"\r\n", [b"200", b"200"], False),  # pipelined
    (GET + b"Content-Length: 0\r\nContent-Length: 5\r\n\r\nhello", [b"400"], True),
    (GET + b"Content-Length : 0\r\n\r\n", [b"400"], True),
    (b"GET /metrics HTTP/1.1\r\n\r\n", [b"400"], True),  # no Host
    (b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", [b"405"], True),
    (GET + b"Content-Length: 5\r\n\r\nhello", [b"413"], True),
    (GET + b"X: y\r\n" * 2000 + b"\r\n", [b"431"], True),
    (b"GET / HTTP/1.1\r\nHost: x\r\n\r\n", [b"200"], False),  # the page that links to /metrics
]


def bcrypt(password, cost=10):
    return crypt.crypt(password, crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1 << cost))


class Endpoint(ServeCase):
    def setUp(self):
        super().setUp()
        self.sim, self.sim_port = self.simulator()
        d = self.scratch.name
        subprocess.run([tool("openssl"), "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "s.key", "-out",
                        "s.crt", "-days", "2", "-subj", "/CN=serve", "-addext", "subjectAltName=IP:127.0.0.1"],
                       cwd=d, check=True, capture_output=True, timeout=60)
        self.tls = ssl.create_default_context(cafile=os.path.join(d, "s.crt"))

    def endpoint(self, tls=False, users=None, credentials=b"", **kw):
        """serve with its endpoint, plain or over TLS, with users; its port once it answers (with
        the credentials given)."""
        port, config = free_port(), ""
        if tls:
            config += "tls_server_config:\n  cert_file: s.crt\n  key_file: s.key\n"
        if users:
            config += "basic_auth_users:\n" + "".join(f"  {u}: '{h}'\n" for u, h in users.items())
        args = ["--metrics", str(port)]
        if config:
            path = os.path.join(self.scratch.name, f"web-{port}.yml")
            with open(path, "w") as f:
                f.write(config)
            args += ["--web-config", path]
        self.server = self.serve(self.sim_port, *args, **kw)

        def up():
            try:
                return b"rq55_up" in self.ask(port, GET + credentials + b"Connection: close\r\n\r\n", tls)
            except OSError:  # not listening yet
                return False
        self.assertTrue(until(up, 30))
        return port

    def connect(self, port, tls):
        s = socket.create_connection(("127.0.0.1", port), timeout=10)
        return self.tls.wrap_socket(s, server_hostname="127.0.0.1") if tls else s

    def ask(self, port, request, tls=False, pace=0.0):
        """What the endpoint answers, up to its closing the connection; None if it is kept open."""
        with self.connect(port, tls) as s:
            for i in range(0, len(request), 1 if pace else len(request)):
                s.sendall(request[i:i + (1 if pace else len(request))])
                time.sleep(pace)
            s.settimeout(2)
            reply = b""
            try:
                while (data := s.recv(65536)):
                    reply += data
            except (socket.timeout, ssl.SSLError):
                return reply + b"\0open"
            return reply

    def test_requests_are_answered_as_http_wants(self):
        for tls in (False, True):
            port = self.endpoint(tls)
            for request, statuses, closed in REQUESTS:
                reply = self.ask(port, request, tls)
                self.assertEqual(not reply.endswith(b"\0open"), closed, request[:50])
                heads = [h for h in re.split(rb"(?=HTTP/1\.1 \d\d\d )", reply) if h.startswith(b"HTTP/1.1")]
                self.assertEqual([h[9:12] for h in heads], statuses, request[:50])
                self.assertTrue(all(b"\r\nDate: " in h for h in heads), "a Date on every answer")
                if request.startswith(b"HEAD"):
                    self.assertTrue(reply.endswith(b"\r\n\r\n"), "HEAD: no body")
            packed = self.ask(port, GET + b"Accept-Encoding: gzip\r\nConnection: close\r\n\r\n", tls)
            head, body = packed.split(b"\r\n\r\n", 1)
            self.assertIn(b"Content-Encoding: gzip", head)
            self.assertIn(b"rq55_up", gzip.decompress(body))
            self.assertIn(b"200", self.ask(port, GET + b"Connection: close\r\n\r\n", tls, pace=0.01)[:12], "a slow client")
        # Plain HTTP to the TLS port is told so.
        self.assertIn(b"Client sent an HTTP request to an HTTPS server.", self.ask(port, GET + b"\r\n"))

    def test_no_client_can_knock_it_over(self):
        # Under a descriptor limit of 256, 400 idle connections: the idle longest give way.
        port = self.endpoint(preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256)))
        # What it holds once started; the sanitizer build's own overhead is in it.
        def resident(field):
            with open(f"/proc/{self.server.pid}/status") as status:
                return int(re.search(field + r":\s+(\d+) kB", status.read()).group(1))
        start = resident("VmRSS")
        idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(400)]
        scrape = subprocess.run([tool("curl"), "-s", "-m", "2", f"http://127.0.0.1:{port}/metrics"], capture_output=True,
                                text=True)
        self.assertIn("rq55_up", scrape.stdout, "a scrape beside 400 idle")
        self.assertTrue(self.server.said("connections are open, the most the descriptor limit allows: the one idle longest"))
        for s in idle:
            s.close()
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(GET + b"X: ")
            sent = 0
            try:
                while sent < 300 << 20:
                    sent += s.send(b"a" * 65536)
            except OSError:
                pass
            self.assertLess(sent, 300 << 20, "a huge header is cut off")
        self.assertLess(resident("VmHWM") - start, 48 << 10, "kB more at the most")

    def test_a_hundred_scrapers_at_once_each_get_their_scrape(self):
        for tls in (False, True):
            port = self.endpoint(tls)
            answers = []

            def scrape():
                reply = self.ask(port, GET + b"Connection: close\r\n\r\n", tls)
                answers.append(reply[9:12])
            threads = [threading.Thread(target=scrape) for _ in range(100)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(60)
            self.assertEqual(answers, [b"200"] * 100, "tls" if tls else "plain")

    def test_wrong_passwords_never_keep_the_right_one_out(self):
        right = "Authorization: Basic cHJvbTpzM2NyZXQ=\r\n".encode()  # prom:s3cret
        port = self.endpoint(users={"prom": bcrypt("s3cret", 12)}, credentials=right)
        wrong = "Authorization: Basic cHJvbTp3cm9uZw==\r\n".encode()  # prom:wrong
        end = time.monotonic() + 60
        refused = []

        def flood():
            while time.monotonic() < end:
                refused.append(self.ask(port, GET + wrong + b"Connection: close\r\n\r\n")[9:12])
        flooders = [threading.Thread(target=flood) for _ in range(8)]
        for t in flooders:
            t.start()
        answered = []
        while time.monotonic() < end:
            started = time.monotonic()
            reply = self.ask(port, GET + right + b"Connection: close\r\n\r\n")
            answered.append((reply[9:12], round(time.monotonic() - started, 2)))
            time.sleep(max(0.0, 1 - (time.monotonic() - started)))
        for t in flooders:
            t.join(30)
        # Half of Prometheus' scrape time-out: the verdict does not hang on the machine's speed.
        self.assertTrue(all(status == b"200" and took < 5 for status, took in answered), answered)
        self.assertGreater(len(refused), 8)
        # A flooder beyond what the endpoint takes at once may find its connection closed unanswered.
        self.assertEqual(set(refused) - {b"401", b"429", b""}, set())
        self.assertTrue(self.server.said("/metrics: a scrape as prom with a wrong password was refused"))
        # Each kind of refusal said once, not once a try however the refusals alternate.
        said = [line for line in self.server.err.lines if line.startswith("rq55ctl: /metrics: ")]
        self.assertLessEqual(len(said), 2, said)


if __name__ == "__main__":
    main()
