#include "view_fixture.h"

#include <algorithm>

#include "lang/label_table.h"
#include "lang/language.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"

namespace viewtest {

void LiveView::SetUp() {
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "2");
    etiqueta = *Ulvo_AsignarIdioma();
    mainPanel = LoadPanel(0, "RQ55.uir", PRINCIPAL);
    panel_principal = mainPanel;
    DisplayPanel(mainPanel);
    // The link reports a refused write in a popup that waits two seconds for OK; press it at once.
    SetPopupResponder([](const PopupRecord& record) {
        if (record.kind == "panel" && record.title.rfind("RQ55 - ", 0) == 0) {
            int ok = 0;
            GetPanelAttribute(record.panel, ATTR_CLOSE_CTRL, ok);
            SimulateCommit(record.panel, ok);
        }
        return PopupAnswer{};
    });
    ClearRecordedPopups();
}

void LiveView::TearDown() {
    if (switchedOn()) flipSwitch();
    Ulvo_Cerrar_Puerto(Puerto);
    for (int panel : LoadedPanels())
        DiscardPanel(panel);
    analyser.stop();
    testsupport::InstallDefaultResponder();
    etiqueta = LabelTable{};
    modelo_equipo = 0;
}

sim::Options LiveView::frozen(int modelCode) {
    sim::Options options;
    options.transport = sim::Transport::RtuOverTcp;
    options.modelCode = modelCode;
    options.moving = false;
    options.seed = 11;
    return options;
}

void LiveView::startAnalyser(const sim::Options& options) {
    std::string error;
    ASSERT_TRUE(analyser.start(options, &error)) << error;
    if (options.transport == sim::Transport::Pty) {
        setenv(("RQ55_COM" + std::to_string(kPtyComPort)).c_str(), analyser.devicePath().c_str(), 1);
        SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, kPtyComPort);
    } else {
        SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, 99);
        SetCtrlVal(mainPanel, PRINCIPAL_IP, "127.0.0.1");
        SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(analyser.tcpPort()));
    }
    SetCtrlVal(mainPanel, PRINCIPAL_IDENTIDAD, options.deviceAddress);
}

bool LiveView::flipSwitch() {
    SimulateCommit(mainPanel, PRINCIPAL_COMUNICACION);
    return switchedOn();
}

bool LiveView::switchedOn() const {
    int on = 0;
    GetCtrlVal(mainPanel, PRINCIPAL_COMUNICACION, on);
    return on == 1;
}

int LiveView::press(int panel, int button, const int& viewHandle) {
    SimulateCommit(panel, button);
    return viewHandle;
}

int LiveView::requestsFor(int start) const {
    const auto all = analyser.requests();
    return static_cast<int>(std::count_if(
        all.begin(), all.end(), [start](const sim::ReceivedRequest& r) { return r.start == start; }));
}

std::vector<sim::ReceivedRequest> LiveView::writesTo(int start) const {
    std::vector<sim::ReceivedRequest> writes;
    for (const sim::ReceivedRequest& r : analyser.requests())
        if (r.function == 16 && r.start == start) writes.push_back(r);
    return writes;
}

std::vector<std::string> LiveView::messages() const {
    std::vector<std::string> shown;
    for (const PopupRecord& r : RecordedPopups())
        if (r.kind == "message") shown.push_back(r.title + "|" + r.text);
    return shown;
}

double number(int panel, int control) {
    double value = -12345;
    GetCtrlVal(panel, control, value);
    return value;
}

std::string text(int panel, int control) {
    std::string value = "<none>";
    GetCtrlVal(panel, control, value);
    return value;
}

bool dimmed(int panel, int control) {
    int value = 0;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, value);
    return value == 1;
}

bool timerOn(int panel, int timer) {
    int value = 0;
    GetCtrlAttribute(panel, timer, ATTR_ENABLED, value);
    return value == 1;
}

bool onScreen(int panel) {
    int value = 0;
    return GetPanelAttribute(panel, ATTR_PANEL_VISIBLE, value) == 0 && value == 1;
}

bool loaded(int panel) {
    const auto panels = LoadedPanels();
    return std::find(panels.begin(), panels.end(), panel) != panels.end();
}

} // namespace viewtest
