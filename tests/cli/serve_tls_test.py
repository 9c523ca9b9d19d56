#!/usr/bin/env python3
"""rq55ctl serve as a plant's security team asks: /metrics over TLS with passwords and client
certificates from a web configuration file (checked by promtool, scraped by a real Prometheus,
tried with curl, read again on SIGHUP), and MQTT over TLS to a real mosquitto, each failure said in
words. Certificates are made by the test with openssl. Arguments: the build folder and the source
folder."""
import asyncio
import json
import math
import re
import os
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import tempfile
import time
import urllib.parse
import warnings

from pymodbus.client import AsyncModbusTlsClient
from pymodbus.framer.socket_framer import ModbusSocketFramer
from serve_support import RQ55CTL, SOURCE, ServeCase, free_port, get, main, tool, until

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt


def openssl(*args, cwd):
    subprocess.run([tool("openssl"), *args], cwd=cwd, check=True, capture_output=True, timeout=60)


def bcrypt(password):
    return crypt.crypt(password, crypt.mksalt(crypt.METHOD_BLOWFISH))


class Tls(ServeCase):
    @classmethod
    def setUpClass(cls):
        """Two certificate authorities; servers for 127.0.0.1 and localhost (one expired, one from
        the other authority, one for another name); a client."""
        cls.certs = tempfile.TemporaryDirectory()
        d = cls.certs.name
        os.chmod(d, 0o755)  # the broker reads them as its own user
        for ca in ("ca", "other-ca"):
            openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{ca}.key", "-out", f"{ca}.crt",
                    "-days", "30", "-subj", f"/CN={ca}", cwd=d)
        made = {"server": ("ca", "IP:127.0.0.1,DNS:localhost", "30"), "expired": ("ca", "IP:127.0.0.1", "-1"),
                "stranger": ("other-ca", "IP:127.0.0.1", "30"), "elsewhere": ("ca", "DNS:elsewhere.example", "30"),
                "client": ("ca", "DNS:prometheus", "30"),
                # Modbus/TCP Security clients, their role in the Modbus role extension.
                "operator": ("ca", "DNS:operator", "30", "operator"), "viewer": ("ca", "DNS:viewer", "30", "viewer"),
                "lapsed": ("ca", "DNS:lapsed", "-1", "operator"), "foreign": ("other-ca", "DNS:foreign", "30", "operator")}
        for name, (ca, names, days, *role) in made.items():
            openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
                    "-subj", f"/CN={name}", cwd=d)
            with open(os.path.join(d, f"{name}.ext"), "w") as f:
                f.write(f"subjectAltName={names}\n" + "".join(f"1.3.6.1.4.1.50316.802.1=ASN1:UTF8String:{r}\n" for r in role))
            openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt", "-CAkey", f"{ca}.key", "-CAcreateserial",
                    "-out", f"{name}.crt", "-days", days, "-extfile", f"{name}.ext", cwd=d)
        for f in os.listdir(d):
            os.chmod(os.path.join(d, f), 0o644)

    @classmethod
    def tearDownClass(cls):
        cls.certs.cleanup()

    def cert(self, name):
        return os.path.join(self.certs.name, name)

    def web_config(self, name, text):
        path = os.path.join(self.scratch.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_metrics_over_tls_with_passwords_and_client_certificates(self):
        tls = f"tls_server_config:\n  cert_file: {self.cert('server.crt')}\n  key_file: {self.cert('server.key')}\n"
        passwords = self.web_config("web.yml", tls + f"basic_auth_users:\n  prom: '{bcrypt('s3cret')}'\n")
        clients = self.web_config("clients.yml", tls + "  client_auth_type: RequireAndVerifyClientCert\n"
                                                       f"  client_ca_file: {self.cert('ca.crt')}\n")
        # The documented example, beside a certificate and key of its names.
        example = os.path.join(self.scratch.name, "example")
        os.mkdir(example)
        shutil.copy(os.path.join(SOURCE, "docs", "prometheus", "web-config.yml"), example)
        shutil.copy(self.cert("server.crt"), os.path.join(example, "serve.crt"))
        shutil.copy(self.cert("server.key"), os.path.join(example, "serve.key"))
        for checked in (passwords, clients, os.path.join(example, "web-config.yml")):
            run = subprocess.run([tool("promtool"), "check", "web-config", checked], capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        # The same three as the service hands them over: credentials named secret_FILE.
        credentials = os.path.join(self.scratch.name, "credentials")
        os.mkdir(credentials)
        for name in os.listdir(example):
            shutil.copy(os.path.join(example, name), os.path.join(credentials, "secret_" + name))

        sim, sim_port = self.simulator()
        guarded, certified, service = free_port(), free_port(), free_port()
        serve = self.serve(sim_port, "--metrics", str(guarded), "--web-config", passwords)
        self.serve(sim_port, "--metrics", str(certified), "--web-config", clients)
        serviced = self.serve(sim_port, "--metrics", str(service), "--web-config", "web-config.yml",
                              env=dict(os.environ, CREDENTIALS_DIRECTORY=credentials))
        ca, client = ["--cacert", self.cert("ca.crt")], ["--cert", self.cert("client.crt"), "--key", self.cert("client.key")]
        cases = [  # the endpoint, what curl adds, and the HTTP status it gets ("none": no answer at all)
            (guarded, ["--cacert", self.cert("other-ca.crt"), "https://127.0.0.1:{}/metrics"], "none"),  # wrong CA
            (guarded, [*ca, "https://127.0.0.1:{}/metrics"], "401"),  # no password
            (guarded, [*ca, "-u", "prom:Wr0ngPw", "https://127.0.0.1:{}/metrics"], "401"),
            (guarded, [*ca, "-u", "nobody:s3cret", "https://127.0.0.1:{}/metrics"], "401"),
            (guarded, [*ca, "-u", "prom:s3cret", "https://localhost:{}/metrics"], "200"),
            (certified, [*ca, "https://127.0.0.1:{}/metrics"], "none"),  # no client certificate
            (certified, [*ca, *client, "https://127.0.0.1:{}/metrics"], "200"),
            (service, [*ca, "-u", "prometheus:change me", "https://127.0.0.1:{}/metrics"], "200"),
        ]

        def status(port, args):
            run = subprocess.run([tool("curl"), "-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "10",
                                  *args[:-1], args[-1].format(port)], capture_output=True, text=True, timeout=30)
            return "none" if run.stdout in ("", "000") else run.stdout

        self.assertTrue(until(lambda: status(guarded, cases[4][1]) == "200", 30))
        for port, args, expected in cases:
            self.assertEqual(status(port, args), expected, args)
        self.assertTrue(serve.said("/metrics: a scrape as prom with a wrong password was refused"))
        self.assertFalse([line for line in serve.err.lines if "Wr0ngPw" in line or "s3cret" in line], "no password said")

        # A real Prometheus scrapes over TLS with its password, and not without.
        web = free_port()
        config = self.web_config("prometheus.yml", (
            "global:\n  scrape_interval: 1s\nscrape_configs:\n"
            f"  - job_name: secured\n    scheme: https\n    tls_config:\n      ca_file: {self.cert('ca.crt')}\n"
            f"    basic_auth:\n      username: prom\n      password: s3cret\n"
            f"    static_configs:\n      - targets: ['127.0.0.1:{guarded}']\n"
            f"  - job_name: bare\n    scheme: https\n    tls_config:\n      ca_file: {self.cert('ca.crt')}\n"
            f"    static_configs:\n      - targets: ['127.0.0.1:{guarded}']\n"))
        self.start([tool("prometheus"), "--config.file=" + config, f"--web.listen-address=127.0.0.1:{web}",
                    "--storage.tsdb.path=" + os.path.join(self.scratch.name, "data")])

        def query(q):
            reply = get(f"http://127.0.0.1:{web}/api/v1/query?" + urllib.parse.urlencode({"query": q}))
            return json.loads(reply)["data"]["result"] if reply else None

        self.assertTrue(until(lambda: query('rq55_up{job="secured"} == 1'), 90, 0.5), "scraped over TLS")
        self.assertTrue(until(lambda: query('up{job="bare"} == 0'), 30, 0.5), "refused without a password")
        # The analyser rounds each value itself: the phases add up to the total within that (the
        # apparent power of a whole network is not the sum of its phases').
        for quantity in ("active_power_watts", "reactive_power_var"):
            phases = query(f'sum by (address) (rq55_phase_{quantity}{{job="secured"}})')
            total = query(f'rq55_{quantity}{{job="secured"}}')
            self.assertTrue(math.isclose(float(phases[0]["value"][1]), float(total[0]["value"][1]), rel_tol=1e-6))

        # SIGHUP: a new password takes effect; a broken file keeps it.
        with open(passwords, "w") as f:
            f.write(tls + f"basic_auth_users:\n  prom: '{bcrypt('n3w')}'\n")
        serve.send_signal(signal.SIGHUP)
        self.assertTrue(serve.said("SIGHUP: " + passwords + " read again"))
        new = [*ca, "-u", "prom:n3w", "https://127.0.0.1:{}/metrics"]
        self.assertEqual((status(guarded, cases[4][1]), status(guarded, new)), ("401", "200"))
        with open(passwords, "w") as f:
            f.write(tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n")
        serve.send_signal(signal.SIGHUP)
        self.assertTrue(serve.said("cipher_suites is not implemented by rq55ctl serve; the settings in force stay"))
        self.assertEqual(status(guarded, new), "200")
        serviced.send_signal(signal.SIGHUP)
        self.assertTrue(serviced.said(f"SIGHUP: nothing was read again: {credentials}/secret_web-config.yml is the "
                                      "service manager's copy, made when the service started; restart the service to "
                                      "take a changed file"))

    def test_modbus_tcp_security_admits_by_certificate_and_writes_by_role(self):
        config = self.web_config("gateway-tls.yml", (
            f"tls_server_config:\n  cert_file: {self.cert('server.crt')}\n  key_file: {self.cert('server.key')}\n"
            f"  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: {self.cert('ca.crt')}\n"
            "roles:\n  operator: read-write\n  viewer: read-only\n"))
        sim, sim_port = self.simulator()
        port, plain = free_port(), free_port()
        serve = self.serve(sim_port, "--gateway-tls", str(port), "--gateway-tls-config", config,
                           "--gateway-rtu-over-tcp", str(plain))
        self.assertTrue(serve.said(f"gateway at 127.0.0.1:{port} (Modbus/TCP Security), writes by role"))

        def context_of(client):
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.load_verify_locations(self.cert("ca.crt"))
            if client:
                context.load_cert_chain(self.cert(f"{client}.crt"), self.cert(f"{client}.key"))
            return context

        def ask(client, pdu, version=None):
            """The reply's PDU to a request over TLS as `client` (none: no certificate), or "refused"."""
            context = context_of(client)
            if version:
                context.minimum_version = context.maximum_version = version
                context.set_ciphers("DEFAULT@SECLEVEL=0")
            try:
                with context.wrap_socket(socket.create_connection(("127.0.0.1", port), timeout=10),
                                         server_hostname="127.0.0.1") as s:
                    s.sendall(struct.pack(">HHHB", 9, 0, len(pdu) + 1, 1) + pdu)
                    reply = s.makefile("rb")
                    head = reply.read(7)
                    return reply.read(struct.unpack(">H", head[4:6])[0] - 1) if len(head) == 7 else "refused"
            except (ssl.SSLError, OSError):
                return "refused"
        write = lambda value: struct.pack(">BHH", 6, 808, value)  # noqa: E731
        cases = [  # who, the request, the reply
            (None, write(3), "refused"), ("foreign", write(3), "refused"), ("lapsed", write(3), "refused"),
            ("viewer", write(3), bytes([0x86, 0x01])), ("client", write(3), bytes([0x86, 0x01])),  # no role
            ("operator", write(7), write(7)), ("viewer", struct.pack(">BHH", 3, 808, 1), bytes([3, 2, 0, 7])),
        ]
        for who, pdu, reply in cases:
            self.assertEqual(ask(who, pdu), reply, who)
        self.assertEqual(ask("operator", struct.pack(">BHH", 3, 808, 1), ssl.TLSVersion.TLSv1_1), "refused")

        async def independent():  # pymodbus' TLS client, with the MBAP header Modbus/TCP Security keeps
            client = AsyncModbusTlsClient("127.0.0.1", port=port, sslctx=context_of("operator"),
                                          server_hostname="127.0.0.1", framer=ModbusSocketFramer)
            await client.connect()
            written = await client.write_register(808, 5, slave=1)
            read = await client.read_holding_registers(808, 1, slave=1)
            await client.close()
            return written.value, read.registers
        self.assertEqual(asyncio.run(independent()), (5, [5]))
        self.assertTrue(serve.said("write of register 808 at address 1 refused (role viewer reads only)"))
        self.assertTrue(serve.said("refused: TLS: "))

        # rq55ctl as a Modbus/TCP Security client, its writes by its certificate's role; and by a
        # plain door with RTU frames, where serve identifies itself as well.
        saved = os.path.join(self.scratch.name, "saved.cfg")
        version = subprocess.run([RQ55CTL, "--version"], capture_output=True, text=True).stdout.split()[1]
        me = f'identifies itself as vendor "RQ55", product "RQ55 gateway", version "{version}"'

        def ctl(who, ca, key, *args):
            files = ["--tls-cert", self.cert(f"{who}.crt"), "--tls-key", self.cert(key or f"{who}.key"),
                     "--tls-ca", self.cert(ca)] if who else []
            run = subprocess.run([RQ55CTL, *args, "--pause", "0", *files], capture_output=True, text=True, timeout=60)
            said = [line for line in run.stderr.splitlines() if not re.search(r":\d+: (RTU over TCP|Modbus/TCP)", line)]
            return run.returncode, run.stdout.splitlines()[:1], said
        tls, rtu = ["--tcp", f"127.0.0.1:{port}"], ["--tcp", f"127.0.0.1:{plain}"]
        cannot = f"rq55ctl: 127.0.0.1:{port} cannot be opened: TLS: "
        cases = [  # who, the authority, another key, the command; its status, first line on stdout, stderr
            ("operator", "ca.crt", None, ["identify", *tls], 0, [f"127.0.0.1:{port} {me}"], []),
            ("operator", "ca.crt", None, ["identify", "--tcp", f"localhost:{port}"], 0, [f"localhost:{port} {me}"], []),
            (None, "", None, ["identify", *rtu], 0, [f"127.0.0.1:{plain} {me}"], []),
            (None, "", None, ["identify", "--tcp", f"127.0.0.1:{sim_port}"], 0,
             ['address 1: model code 59, serial number AB1234, model text "RQ55 V3.12", version text ";"'],
             []),
            ("viewer", "ca.crt", None, ["backup", saved, *tls], 0, [f"address 1: configuration saved to {saved}"], []),
            ("viewer", "ca.crt", None, ["restore", saved, *tls], 1, [],
             ["rq55ctl: address 1, restore, registers 201-205: exception 01 (illegal function); the analyser, or the "
              "gateway in front of it, refuses writes: a Modbus/TCP Security door of rq55ctl serve passes them only "
              "from a certificate whose role it maps to read-write"]),
            ("operator", "ca.crt", None, ["restore", saved, *tls], 0, ["address 1: configuration written"], []),
            ("foreign", "ca.crt", None, ["identify", *tls], 1, [], [cannot + "the server refused this client: tlsv1 "
                                                                    "alert unknown ca"]),
            ("operator", "other-ca.crt", None, ["identify", *tls], 1, [],
             [cannot + "the server's certificate is not taken: self-signed certificate in certificate chain"]),
            ("operator", "ca.crt", "nowhere.key", ["identify", *tls], 2, [],
             [f"rq55ctl: --tls-key {self.cert('nowhere.key')}: No such file or directory"]),
            ("operator", "ca.crt", "viewer.key", ["identify", *tls], 2, [],
             [f"rq55ctl: --tls-key {self.cert('viewer.key')} is not the key of --tls-cert {self.cert('operator.crt')}"]),
        ]
        for who, ca, key, args, status, out, err in cases:
            self.assertEqual(ctl(who, ca, key, *args), (status, out, err), args)

    def test_bad_web_configurations_stop_it_at_once_with_the_line_and_the_reason(self):
        tls = f"tls_server_config:\n  cert_file: {self.cert('server.crt')}\n  key_file: {self.cert('server.key')}\n"
        for text, said in [
            ("tls_server_config:\n  cert_file: a.crt\n", "line 1: tls_server_config needs cert_file and key_file"),
            (tls + "  client_auth_type: RequestClientCert\n", "line 4: client_auth_type RequestClientCert is not"),
            (tls + "http_server_config:\n  http2: true\n", "line 5: http2 is not implemented"),
            (tls + "http_server_config:\n  headers:\n    Server: x\n", "line 6: Server is not a header the configuration"),
            (tls + "  min_version: TLS13\n  min_version: TLS12\n", "line 5: min_version is given twice"),
            ("basic_auth_users:\n  prom: $2y$10$abc\n", "line 2: the password of prom is not a bcrypt hash"),
            ("tls_server_config:\n  cert_file: /dev/zero\n  key_file: /dev/zero\n", "/dev/zero: not a regular file"),
            ("basic_auth_users:\n  prom: s3cret\n", "line 2: the password of prom is not a bcrypt hash"),
            (f"tls_server_config:\n  cert_file: {self.cert('server.crt')}\n  key_file: {self.cert('client.key')}\n",
             "is not the key of the certificate"),
            ("", "the file holds no setting"),
            ("tls_server_config: [\n", "line 2: "),
        ]:
            run = subprocess.run([RQ55CTL, "serve", "--tcp", "127.0.0.1:1", "--metrics", str(free_port()),
                                  "--web-config", self.web_config("bad.yml", text)],
                                 capture_output=True, text=True, timeout=30)
            self.assertEqual(run.returncode, 2, text)
            self.assertIn(said, run.stderr, text)

    def test_mqtt_over_tls_says_each_failure_in_words(self):
        sim, sim_port = self.simulator()

        def broker(cert, extra=""):
            port = free_port()
            self.broker(port, f"allow_anonymous true\ncafile {self.cert('ca.crt')}\ncertfile {self.cert(cert + '.crt')}\n"
                              f"keyfile {self.cert(cert + '.key')}\n{extra}")
            return port

        good, expired, stranger, elsewhere = broker("server"), broker("expired"), broker("stranger"), broker("elsewhere")
        strict = broker("server", "require_certificate true\n")
        ca = ["--mqtt-cafile", self.cert("ca.crt")]
        client = ["--mqtt-cert", self.cert("client.crt"), "--mqtt-key", self.cert("client.key")]
        for port, host, args, said in [
            (good, "127.0.0.1", ca, "connected to the MQTT broker"),
            (good, "localhost", ca, "connected to the MQTT broker"),
            (good, "127.0.0.1", ["--mqtt-cafile", self.cert("other-ca.crt")], "TLS: self-signed certificate in certificate chain"),
            (expired, "127.0.0.1", ca, "TLS: certificate has expired"),
            (stranger, "127.0.0.1", ca, "TLS: unable to get local issuer certificate"),
            (elsewhere, "127.0.0.1", ca, "TLS: IP address mismatch"),
            (strict, "127.0.0.1", ca, "MQTT broker 127.0.0.1:"),
            (strict, "127.0.0.1", [*ca, *client], "connected to the MQTT broker"),
        ]:
            serve = self.serve(sim_port, "--mqtt", f"mqtts://{host}:{port}", *args)
            self.assertTrue(serve.said(said, 15), f"{port} {args}: {serve.err.lines}")
            serve.send_signal(signal.SIGTERM)
            serve.wait(30)
        self.assertEqual(self.retained(strict, "rq55/AB1234/up", ("--cafile", self.cert("ca.crt"), *(
            "--cert", self.cert("client.crt"), "--key", self.cert("client.key")))), "false", "a clean stop, over TLS")

        # Nobody listens yet: the refusal in words, no core spun meanwhile, and a broker that comes up
        # is reached within the wait in force.
        later = free_port()
        serve = self.serve(sim_port, "--mqtt", f"mqtts://127.0.0.1:{later}", *ca)
        self.assertTrue(serve.said(f"MQTT broker 127.0.0.1:{later}: Connection refused; trying again in 1 s", 15))
        cpu = lambda: sum(map(int, open(f"/proc/{serve.pid}/stat").read().rsplit(")", 1)[1].split()[11:13]))
        before = cpu()
        time.sleep(5)
        self.assertLess((cpu() - before) / os.sysconf("SC_CLK_TCK"), 0.25, "more than 5 % of a core")
        self.broker(later, f"allow_anonymous true\ncafile {self.cert('ca.crt')}\ncertfile {self.cert('server.crt')}\n"
                           f"keyfile {self.cert('server.key')}\n")
        self.assertTrue(serve.said("connected to the MQTT broker", 10), serve.err.lines)
        serve.send_signal(signal.SIGTERM)
        serve.wait(30)

        # A password file others may read is refused; one of the service alone is taken.
        secret = os.path.join(self.scratch.name, "password")
        with open(secret, "w") as f:
            f.write("s3cret\n")
        os.chmod(secret, 0o644)
        run = subprocess.run([RQ55CTL, "serve", "--tcp", f"127.0.0.1:{sim_port}", "--mqtt", f"127.0.0.1:{good}",
                              "--mqtt-user", "u", "--mqtt-password-file", secret], capture_output=True, text=True,
                             timeout=30)
        self.assertEqual(run.returncode, 2)
        self.assertIn("others may read or change it (mode 644)", run.stderr)
        os.chmod(secret, 0o600)
        serve = self.serve(sim_port, "--mqtt", f"mqtts://127.0.0.1:{good}", *ca, "--mqtt-user", "u",
                           "--mqtt-password-file", secret)
        self.assertTrue(serve.said("connected to the MQTT broker"))
        self.assertFalse(any("s3cret" in line for line in serve.err.lines))


if __name__ == "__main__":
    main()
