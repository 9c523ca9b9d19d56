// What the tests of the communication switch and the live views share: the English texts, the
// main panel on screen, and a simulated analyser the operator switches on to through that panel.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <string>
#include <vector>

#include "lang/label_table.h"
#include "lang/language.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"
#include "sim/simulator.h"
#include "test_support.h"
#include "views/demand.h"
#include "views/energy.h"
#include "views/maxmin.h"
#include "views/network.h"
#include "views/status.h"

namespace viewtest {

// Reading the panels as the operator sees them.
inline int attribute(int panel, int control, int attr) {
    int value = 0;
    GetCtrlAttribute(panel, control, attr, value);
    return value;
}
inline bool dimmed(int panel, int control) { return attribute(panel, control, ATTR_DIMMED) == 1; }
inline bool timerOn(int panel, int timer) { return attribute(panel, timer, ATTR_ENABLED) == 1; }
inline double number(int panel, int control) {
    double value = -12345;
    GetCtrlVal(panel, control, value);
    return value;
}
inline std::string text(int panel, int control) {
    std::string value = "<none>";
    GetCtrlVal(panel, control, value);
    return value;
}
inline bool onScreen(int panel) {
    int value = 0;
    return GetPanelAttribute(panel, ATTR_PANEL_VISIBLE, value) == 0 && value == 1;
}

class LiveView : public ::testing::Test {
  protected:
    void SetUp() override {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "2");
        etiqueta = *Ulvo_AsignarIdioma();
        mainPanel = panel_principal = LoadPanel(0, "RQ55.uir", PRINCIPAL);
        DisplayPanel(mainPanel);
        // The link reports a refused write in a popup that waits two seconds for OK; press it at once.
        SetPopupResponder([this](const PopupRecord& record) {
            int ok = 0;
            if (record.kind == "panel" && record.title.rfind("RQ55 - ", 0) == 0 &&
                GetPanelAttribute(record.panel, ATTR_CLOSE_CTRL, ok) == 0)
                SimulateCommit(record.panel, ok);
            if (record.kind == "file")
                return PopupAnswer{.result = chosenFile.empty() ? 0 : 1, .path = chosenFile};
            return PopupAnswer{.result = record.kind == "confirm" ? confirmAnswer : 1, .path = {}};
        });
        ClearRecordedPopups();
    }

    void TearDown() override {
        Ulvo_Cerrar_Puerto(Puerto);
        for (int panel : LoadedPanels()) DiscardPanel(panel);
        analyser.stop();
        testsupport::InstallDefaultResponder();
        etiqueta = LabelTable{};
        modelo_equipo = 0;
    }

    // Starts an analyser of the given model whose values stay as set, and sets the main panel's
    // link for it: COM 7 is the pseudo-terminal, 99 RTU frames over TCP, 100 Modbus/TCP (on a TCP
    // port other than 502).
    void startAnalyser(int model = 59, sim::Transport transport = sim::Transport::RtuOverTcp) {
        std::string error;
        ASSERT_TRUE(
            analyser.start({.transport = transport, .modelCode = model, .moving = false, .seed = 11}, &error))
            << error;
        if (transport == sim::Transport::Pty) qputenv("RQ55_COM7", QByteArray::fromStdString(analyser.devicePath()));
        SetCtrlVal(mainPanel, PRINCIPAL_PUERTO,
                   transport == sim::Transport::Pty ? 7 : transport == sim::Transport::ModbusTcp ? 100 : 99);
        SetCtrlVal(mainPanel, PRINCIPAL_IP, "127.0.0.1");
        SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(analyser.tcpPort()));
        SetCtrlVal(mainPanel, PRINCIPAL_IDENTIDAD, 1);
    }
    // Flips the communication switch as the operator does; true when it stays on.
    bool flipSwitch() {
        SimulateCommit(mainPanel, PRINCIPAL_COMUNICACION);
        int on = 0;
        GetCtrlVal(mainPanel, PRINCIPAL_COMUNICACION, on);
        return on == 1;
    }
    // Switches on to an analyser of the model and opens a view from the main panel.
    int open(int button, const int& view, int model = 59, sim::Transport transport = sim::Transport::RtuOverTcp) {
        startAnalyser(model, transport);
        EXPECT_TRUE(flipSwitch());
        SimulateCommit(mainPanel, button);
        return view;
    }
    // The analyser answers requests of this function and first register with an exception.
    void refuse(int function, int start, int exceptionCode = 4) {
        analyser.addFault({.kind = sim::FaultRule::Kind::Exception, .function = function, .start = start,
                           .exceptionCode = exceptionCode, .segments = {}});
    }

    // Requests the analyser received, reads and writes alike, starting at register first (to last).
    int requestsFor(int first, int last = 0) const {
        const auto all = analyser.requests();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const sim::ReceivedRequest& r) {
            return r.start >= first && r.start <= std::max(first, last);
        }));
    }
    // The writes the analyser received, as "register=values".
    std::vector<std::string> writes() const {
        std::vector<std::string> seen;
        for (const sim::ReceivedRequest& r : analyser.requests()) {
            if (r.function != 16) continue;
            std::string w = std::to_string(r.start);
            for (uint16_t v : r.values) w += "=" + std::to_string(v);
            seen.push_back(w);
        }
        return seen;
    }
    // Messages shown since the last clear, as "title|text".
    std::vector<std::string> messages() const {
        std::vector<std::string> shown;
        for (const PopupRecord& r : RecordedPopups())
            if (r.kind == "message") shown.push_back(r.title + "|" + r.text);
        return shown;
    }

    sim::Simulator analyser;
    int confirmAnswer = 1;  // what the operator answers a yes/no question
    std::string chosenFile; // what the operator picks in a file dialog; empty cancels it
    testsupport::ScopedSettings settings;
    int mainPanel = 0;
};

} // namespace viewtest
