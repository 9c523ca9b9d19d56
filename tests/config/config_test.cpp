// The set-up panels against the simulated analyser: what goes on the wire, what the operator sees.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include "config/equipment.h"
#include "config/model_version.h"
#include "config/password.h"
#include "panels/freshness.h"
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
    int openEquipment() {
        analyser.clearRequests();
        SimulateCommit(mainPanel, PRINCIPAL_CONF_EQUIPO);
        EXPECT_FALSE(onScreen(mainPanel));
        SimulateTimerTick(panel_conf_equipo, CONF_EQUIPO_TIMER);
        EXPECT_FALSE(timerOn(panel_conf_equipo, CONF_EQUIPO_TIMER)) << "one read per opening";
        return panel_conf_equipo;
    }
    std::vector<std::string> saveEquipment(int saveButton) {
        analyser.clearRequests();
        ClearRecordedPopups();
        SimulateCommit(panel_conf_equipo, saveButton);
        return writes();
    }
    void setVersionBytes(const std::string& wire) {
        for (size_t i = 0; i + 1 < wire.size(); i += 2)
            analyser.setReg(811 + static_cast<int>(i / 2),
                            static_cast<uint16_t>(static_cast<unsigned char>(wire[i]) << 8 |
                                                  static_cast<unsigned char>(wire[i + 1])));
    }
};

// The password popup of the menu hides the main panel and gives it back when closed.
TEST_F(Config, PasswordPopupReturnsToTheMainPanel) {
    const int popup = openPassword();
    ASSERT_GT(popup, 0);
    EXPECT_FALSE(onScreen(mainPanel));
    SimulateCommit(popup, CONTRASENA_VOLVER);
    EXPECT_TRUE(onScreen(mainPanel));
    EXPECT_EQ(FindPanelByTitle(etiqueta[211]), 0);
}

// Each field as its register holds it (the address and 802/803 in 8 bits, the wide values as exact
// signed 32-bit integers), and a save of what was read writes back every register unchanged.
TEST_F(Config, EquipmentShowsEveryRegisterExactlyAndSavesItUnchanged) {
    startAnalyser();
    ASSERT_TRUE(flipSwitch());
    const uint16_t registers[] = {300,    0x0A03, 0x1234, 0x5602, 0xFFFF, 0xFFFF,
                                  0x0100, 0x0001, 65535,  5,      0xBEEF};
    for (int i = 0; i < 11; ++i) analyser.setReg(800 + i, registers[i]);
    const int panel = openEquipment();
    const struct {
        int field;
        double shown;
    } fields[] = {
        {CONF_EQUIPO_DIRECCION, 44},        {CONF_EQUIPO_VELOCIDAD, 10},       {CONF_EQUIPO_MODO, 3},
        {CONF_EQUIPO_RETARDO, 0x34},        {CONF_EQUIPO_PROTOCOLO, 2},        {CONF_EQUIPO_PRIMARIO_V, -1},
        {CONF_EQUIPO_PRIMARIO_I, 16777217}, {CONF_EQUIPO_SECUNDARIO_V, 65535}, {CONF_EQUIPO_SECUNDARIO_I, 5},
        {CONF_EQUIPO_PERIODO, 0xBEEF},
    };
    for (const auto& f : fields) EXPECT_EQ(number(panel, f.field), f.shown) << f.field;
    EXPECT_EQ(text(panel, CONF_EQUIPO_TITULO_COM), etiqueta[299]);

    EXPECT_EQ(saveEquipment(CONF_EQUIPO_GUARDAR_2),
              std::vector<std::string>{"804=65535=65535=256=1=65535=5"});
    EXPECT_TRUE(RecordedPopups().empty()) << "group 2 asks nothing";
    SetCtrlVal(panel, CONF_EQUIPO_PRIMARIO_V, -100000);
    EXPECT_EQ(saveEquipment(CONF_EQUIPO_GUARDAR_2),
              std::vector<std::string>{"804=65534=31072=256=1=65535=5"});
    EXPECT_EQ(saveEquipment(CONF_EQUIPO_GUARDAR),
              (std::vector<std::string>{"810=48879", "800=44=2563=52=2"}));
    EXPECT_EQ(RecordedPopups().size(), 1u) << "the question, and nothing after a good save";
    confirmAnswer = 0;
    EXPECT_TRUE(saveEquipment(CONF_EQUIPO_GUARDAR).empty()) << "declined";

    openEquipment(); // the new value reads back negative
    EXPECT_FALSE(onScreen(mainPanel));
    EXPECT_EQ(number(panel_conf_equipo, CONF_EQUIPO_PRIMARIO_V), -100000);
    SimulateCommit(panel_conf_equipo, CONF_EQUIPO_CERRAR);
    EXPECT_TRUE(onScreen(mainPanel));
}

// An analyser that refuses: the fields keep their resource values, not greyed, for a save to write,
// and the notice says they are defaults; a refused 810 stops group 1 before 800-803; each failed
// save is told once.
TEST_F(Config, EquipmentWithARefusingAnalyser) {
    startAnalyser();
    ASSERT_TRUE(flipSwitch());
    refuse(3, 800);
    const int panel = openEquipment();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(number(panel, CONF_EQUIPO_DIRECCION), 1);
    EXPECT_FALSE(dimmed(panel, CONF_EQUIPO_DIRECCION));
    EXPECT_NE(PanelNotice(panel).find("(exception 04). The fields show defaults, not the analyser's settings."),
              std::string::npos)
        << PanelNotice(panel);
    EXPECT_EQ(saveEquipment(CONF_EQUIPO_GUARDAR), (std::vector<std::string>{"810=0", "800=1=0=0=0"}));
    refuse(16, 810);
    refuse(16, 804);
    const struct {
        int button, text;
        std::vector<std::string> writes;
    } cases[] = {{CONF_EQUIPO_GUARDAR, 391, {"810=0"}}, {CONF_EQUIPO_GUARDAR_2, 392, {"804=0=0=0=0=0=0"}}};
    for (const auto& c : cases) {
        EXPECT_EQ(saveEquipment(c.button), c.writes);
        EXPECT_EQ(messages(), std::vector<std::string>{etiqueta[21] + "|" + etiqueta[c.text]});
    }
}

TEST_F(Config, ModelAndVersionTravelInSwappedPairs) {
    const struct {
        const char* name;
        std::string wire;     // the 16 bytes the read gives
        std::string shown[2]; // the two fields after the read
        std::string typed[2]; // what the operator types before Change ("" leaves a field alone)
        std::string written;  // the 16 bytes of the one write
    } cases[] = {
        {"read and written back", "BADCFEHGJILKNMPO", {"ABCDEFGHIJ", "KLMNOP"}, {"", ""}, "BADCFEHGJILKNMPO"},
        {"a zero byte ends a text; an untouched field keeps its bytes",
         std::string("A\0\0\0\0\0\0\0yxLKNMPO", 16),
         {"", "KLMNOP"},
         {"", ""},
         std::string("A\0\0\0\0\0\0\0yxLKNMPO", 16)},
        {"a shorter text is filled with zero bytes",
         "BADCFEHGJILKNMPO",
         {"ABCDEFGHIJ", "KLMNOP"},
         {"", "V2"},
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

// Through rq55ctl serve's gateway, as on a plant where serve holds the bus: the panel reads the
// analyser's registers, a save writes exactly what it would directly, and serve keeps exporting
// the analyser as up meanwhile.
TEST_F(Config, EquipmentReadsAndSavesThroughServesGatewayWhileServeKeepsTheAnalyserUp) {
    if (std::string(RQ55CTL_PATH).empty()) GTEST_SKIP() << "serve is a Linux service: not built here";
    startAnalyser();
    for (int i = 0; i < 11; ++i) analyser.setReg(800 + i, static_cast<uint16_t>(i == 7 ? 1 : 300 + i));
    const auto freePort = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost);
        return QString::number(s.serverPort());
    };
    const QString gateway = freePort(), metrics = freePort();
    QProcess serve;
    // A value is withdrawn after a minute without a poll, not a few seconds: a slow machine is no fault.
    serve.start(RQ55CTL_PATH, {"serve", "--tcp", QString("127.0.0.1:%1").arg(analyser.tcpPort()), "--interval", "0.5",
                               "--max-age", "60", "--pause", "10", "--gateway", gateway, "--gateway-writes", "allow",
                               "--metrics", metrics});
    const auto up = [&] {
        QTcpSocket s;
        s.connectToHost("127.0.0.1", static_cast<quint16>(metrics.toInt()));
        s.waitForConnected(2000);
        s.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QByteArray got;
        while (s.waitForReadyRead(2000)) got += s.readAll();
        return got.contains("rq55_up{address=\"1\"} 1");
    };
    ASSERT_TRUE(serve.waitForStarted());
    while (serve.state() == QProcess::Running && !up()) QThread::msleep(100); // its first poll, however long it takes
    ASSERT_TRUE(up());
    SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, gateway.toUInt());
    ASSERT_TRUE(flipSwitch());
    const int panel = openEquipment();
    EXPECT_EQ(number(panel, CONF_EQUIPO_PRIMARIO_I), 306 * 65536 + 1);
    testsupport::TypeInto(panel, CONF_EQUIPO_PRIMARIO_V, "-100000", testsupport::Leave::Tab);
    EXPECT_EQ(saveEquipment(CONF_EQUIPO_GUARDAR_2), std::vector<std::string>{"804=65534=31072=306=1=308=309"});
    EXPECT_TRUE(up());
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
}

} // namespace
