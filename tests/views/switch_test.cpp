// The communication switch: what the operator sees when the link opens, fails or closes; the link
// settings kept from one start to the next; and the demo, which reaches the built-in simulated analyser.
#include <QTcpServer>
#include <functional>

#include "view_fixture.h"

namespace {

using namespace viewtest;

class Switch : public LiveView {
  protected:
    void expectSettingsDimmed(bool expected) {
        for (int control : {PRINCIPAL_MODO, PRINCIPAL_VELOCIDAD, PRINCIPAL_PUERTO, PRINCIPAL_IP,
                            PRINCIPAL_TCP_PUERTO, PRINCIPAL_IDENTIDAD})
            EXPECT_EQ(dimmed(mainPanel, control), expected) << "control " << control;
    }
};

// The model code is register 816, high byte first. A first try with one wrong setting fails with a
// message and leaves the switch off, and the next try with the right setting succeeds.
struct SwitchCase {
    const char* name;
    sim::Transport transport;
    uint16_t register816;
    int model;
    int wrongControl, wrongValue; // -1: a TCP port nobody listens on
    std::string message;          // shown for the wrong setting: "title|text" starts so...
    std::string detail;           // ...and contains this
    bool reachesTheLine;          // the wrong try sends a request
    std::string status = "";      // the status line after the wrong try starts so
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class SwitchOn : public Switch, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchOn, ConfirmsTheAnalyserDimsTheSettingsAndTakesItsModel) {
    const SwitchCase& c = GetParam();
    startAnalyser(59, c.transport);
    analyser.setReg(816, c.register816);
    if (c.wrongControl) {
        setenv("RQ55_COM42", "/nonexistent/no-such-tty", 1);
        QTcpServer probe; // a port that was free a moment ago: nobody listens there
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        const int wrong = c.wrongValue < 0 ? probe.serverPort() : c.wrongValue;
        probe.close();
        int right = 0, sent = 0;
        GetCtrlVal(mainPanel, c.wrongControl, right);
        SetCtrlVal(mainPanel, c.wrongControl, wrong);
        SetFrameTrace([&sent](double, FrameKind kind, const unsigned char*, int) { sent += kind == FrameKind::Sent; });
        EXPECT_FALSE(flipSwitch());
        SetFrameTrace({});
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].rfind(c.message, 0), 0u) << messages()[0];
        EXPECT_NE(messages()[0].find(c.detail), std::string::npos) << messages()[0];
        // The serial ports there are, and how to choose one.
        if (c.wrongControl == PRINCIPAL_PUERTO) {
            EXPECT_NE(messages()[0].find(".\n\nSerial ports on this computer:"), std::string::npos)
                << messages()[0];
        }
        EXPECT_EQ(sent > 0, c.reachesTheLine);
        const std::string status = text(mainPanel, PRINCIPAL_ESTADO_ENLACE);
        EXPECT_EQ(status.rfind(c.status, 0), 0u) << status;
        EXPECT_GT(status.size(), c.status.size() + 6) << "with the reason";
        // A connection that could not be made says what to do next.
        const std::string next = " Is the host right, and is the TCP port the analyser's or a gateway's? Port number 99 "
                                 "speaks Modbus/TCP only on TCP port 502 and RTU frames on any other (100: Modbus/TCP on "
                                 "any port); Find analyser looks for it.";
        EXPECT_EQ(status.size() > next.size() && status.compare(status.size() - next.size(), next.size(), next) == 0,
                  c.wrongControl == PRINCIPAL_TCP_PUERTO)
            << status;
        expectSettingsDimmed(false);
        ClearRecordedPopups();
        SetCtrlVal(mainPanel, c.wrongControl, right);
    }
    ASSERT_TRUE(flipSwitch()) << "the port closed after a failure must open again";
    EXPECT_EQ(modelo_equipo, c.model);
    expectSettingsDimmed(true);
    const std::string link = c.transport == sim::Transport::Pty
                                 ? "COM7, 19200 8N1"
                                 : "127.0.0.1:" + std::to_string(analyser.tcpPort()) + " RTU over TCP";
    EXPECT_EQ(text(mainPanel, PRINCIPAL_ESTADO_ENLACE),
              "Connected to RQ" + std::to_string(c.model) + ", serial number AB1234, over " + link);
    EXPECT_FALSE(flipSwitch());
    EXPECT_EQ(text(mainPanel, PRINCIPAL_ESTADO_ENLACE), "Communication off");
    EXPECT_TRUE(messages().empty()) << "switching on and off says nothing";
    expectSettingsDimmed(false);
}

INSTANTIATE_TEST_SUITE_P(
    Links, SwitchOn,
    ::testing::Values(SwitchCase{"Tcp256", sim::Transport::RtuOverTcp, 0x0100, 256, 0, 0, "", "", false},
                      SwitchCase{"ComPortWithoutDevice", sim::Transport::RtuOverTcp, 57, 57, PRINCIPAL_PUERTO,
                                 42, "Apertura del Puerto|COM42", "no-such-tty", false,
                                 "COM42 (/nonexistent/no-such-tty) cannot be opened: "},
                      SwitchCase{"TcpPortWithoutServer", sim::Transport::RtuOverTcp, 57, 57,
                                 PRINCIPAL_TCP_PUERTO, -1, "TCP Client|Connection to server failed !", "",
                                 false, "No connection to 127.0.0.1:"},
                      SwitchCase{"WrongAddressOnPty", sim::Transport::Pty, 57, 57, PRINCIPAL_IDENTIDAD, 9,
                                 "Communication error|Unable to communicate with the device, check the "
                                 "communication parameters.",
                                 "", true,
                                 "No analyser answered at address 9 over COM7, 19200 8N1: try Find analyser"}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs the program's start with a script that acts once the main panel is up.
void runProgram(const std::function<void()>& script) {
    PostDeferredCall([script] {
        script();
        QuitUserInterface(0);
    });
    char name[] = "rq55";
    char* argv[] = {name, nullptr};
    RQ55_main(1, argv);
    for (int panel : LoadedPanels()) DiscardPanel(panel);
}

// The six link settings as the main panel shows them.
std::string linkSettings() {
    std::string all;
    for (int control :
         {PRINCIPAL_PUERTO, PRINCIPAL_IDENTIDAD, PRINCIPAL_VELOCIDAD, PRINCIPAL_MODO, PRINCIPAL_TCP_PUERTO})
        all += text(panel_principal, control) + " ";
    return all + text(panel_principal, PRINCIPAL_IP);
}

// The link settings survive a restart. The demo, where one flip of the switch reaches the built-in
// simulated analyser and the network view shows values that move, leaves them alone.
TEST(RememberedSettings, SurviveARestartAndTheDemoLeavesThemAlone) {
    testsupport::ScopedSettings settings;
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "2");
    sim::Simulator analyser;
    ASSERT_TRUE(analyser.start(sim::Options{.deviceAddress = 7}));
    std::string used, atRestart, afterDemo;
    int onAtRestart = -1;
    runProgram([&] {
        SetCtrlVal(panel_principal, PRINCIPAL_PUERTO, 99);
        SetCtrlVal(panel_principal, PRINCIPAL_IDENTIDAD, 7);
        SetCtrlVal(panel_principal, PRINCIPAL_VELOCIDAD, 9600);
        SetCtrlVal(panel_principal, PRINCIPAL_MODO, 2);
        SetCtrlVal(panel_principal, PRINCIPAL_IP, "localhost");
        SetCtrlVal(panel_principal, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(analyser.tcpPort()));
        used = linkSettings();
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    runProgram([&] {
        atRestart = linkSettings();
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, onAtRestart);
    });
    SetMainPanelPreset(
        {.demo = true, .port = 99, .address = 7, .host = "127.0.0.1", .tcpPort = analyser.tcpPort()});
    int demoOn = 0;
    std::string banner, first, second;
    runProgram([&] {
        GetCtrlAttribute(panel_principal, PRINCIPAL_DEMO, ATTR_LABEL_TEXT, banner);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, demoOn);
        SimulateCommit(panel_principal, PRINCIPAL_PARAMETROS);
        // The view's own timer does the reading: wait for a value, then for it to change.
        const auto shown = [] {
            return text(panel_tomadatos, TOMADATOS_P_TOTAL) + " " + text(panel_tomadatos, TOMADATOS_I1);
        };
        WaitUntil([&] { return number(panel_tomadatos, TOMADATOS_P_TOTAL) != 0; }, 5.0);
        first = shown();
        WaitUntil([&] { return (second = shown()) != first; }, 5.0);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    SetMainPanelPreset({});
    runProgram([&] { afterDemo = linkSettings(); });
    etiqueta = LabelTable{};

    EXPECT_EQ(atRestart, used);
    EXPECT_EQ(onAtRestart, 0) << "the switch always starts off";
    EXPECT_EQ(demoOn, 1);
    EXPECT_EQ(banner, "Simulated analyser (demo mode)");
    EXPECT_NE(first, "0.00 0.00") << "the preset settings must reach the simulated analyser";
    EXPECT_NE(second, first) << "live values must move";
    EXPECT_EQ(afterDemo, used);
}

} // namespace
