// The set-up panels against the simulated analyser: what goes on the wire, what the operator sees.
#include <gtest/gtest.h>

#include "config/model_version.h"
#include "config/password.h"
#include "views/view_fixture.h"

using namespace viewtest;

namespace {

class Config : public LiveView {
  protected:
    // The popup the menu command opens (the only panel loaded besides the main panel).
    int openPassword() {
        startAnalyser();
        EXPECT_TRUE(flipSwitch());
        SimulateMenuCommand(mainPanel, MENU_CONF_CONTRASENA);
        return FindPanelByTitle(etiqueta[211]);
    }
    // The 16 data bytes of each model/version write, as characters.
    std::vector<std::string> versionWrites() const {
        std::vector<std::string> seen;
        for (const sim::ReceivedRequest& r : analyser.requests())
            if (r.function == 16 && r.start == 8420) seen.emplace_back(r.pdu.begin() + 7, r.pdu.end());
        return seen;
    }
    void setVersionBytes(const std::string& wire) {
        for (size_t i = 0; i + 1 < wire.size(); i += 2)
            analyser.setReg(811 + static_cast<int>(i / 2),
                            static_cast<uint16_t>(static_cast<unsigned char>(wire[i]) << 8 |
                                                  static_cast<unsigned char>(wire[i + 1])));
    }
};

TEST_F(Config, PasswordChangeChecksTheRangesThenSendsThreeWrites) {
    const struct {
        unsigned current, fresh;
        int result;
        std::vector<std::string> messages, writes;
    } cases[] = {
        {1234, 1234, 0, {"|Password change"}, {"819=1234", "819=9999", "819=1234"}},
        {9999, 5, -2, {"ERROR|MAx value for Password is 9998"}, {}},
        {5, 9999, -2, {"ERROR|MAx value for New Password is 9998"}, {}},
        {65535, 65535, -2, {"ERROR|MAx value for Password is 9998"}, {}},
        {1111, 0, -1, {etiqueta.texts.size() > 326 ? "Password|" + etiqueta[326] : ""}, {"819=1111"}},
    };
    const int popup = openPassword();
    ASSERT_GT(popup, 0);
    EXPECT_FALSE(onScreen(mainPanel));
    for (const auto& c : cases) {
        ClearRecordedPopups();
        analyser.clearRequests();
        SetCtrlVal(popup, CONTRASENA_ACTUAL, c.current);
        SetCtrlVal(popup, CONTRASENA_NUEVA, c.fresh);
        EXPECT_EQ(RQ55_Guardar_Cambio_Cont(popup, CONTRASENA_GUARDAR, EVENT_COMMIT, nullptr, 0, 0), c.result);
        EXPECT_EQ(messages(), c.messages) << c.current << " -> " << c.fresh;
        EXPECT_EQ(writes(), c.writes) << c.current << " -> " << c.fresh;
        EXPECT_EQ(number(popup, CONTRASENA_ACTUAL), c.current) << "the fields keep what was typed";
        EXPECT_TRUE(onScreen(popup));
    }
    SimulateCommit(popup, CONTRASENA_VOLVER);
    EXPECT_TRUE(onScreen(mainPanel));
    EXPECT_EQ(FindPanelByTitle(etiqueta[211]), 0);
}

TEST_F(Config, ModelAndVersionTravelInSwappedPairs) {
    const struct {
        const char* name;
        std::string wire;       // the 16 bytes the read gives
        std::string shown[2];   // the two fields after the read
        std::string typed[2];   // what the operator types before Change ("" leaves a field alone)
        std::string written;    // the 16 bytes of the one write
    } cases[] = {
        {"read and written back", "BADCFEHGJILKNMPO", {"ABCDEFGHIJ", "KLMNOP"}, {"", ""}, "BADCFEHGJILKNMPO"},
        {"a zero byte ends a text; an untouched field keeps its bytes", std::string("A\0\0\0\0\0\0\0yxLKNMPO", 16),
         {"", "KLMNOP"}, {"", ""}, std::string("A\0\0\0\0\0\0\0yxLKNMPO", 16)},
        {"a shorter text is filled with zero bytes", "BADCFEHGJILKNMPO", {"ABCDEFGHIJ", "KLMNOP"}, {"", "V2"},
         std::string("BADCFEHGJI2V\0\0\0\0", 16)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!analyser.tcpPort()) {
            startAnalyser();
            ASSERT_TRUE(flipSwitch());
        }
        setVersionBytes(c.wire);
        analyser.clearRequests();
        SimulateCommit(mainPanel, PRINCIPAL_VERSION);
        ASSERT_GT(panel_version, 0);
        EXPECT_FALSE(onScreen(mainPanel));
        EXPECT_EQ(SimulateTimerTick(panel_version, VERSION_TIMER), 1);
        EXPECT_FALSE(timerOn(panel_version, VERSION_TIMER)) << "one read per opening";
        EXPECT_EQ(text(panel_version, VERSION_TEXTO_1), c.shown[0]);
        EXPECT_EQ(text(panel_version, VERSION_TEXTO_2), c.shown[1]);
        if (!c.typed[1].empty()) SetCtrlVal(panel_version, VERSION_TEXTO_2, c.typed[1]);
        SimulateCommit(panel_version, VERSION_CAMBIAR);
        EXPECT_EQ(versionWrites(), std::vector<std::string>{c.written});
        EXPECT_TRUE(messages().empty()) << "Change asks nothing";
        SimulateCommit(panel_version, VERSION_CERRAR);
        EXPECT_TRUE(onScreen(mainPanel));
    }
}

// An analyser that answers neither the read nor the write: the fields keep their resource texts,
// the read says nothing, and the failed write is told once in words.
TEST_F(Config, ModelAndVersionTellAFailedWrite) {
    startAnalyser();
    ASSERT_TRUE(flipSwitch());
    refuse(3, 811);
    refuse(16, 8420);
    SimulateCommit(mainPanel, PRINCIPAL_VERSION);
    SimulateTimerTick(panel_version, VERSION_TIMER);
    EXPECT_EQ(text(panel_version, VERSION_TEXTO_1), "");
    EXPECT_TRUE(messages().empty());
    SimulateCommit(panel_version, VERSION_CAMBIAR);
    EXPECT_EQ(messages(), std::vector<std::string>{etiqueta[21] + "|" + etiqueta[390]});
}

} // namespace
