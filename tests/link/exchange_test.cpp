// The exchange against the simulated analyser, one table of cases per kind of link: the status,
// what went over the wire, how long it took, the icon's sequence and the popups.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "link/error_popup.h"
#include "link/exchange.h"
#include "link/modbus_frame.h"
#include "link_test_support.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

using namespace linktest;
using Kind = sim::FaultRule::Kind;

namespace {

constexpr unsigned char kCanary = 0xA5;
constexpr int kCanaryBytes = 64;

// A reply buffer of the size the exchange is promised, with guard bytes behind it.
struct GuardedReply {
    unsigned char bytes[kReplyBufferSize + kCanaryBytes];
    GuardedReply() { std::fill(std::begin(bytes), std::end(bytes), 0); }
    bool guardIntact() const {
        return std::all_of(bytes + kReplyBufferSize, std::end(bytes),
                           [](unsigned char b) { return b == kCanary; });
    }
    void arm() { std::fill(bytes + kReplyBufferSize, std::end(bytes), kCanary); }
};

sim::FaultRule rule(Kind kind) {
    sim::FaultRule r;
    r.kind = kind;
    return r;
}

sim::FaultRule cutShort(int keep) {
    auto r = rule(Kind::CutShort);
    r.keepBytes = keep;
    return r;
}

sim::FaultRule byteCount(int count) {
    auto r = rule(Kind::ByteCount);
    r.byteCount = count;
    return r;
}

sim::FaultRule otherAddress(int address) {
    auto r = rule(Kind::OtherAddress);
    r.address = address;
    return r;
}

sim::FaultRule split(std::vector<int> segments) {
    auto r = rule(Kind::Split);
    r.segments = std::move(segments);
    r.pauseMs = 40;
    return r;
}

struct ExpectedPopup {
    std::string kind, title, text; // "{host}" and "{port}" stand for the link's own
};

struct ExchangeCase {
    std::string name{};
    std::vector<sim::FaultRule> faults{};
    int report = 0;
    int status = kExchangeOk;
    int requests = 1;    // requests the analyser received
    int replyBytes = -1; // length of the reply as received, -1 not checked
    double minSeconds = 0;
    double maxSeconds = 1.0;
    std::vector<std::string> icons{};
    std::vector<ExpectedPopup> popups{};
    bool emptyHost = false;
    bool dropDuringWait = false;
    std::function<void(const unsigned char* reply, sim::Simulator& sim)> check{};
};

// Test names print as the case's name, not as bytes.
void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<std::string> kSuccessIcons = {kSending, kWaiting, kIdle};
const std::vector<std::string> kFailedIcons = {kSending, kWaiting, kFailed, kIdle};
const std::vector<std::string> kThreeSilentAttempts = {kSending, kFailed, kIdle, kSending, kFailed, kIdle,
                                                       kSending, kFailed, kIdle, kFailed,  kIdle};

// The 60 registers from 6 stand in the reply from offset 0, byte count first.
void expectNetworkParameters(const unsigned char* reply, sim::Simulator& sim) {
    EXPECT_EQ(reply[0], 1);
    EXPECT_EQ(reply[1], 3);
    ASSERT_EQ(reply[2], 120);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(FloatAt(reply + 3 + 4 * i), sim.blockFloat(6, i)) << "index " << i;
    EXPECT_EQ(LastReplyDataBytes(), 120);
}

std::string substitute(std::string text, const SimulatedLink& link) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"{host}", link.host},
                              {"{port}", std::to_string(link.tcpPort)}}) {
        for (size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), value);
    }
    return text;
}

Bytes expectedRequest(const SimulatedLink& link, int transactionId) {
    Bytes request = FromHex("01030006003c");
    if (link.port == 100) {
        Bytes framed = {static_cast<unsigned char>(transactionId >> 8),
                        static_cast<unsigned char>(transactionId),
                        0,
                        0,
                        0,
                        6};
        framed.insert(framed.end(), request.begin(), request.end());
        return framed;
    }
    return FromHex("01030006003ca5da");
}

void runCase(sim::Transport transport, const ExchangeCase& c) {
    ResetProgramState();
    SimulatedLink link(transport);
    ASSERT_TRUE(link.ok()) << link.error();
    for (const auto& fault : c.faults)
        link.sim.addFault(fault);
    FrameRecorder recorder;
    ClearTrayIconHistory();

    std::atomic<bool> done{false};
    std::thread dropper;
    if (c.dropDuringWait) {
        dropper = std::thread([&] {
            for (int i = 0; i < 500 && !done && link.sim.requestCount() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            link.sim.dropConnections();
        });
    }

    unsigned char request[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    GuardedReply reply;
    reply.arm();
    const std::string host = c.emptyHost ? std::string() : link.host;
    const double started = Timer();
    const int status =
        Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, c.report, "", link.tcpPort, host);
    const double seconds = Timer() - started;
    done = true;
    if (dropper.joinable()) dropper.join();

    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(reply.guardIntact()) << "the exchange wrote past the reply buffer";
    EXPECT_EQ(CurrentTrayIconImage(), kIdle) << "the icon must end idle";
    EXPECT_EQ(TrayIconHistory(), c.icons);
    EXPECT_GE(seconds, c.minSeconds);
    EXPECT_LE(seconds, c.maxSeconds);

    EXPECT_EQ(link.sim.requestCount(), c.requests);
    const auto sent = recorder.sent();
    ASSERT_EQ(static_cast<int>(sent.size()), c.emptyHost ? 0 : std::max(c.requests, 1));
    for (const Bytes& frame : sent)
        EXPECT_EQ(Hex(frame), Hex(expectedRequest(link, 1)));
    if (c.replyBytes >= 0) {
        const auto received = recorder.received();
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(static_cast<int>(received.back().size()), c.replyBytes);
    }

    const auto& popups = RecordedPopups();
    ASSERT_EQ(popups.size(), c.popups.size());
    for (size_t i = 0; i < popups.size(); ++i) {
        EXPECT_EQ(popups[i].kind, c.popups[i].kind);
        EXPECT_EQ(popups[i].title, substitute(c.popups[i].title, link));
        EXPECT_EQ(popups[i].text, substitute(c.popups[i].text, link));
    }
    if (c.check) c.check(reply.bytes, link.sim);
}

std::string caseName(const testing::TestParamInfo<ExchangeCase>& info) {
    return info.param.name;
}

// ---- COM port: RTU on a pseudo-terminal ----

std::vector<ExchangeCase> comCases() {
    return {
        {.name = "Read60TakesItsLengthFromTheReply",
         .replyBytes = 125,
         .icons = kSuccessIcons,
         .check = expectNetworkParameters},
        {.name = "ByteCountDisagreeingWithTheRequestIsAccepted",
         .faults = {byteCount(10)},
         .replyBytes = 15,
         .icons = kSuccessIcons,
         .check = [](const unsigned char* reply, sim::Simulator&) { EXPECT_EQ(reply[2], 10); }},
        {.name = "TwoBytesThenSilenceIsSentThreeTimesAndShowsNothing",
         .faults = {cutShort(2)},
         .report = 1,
         .status = kNoReply,
         .requests = 3,
         .minSeconds = 6.0,
         .maxSeconds = 9.0,
         .icons = kThreeSilentAttempts},
        {.name = "ExceptionEndsAsSoonAsItsFiveBytesAreIn",
         .faults = {rule(Kind::Exception)},
         .status = kExceptionReply,
         .replyBytes = 5,
         .maxSeconds = 0.8,
         .icons = kFailedIcons},
        {.name = "ExceptionIsReportedWithText21",
         .faults = {rule(Kind::Exception)},
         .report = 1,
         .status = kExceptionReply,
         .maxSeconds = 3.5,
         .icons = kFailedIcons,
         .popups = {{"panel", "RQ55 - Error", "Error\n(:5)"}}},
        {.name = "BadCrcIsNotRetried",
         .faults = {rule(Kind::BadCrc)},
         .report = 1,
         .status = kCrcError,
         .icons = kFailedIcons},
        {.name = "TruncatedBodyIsACrcError",
         .faults = {cutShort(50)},
         .status = kCrcError,
         .replyBytes = 50,
         .minSeconds = 2.0,
         .maxSeconds = 3.5,
         .icons = kFailedIcons},
        {.name = "ReplyFromAnotherAddressIsAccepted",
         .faults = {otherAddress(7)},
         .icons = kSuccessIcons,
         .check = [](const unsigned char* reply, sim::Simulator&) { EXPECT_EQ(reply[0], 7); }},
        // The byte count announces 255 data bytes, more than the reply buffer holds.
        {.name = "ByteCount255CannotOverrunTheReplyBuffer",
         .faults = {byteCount(255)},
         .status = kCrcError,
         .replyBytes = 255 + 5 - (kMaxReplyLength),
         .icons = kFailedIcons},
    };
}

class ComExchange : public testing::TestWithParam<ExchangeCase> {};
TEST_P(ComExchange, Case) {
    runCase(sim::Transport::Pty, GetParam());
}
INSTANTIATE_TEST_SUITE_P(Pty, ComExchange, testing::ValuesIn(comCases()), caseName);

// ---- RTU frames over TCP ----

std::vector<ExchangeCase> rtuOverTcpCases() {
    return {
        {.name = "Read60", .replyBytes = 125, .icons = kSuccessIcons, .check = expectNetworkParameters},
        {.name = "ReplyInSegmentsIsAssembled",
         .faults = {split({3, 40, 1})},
         .replyBytes = 125,
         .icons = kSuccessIcons,
         .check = expectNetworkParameters},
        {.name = "ByteCountDisagreeingWithTheRequestIsAccepted",
         .faults = {byteCount(10)},
         .replyBytes = 15,
         .icons = kSuccessIcons},
        {.name = "ExceptionIsReportedWithHostAndPort",
         .faults = {rule(Kind::Exception)},
         .report = 1,
         .status = kExceptionReply,
         .maxSeconds = 3.5,
         .icons = kFailedIcons,
         .popups = {{"panel", "RQ55 - Error", "Error\n({host}:{port})"}}},
        {.name = "TwoBytesThenSilenceTimesOut",
         .faults = {cutShort(2)},
         .report = 1,
         .status = kTcpTimeout,
         .replyBytes = 2,
         .minSeconds = 14.5,
         .maxSeconds = 19.0,
         .icons = kFailedIcons},
        {.name = "ServerClosingIsReported",
         .faults = {rule(Kind::Silence)},
         .status = kTcpClosed,
         .maxSeconds = 3.0,
         .icons = kFailedIcons,
         .popups = {{"message", "TCP Client", "Server has closed connection!"}},
         .dropDuringWait = true},
        {.name = "EmptyHostSendsNothing", .status = kExceptionReply, .requests = 0, .emptyHost = true},
        {.name = "ByteCount255CannotOverrunTheReplyBuffer",
         .faults = {byteCount(255)},
         .status = kCrcError,
         .replyBytes = 260,
         .icons = kFailedIcons},
    };
}

class RtuOverTcpExchange : public testing::TestWithParam<ExchangeCase> {};
TEST_P(RtuOverTcpExchange, Case) {
    runCase(sim::Transport::RtuOverTcp, GetParam());
}
INSTANTIATE_TEST_SUITE_P(RtuOverTcp, RtuOverTcpExchange, testing::ValuesIn(rtuOverTcpCases()), caseName);

// ---- Modbus/TCP ----

std::vector<ExchangeCase> modbusTcpCases() {
    return {
        {.name = "Read60DropsTheHeader",
         .replyBytes = 6 + 123,
         .icons = kSuccessIcons,
         .check = expectNetworkParameters},
        {.name = "ReplyInSegmentsIsAssembled",
         .faults = {split({4, 5, 20})},
         .replyBytes = 6 + 123,
         .icons = kSuccessIcons,
         .check = expectNetworkParameters},
        {.name = "ByteCountDisagreeingWithTheRequestIsAccepted",
         .faults = {byteCount(10)},
         .replyBytes = 6 + 13,
         .icons = kSuccessIcons},
        {.name = "ExceptionIsReportedWithHostAndPort",
         .faults = {rule(Kind::Exception)},
         .report = 1,
         .status = kExceptionReply,
         .maxSeconds = 3.5,
         .icons = kFailedIcons,
         .popups = {{"panel", "RQ55 - Error", "Error({host}:{port})"}}},
        {.name = "SilenceTimesOut",
         .faults = {rule(Kind::Silence)},
         .report = 1,
         .status = kTcpTimeout,
         .minSeconds = 9.8,
         .maxSeconds = 13.0,
         .icons = kFailedIcons},
        {.name = "HeaderAndAddressThenSilenceTimesOut",
         .faults = {cutShort(7)},
         .status = kTcpTimeout,
         .replyBytes = 7,
         .minSeconds = 9.8,
         .maxSeconds = 13.0,
         .icons = kFailedIcons},
        {.name = "ServerClosingIsReported",
         .faults = {rule(Kind::Silence)},
         .status = kTcpClosed,
         .maxSeconds = 3.0,
         .icons = kFailedIcons,
         .popups = {{"message", "TCP Client", "Server has closed connection!"}},
         .dropDuringWait = true},
        {.name = "EmptyHostSendsNothing", .status = kExceptionReply, .requests = 0, .emptyHost = true},
    };
}

class ModbusTcpExchange : public testing::TestWithParam<ExchangeCase> {};
TEST_P(ModbusTcpExchange, Case) {
    runCase(sim::Transport::ModbusTcp, GetParam());
}
INSTANTIATE_TEST_SUITE_P(ModbusTcp, ModbusTcpExchange, testing::ValuesIn(modbusTcpCases()), caseName);

// ---- one-off behaviours ----

TEST(ModbusTcpLink, TransactionIdentifiersCountFromOneAfterEveryOpening) {
    ResetProgramState();
    SimulatedLink link(sim::Transport::ModbusTcp);
    ASSERT_TRUE(link.ok()) << link.error();
    FrameRecorder recorder;
    unsigned char request[kRequestBufferSize];
    GuardedReply reply;
    for (int i = 0; i < 3; ++i) {
        Ulvo_Comando_Lectura(1, 3, 6, 60, request);
        ASSERT_EQ(
            Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, 0, "", link.tcpPort, link.host),
            1);
    }
    Ulvo_Cerrar_Puerto(link.port);
    ASSERT_EQ(Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, link.tcpPort, link.host), 0);
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    ASSERT_EQ(Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, 0, "", link.tcpPort, link.host),
              1);

    std::vector<int> ids;
    for (const Bytes& frame : recorder.sent())
        ids.push_back(frame[0] << 8 | frame[1]);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 1}));
}

// The host name is used whole: no cut at 19 characters. This form of the loopback address is 39.
TEST(RtuOverTcpLink, LongHostNameIsUsedWhole) {
    ResetProgramState();
    SimulatedLink link(sim::Transport::RtuOverTcp);
    ASSERT_TRUE(link.ok()) << link.error();
    Ulvo_Cerrar_Puerto(link.port);
    const std::string longHost = "0000:0000:0000:0000:0000:ffff:127.0.0.1";
    ASSERT_EQ(Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, link.tcpPort, longHost), 0);

    link.sim.addFault(rule(Kind::Exception));
    unsigned char request[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    GuardedReply reply;
    SetPopupResponder([](const PopupRecord& record) {
        if (record.kind == "panel")
            PostDeferredCall([panel = record.panel] {
                int ok = 0;
                GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
                SimulateCommit(panel, ok);
            });
        return PopupAnswer{};
    });
    const int status =
        Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, 1, "", link.tcpPort, longHost);
    testsupport::InstallDefaultResponder();
    EXPECT_EQ(status, kExceptionReply);
    EXPECT_EQ(link.sim.requestCount(), 1);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].text, "Error\n(" + longHost + ":" + std::to_string(link.tcpPort) + ")");
}

// The TCP wait and the error popup let events through; a view's timer must not tick then, or it
// would start a second exchange on the shared buffers. The tick held back comes afterwards.
TEST(RtuOverTcpLink, TimerTicksWaitUntilTheExchangeEnds) {
    ResetProgramState();
    SimulatedLink link(sim::Transport::RtuOverTcp);
    ASSERT_TRUE(link.ok()) << link.error();
    link.sim.addFault(rule(Kind::Exception));

    static bool inExchange = false;
    static int ticksDuring = 0, ticksAfter = 0;
    inExchange = false;
    ticksDuring = ticksAfter = 0;
    const int panel = NewPanel(0, "view", 0, 0, 50, 50);
    const int timer = NewCtrl(panel, CTRL_TIMER, "", 0, 0);
    SetCtrlAttribute(panel, timer, ATTR_INTERVAL, 0.02);
    InstallCtrlCallback(
        panel, timer,
        [](int, int, int event, void*, int, int) {
            if (event == EVENT_TIMER_TICK) ++(inExchange ? ticksDuring : ticksAfter);
            return 0;
        },
        nullptr);
    SetCtrlAttribute(panel, timer, ATTR_ENABLED, 1);

    unsigned char request[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    GuardedReply reply;
    inExchange = true;
    EXPECT_EQ(Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, 1, "", link.tcpPort, link.host),
              kExceptionReply);
    inExchange = false;
    EXPECT_EQ(RecordedPopups().size(), 1u) << "the popup waited 2 s with events let through";
    EXPECT_EQ(ticksDuring, 0);
    EXPECT_TRUE(WaitUntil([] { return ticksAfter > 0; }, 2.0));
    DiscardPanel(panel);
}

// A CRC error with logging on: one line "DD-MM-YYYY HH:MM:SS <text 25> (:5)" in comm.log of the
// working directory, though the default display switch shows nothing.
TEST(ComLink, CommLogLineForACrcError) {
    ResetProgramState();
    SimulatedLink link(sim::Transport::Pty);
    ASSERT_TRUE(link.ok()) << link.error();
    link.sim.addFault(rule(Kind::BadCrc));
    testsupport::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    ULVO_Loggea_errores_comunicacion = 1;

    unsigned char request[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    GuardedReply reply;
    double now = 0;
    GetCurrentDateTime(&now);
    const int status = Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 120, 1, "", 0, "");
    std::filesystem::current_path(previous);
    ULVO_Loggea_errores_comunicacion = 0;

    EXPECT_EQ(status, kCrcError);
    EXPECT_TRUE(RecordedPopups().empty());
    std::ifstream log(dir.file("comm.log"), std::ios::binary);
    std::stringstream content;
    content << log.rdbuf();
    const std::string text = content.str();
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d CRC error in the reply \(:5\)\n)")))
        << text;
    EXPECT_EQ(text.substr(0, 10), FormatDateTimeString(now, "%d-%m-%Y"));
}

} // namespace
