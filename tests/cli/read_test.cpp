// rq55ctl identify and read as a user runs them: the real executable against the simulated analyser.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

class EveryLink : public ::testing::TestWithParam<sim::Transport> {};

TEST_P(EveryLink, ReadsAndIdentifiesTheAnalyser) {
    Analyser a(GetParam());
    const CtlRun id = a.run({"identify"});
    EXPECT_EQ(id.status, 0) << id.err;
    EXPECT_NE(id.out.find("address 1: model code 59, serial number AB1234"), std::string::npos) << id.out;

    // csv: the values exactly as the analyser holds them, read back from their shortest form.
    a.sim.setBlockFloat(6, 0, 229.90161f);
    a.sim.setBlockFloat(6, 26, std::numeric_limits<float>::quiet_NaN());
    const CtlRun csv = a.run({"read", "network", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), 2u);
    const auto header = fields(rows[0]), row = fields(rows[1]);
    ASSERT_EQ(header.size(), 32u);
    ASSERT_EQ(row.size(), 32u);
    EXPECT_EQ(header[2], "V1 (V)");
    EXPECT_EQ(header[28], "frequency (Hz)");
    EXPECT_EQ(row[1], "1");
    EXPECT_EQ(row[28], "nan");
    for (int i = 0; i < 30; ++i)
        if (i != 26) {
            EXPECT_EQ(std::strtof(row[2 + i].c_str(), nullptr), a.sim.blockFloat(6, i)) << header[2 + i];
        }

    // json: the configuration as the panel shows it, and whole the registers of which it shows a byte.
    a.sim.setReg(800, 300);
    a.sim.setReg(804, 0x0001);
    a.sim.setReg(805, 0x86A0); // 100000: above what a u16 holds
    const CtlRun json = a.run({"read", "config", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(object["address"].toInt(), 1);
    EXPECT_TRUE(
        object["time"].toString().contains(QRegularExpression(R"(T\d\d:\d\d:\d\d\.\d\d\d[+-]\d\d:\d\d$)")));
    const QJsonArray values = object["values"].toArray();
    ASSERT_EQ(values.size(), 14);
    EXPECT_EQ(values[0].toObject()["name"].toString(), "device_address");
    EXPECT_EQ(values[0].toObject()["value"].toInt(), 44);
    EXPECT_EQ(values[10].toObject()["name"].toString(), "register_800");
    EXPECT_EQ(values[10].toObject()["value"].toInt(), 300);
    EXPECT_EQ(values[5].toObject()["name"].toString(), "vt_primary");
    EXPECT_EQ(values[5].toObject()["value"].toInt(), 100000);
    EXPECT_EQ(values[9].toObject()["value"].toInt(), a.sim.reg(810));
    EXPECT_EQ(values[9].toObject()["unit"].toString(), "min");
}

INSTANTIATE_TEST_SUITE_P(Cli, EveryLink,
                         ::testing::Values(sim::Transport::Pty, sim::Transport::RtuOverTcp,
                                           sim::Transport::ModbusTcp),
                         [](const auto& info) {
                             return std::string(info.param == sim::Transport::Pty          ? "pty"
                                                : info.param == sim::Transport::RtuOverTcp ? "rtu_tcp"
                                                                                           : "modbus_tcp");
                         });

TEST(Cli, EveryBlockInEveryFormat) {
    Analyser a(sim::Transport::RtuOverTcp);
    for (const char* block : {"network", "energy", "maxmin", "demand", "inout", "analog1", "analog2",
                              "analog3", "analog4", "config", "status"}) {
        size_t count = 0;
        for (const char* format : {"text", "csv", "json"}) {
            SCOPED_TRACE(std::string(block) + " " + format);
            const CtlRun r = a.run({"read", block, "--format", format});
            ASSERT_EQ(r.status, 0) << r.err;
            const auto rows = Lines(r.out);
            if (std::string(format) == "text") {
                count = rows.size() - 1;
                EXPECT_EQ(rows[0].rfind(std::string("address 1, ") + block, 0), 0u);
            } else if (std::string(format) == "csv") {
                ASSERT_EQ(rows.size(), 2u);
                EXPECT_EQ(fields(rows[0]).size(), count + 2);
                std::vector<std::string> names = fields(rows[0]);
                std::sort(names.begin(), names.end());
                EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a column name twice";
                EXPECT_EQ(fields(rows[1]).size(), count + 2);
            } else {
                QJsonParseError error{};
                const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
                ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
                EXPECT_EQ(static_cast<size_t>(doc.object()["values"].toArray().size()), count);
            }
        }
    }
    // The status page's reads of a model with four analog outputs.
    const CtlRun status = a.run({"read", "status"});
    EXPECT_NE(status.out.find("analog4_present_value"), std::string::npos);
    const auto shown = Lines(status.out);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const std::string& l) {
        return l.find("serial_number ") != std::string::npos && l.find(" AB1234") != std::string::npos;
    })) << status.out;
    // Thousands of hours stay hours (there is no kh); thousands of kWh become MWh.
    const CtlRun energy = a.run({"read", "energy"});
    EXPECT_TRUE(QString::fromStdString(energy.out).contains(QRegularExpression(R"(operating_hours +\d{4,} h\n)")))
        << energy.out;
    EXPECT_NE(energy.out.find(" MWh\n"), std::string::npos) << energy.out;
}

// A logger outlives the analyser: a reply too late for its tick is never printed for a later one
// (each request numbers itself in register 810, the demand period), a tick that cannot reach the
// analyser says why on stderr, rows resume once it is back, and Ctrl-C ends it after the tick
// under way with status 1, as ticks failed.
TEST(Cli, WatchOutlivesALateReplyAndALostAnalyser) {
    Analyser a(sim::Transport::RtuOverTcp);
    a.sim.numberRequests(810);
    const uint16_t port = a.sim.tcpPort();
    QProcess watch;
    QStringList args = {"read", "config", "--format", "csv", "--watch", "0.3", "--timeout", "300"};
    for (const std::string& l : a.link) args << QString::fromStdString(l);
    watch.start(RQ55CTL_PATH, args);
    std::string out, err;
    // Waits (at most 20 s) until the tool has printed this many rows and said this on stderr.
    const auto until = [&](size_t rows, const std::string& said) {
        const auto done = [&] { return Lines(out).size() > rows && err.find(said) != std::string::npos; };
        for (int i = 0; i < 200 && !done(); ++i) {
            watch.waitForReadyRead(100);
            out += watch.readAllStandardOutput().toStdString();
            err += watch.readAllStandardError().toStdString();
        }
        return done();
    };
    ASSERT_TRUE(until(1, "")) << err;
    a.sim.addFault({.kind = sim::FaultRule::Kind::Late, .times = 1, .delayMs = 700});
    ASSERT_TRUE(until(2, "address 1, config (registers 800-810): time-out")) << err;
    a.sim.stop();
    ASSERT_TRUE(until(2, "cannot be opened: connection refused")) << err;
    ASSERT_TRUE(a.sim.start({.transport = sim::Transport::RtuOverTcp, .tcpPort = port, .moving = false}));
    a.sim.numberRequests(810);
    const size_t failedBefore = Lines(err).size();
    ASSERT_TRUE(until(3, "")) << err;
    EXPECT_LE(Lines(err).size() - failedBefore, 2u) << "rows resume within two ticks";
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitCode(), 1);
    const auto rows = Lines(out);
    const auto header = fields(rows[0]);
    const size_t column = std::find(header.begin(), header.end(), "demand_period (min)") - header.begin();
    std::vector<std::string> numbers;
    for (size_t r = 1; r < 4; ++r) numbers.push_back(fields(rows[r]).at(column));
    EXPECT_EQ(numbers, (std::vector<std::string>{"1", "3", "1"})) << "each row is the reply to its own request";
}

// A restore the analyser, or a gateway, refuses with exception 01 says who refuses writes.
TEST(Restore, SaysWhoRefusesWrites) {
    Analyser a(sim::Transport::RtuOverTcp);
    testsupport::TempDir dir;
    ASSERT_EQ(a.run({"backup", dir.file("m.bin")}).status, 0);
    a.sim.addFault({.kind = sim::FaultRule::Kind::Exception, .function = 16, .exceptionCode = 1, .segments = {}});
    const CtlRun r = a.run({"restore", dir.file("m.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).back(),
              "rq55ctl: address 1, restore, registers 201-205: exception 01 (illegal function); the analyser, or a "
              "gateway in front of it, refuses writes: a gateway run by rq55ctl serve passes them only when started "
              "with --gateway-writes allow");
}

// rq55ctl check: the wiring faults of one read, in words and as JSON, and 3 when there are any.
TEST(Check, SaysEachWiringFaultAndExitsThreeWithAny) {
    Analyser a(sim::Transport::RtuOverTcp);
    const struct {
        const char* faults;
        std::vector<std::string> options;
        int status;
        const char* said; // a whole line of the text
        QStringList codes;
    } rows[] = {
        {"", {}, 0, "", {}},
        // Two reversed CTs on a site that draws power: the phase that draws is the right one.
        {"ct_reversed:1,ct_reversed:3", {}, 3,
         "  neutral_high: The neutral current (300.0 A) is about twice the phase currents (150.0 A) though they are "
         "balanced: it is their sum as measured, so L1 and L3's CTs are reversed, as their angles say.",
         {"ct_reversed", "neutral_high"}},
        {"export", {}, 3,
         "  ct_reversed (L1, L2, L3): On a site that draws power, every phase's current is about 180° from its "
         "voltage: all their CTs reversed, or the site exports power: check again with --exports.",
         {"ct_reversed"}},
        {"export", {"--exports"}, 0, "", {}},
    };
    for (const auto& row : rows) {
        testsupport::WireNetwork(a.sim, row.faults);
        std::vector<std::string> check = {"check"}, checkJson = {"check", "--format", "json"};
        check.insert(check.end(), row.options.begin(), row.options.end());
        checkJson.insert(checkJson.end(), row.options.begin(), row.options.end());
        const CtlRun text = a.run(check), json = a.run(checkJson);
        EXPECT_EQ(text.status, row.status) << text.err;
        const auto lines = Lines(text.out);
        EXPECT_TRUE(*row.said == 0 || std::find(lines.begin(), lines.end(), row.said) != lines.end()) << text.out;
        EXPECT_EQ(json.status, row.status) << json.err;
        QStringList codes;
        for (const QJsonValue f : QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["findings"].toArray())
            codes << f.toObject()["code"].toString();
        EXPECT_EQ(codes, row.codes) << json.out;
    }
    EXPECT_EQ(a.run({"check", "--format", "csv"}).status, 2);
}

} // namespace
