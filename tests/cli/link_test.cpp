// What rq55ctl refuses before it sends anything, what it says of a link it cannot open, and how
// it finds analysers.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <sys/socket.h>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "cli_support.h"
#include "test_support.h"

namespace {

using namespace clitest;
using testsupport::Lines;
using testsupport::ReadFile;

// A command line rq55ctl does not take, or a bad file, is refused before anything is sent.
TEST(Cli, UsageErrorsSendNothing) {
    Analyser a(sim::Transport::RtuOverTcp);
    testsupport::TempDir dir;
    dir.write("short.bin", "1 2 3 ");
    const std::vector<std::vector<std::string>> refused = {
        {"identify", "--address", "0"},
        {"identify", "--address", "5-300"},
        {"read", "voltages"},
        {"read", "network", "--format", "xml"},
        {"frobnicate"},
        {"read"},
        {"backup", dir.file("x.bin"), "--address", "1,2"},
        {"restore", dir.file("short.bin")},
        {"diff", dir.file("missing.bin")},
        {"read", "network", "--count", "3"},
        {"identify", "--baud", "9600,19200"},
        {"backup", dir.file("no-such-folder/x.bin")},
        {"backup", dir.path()},
        {"read", "network", "--watch", "0.1"},
        {"identify", "--tls-cert", dir.file("short.bin")},
        {"identify", "--rtu-over-tcp", "--tls-cert", dir.file("short.bin"), "--tls-key", dir.file("short.bin"), "--tls-ca",
         dir.file("short.bin")},
        {"identify", "--tls-cert", dir.file("short.bin"), "--tls-key", dir.file("short.bin"), "--tls-ca", dir.file("short.bin")},
    };
    for (const auto& args : refused) {
        const CtlRun r = a.run(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(ctl({"identify"}).status, 2); // no link
    EXPECT_EQ(ctl({"--tcp", "read", "network"}).err.find("--tcp needs a host name before \"read\""), 9u);
    const CtlRun longHost = ctl({"identify", "--tcp", std::string(10000, 'h')});
    EXPECT_EQ(longHost.status, 2);
    EXPECT_LT(longHost.err.size(), 200u) << "an over-long argument is not echoed whole";
    EXPECT_EQ(a.sim.requestCount(), 0);
    for (const char* free : {"--help", "--version"}) {
        const CtlRun r = ctl({free});
        EXPECT_EQ(r.status, 0);
        EXPECT_FALSE(r.out.empty());
    }
}

// A link that cannot be opened, or a server that closes it at once, says why in plain words, each
// cause its own, and exits 1.
TEST(Cli, ALinkThatCannotBeOpenedSaysWhy) {
    // A listener that takes no more connections: its queue is full, so a new one is never answered.
    QTcpServer full;
    ASSERT_TRUE(full.listen(QHostAddress::LocalHost));
    const int fd = static_cast<int>(full.socketDescriptor());
    ::listen(fd, 0);
    std::vector<std::unique_ptr<QTcpSocket>> waiting;
    for (int i = 0; i < 3; ++i) {
        waiting.push_back(std::make_unique<QTcpSocket>());
        waiting.back()->connectToHost(QHostAddress::LocalHost, full.serverPort());
    }
    QTcpServer probe; // a port that was free a moment ago: nobody listens there
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const std::string refusedPort = std::to_string(probe.serverPort());
    probe.close();
    const Analyser modbusTcp(sim::Transport::ModbusTcp); // spoken to in RTU frames, as its port is not 502
    const struct {
        std::vector<std::string> link;
        const char* said;
    } cases[] = {
        {{"--tcp", "no-such-host.invalid"}, "cannot be opened: unknown host ("},
        {{"--tcp", "127.0.0.1:" + refusedPort}, "cannot be opened: connection refused"},
        {{"--tcp", "127.0.0.1:" + std::to_string(full.serverPort())}, "cannot be opened: no answer within 5 s"},
        {{"--serial", "/dev/no-such-tty"}, "/dev/no-such-tty cannot be opened: "},
        {{"--com", "97"}, "rq55ctl: COM97 (/dev/ttyS96) cannot be opened: "}, // said once, the device named
        {{"--tcp", "127.0.0.1:" + std::to_string(modbusTcp.sim.tcpPort())}, "if it speaks Modbus/TCP on a port other than 502, add --modbus-tcp"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"identify"};
        args.insert(args.end(), c.link.begin(), c.link.end());
        const CtlRun r = ctl(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

// Which addresses answer: a scan finds them, and a command names the one that does not, with the scan
// as the next step.
TEST(Cli, ScanFindsTheAnalyserAndACommandNamesAnAddressThatDoesNotAnswer) {
    Analyser serial(sim::Transport::Pty, 17, 57, 9600);
    const CtlRun line = serial.run({"scan", "--address", "15-18", "--baud", "19200,9600"});
    EXPECT_EQ(line.status, 0) << line.err;
    EXPECT_EQ(line.out, "address 17, 9600 baud, 8N1: model RQ57, serial number AB1234\n");
    const CtlRun id = serial.run({"--address", "17,2", "--baud", "9600", "--timeout", "200", "identify"});
    EXPECT_EQ(id.status, 1);
    EXPECT_NE(id.out.find("address 17: model code 57"), std::string::npos) << id.out;
    EXPECT_NE(id.err.find("address 2, serial number (registers 811-821): no reply"), std::string::npos) << id.err;
    EXPECT_NE(id.err.find("no analyser answered at address 2 on " + serial.sim.devicePath() +
                          " at 9600 baud, 8N1: rq55ctl scan finds the addresses, baud rates and framings that answer"),
              std::string::npos)
        << id.err;

    Analyser tcp(sim::Transport::ModbusTcp, 5, 58);
    const CtlRun unit = tcp.run({"scan", "--address", "1-8", "--timeout", "100"});
    EXPECT_EQ(unit.status, 0) << unit.err;
    EXPECT_EQ(unit.out, "unit 5: model RQ58, serial number AB1234\n");
    EXPECT_EQ(tcp.run({"scan", "--address", "1-3", "--timeout", "100"}).status, 1);
}

} // namespace
