// What a panel says about its values when they are not live: opened with communication off, a
// settings panel whose first read failed, and a link lost under an open view.
#include "config/equipment.h"
#include "config/in_out.h"
#include "config/model_version.h"
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

// The panel's own resource values stay for Save to write; the notice says they are not the analyser's.
TEST_F(LiveView, ASettingsPanelWhoseReadFailsSaysItShowsDefaults) {
    const int panel = open(PRINCIPAL_CONF_EQUIPO, panel_conf_equipo);
    const std::string before = text(panel, CONF_EQUIPO_PERIODO);
    refuse(3, 800);
    SimulateTimerTick(panel, CONF_EQUIPO_TIMER);
    EXPECT_EQ(text(panel, CONF_EQUIPO_PERIODO), before);
    EXPECT_FALSE(dimmed(panel, CONF_EQUIPO_PERIODO));
    EXPECT_NE(PanelNotice(panel).find(": the fields show defaults, not the analyser's settings."),
              std::string::npos)
        << PanelNotice(panel);
}

// The link goes away under an open view: the switch goes back to off with the settings free, the
// view says so, and switching on again once the analyser is back works.
class LinkLost : public LiveView, public ::testing::WithParamInterface<sim::Transport> {};

TEST_P(LinkLost, PutsTheSwitchBackToOff) {
    startAnalyser(59, GetParam());
    ASSERT_TRUE(flipSwitch());
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    const int view = panel_tomadatos;
    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    const std::string shown = text(view, TOMADATOS_V1);

    const int tcpPort = analyser.tcpPort();
    analyser.stop();
    SimulateTimerTick(view, TOMADATOS_TIMER);
    ASSERT_TRUE(WaitUntil([&] { return !LinkIsOpen(); }, 5.0)) << "the link is closed";
    EXPECT_EQ(number(mainPanel, PRINCIPAL_COMUNICACION), 0);
    EXPECT_FALSE(dimmed(mainPanel, PRINCIPAL_PUERTO));
    EXPECT_EQ(text(mainPanel, PRINCIPAL_ESTADO_ENLACE), "Communication off");
    EXPECT_EQ(text(view, TOMADATOS_V1), shown);
    EXPECT_TRUE(dimmed(view, TOMADATOS_V1));
    EXPECT_NE(PanelNotice(view).find("The connection to the analyser was lost at "), std::string::npos)
        << PanelNotice(view);

    std::string error;
    ASSERT_TRUE(analyser.start({.transport = GetParam(),
                                .modelCode = 59,
                                .tcpPort = static_cast<uint16_t>(tcpPort),
                                .moving = false,
                                .seed = 11},
                               &error))
        << error;
    if (GetParam() == sim::Transport::Pty) setenv("RQ55_COM7", analyser.devicePath().c_str(), 1);
    EXPECT_TRUE(flipSwitch()) << "switching on again reaches the analyser";
}

INSTANTIATE_TEST_SUITE_P(Links, LinkLost, ::testing::Values(sim::Transport::RtuOverTcp, sim::Transport::Pty),
                         [](const auto& info) { return info.param == sim::Transport::Pty ? "Com" : "Tcp"; });

} // namespace

namespace {

// A silent analyser: after half a second the window says what it waits for, and says it no more
// once the wait is over; the line adds nothing to the wire.
class BusyLine : public LiveView, public ::testing::WithParamInterface<sim::Transport> {};

TEST_P(BusyLine, ShowsWhatTheProgramWaitsFor) {
    startAnalyser(59, GetParam());
    ASSERT_TRUE(flipSwitch());
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    const ExchangeLimits before = CurrentExchangeLimits();
    SetExchangeLimits({.comAttempts = 1, .comReplySeconds = 1.5, .tcpReplySeconds = 1.5});
    analyser.addFault({.kind = sim::FaultRule::Kind::Silence, .function = 3, .start = 6, .segments = {}});
    int sent = 0;
    SetFrameTrace([&sent](double, bool isSent, const unsigned char*, int) { sent += isSent ? 1 : 0; });
    ClearBusyLineHistory();
    SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER);
    SetFrameTrace({});
    SetExchangeLimits(before);

    const std::string where =
        GetParam() == sim::Transport::Pty ? "COM7" : "127.0.0.1:" + std::to_string(analyser.tcpPort());
    ASSERT_FALSE(BusyLineHistory().empty());
    EXPECT_EQ(BusyLineHistory().front(), "Waiting for the analyser at " + where + " (up to 1 s)");
    EXPECT_EQ(BusyLineText(), "") << "gone once the wait is over";
    EXPECT_EQ(sent, 1) << "one request, as without the line";
}

INSTANTIATE_TEST_SUITE_P(Links, BusyLine, ::testing::Values(sim::Transport::RtuOverTcp, sim::Transport::Pty),
                         [](const auto& info) { return info.param == sim::Transport::Pty ? "Com" : "Tcp"; });

} // namespace
