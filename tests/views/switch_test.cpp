// The communication switch: what the operator sees when the link opens, fails or closes.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <ostream>
#include <string>

#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "view_fixture.h"

namespace {

using viewtest::dimmed;
using viewtest::LiveView;

constexpr int kSettings[] = {PRINCIPAL_MODO, PRINCIPAL_VELOCIDAD,  PRINCIPAL_PUERTO,
                             PRINCIPAL_IP,   PRINCIPAL_TCP_PUERTO, PRINCIPAL_IDENTIDAD};

class Switch : public LiveView {
  protected:
    void expectSettingsDimmed(bool expected) {
        for (int control : kSettings)
            EXPECT_EQ(dimmed(mainPanel, control), expected) << "control " << control;
    }
};

// The model code is register 816, high byte first, on every kind of link.
struct ModelCase {
    const char* name;
    sim::Transport transport;
    uint16_t register816;
    int model;
};

// Names the case in test listings.
void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << c.name;
}

class SwitchOn : public Switch, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(SwitchOn, ConfirmsTheAnalyserDimsTheSettingsAndTakesItsModel) {
    sim::Options options = frozen();
    options.transport = GetParam().transport;
    startAnalyser(options);
    analyser.setReg(816, GetParam().register816);

    ASSERT_TRUE(flipSwitch());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(modelo_equipo, GetParam().model);
    expectSettingsDimmed(true);
    ASSERT_EQ(analyser.requestCount(), 1);
    EXPECT_EQ(analyser.requests()[0].start, 811) << "the analyser is confirmed by its serial-number block";

    EXPECT_FALSE(flipSwitch());
    EXPECT_TRUE(messages().empty()) << "switching off says nothing";
    expectSettingsDimmed(false);
}

INSTANTIATE_TEST_SUITE_P(Links, SwitchOn,
                         ::testing::Values(ModelCase{"Pty57", sim::Transport::Pty, 57, 57},
                                           ModelCase{"Tcp57", sim::Transport::RtuOverTcp, 57, 57},
                                           ModelCase{"Tcp256", sim::Transport::RtuOverTcp, 0x0100, 256}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Switch, AComPortThatDoesNotExistIsNamedAndNothingIsSent) {
    testsupport::TempDir dir;
    setenv("RQ55_COM42", dir.file("no-such-tty").c_str(), 1);
    SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, 42);
    int sent = 0;
    SetFrameTrace([&sent](double, bool isSent, const unsigned char*, int) { sent += isSent ? 1 : 0; });

    EXPECT_FALSE(flipSwitch());
    SetFrameTrace({});
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Apertura del Puerto");
    EXPECT_NE(RecordedPopups()[0].text.find("COM42"), std::string::npos) << RecordedPopups()[0].text;
    EXPECT_NE(RecordedPopups()[0].text.find("no-such-tty"), std::string::npos) << RecordedPopups()[0].text;
    expectSettingsDimmed(false);
    EXPECT_EQ(sent, 0);
}

TEST_F(Switch, AnUnreachableTcpHostSaysTheConnectionFailed) {
    // A port that was free a moment ago: nobody listens there.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const unsigned closedPort = probe.serverPort();
    probe.close();
    SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, 99);
    SetCtrlVal(mainPanel, PRINCIPAL_IP, "127.0.0.1");
    SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, closedPort);

    EXPECT_FALSE(flipSwitch());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], "TCP Client|Connection to server failed !");
    expectSettingsDimmed(false);
}

TEST_F(Switch, AWrongAddressIsToldAndTheCorrectedOneWorksOnTheSamePort) {
    sim::Options options = frozen(57);
    options.transport = sim::Transport::Pty;
    startAnalyser(options);
    SetCtrlVal(mainPanel, PRINCIPAL_IDENTIDAD, 9);

    EXPECT_FALSE(flipSwitch());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], "Communication error|Unable to communicate with the device, check the "
                             "communication parameters.");
    expectSettingsDimmed(false);

    ClearRecordedPopups();
    SetCtrlVal(mainPanel, PRINCIPAL_IDENTIDAD, 1);
    EXPECT_TRUE(flipSwitch()) << "the port closed after the failure must open again";
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(modelo_equipo, 57);
    EXPECT_EQ(Identidad, 1);
}

} // namespace
