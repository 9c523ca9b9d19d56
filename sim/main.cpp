// rq55-sim: a simulated RQ55 analyser on a pseudo-terminal or a loopback TCP port, until interrupted.
#include "sim/fault_plan.h"
#include "sim/simulator.h"
#include "cli/stop_signals.h"

#include <QCoreApplication>
#include <QTime>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kModbusTcpPort = 5020;
constexpr uint16_t kRtuTcpPort = 5021;

const char* kHelp = R"(rq55-sim - a simulated RQ55 network analyser

Usage: rq55-sim [--pty | --rtu-tcp [PORT] | --modbus-tcp [PORT]] [options]

It answers Modbus requests as an RQ55 analyser does. It measures a three-phase 230/400 V 50 Hz
installation whose load (roughly 70 to 130 kW, currents of 120 to 220 A) changes over tens of
seconds; it counts energy, records maxima, minima and demand, and keeps the relay, analog-output,
equipment and identity registers that the RQ55 program reads and writes. It answers functions 3
(read holding registers), 6 (write single register) and 16 (write multiple registers) at one
device address, and runs until interrupted (Ctrl+C).

Transport (one of them; without any, --rtu-tcp 5021):
  --pty                 RTU frames on a new pseudo-terminal; the ready line names it (/dev/pts/N).
                        Baud rate and framing do not matter on a pseudo-terminal unless --baud is given.
  --rtu-tcp [PORT]      RTU frames, CRC included, over TCP on 127.0.0.1 (port 5021 by default).
  --modbus-tcp [PORT]   Modbus/TCP on 127.0.0.1 (port 5020 by default).
                        PORT 0 takes any free port; the ready line tells which.

Options:
  --address N     the Modbus address answered, 1 to 247 (default 1). A list such as 1,2,3 puts
                  further analysers on the same line, each with its own values and a serial number
                  ending in its address (AB1202 for address 2). A write of register 800 is
                  stored and read back, but the simulator keeps answering at this address.
  --model N       the model code, 55 to 59 (default: one of them at random). It decides how many
                  analog outputs the program offers: 55 none, 56 one, 57 two, 58 three, 59 four.
  --password N    the access password, 0 to 9998 (default 1234).
  --serial TEXT   the six-character serial number (default AB1234).
  --baud N        with --pty: answer only while the line is set to N baud (1200 to 230400), as an
                  analyser at that rate would; without it any rate will do.
  --static        freeze the values: live values, counters, extremes and demand stay as they start.
  --seed N        seed for the start values (the same seed gives the same values).
  --fault RULE    spoil chosen replies; may be given several times (see Faults below).
  --wiring FAULTS wire the analyser wrong (see Wiring below).
  --trace         print every piece of bytes received (<<) and sent (>>), in hex with the time,
                  on standard error.
  --help          show this text.
  --version       show the version.

When it is ready it prints one line on standard output, for example
  RQ55 simulator ready: rtu-tcp 127.0.0.1:5021 address 1 model 57
  RQ55 simulator ready: pty /dev/pts/7 address 1 model 57
and after it the commands that reach it (rq55ctl, and mbpoll where it can: Modbus/TCP or a
pseudo-terminal; mbpoll speaks no RTU over TCP).

Password:
  Writing the password (default 1234) to register 819 unlocks the analyser for 60 seconds; a
  wrong one is refused with exception 3. While it is unlocked, a write to register 1000 resets the
  energy counters, and a write of 9999 to register 819 followed by a new password (0 to 9998)
  changes the password. Both lock it again.

Register map (register numbers as sent on the wire, the first is 0; floats are IEEE single
precision, high word first):
  6-65      30 floats: V1 V2 V3, V12 V23 V31 (V), I1 I2 I3, neutral I (A), P1 P2 P3 P (kW),
            Q1 Q2 Q3 Q (kvar), S1 S2 S3 S (kVA), PF1 PF2 PF3 PF, frequency (Hz), mean phase
            voltage, mean line voltage, mean current
  66-87     11 floats: energy imported, exported (kWh), inductive, capacitive (kvarh), apparent
            (kVAh), quadrants 1 to 4 (kvarh), hours of operation, number of energy resets
  130-237   read from 130: 54 floats, the maxima of 27 quantities and then their minima
  238-261   read from 238: 12 floats, present demand of P, Q, S, I1, I2, I3, then their maxima
  200-220   relays: 200 states (relay 1 high byte, relay 2 low byte); 201-210 relay 1 settings,
            206 its command (write 0 or 1 to open or close it); 211-220 relay 2, 216 its command
  230-297   analog outputs 1 to 4, 17 registers each from 230, 247, 264 and 281; the last float
            of each (245-246 for output 1) is its present value and is read only
  800-810   equipment configuration: address, baud-rate and mode codes, two settings, VT and CT
            primaries (32 bits) and secondaries, demand period (minutes)
  811-818   model and version texts, two characters a register, the first in the low byte;
            816 holds the model code. Written through 8420-8427.
  819-821   serial number (read); 819 also takes the password (write); 1000 energy reset (write)
  Any other register answers exception 2, a bad register count exception 3, any other function
  exception 1. Requests to other addresses get no answer; broadcast writes are carried out.

Faults: RULE is KIND or KIND:KEY=VALUE,... where fn=F, start=R, skip=S and times=N choose the
requests (function F, first register R, after S of them the next N; by default every request):
  silence                    no reply
  late:ms=N                  reply N ms late
  cut:keep=N                 send only the first N bytes of the reply frame
  badcrc                     corrupt the reply's CRC (RTU framings)
  address:id=N               reply from address N
  exception:code=N           exception reply with code N (4 by default); the request is not
                             carried out
  count:bytes=N              a read reply carrying N data bytes, with a valid CRC
  zero                       a read reply whose values are all zero, as a meter that glitches
  split:sizes=A+B...,ms=N    send the reply in pieces of A, B, ... bytes, N ms apart (20 by
                             default)
  close                      close the connection instead of replying (TCP)
  restart:ms=N               as a gateway that restarts: no reply, and new connections refused
                             for N ms (TCP; the connections already open stay)
  replace:hex=BYTES          send these bytes (hexadecimal, header and CRC included) in the
                             reply's place; the request is carried out
  for example: --fault silence:fn=3,start=6,times=2 --fault late:ms=3000

Wiring: --wiring FAULT[:PHASE],... wires the analyser wrong, its values computed as the analyser
computes them (signed reactive powers, line voltages from the phase voltages, the neutral current
as the sum of the phase currents):
  voltage_missing:N, vt_reversed:N, ct_reversed:N   phase N (1-3, default 1)
  ct_swapped:N                                       the CTs of phase N and the next exchanged
  ct_rotated:2, ct_rotated:3                         every CT on the next phase (+120°), or the one after
  export                                             a healthy site that delivers power
  no_load                                            a thousandth of the load
  ct_ratio                                           the CT primary set to 100 A, below the load
  for example: --wiring ct_reversed:2

With the RQ55 program:
  Port number 99 sends RTU frames over TCP (Modbus/TCP where the TCP port is 502), port number 100
  Modbus/TCP to any TCP port; so run
    rq55-sim --rtu-tcp
  and on the main panel set the port to 99, the host to 127.0.0.1 and the TCP port to 5021; or run
  rq55-sim --modbus-tcp and set the port to 100 and the TCP port to 5020.
  On a pseudo-terminal, run rq55-sim --pty, then start the program with
    RQ55_COM5=/dev/pts/N rq55
  (N from the ready line) and choose COM port 5.

With mbpoll (its -r counts from 1: -r 7 reads wire register 6; -1 polls once):
  rq55-sim --modbus-tcp 5020
  mbpoll -m tcp -p 5020 -a 1 -r 7 -c 4 -t 4:float -B -1 127.0.0.1
  rq55-sim --pty
  mbpoll -m rtu -b 19200 -P none -a 1 -r 801 -c 1 -1 /dev/pts/N
)";

int usageError(const std::string& message) {
    std::fprintf(stderr, "rq55-sim: %s\nTry 'rq55-sim --help' for the options.\n", message.c_str());
    return 2;
}

bool number(const std::string& text, long low, long high, long* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return !text.empty() && ec == std::errc() && ptr == end && *value >= low && *value <= high;
}

void printTrace(bool received, const std::vector<uint8_t>& bytes) {
    const std::string now = QTime::currentTime().toString("HH:mm:ss.zzz").toStdString();
    std::string line(64 + 3 * bytes.size(), '\0');
    int at = std::snprintf(line.data(), line.size(), "%s %s", now.c_str(), received ? "<<" : ">>");
    for (uint8_t byte : bytes) at += std::snprintf(line.data() + at, line.size() - at, " %02x", byte);
    std::fprintf(stderr, "%s\n", line.c_str());
}

// The commands that reach the simulator as it runs, on the lines after its ready line.
std::string reachedBy(const sim::Options& o, const sim::Simulator& simulator) {
    const std::string port = std::to_string(simulator.tcpPort()), a = std::to_string(o.deviceAddress);
    const std::string address = o.deviceAddress == 1 ? "" : " --address " + a;
    const std::string mbpoll = "  mbpoll -a " + a + " -r 7 -c 4 -t 4:float -B -1 ";
    switch (o.transport) {
    case sim::Transport::Pty: {
        const std::string device = simulator.devicePath();
        return "  rq55ctl read network --serial " + device + address + "\n" + mbpoll + "-m rtu -b 19200 -P none " +
               device + "\n  RQ55_COM5=" + device + " rq55   (then COM port 5 on the main panel)\n";
    }
    case sim::Transport::RtuOverTcp:
        return "  rq55ctl read network --tcp 127.0.0.1:" + port + address +
               "\n  RQ55: port 99, host 127.0.0.1, TCP port " + port +
               "\n  (mbpoll speaks no RTU over TCP: rq55-sim --modbus-tcp serves it)\n";
    case sim::Transport::ModbusTcp:
        return "  rq55ctl read network --tcp 127.0.0.1:" + port + (port == "502" ? "" : " --modbus-tcp") + address +
               "\n" + mbpoll + "-m tcp -p " + port + " 127.0.0.1\n  RQ55: port 100, host 127.0.0.1, TCP port " +
               port + "\n";
    }
    return "";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    sim::Options options;
    options.keptRequests = 0; // nothing reads them; its memory stays where it started
    options.transport = sim::Transport::RtuOverTcp;
    options.tcpPort = kRtuTcpPort;
    bool transportChosen = false;
    bool trace = false;
    std::vector<sim::FaultRule> faults;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string text;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("rq55-sim %s\n", RQ55_VERSION);
            return 0;
        } else if (arg == "--pty" || arg == "--rtu-tcp" || arg == "--modbus-tcp") {
            if (transportChosen) return usageError("choose one of --pty, --rtu-tcp and --modbus-tcp");
            transportChosen = true;
            if (arg == "--pty") {
                options.transport = sim::Transport::Pty;
                continue;
            }
            bool rtu = arg == "--rtu-tcp";
            options.transport = rtu ? sim::Transport::RtuOverTcp : sim::Transport::ModbusTcp;
            options.tcpPort = rtu ? kRtuTcpPort : kModbusTcpPort;
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                if (!number(args[i + 1], 0, 65535, &n))
                    return usageError("bad TCP port '" + args[i + 1] + "'");
                options.tcpPort = static_cast<uint16_t>(n);
                ++i;
            }
        } else if (arg == "--address") {
            if (!value(&text)) return usageError("--address takes a number 1 to 247");
            // "1,2,3": the first is this analyser, the others further analysers on the same line.
            options.moreAddresses.clear();
            for (size_t from = 0, k = 0; from <= text.size(); ++k) {
                const size_t comma = std::min(text.find(',', from), text.size());
                if (!number(text.substr(from, comma - from), 1, 247, &n))
                    return usageError("--address takes a number 1 to 247, or a list of them");
                if (k == 0)
                    options.deviceAddress = static_cast<int>(n);
                else
                    options.moreAddresses.push_back(static_cast<int>(n));
                from = comma + 1;
            }
        } else if (arg == "--model") {
            if (!value(&text) || !number(text, 55, 59, &n))
                return usageError("--model takes a model code 55 to 59");
            options.modelCode = static_cast<int>(n);
        } else if (arg == "--password") {
            if (!value(&text) || !number(text, 0, 9998, &n))
                return usageError("--password takes a number 0 to 9998");
            options.password = static_cast<uint16_t>(n);
        } else if (arg == "--serial") {
            if (!value(&text) || text.size() != 6) return usageError("--serial takes exactly six characters");
            options.serialNumber = text;
        } else if (arg == "--baud") {
            if (!value(&text) || !number(text, 1200, 230400, &n))
                return usageError("--baud takes a baud rate 1200 to 230400");
            options.lineBaud = static_cast<int>(n);
        } else if (arg == "--static") {
            options.moving = false;
        } else if (arg == "--seed") {
            if (!value(&text) || !number(text, 0, 4294967295L, &n))
                return usageError("--seed takes a number");
            options.seed = static_cast<unsigned>(n);
        } else if (arg == "--fault") {
            if (!value(&text)) return usageError("--fault takes a RULE, for example silence:fn=3,times=2");
            sim::FaultRule rule;
            std::string error;
            if (!sim::parseFaultRule(text, &rule, &error)) return usageError(error);
            faults.push_back(rule);
        } else if (arg == "--wiring") {
            std::string error;
            if (!value(&text) || !sim::ParseWiring(text, options.wiring, error))
                return usageError(error.empty() ? "--wiring takes FAULT[:PHASE],..., for example ct_reversed:2" : error);
        } else if (arg == "--trace") {
            trace = true;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }

    // Ctrl+C (and SIGTERM) are held back before the simulator's thread starts, so that thread
    // never receives them; the main thread waits for them below.
    HoldStopSignals();

    QCoreApplication app(argc, argv);
    sim::Simulator simulator;
    if (trace) {
        simulator.setTrace(printTrace);
        simulator.setNotes([](const std::string& event) { std::fprintf(stderr, "-- %s\n", event.c_str()); });
    }
    std::string error;
    if (!simulator.start(options, &error)) {
        std::fprintf(stderr, "rq55-sim: cannot start: %s\n", error.c_str());
        return 1;
    }
    for (const sim::FaultRule& rule : faults) simulator.addFault(rule);

    std::string where;
    switch (options.transport) {
    case sim::Transport::Pty: where = "pty " + simulator.devicePath(); break;
    case sim::Transport::RtuOverTcp:
        where = "rtu-tcp 127.0.0.1:" + std::to_string(simulator.tcpPort());
        break;
    case sim::Transport::ModbusTcp:
        where = "modbus-tcp 127.0.0.1:" + std::to_string(simulator.tcpPort());
        break;
    }
    std::string addresses = std::to_string(options.deviceAddress);
    for (int more : options.moreAddresses) addresses += "," + std::to_string(more);
    std::printf("RQ55 simulator ready: %s address %s model %d\n", where.c_str(), addresses.c_str(),
                simulator.modelCode());
    std::fputs(reachedBy(options, simulator).c_str(), stdout);
    std::fflush(stdout);

    while (!WaitForStopSignal(3600)) {
    }
    simulator.stop();
    return 0;
}
