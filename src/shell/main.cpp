// RQ55: sets up and watches one RQ55 network analyser over Modbus.
//
// With --demo the program starts a simulated analyser of its own on a loopback TCP port and
// presets the main panel for it, so it can be tried without a meter.
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/system.h"
#include "platform/ui.h"
#include "shell/callbacks.h"
#include "shell/main_panel.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
    UseCallerConsole();
    bool demo = false;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--check-install") == 0) {
            check = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: rq55 [--demo | --check-install | --version]\n"
                "  --demo           talk to a built-in simulated analyser (RTU frames over TCP on loopback)\n"
                "  --check-install  start up to the main panel and quit: exit status 0 when the panel\n"
                "                   file and the language file beside the program were read\n"
                "  --version        show the version\n");
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("rq55 %s\n", RQ55_VERSION);
            return 0;
        }
    }
    // The check needs no screen: without a display (a server, an ssh session) it runs offscreen and
    // says so.
    if (check && !std::getenv("QT_QPA_PLATFORM") && !HasDisplay()) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        std::fprintf(stderr, "rq55: no display: the installation is checked offscreen\n");
    }
    if (InitRunTime(argc, argv) == 0) return 0;
    RegisterProgramCallbacks();

    sim::Simulator simulator;
    if (demo) {
        sim::Options options;
        options.transport = sim::Transport::RtuOverTcp;
        options.deviceAddress = 1;
        options.keptRequests = 0; // the demo runs for days and reads none
        std::string error;
        if (!simulator.start(options, &error)) {
            std::fprintf(stderr, "rq55: cannot start the simulated analyser: %s\n", error.c_str());
            return 1;
        }
        MainPanelPreset preset;
        preset.demo = true;
        preset.port = 99;
        preset.address = options.deviceAddress;
        preset.host = "127.0.0.1";
        preset.tcpPort = simulator.tcpPort();
        SetMainPanelPreset(preset);
    }
    if (check) {
        MainPanelPreset preset;
        preset.quitOnceShown = true;
        SetMainPanelPreset(preset);
        SetPopupsOnConsole(true); // what a faulty installation says goes to stderr; nobody waits
    }
    return RQ55_main(argc, argv);
}
