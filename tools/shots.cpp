// Renders the program's panels to PNG files for the README (docs/screenshots/).
//
// Runs the real program offscreen against the built-in simulated analyser and saves what an
// operator would see. Usage: rq55-shots OUTPUT_DIR. The trend chart takes three minutes of real
// time; RQ55_SHOTS_TREND_MINUTES sets another length. Every panel must lie within the screen, its
// whole content within reach: with QT_SCALE_FACTOR and an offscreen screen of another size
// (QT_QPA_PLATFORM=offscreen:configfile=...) it checks how the panels fit there; a panel that
// does not fits makes the exit status 1.
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "config/analog_output.h"
#include "config/equipment.h"
#include "config/in_out.h"
#include "config/model_version.h"
#include "lang/label_table.h"
#include "lang/language.h"
#include "link/exchange.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/callbacks.h"
#include "shell/main_panel.h"
#include "sim/simulator.h"
#include "views/demand.h"
#include "views/wiring.h"
#include "views/energy.h"
#include "views/maxmin.h"
#include "views/network.h"
#include "views/status.h"

namespace {

// The language dialog is built in code: its list, then "OK", then "Quit".
constexpr int kLanguageDialogOk = 3;

std::string g_out;
int g_failures = 0;

void save(int panel, const std::string& name) {
    std::string why;
    if (!PanelFitsScreen(panel, why)) {
        std::fprintf(stderr, "rq55-shots: %s does not fit the screen: %s\n", name.c_str(), why.c_str());
        ++g_failures;
    }
    const std::string path = g_out + "/" + name + ".png";
    if (SavePanelImage(panel, path) == 1) {
        std::printf("wrote %s\n", path.c_str());
    } else {
        std::fprintf(stderr, "rq55-shots: cannot write %s\n", path.c_str());
        ++g_failures;
    }
}

// Runs the program's start with a script that acts once the main panel is up.
void runProgram(std::function<void()> script) {
    PostDeferredCall([script] {
        script();
        QuitUserInterface(0);
    });
    char name[] = "rq55";
    char* argv[] = {name, nullptr};
    RQ55_main(1, argv);
    for (int panel : LoadedPanels()) DiscardPanel(panel);
}

void setLanguage(const std::string& language) {
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, language);
}

// Lets the program run, timers and all, for a while.
void runFor(double seconds) {
    WaitUntil([] { return false; }, seconds);
}

// Switches communication on as an operator would, opens a view with its button and lets it
// refresh for a while.
void switchOnAndOpen(int button, double seconds) {
    SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    SimulateCommit(panel_principal, button);
    runFor(seconds);
}

void saveView(int view, const std::string& name) {
    if (view > 0)
        save(view, name);
    else
        ++g_failures;
}

// A view scene: the view filled with live values, then the link switched off again.
void viewScene(int button, const int& view, const std::string& name, double seconds) {
    switchOnAndOpen(button, seconds);
    saveView(view, name);
    SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rq55-shots OUTPUT_DIR\n");
        return 2;
    }
    g_out = argv[1];
    QDir().mkpath(QString::fromStdString(g_out));
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QTemporaryDir settings(QDir::tempPath() + "/rq55-shots-XXXXXX");
    const std::string settingsFile = settings.path().toStdString() + "/settings.ini";
    qputenv("RQ55_SETTINGS", QByteArray(settingsFile.c_str()));
    InitRunTime(argc, argv);
    RegisterProgramCallbacks();
    SetPopupResponder([](const PopupRecord&) { return PopupAnswer{}; });

    sim::Simulator simulator;
    sim::Options options;
    options.transport = sim::Transport::RtuOverTcp;
    options.modelCode = 59;
    options.seed = 7;
    std::string error;
    if (!simulator.start(options, &error)) {
        std::fprintf(stderr, "rq55-shots: simulator: %s\n", error.c_str());
        return 1;
    }
    MainPanelPreset preset;
    preset.demo = true;
    preset.port = 99;
    preset.host = "127.0.0.1";
    preset.tcpPort = simulator.tcpPort();
    SetMainPanelPreset(preset);

    // First start: no language remembered yet, so the language dialog comes up. The script runs
    // inside the dialog's own event loop; the program is ended once the main panel is up.
    setLanguage("");
    PostDeferredCall([] {
        const int dialog = FindPanelByTitle("Idioma / Language");
        if (dialog <= 0) {
            ++g_failures;
            return;
        }
        save(dialog, "language-dialog");
        QTimer::singleShot(300, [] { QuitUserInterface(0); });
        SimulateCommit(dialog, kLanguageDialogOk);
    });
    {
        char name[] = "rq55";
        char* args[] = {name, nullptr};
        RQ55_main(1, args);
        for (int panel : LoadedPanels()) DiscardPanel(panel);
    }

    setLanguage("1");
    runProgram([] { save(panel_principal, "main-es"); });
    setLanguage("2");
    runProgram([] { save(panel_principal, "main-en"); });

    runProgram([] {
        SimulateCommit(panel_principal, PRINCIPAL_BUSCAR);
        const int dialog = FindPanelByTitle(etiqueta[423]);
        SetCtrlVal(dialog, BUSCAR_HASTA, 3);
        SimulateCommit(dialog, BUSCAR_BUSCAR);
        SetCtrlVal(dialog, BUSCAR_LISTA, 0);
        saveView(dialog, "find-analyser");
        SimulateCommit(dialog, BUSCAR_CERRAR);
    });

    // The traffic monitor while the network view refreshes, one read answered with an exception.
    runProgram([&simulator] {
        SimulateMenuCommand(panel_principal, MENU_INFO_TRAFICO);
        const int monitor = FindPanelByTitle(etiqueta[436]);
        simulator.addFault(
            {.kind = sim::FaultRule::Kind::Exception, .function = 3, .start = 6, .times = 1, .segments = {}});
        switchOnAndOpen(PRINCIPAL_PARAMETROS, 1.2);
        SimulateCommit(panel_tomadatos, TOMADATOS_CERRAR);
        SimulateCommit(panel_principal, PRINCIPAL_PARAMETROS);
        runFor(1.2);
        saveView(monitor, "traffic-monitor");
        simulator.clearFaults();
        SimulateCommit(monitor, TRAFICO_CERRAR);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });

    // The views, filled with live values from the simulated analyser.
    runProgram([] {
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        runFor(0.3);
        save(panel_principal, "main-connected");
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    // The keyboard's focus, as Tab leaves it: on the switch, then on a button.
    runProgram([] {
        QWidget* window = ControlWidget(panel_principal, PRINCIPAL_SALIR)->window();
        window->activateWindow();
        ControlWidget(panel_principal, PRINCIPAL_COMUNICACION)->setFocus(Qt::TabFocusReason);
        runFor(0.2);
        save(panel_principal, "main-focus-switch");
        ControlWidget(panel_principal, PRINCIPAL_ENERGIA)->setFocus(Qt::TabFocusReason);
        runFor(0.2);
        save(panel_principal, "main-focus-button");
    });

    runProgram([] { viewScene(PRINCIPAL_PARAMETROS, panel_tomadatos, "network-parameters", 2.5); });
    // The trend of the phase voltages after a few minutes of the demo, in real time.
    runProgram([] {
        const char* minutes = std::getenv("RQ55_SHOTS_TREND_MINUTES");
        switchOnAndOpen(PRINCIPAL_PARAMETROS, 0.5);
        SimulateCommit(panel_tomadatos, TOMADATOS_TENDENCIA);
        runFor(60 * (minutes ? std::atof(minutes) : 3.0));
        saveView(FindPanelByTitle(etiqueta[441]), "trend");
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    // Before its first read a view shows no numbers; once the analyser stops answering it says so.
    runProgram([] {
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
        SimulateCommit(panel_principal, PRINCIPAL_PARAMETROS);
        save(panel_tomadatos, "network-before-first-read");
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    runProgram([&simulator] {
        switchOnAndOpen(PRINCIPAL_PARAMETROS, 1.5);
        const ExchangeLimits limits = CurrentExchangeLimits();
        SetExchangeLimits({.comAttempts = 1, .comReplySeconds = 1.0, .tcpReplySeconds = 1.0});
        simulator.addFault(
            {.kind = sim::FaultRule::Kind::Silence, .function = 3, .start = 6, .segments = {}});
        runFor(2.5);
        saveView(panel_tomadatos, "network-not-answering");
        simulator.clearFaults();
        SetExchangeLimits(limits);
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    runProgram([] { viewScene(PRINCIPAL_ENERGIA, panel_energia, "energy", 2.5); });
    runProgram([] {
        switchOnAndOpen(PRINCIPAL_ENERGIA, 1.5);
        SimulateCommit(panel_energia, ENERGIA_RESET);
        runFor(0.3);
        saveView(panel_contrasena_ener, "energy-reset");
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    runProgram([] { viewScene(PRINCIPAL_MAXMIN, panel_maxmin, "maxmin", 2.5); });
    runProgram([] { viewScene(PRINCIPAL_DEMANDA, panel_demanda, "demand", 2.5); });
    runProgram([] { viewScene(PRINCIPAL_ESTADO, panel_estado, "status", 3.0); });

    // The set-up panels, filled from the simulated analyser.
    runProgram([] { viewScene(PRINCIPAL_CONF_EQUIPO, panel_conf_equipo, "equipment", 1.0); });
    runProgram([] { viewScene(PRINCIPAL_IN_OUT, panel_in_out, "inputs-outputs", 1.0); });
    runProgram([] {
        switchOnAndOpen(PRINCIPAL_IN_OUT, 1.0);
        SimulateCommit(panel_in_out, IN_OUT_SALIDA_1);
        runFor(1.5);
        saveView(panel_out_anal, "analog-output");
        SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    });
    runProgram([] { viewScene(PRINCIPAL_VERSION, panel_version, "model-version", 1.0); });
    runProgram([] {
        SimulateMenuCommand(panel_principal, MENU_CONF_CONTRASENA);
        runFor(0.3);
        saveView(FindPanelByTitle(etiqueta[211]), "password");
    });
    runProgram([] {
        SimulateMenuCommand(panel_principal, MENU_INFO_ACERCA);
        runFor(0.3);
        saveView(FindPanelByTitle(etiqueta[18]), "information");
    });

    // The wiring check of a healthy analyser, and of one whose second CT is fitted the wrong way round.
    runProgram([] { viewScene(PRINCIPAL_CABLEADO, panel_cableado, "wiring", 2.5); });
    simulator.stop();
    options.tcpPort = static_cast<uint16_t>(preset.tcpPort);
    sim::ParseWiring("ct_reversed:2", options.wiring, error);
    if (!simulator.start(options, &error)) {
        std::fprintf(stderr, "rq55-shots: simulator: %s\n", error.c_str());
        return 1;
    }
    runProgram([] { viewScene(PRINCIPAL_CABLEADO, panel_cableado, "wiring-fault", 2.5); });

    simulator.stop();
    return g_failures == 0 ? 0 : 1;
}
