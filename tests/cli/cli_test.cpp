// rq55ctl as a user runs it: the real executable against the simulated analyser.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <sys/socket.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <sstream>

#include "config/config_file.h"
#include "sim/simulator.h"
#include "test_support.h"

namespace {

using testsupport::Lines;
using testsupport::ReadFile;

struct CtlRun {
    int status = -1;
    std::string out, err;
};

CtlRun ctl(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    QProcess process;
    process.start(RQ55CTL_PATH, list);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

struct Analyser {
    explicit Analyser(sim::Transport transport, int address = 1, int model = 59, int baud = 0,
                      std::vector<int> more = {}) {
        std::string error;
        const bool started = sim.start({.transport = transport,
                                        .deviceAddress = address,
                                        .modelCode = model,
                                        .moving = false,
                                        .seed = 5,
                                        .moreAddresses = more,
                                        .lineBaud = baud},
                                       &error);
        EXPECT_TRUE(started) << error;
        if (transport == sim::Transport::Pty)
            link = {"--serial", sim.devicePath()};
        else
            link = {"--tcp", "127.0.0.1:" + std::to_string(sim.tcpPort())};
        if (transport == sim::Transport::ModbusTcp) link.push_back("--modbus-tcp");
    }
    CtlRun run(std::vector<std::string> args) const {
        args.insert(args.end(), link.begin(), link.end());
        return ctl(args);
    }
    sim::Simulator sim;
    std::vector<std::string> link;
};

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

// A link that cannot be opened says why in plain words, each cause its own, and exits 1.
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
    const struct {
        std::vector<std::string> link;
        const char* said;
    } cases[] = {
        {{"--tcp", "no-such-host.invalid"}, "cannot be opened: unknown host ("},
        {{"--tcp", "127.0.0.1:" + refusedPort}, "cannot be opened: connection refused"},
        {{"--tcp", "127.0.0.1:" + std::to_string(full.serverPort())}, "cannot be opened: no answer within 5 s"},
        {{"--serial", "/dev/no-such-tty"}, "/dev/no-such-tty cannot be opened: "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"identify"};
        args.insert(args.end(), c.link.begin(), c.link.end());
        const CtlRun r = ctl(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

// What a program prints, or "" when it cannot run.
std::string output(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput().toStdString();
}

struct Word {
    int page;
    double x0, y0, x1, y1;
    std::string text;
};

// The words of a PDF with their boxes, as pdftotext -bbox gives them, and each page's size.
std::vector<Word> wordsOf(const std::string& pdf, double& width, double& height) {
    const std::string xml = output("pdftotext", {"-bbox", QString::fromStdString(pdf), "-"});
    std::vector<Word> words;
    int page = 0;
    const QRegularExpression pageTag(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    const QRegularExpression wordTag(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (const std::string& line : Lines(xml)) {
        const QString l = QString::fromStdString(line);
        if (const auto m = pageTag.match(l); m.hasMatch()) {
            ++page;
            width = m.captured(1).toDouble(), height = m.captured(2).toDouble();
        } else if (const auto w = wordTag.match(l); w.hasMatch()) {
            words.push_back({page, w.captured(1).toDouble(), w.captured(2).toDouble(), w.captured(3).toDouble(),
                             w.captured(4).toDouble(), w.captured(5).toStdString()});
        }
    }
    return words;
}

// The commissioning report of a model-57 analyser that refuses its maxima and minima, in each
// language: every measured value as rq55ctl's JSON gives it, both relays and the two
// analog outputs the model has, the block it refused as not read; the HTML holds the same; every
// word within the page's margins and none over another; each page numbered with the serial number.
TEST(Cli, TheReportHoldsWhatTheAnalyserHolds) {
    Analyser a(sim::Transport::RtuOverTcp, 1, 57);
    a.sim.addFault({.kind = sim::FaultRule::Kind::Exception, .function = 3, .start = 130});
    testsupport::TempDir dir;
    const struct {
        const char* language;
        const char* notRead;
        const char* page;
        const char* output;
        const char* relay;
    } languages[] = {{"2", "Not read:", "Page", "Analog output", "Relay"},
                     {"1", "No leído:", "Página", "Salida analógica", "Relé"}};
    for (const auto& l : languages) {
        SCOPED_TRACE(l.language);
        dir.write("settings.ini", std::string("[SOFTWARE]\nRQ55\\Language\\Language=") + l.language + "\n");
        setenv("RQ55_SETTINGS", dir.file("settings.ini").c_str(), 1);
        const CtlRun pdf = a.run({"report", dir.file("r.pdf"), "--title", "Plant 4 / J. Smith"});
        const CtlRun html = a.run({"report", dir.file("r.html")});
        EXPECT_EQ(pdf.status, 1) << "a block was not read: " << pdf.err;
        EXPECT_EQ(html.status, 1);
        const std::string text = output("pdftotext", {QString::fromStdString(dir.file("r.pdf")), "-"});
        const std::string page = ReadFile(dir.file("r.html"));
        for (const std::string& document : {text, page}) {
            for (const char* block : {"network", "energy", "demand"}) {
                const CtlRun json = a.run({"read", block, "--format", "json"});
                const QJsonArray values =
                    QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["values"].toArray();
                ASSERT_FALSE(values.isEmpty()) << block;
                for (const QJsonValue& v : values) {
                    const QJsonValue value = v.toObject()["value"];
                    if (!value.isDouble()) continue;
                    const std::string number = QString::number(value.toDouble(), 'g', 9).toStdString();
                    EXPECT_NE(document.find(number), std::string::npos) << block << " " << number;
                }
            }
            for (const std::string& seen : {std::string("AB1234"), std::string(l.output) + " 2", std::string(l.notRead),
                                            std::string(l.relay) + " 1", std::string(l.relay) + " 2"})
                EXPECT_NE(document.find(seen), std::string::npos) << seen;
            EXPECT_EQ(document.find(std::string(l.output) + " 3"), std::string::npos) << "model 57 has two outputs";
        }
        EXPECT_NE(text.find("Plant 4 / J. Smith"), std::string::npos);

        double width = 0, height = 0;
        const std::vector<Word> words = wordsOf(dir.file("r.pdf"), width, height);
        ASSERT_FALSE(words.empty());
        const double margin = 14 * 72 / 25.4; // of the 16-18 mm the report keeps, a little less
        std::map<int, int> numbered;
        for (size_t i = 0; i < words.size(); ++i) {
            const Word& w = words[i];
            EXPECT_TRUE(w.x0 >= margin && w.x1 <= width - margin && w.y0 >= margin && w.y1 <= height - margin)
                << w.text << " on page " << w.page;
            for (size_t j = i + 1; j < words.size() && words[j].page == w.page; ++j) {
                const Word& o = words[j];
                EXPECT_FALSE(w.x0 < o.x1 - 0.5 && o.x0 < w.x1 - 0.5 && w.y0 < o.y1 - 0.5 && o.y0 < w.y1 - 0.5)
                    << "\"" << w.text << "\" over \"" << o.text << "\" on page " << w.page;
            }
            // "Page N of M", at the foot of the page, whose last word is the serial number.
            if (w.text == l.page && i + 3 < words.size() && words[i + 1].text == std::to_string(w.page))
                numbered[w.page] = words[i + 3].text == std::to_string(words.back().page);
            if (i + 1 == words.size() || words[i + 1].page != w.page) {
                EXPECT_EQ(w.text, "AB1234") << "page " << w.page;
            }
        }
        for (int p = 1; p <= words.back().page; ++p) EXPECT_EQ(numbered[p], 1) << "page " << p << " of M";
    }
    unsetenv("RQ55_SETTINGS");

    // A link that cannot be opened writes no file, and one there already stays as it was.
    dir.write("kept.pdf", "as it was");
    EXPECT_EQ(ctl({"report", dir.file("kept.pdf"), "--tcp", "127.0.0.1:1"}).status, 1);
    EXPECT_EQ(ReadFile(dir.file("kept.pdf")), "as it was");
}

// Which addresses answer: a scan finds them, and a command names the one that does not.
TEST(Cli, ScanFindsTheAnalyserAndACommandNamesAnAddressThatDoesNotAnswer) {
    Analyser serial(sim::Transport::Pty, 17, 57, 9600);
    const CtlRun line = serial.run({"scan", "--address", "15-18", "--baud", "19200,9600"});
    EXPECT_EQ(line.status, 0) << line.err;
    EXPECT_EQ(line.out, "address 17, 9600 baud, 8N1: model RQ57, serial number AB1234\n");
    const CtlRun id = serial.run({"--address", "17,2", "--baud", "9600", "--timeout", "200", "identify"});
    EXPECT_EQ(id.status, 1);
    EXPECT_NE(id.out.find("address 17: model code 57"), std::string::npos) << id.out;
    EXPECT_NE(id.err.find("address 2, serial number (registers 811-821): no reply"), std::string::npos) << id.err;

    Analyser tcp(sim::Transport::ModbusTcp, 5, 58);
    const CtlRun unit = tcp.run({"scan", "--address", "1-8", "--timeout", "100"});
    EXPECT_EQ(unit.status, 0) << unit.err;
    EXPECT_EQ(unit.out, "unit 5: model RQ58, serial number AB1234\n");
    EXPECT_EQ(tcp.run({"scan", "--address", "1-3", "--timeout", "100"}).status, 1);
}

} // namespace
