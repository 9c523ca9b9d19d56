// The exchange against the simulated analyser, one table of cases over the three forms of the link:
// the status, what went over the wire, how long it took, the icon's sequence and the popups.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <optional>

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

// A reply buffer of the size the exchange is promised, with guard bytes behind it.
struct GuardedReply {
    unsigned char bytes[kReplyBufferSize + 64];
    GuardedReply() { std::fill(std::begin(bytes) + kReplyBufferSize, std::end(bytes), kCanary); }
    bool guardIntact() const {
        return std::all_of(bytes + kReplyBufferSize, std::end(bytes),
                           [](unsigned char b) { return b == kCanary; });
    }
};

// Reads the 60 registers from 6, as the network parameters view does.
int read60(const SimulatedLink& link, int report, unsigned char* reply, const std::string& host) {
    unsigned char request[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, request);
    return Ulvo_Transmitir_Modbus(link.port, request, 6, reply, 120, report, "", link.tcpPort, host);
}

int read60(const SimulatedLink& link, int report = 0) {
    GuardedReply reply;
    return read60(link, report, reply.bytes, link.host);
}

struct ExchangeCase {
    sim::Transport link = sim::Transport::Pty;
    std::string name{};
    std::vector<sim::FaultRule> faults{};
    int report = 0;
    int status = kExchangeOk;
    int requests = 1;    // requests the analyser received
    int replyBytes = -1; // length of the reply as received, -1 not checked
    // The least the exchange must wait, and, where it must not sit out a wait, less than half of
    // that wait: a bound no load reaches. The reply wait on a COM port is the case's own.
    double minSeconds = 0;
    double maxSeconds = INFINITY;
    double comReplySeconds = 2.0;
    std::vector<std::string> icons{};
    std::vector<std::string> popups{}; // "kind|title|text"; "{link}" stands for host:port
    std::optional<std::string> host{}; // the host given to the exchange where not the link's ("": none)
    std::function<void(const unsigned char* reply, sim::Simulator& sim)> check{};
};

// Test names print as the case's name, not as bytes.
void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kSuccessIcons = {kSending, kWaiting, kIdle};
const std::vector<std::string> kFailedIcons = {kSending, kWaiting, kFailed, kIdle};
const std::vector<std::string> kThreeSilentAttempts = {kSending, kFailed, kIdle, kSending, kFailed, kIdle,
                                                       kSending, kFailed, kIdle, kFailed,  kIdle};

// The 60 registers from 6 stand in the reply from offset 0, byte count first.
void expectNetworkParameters(const unsigned char* reply, sim::Simulator& sim) {
    EXPECT_EQ(Hex(Bytes(reply, reply + 3)), "010378");
    for (int i = 0; i < 30; ++i) EXPECT_EQ(FloatAt(reply + 3 + 4 * i), sim.blockFloat(6, i)) << "index " << i;
    EXPECT_EQ(LastReplyDataBytes(), 120);
}

class Link : public testing::Test {
  protected:
    void SetUp() override { ResetProgramState(); }
    void TearDown() override { testsupport::InstallDefaultResponder(); }
};

class Exchange : public Link, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchange, Case) {
    const ExchangeCase& c = GetParam();
    SKIP_WITHOUT_PTY(c.link);
    PressOkOnErrorPopups();
    SimulatedLink link(c.link);
    ASSERT_TRUE(link.ok()) << link.error();
    for (const auto& fault : c.faults) link.sim.addFault(fault);
    const std::string host = c.host.value_or(link.host);
    if (c.host && !c.host->empty()) {
        Ulvo_Cerrar_Puerto(link.port);
        ASSERT_EQ(Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, link.tcpPort, host), 0);
    }
    FrameRecorder recorder;
    ClearTrayIconHistory();

    GuardedReply reply;
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.comReplySeconds = c.comReplySeconds});
    const double started = Timer();
    const int status = read60(link, c.report, reply.bytes, host);
    const double seconds = Timer() - started;
    SetExchangeLimits(before);

    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(reply.guardIntact()) << "the exchange wrote past the reply buffer";
    EXPECT_EQ(CurrentTrayIconImage(), kIdle) << "the icon must end idle";
    EXPECT_EQ(TrayIconHistory(), c.icons);
    EXPECT_GE(seconds, c.minSeconds);
    EXPECT_LE(seconds, c.maxSeconds);

    EXPECT_EQ(link.sim.requestCount(), c.requests);
    const std::string request = link.port == 100 ? "00010000000601030006003c" : "01030006003ca5da";
    std::vector<std::string> sent;
    for (const Bytes& frame : recorder.sent()) sent.push_back(Hex(frame));
    EXPECT_EQ(sent, std::vector<std::string>(c.host == "" ? 0 : std::max(c.requests, 1), request));
    if (c.replyBytes >= 0) {
        ASSERT_FALSE(recorder.received().empty());
        EXPECT_EQ(static_cast<int>(recorder.received().back().size()), c.replyBytes);
    }
    std::vector<std::string> popups, expected = c.popups;
    for (const PopupRecord& p : RecordedPopups()) popups.push_back(p.kind + "|" + p.title + "|" + p.text);
    for (std::string& p : expected)
        if (const size_t at = p.find("{link}"); at != std::string::npos)
            p.replace(at, 6, host + ":" + std::to_string(link.tcpPort));
    EXPECT_EQ(popups, expected);
    if (c.check) c.check(reply.bytes, link.sim);
}

std::string caseName(const testing::TestParamInfo<ExchangeCase>& info) {
    const sim::Transport t = info.param.link;
    return std::string(t == sim::Transport::Pty          ? "Com_"
                       : t == sim::Transport::RtuOverTcp ? "RtuOverTcp_"
                                                         : "ModbusTcp_") +
           info.param.name;
}

using T = sim::Transport;

INSTANTIATE_TEST_SUITE_P(
    Links, Exchange,
    testing::Values(
        ExchangeCase{.link = T::Pty, .name = "Read60TakesItsLengthFromTheReply", .replyBytes = 125,
            .icons = kSuccessIcons, .check = expectNetworkParameters},
        ExchangeCase{.link = T::Pty, .name = "ByteCountDisagreeingWithTheRequestIsRefused",
            .faults = {{.kind = Kind::ByteCount, .byteCount = 10}}, .status = kCrcError, .replyBytes = 15,
            .icons = kFailedIcons},
        ExchangeCase{.link = T::Pty, .name = "TwoBytesThenSilenceIsSentThreeTimesAndShowsNothing",
            .faults = {{.kind = Kind::CutShort, .keepBytes = 2}}, .report = 1, .status = kNoReply,
            .requests = 3, .minSeconds = 6.0, .icons = kThreeSilentAttempts},
        ExchangeCase{.link = T::Pty, .name = "ExceptionEndsAsSoonAsItsFiveBytesAreInAndShowsText21",
            .faults = {{.kind = Kind::Exception}}, .report = 1, .status = kExceptionReply, .replyBytes = 5,
            .maxSeconds = 10.0, .comReplySeconds = 20.0, .icons = kFailedIcons,
            .popups = {"panel|RQ55 - Error|Error\n(:5)"}},
        ExchangeCase{.link = T::Pty, .name = "TruncatedBodyIsACrcError",
            .faults = {{.kind = Kind::CutShort, .keepBytes = 50}}, .status = kCrcError, .replyBytes = 50,
            .minSeconds = 2.0, .icons = kFailedIcons},
        ExchangeCase{.link = T::Pty, .name = "BadCrcIsNotAskedAgainAndShowsNothing",
            .faults = {{.kind = Kind::BadCrc}}, .report = 1, .status = kCrcError, .icons = kFailedIcons},
        // The byte count announces 255 data bytes, more than the reply buffer holds.
        ExchangeCase{.link = T::Pty, .name = "ByteCount255CannotOverrunTheReplyBuffer",
            .faults = {{.kind = Kind::ByteCount, .byteCount = 255}}, .status = kCrcError,
            .replyBytes = 255 + 5 - kMaxReplyLength, .icons = kFailedIcons},
        ExchangeCase{.link = T::RtuOverTcp, .name = "ReplyInTwentyPiecesIsAssembled",
            .faults = {{.kind = Kind::Split, .segments = std::vector<int>(19, 6), .pauseMs = 200}},
            .replyBytes = 125, .minSeconds = 3.6, .icons = kSuccessIcons, .check = expectNetworkParameters},
        ExchangeCase{.link = T::RtuOverTcp, .name = "TwoBytesThenSilenceEndsAtTheByteTimeoutAndShowsNothing",
            .faults = {{.kind = Kind::CutShort, .keepBytes = 2}}, .report = 1, .status = kCrcError,
            .replyBytes = 2, .minSeconds = 0.5, .maxSeconds = 7.5, .icons = kFailedIcons},
        ExchangeCase{.link = T::RtuOverTcp, .name = "EmptyHostSendsNothing", .status = kExceptionReply,
            .requests = 0, .host = ""},
        // The host name is used whole, not cut at 19 characters: this form of the loopback is 39.
        ExchangeCase{.link = T::RtuOverTcp, .name = "LongHostNameIsUsedWhole",
            .faults = {{.kind = Kind::Exception}}, .report = 1, .status = kExceptionReply,
            .icons = kFailedIcons, .popups = {"panel|RQ55 - Error|Error\n({link})"},
            .host = "0000:0000:0000:0000:0000:ffff:127.0.0.1"},
        ExchangeCase{.link = T::ModbusTcp, .name = "ReplyInSegmentsIsAssembledWithoutItsHeader",
            .faults = {{.kind = Kind::Split, .segments = {4, 5, 20}, .pauseMs = 40}}, .replyBytes = 6 + 123,
            .icons = kSuccessIcons, .check = expectNetworkParameters},
        ExchangeCase{.link = T::ModbusTcp, .name = "ExceptionIsReportedWithHostAndPort",
            .faults = {{.kind = Kind::Exception}}, .report = 1, .status = kExceptionReply,
            .icons = kFailedIcons, .popups = {"panel|RQ55 - Error|Error({link})"}},
        ExchangeCase{.link = T::ModbusTcp, .name = "SilenceTimesOut", .faults = {{.kind = Kind::Silence}},
            .report = 1, .status = kTcpTimeout, .minSeconds = 9.8, .icons = kFailedIcons},
        ExchangeCase{.link = T::ModbusTcp, .name = "ServerClosingIsReported",
            .faults = {{.kind = Kind::Close}}, .status = kTcpClosed, .maxSeconds = 5.0, .icons = kFailedIcons,
            .popups = {"message|TCP Client|Server has closed connection!"}}),
    caseName);

TEST_F(Link, ModbusTcpTransactionIdentifiersCountFromOneAfterEveryOpening) {
    SimulatedLink link(sim::Transport::ModbusTcp);
    ASSERT_TRUE(link.ok()) << link.error();
    FrameRecorder recorder;
    for (int i = 0; i < 4; ++i) {
        if (i == 3) {
            Ulvo_Cerrar_Puerto(link.port);
            ASSERT_EQ(Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, link.tcpPort, link.host), 0);
        }
        ASSERT_EQ(read60(link), kExchangeOk);
    }
    std::vector<int> ids;
    for (const Bytes& frame : recorder.sent()) ids.push_back(frame[0] << 8 | frame[1]);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 1}));
}

// A reply that comes after its exchange gave up never passes for the reply to a later request, on
// any form of the link: each request numbers itself in register 816 and each read must see its
// own number. The late reply is thrown away where it arrives before the next request, and over
// RTU frames on TCP it goes with the connection, which is opened anew.
class LateReply : public Link, public testing::WithParamInterface<sim::Transport> {};

TEST_P(LateReply, IsNeverTakenForALaterRequest) {
    SKIP_WITHOUT_PTY(GetParam());
    SimulatedLink link(GetParam());
    ASSERT_TRUE(link.ok()) << link.error();
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.comAttempts = 1, .comReplySeconds = 0.3, .tcpReplySeconds = 0.3});
    link.sim.numberRequests(816);
    link.sim.addFault({.kind = Kind::Late, .times = 1, .delayMs = 700});
    std::atomic<int> repliesSent{0};
    link.sim.setTrace([&](bool received, const std::vector<uint8_t>&) { repliesSent += received ? 0 : 1; });
    std::vector<std::string> events;
    SetLinkEventTrace([&](double, const std::string& event) { events.push_back(event); });
    FrameRecorder recorder;
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        unsigned char request[kRequestBufferSize];
        Ulvo_Comando_Lectura(1, 3, 816, 1, request);
        GuardedReply reply;
        const int status =
            Ulvo_Transmitir_Modbus(link.port, request, 6, reply.bytes, 2, 0, "", link.tcpPort, link.host);
        seen.push_back(status == kExchangeOk ? reply.bytes[3] << 8 | reply.bytes[4] : 0);
        // Only a new connection takes the late reply away; elsewhere it comes before the next request.
        if (i == 0 && GetParam() != sim::Transport::RtuOverTcp) {
            EXPECT_TRUE(WaitUntil([&] { return repliesSent > 0; }, 5.0));
        }
    }
    SetLinkEventTrace({});
    SetExchangeLimits(before);
    EXPECT_EQ(seen, (std::vector<int>{0, 2, 3, 4}));
    if (GetParam() == sim::Transport::RtuOverTcp)
        EXPECT_EQ(events.back(), "connected again");
    else
        EXPECT_EQ(recorder.discarded().size(), 1u) << "the late reply is shown as thrown away";
}

INSTANTIATE_TEST_SUITE_P(Links, LateReply,
                         testing::Values(sim::Transport::Pty, sim::Transport::RtuOverTcp,
                                         sim::Transport::ModbusTcp));

// The TCP wait and the error popup let events through; a view's timer must not tick then, or it
// would start a second exchange on the shared buffers. The tick held back comes afterwards.
TEST_F(Link, TimerTicksWaitUntilTheExchangeEnds) {
    SimulatedLink link(sim::Transport::RtuOverTcp);
    ASSERT_TRUE(link.ok()) << link.error();
    link.sim.addFault({.kind = Kind::Exception});
    static bool inExchange = false;
    static int ticksDuring = 0, ticksAfter = 0;
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
    inExchange = true;
    EXPECT_EQ(read60(link, 1), kExceptionReply);
    inExchange = false;
    EXPECT_EQ(RecordedPopups().size(), 1u) << "the popup waited 2 s with events let through";
    EXPECT_EQ(ticksDuring, 0);
    EXPECT_TRUE(WaitUntil([] { return ticksAfter > 0; }, 2.0));
    DiscardPanel(panel);
}

} // namespace
