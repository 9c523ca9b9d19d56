// What a panel says about its values when they are not live: opened with communication off, and a
// link lost under an open view. (A settings panel whose first read failed: the equipment tests.)
#include <QTime>
#include <regex>

#include "config/equipment.h"
#include "panels/freshness.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;

struct OffCase {
    const char* name;
    int button;
    const int* panel;
    int timer;
    const char* notice;
};

void PrintTo(const OffCase& c, std::ostream* os) { *os << c.name; }

class OpenedOff : public LiveView, public ::testing::WithParamInterface<OffCase> {};

TEST_P(OpenedOff, SaysSoAndSendsNothing) {
    const OffCase& c = GetParam();
    startAnalyser();
    SimulateCommit(mainPanel, c.button);
    const int panel = *c.panel;
    SimulateTimerTick(panel, c.timer);
    EXPECT_EQ(analyser.requestCount(), 0);
    EXPECT_EQ(PanelNotice(panel), c.notice);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, OpenedOff,
    ::testing::Values(
        OffCase{"Network", PRINCIPAL_PARAMETROS, &panel_tomadatos, TOMADATOS_TIMER,
                "Communication is off: switch it on on the main panel, then reopen this window."},
        OffCase{"Status", PRINCIPAL_ESTADO, &panel_estado, ESTADO_TIMER,
                "Communication is off: switch it on on the main panel, then reopen this window."},
        OffCase{"Equipment", PRINCIPAL_CONF_EQUIPO, &panel_conf_equipo, CONF_EQUIPO_TIMER,
                "Communication is off: the fields show defaults, not the analyser's settings."}),
    [](const auto& info) { return std::string(info.param.name); });

// The link goes away between two reads (a gateway rebooted, a cable pulled), with a view open or
// none: without a further request the switch goes back to off with the settings free, the status
// line and the view say so with the time it was noticed (not the time its popup was answered,
// seconds later), and switching on again once the analyser is back works.
class LinkLost : public LiveView, public ::testing::WithParamInterface<std::tuple<sim::Transport, bool>> {};

TEST_P(LinkLost, PutsTheSwitchBackToOffAtOnce) {
    const auto [transport, withView] = GetParam();
    startAnalyser(59, transport);
    ASSERT_TRUE(flipSwitch());
    int view = 0;
    std::string shown;
    if (withView) {
        SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
        view = panel_tomadatos;
        ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
        shown = text(view, TOMADATOS_V1);
        SetCtrlAttribute(view, TOMADATOS_TIMER, ATTR_ENABLED, 0); // the next read is far away
    }
    ClearRecordedPopups();
    std::string answeredAt; // the operator answers the popup once the clock has moved on 2 s
    SetPopupResponder([&](const PopupRecord&) {
        const double shown = Timer();
        WaitUntil([&] { return Timer() - shown >= 2.0; }, 10.0);
        answeredAt = TimeStr();
        return PopupAnswer{};
    });
    int sent = 0;
    SetFrameTrace([&sent](double, FrameKind kind, const unsigned char*, int) { sent += kind == FrameKind::Sent; });
    const int tcpPort = analyser.tcpPort();
    const std::string stopped = TimeStr();
    analyser.stop();
    EXPECT_TRUE(WaitUntil([&] { return !LinkIsOpen(); }, 5.0));
    SetFrameTrace({});
    EXPECT_EQ(number(mainPanel, PRINCIPAL_COMUNICACION), 0);
    EXPECT_EQ(sent, 0) << "noticed without a request";
    EXPECT_FALSE(dimmed(mainPanel, PRINCIPAL_PUERTO));
    const std::string line = text(mainPanel, PRINCIPAL_ESTADO_ENLACE);
    const std::string at = line.substr(std::string("Connection lost at ").size(), 8);
    EXPECT_EQ(line, "Connection lost at " + at + (transport == sim::Transport::Pty ? ": the serial device went away"
                                                                                   : ": the server closed the connection"));
    EXPECT_TRUE(stopped <= at && (answeredAt.empty() || at < answeredAt)) << stopped << " " << at << " " << answeredAt;
    EXPECT_EQ(messages(), transport == sim::Transport::Pty
                              ? std::vector<std::string>{}
                              : std::vector<std::string>{"TCP Client|Server has closed connection!"});
    if (withView) {
        EXPECT_EQ(text(view, TOMADATOS_V1), shown);
        EXPECT_TRUE(dimmed(view, TOMADATOS_V1));
        EXPECT_EQ(PanelNotice(view), "The connection to the analyser was lost at " + at +
                                         ". Switch communication on again on the main panel.");
    }
    testsupport::InstallDefaultResponder();

    std::string error;
    ASSERT_TRUE(analyser.start(
        {.transport = transport, .modelCode = 59, .tcpPort = static_cast<uint16_t>(tcpPort), .moving = false, .seed = 11},
        &error))
        << error;
    if (transport == sim::Transport::Pty) setenv("RQ55_COM7", analyser.devicePath().c_str(), 1);
    EXPECT_TRUE(flipSwitch()) << "switching on again reaches the analyser";
}

INSTANTIATE_TEST_SUITE_P(Links, LinkLost,
                         ::testing::Combine(::testing::Values(sim::Transport::RtuOverTcp, sim::Transport::Pty),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == sim::Transport::Pty ? "Com" : "Tcp") +
                                    (std::get<1>(info.param) ? "WithAView" : "WithNoView");
                         });

// A gateway that restarts: the read times out, and the connection made anew after it is refused.
// The link counts as closed from then on, and the operator meets the lost-link path as for any
// other loss: its popup, the switch off, the view's notice.
TEST_F(LiveView, AReconnectionRefusedAfterATimeOutLosesTheLinkAsAnyOther) {
    open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.comAttempts = 1, .comReplySeconds = 0.3, .tcpReplySeconds = 0.3});
    analyser.addFault({.kind = sim::FaultRule::Kind::Restart, .function = 3, .start = 6, .delayMs = 60000});
    ClearRecordedPopups();
    SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER);
    SetExchangeLimits(before);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(number(mainPanel, PRINCIPAL_COMUNICACION), 0);
    EXPECT_TRUE(WaitUntil([&] { return !messages().empty(); }, 5.0));
    EXPECT_EQ(messages(), std::vector<std::string>{"TCP Client|Connection to server failed !"});
    EXPECT_NE(PanelNotice(panel_tomadatos).find("The connection to the analyser was lost at "), std::string::npos)
        << PanelNotice(panel_tomadatos);
}

} // namespace

namespace {

// A silent analyser: after half a second the window says what it waits for, and says it no more
// once the wait is over; the line adds nothing to the wire. The main panel's status line says
// since when the analyser has not answered, until it answers again.
class BusyLine : public LiveView, public ::testing::WithParamInterface<sim::Transport> {};

TEST_P(BusyLine, ShowsWhatTheProgramWaitsFor) {
    startAnalyser(59, GetParam());
    ASSERT_TRUE(flipSwitch());
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.comAttempts = 1, .comReplySeconds = 1.5, .tcpReplySeconds = 1.5});
    analyser.addFault({.kind = sim::FaultRule::Kind::Silence, .function = 3, .start = 6, .segments = {}});
    int sent = 0;
    SetFrameTrace([&sent](double, FrameKind kind, const unsigned char*, int) { sent += kind == FrameKind::Sent; });
    ClearBusyLineHistory();
    ClearAnnouncements();
    const QTime asked = QTime::currentTime();
    SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER);
    SetFrameTrace({});
    SetExchangeLimits(before);

    const std::string where =
        GetParam() == sim::Transport::Pty ? "COM7" : "127.0.0.1:" + std::to_string(analyser.tcpPort());
    ASSERT_FALSE(BusyLineHistory().empty());
    EXPECT_EQ(BusyLineHistory().front(), "Waiting for the analyser at " + where + " (up to 1 s)");
    EXPECT_EQ(BusyLineText(), "") << "gone once the wait is over";
    EXPECT_EQ(sent, 1) << "one request, as without the line";
    // Since the request that got no answer (not the end of its wait), and nothing asked since.
    std::smatch since;
    const std::string line = text(mainPanel, PRINCIPAL_ESTADO_ENLACE);
    ASSERT_TRUE(std::regex_match(line, since, std::regex("No answer from the analyser since ([0-9:]{8}); nothing has "
                                                         "asked it since \\1: open a view to ask again\\.")))
        << line;
    EXPECT_LE(std::abs(asked.secsTo(QTime::fromString(QString::fromStdString(since[1]), "HH:mm:ss"))), 1) << line;
    EXPECT_EQ(number(mainPanel, PRINCIPAL_COMUNICACION), 1) << "a time-out does not switch off";
    // Both said wherever the operator's focus is.
    const std::vector<std::string>& said = Announcements();
    EXPECT_TRUE(std::count(said.begin(), said.end(), PanelNotice(panel_tomadatos)) == 1 &&
                std::count(said.begin(), said.end(), text(mainPanel, PRINCIPAL_ESTADO_ENLACE)) == 1);
    analyser.clearFaults();
    SimulateCommit(panel_tomadatos, TOMADATOS_CERRAR);
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER);
    EXPECT_EQ(text(mainPanel, PRINCIPAL_ESTADO_ENLACE).rfind("Connected to RQ59", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Links, BusyLine, ::testing::Values(sim::Transport::RtuOverTcp, sim::Transport::Pty),
                         [](const auto& info) { return info.param == sim::Transport::Pty ? "Com" : "Tcp"; });

} // namespace
