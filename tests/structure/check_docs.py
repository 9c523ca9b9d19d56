#!/usr/bin/env python3
"""The limits and defaults the manual pages and --help state are the code's: each row reads a
constant from the code and names the sentences that state it; the test fails when they part.
Arguments: the source folder and the build folder."""
import os
import re
import subprocess
import sys

SOURCE, BUILD = sys.argv[1], sys.argv[2]


def page(name):
    with open(os.path.join(SOURCE, "docs", "man", name), encoding="utf-8") as f:
        return f.read().replace("\\-", "-")


def helps(program):
    return subprocess.run([os.path.join(BUILD, program), "--help"], capture_output=True, text=True, timeout=30).stdout


DOCS = {"man rq55ctl": page("rq55ctl.1"), "man rq55": page("rq55.1"), "rq55ctl --help": helps("cli/rq55ctl"),
        "rq55-sim --help": helps("sim/rq55-sim")}

# The code's file, what finds the constant there (its groups, the values), and where each is stated,
# "{0}" standing for the first value.
ROWS = [
    ("cli/serve/listen.h", r"kKeptDescriptors = (\d+)", {"man rq55ctl": "{0} descriptors are kept"}),
    ("cli/serve/listen.cpp", r"min<unsigned long long>\((\d+), std::max<unsigned long long>\(left / 4",
     {"man rq55ctl": "a quarter, at most {0} clients"}),
    ("cli/serve/listen.cpp", r"min<unsigned long long>\((\d+), std::max<unsigned long long>\(left - gateway",
     {"man rq55ctl": "what is left, at most {0} connections"}),
    ("cli/serve/http/endpoint.cpp", r"kConnectionMemory = (\d+) \* 1024", {"man rq55ctl": "within {0} KiB"}),
    ("cli/serve/http/endpoint.cpp", r"kIdleSeconds = (\d+)", {"man rq55ctl": "{0} s of idleness"}),
    ("cli/serve/mqtt/mqtt_publisher.cpp", r"kFirstWaitSeconds = (\d+), kLongestWaitSeconds = (\d+)",
     {"man rq55ctl": "again after {0} s, doubling to {1} s"}),
    ("cli/serve/poll/scheduler.cpp", r"kLongestProbeGap = (\d+)", {"man rq55ctl": "then every {0} rounds"}),
    ("cli/tool_link.h", r"kServeReplyWaitMs = (\d+)000;", {"man rq55ctl": "serve: {0} s;", "rq55ctl --help": "serve: {0} s;"}),
    ("src/link/exchange_tcp.cpp", r"kModbusTcpPasses = (\d+)00;",
     {"man rq55ctl": "{0} s for Modbus/TCP", "rq55ctl --help": "{0} s for Modbus/TCP"}),
    ("src/link/exchange_tcp.cpp", r"kRtuOverTcpPasses = (\d+)00;",
     {"man rq55ctl": "{0} s for RTU over TCP", "rq55ctl --help": "{0} s for RTU over TCP"}),
    ("cli/options.h", r"pauseMs = (\d+);", {"man rq55ctl": "0 to 1000 (default {0};", "rq55ctl --help": "0 to 1000 ({0})"}),
    ("cli/options.h", r"double interval = (\d+);",
     {"man rq55ctl": "every SECONDS (0.2 to 86400, default {0})", "rq55ctl --help": "round to the next ({0})"}),
    ("cli/options.h", r"counterConfirm = (\d+);",
     {"man rq55ctl": "polls in a row (default {0})", "rq55ctl --help": "polls in a row ({0})"}),
    ("cli/options.h", r"maintenanceHold = (\d+);",
     {"man rq55ctl": "--maintenance-hold \" SECONDS\" ({0})", "rq55ctl --help": "while the client stays ({0})"}),
    ("cli/options.h", r"gatewayIdle = (\d+);",
     {"man rq55ctl": "--gateway-idle \" SECONDS\" ({0})", "rq55ctl --help": "is closed ({0})"}),
    ("cli/options.h", r"gatewayFresh = (\d+);", {"man rq55ctl": "--gateway-fresh \" SECONDS\" ({0};",
                                                  "rq55ctl --help": "younger than this ({0};"}),
    ("cli/options.h", r"int baud = (\d+);", {"man rq55ctl": "(default {0})", "rq55ctl --help": "default {0}"}),
    ("cli/options.h", r"kMqttPort = (\d+), kMqttTlsPort = (\d+);",
     {"man rq55ctl": "(port {0})", "rq55ctl --help": "(port {0}, TLS {1})"}),
    ("src/link/link_settings.h", r"kModbusTcpPort = (\d+);",
     {"man rq55": "TCP port {0} speaks Modbus/TCP", "rq55ctl --help": "port {0} (the default) speaks Modbus/TCP"}),
    ("cli/options.h", r"kModbusTlsPort = (\d+);",
     {"man rq55ctl": "(port {0} unless given)", "rq55ctl --help": "(port {0} unless given)"}),
    ("src/link/exchange.h", r"kModbusTcpPortNumber = (\d+);",
     {"man rq55": "Port number {0} speaks Modbus/TCP", "rq55-sim --help": "port number {0}"}),
]

faults = []
for file, pattern, stated in ROWS:
    with open(os.path.join(SOURCE, file), encoding="utf-8") as f:
        found = re.search(pattern, f.read())
    if not found:
        faults.append(f"{file}: no {pattern}")
        continue
    for doc, template in stated.items():
        sentence = template.format(*found.groups())
        if re.sub(r"\s+", " ", sentence) not in re.sub(r"\s+", " ", DOCS[doc]):
            faults.append(f"{doc} does not say \"{sentence}\", the value of {file}")
for fault in faults:
    print("FAIL:", fault)
print(f"{len(ROWS)} constants checked, {len(faults)} faults")
sys.exit(1 if faults else 0)
