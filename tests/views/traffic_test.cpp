// The traffic monitor: each frame with its link, bytes and meaning, how each exchange ended, a
// bounded memory, and a saved file that holds exactly what is shown.
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryDir>

#include "link/frame_text.h"
#include "shell/traffic_monitor.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;

// (A read and an exception, on both framings: the monitor's own test below.)
TEST(FrameText, SaysWhatEachFrameIs) {
    const struct {
        const char* hex;
        bool sent, modbusTcp;
        const char* said;
    } cases[] = {
        {"01 10 03 33 00 01 02 04 D2 00 00", true, false, "address 1, write of 1 register at 819, CRC bad"},
        {"00 07 00 00 00 05 01 03 02 00 2A", false, true,
         "transaction 7, address 1, reply with 2 data bytes"},
        {"01 03", false, false, "2 bytes, too short for a frame"},
    };
    for (const auto& c : cases) {
        const std::vector<unsigned char> bytes = testsupport::FromHex(c.hex);
        EXPECT_EQ(DescribeFrame(bytes.data(), static_cast<int>(bytes.size()), c.sent, c.modbusTcp), c.said)
            << c.hex;
    }
}

// A read, its reply and an exception from the fault plan as the monitor words them, over RTU
// frames on TCP and over Modbus/TCP, which the main panel speaks to port 502 only.
class MonitorOnLink : public LiveView, public ::testing::WithParamInterface<bool> {};

TEST_P(MonitorOnLink, WordsEachFrameAndHowTheExchangeEnded) {
    const bool modbusTcp = GetParam();
    if (modbusTcp) {
        std::string error;
        if (!analyser.start(
                {.transport = sim::Transport::ModbusTcp, .modelCode = 59, .tcpPort = 502, .moving = false, .seed = 11},
                &error))
            GTEST_SKIP() << "port 502 cannot be bound here: " << error;
        SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, 99);
        SetCtrlVal(mainPanel, PRINCIPAL_IP, "127.0.0.1");
        SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, 502u);
    } else {
        startAnalyser();
    }
    SimulateMenuCommand(mainPanel, MENU_INFO_TRAFICO);
    const int monitor = FindPanelByTitle("Traffic monitor");
    ASSERT_GT(monitor, 0);
    ASSERT_TRUE(flipSwitch());
    refuse(3, 6);
    SimulateCommit(mainPanel, PRINCIPAL_PARAMETROS);
    SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER);
    SimulateTimerTick(monitor, TRAFICO_TIMER);

    const std::string link =
        "127.0.0.1:" + std::to_string(analyser.tcpPort()) + (modbusTcp ? " Modbus/TCP" : " RTU over TCP");
    const std::deque<std::string> lines = TrafficLines();
    ASSERT_GE(lines.size(), 6u) << "the switch-on read and the view's read, each with its reply and outcome";
    const auto shown = [&](size_t line) { return lines[lines.size() - 3 + line].substr(12); };
    if (modbusTcp) {
        EXPECT_EQ(shown(0), "  >>  " + link + "  transaction 2, address 1, read of 60 registers from 6  |  " +
                                "00 02 00 00 00 06 01 03 00 06 00 3C");
        EXPECT_EQ(shown(1), "  <<  " + link +
                                "  transaction 2, address 1, exception 04 (server device failure)" +
                                "  |  00 02 00 00 00 03 01 83 04");
    } else {
        EXPECT_EQ(shown(0),
                  "  >>  " + link +
                      "  address 1, read of 60 registers from 6, CRC good  |  01 03 00 06 00 3C A5 DA");
        EXPECT_EQ(shown(1),
                  "  <<  " + link +
                      "  address 1, exception 04 (server device failure), CRC good  |  01 83 04 40 F3");
    }
    EXPECT_EQ(shown(2), "  --  " + link + "  exchange ended: exception 04 (server device failure)");
}

INSTANTIATE_TEST_SUITE_P(Links, MonitorOnLink, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "ModbusTcp" : "RtuOverTcp");
});

// The monitor keeps its last 10 000 lines, scrolls sideways to the end of the longest, and saves
// exactly what it shows.
TEST_F(LiveView, TrafficMonitorKeepsTheLastLinesAndSavesWhatItShows) {
    startAnalyser();
    SimulateMenuCommand(mainPanel, MENU_INFO_TRAFICO);
    const int monitor = FindPanelByTitle("Traffic monitor");
    ASSERT_GT(monitor, 0);
    ASSERT_TRUE(flipSwitch());

    // An exchange without a host sends nothing and ends at once: a cheap way to fill the monitor.
    for (int i = 0; i < kTrafficLinesKept + 5; ++i)
        Ulvo_Transmitir_Modbus(99, g_requestBuffer, 6, g_replyBuffer, 0, 0, "", 0, "");
    SimulateTimerTick(monitor, TRAFICO_TIMER);
    int count = 0;
    GetNumListItems(monitor, TRAFICO_LISTA, count);
    EXPECT_EQ(count, kTrafficLinesKept);
    EXPECT_EQ(TrafficLines().size(), static_cast<size_t>(kTrafficLinesKept));
    Ulvo_Comando_Lectura(1, 3, 6, 60, g_requestBuffer); // a long line among short ones
    Ulvo_Transmitir_Modbus(Puerto, g_requestBuffer, 6, g_replyBuffer, 120, 0, "", TCP_Puerto, IP);
    SimulateTimerTick(monitor, TRAFICO_TIMER);
    auto* list = static_cast<QListWidget*>(ControlWidget(monitor, TRAFICO_LISTA));
    int widest = 0;
    for (const std::string& l : TrafficLines()) widest = std::max(widest, list->fontMetrics().horizontalAdvance(QString::fromStdString(l)));
    EXPECT_GE(list->visualItemRect(list->item(count - 1)).width(), widest);
    EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);

    QTemporaryDir dir;
    chosenFile = dir.path().toStdString() + "/traffic.txt";
    SimulateCommit(monitor, TRAFICO_GUARDAR);
    std::vector<std::string> shown(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) GetLabelFromIndex(monitor, TRAFICO_LISTA, i, shown[static_cast<size_t>(i)]);
    EXPECT_TRUE(testsupport::Lines(testsupport::ReadFile(chosenFile)) == shown) << "the file holds what is shown";
    SimulateCommit(monitor, TRAFICO_CERRAR);
    EXPECT_TRUE(TrafficLines().empty());
}

} // namespace
