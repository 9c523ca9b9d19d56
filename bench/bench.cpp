// rq55-bench: what the program costs on top of the wire, in parts that run by name
// (`rq55-bench flood trend`) or all in turn:
// 1. the exchange over each link beside a raw client, with the traffic monitor, with the discard
//    before a request, and the CPU of a polling view (link_bench.cpp);
// 2. what misbehaving peers and large inputs cost, and the simulator's memory (robustness.cpp);
// 3. rq55ctl as a whole process: a scan of silent addresses, and a read beside mbpoll
//    (cli_bench.cpp); serve's cost and its rounds (serve_bench.cpp), its endpoint beside Prometheus'
//    node exporter (endpoint_bench.cpp), its Modbus gateway beside pymodbus' forwarder
//    (gateway_bench.cpp);
// 4. the trend chart's refresh, and the network view's memory over many refreshes (trend_bench.cpp).
// Every figure is the median of its repetitions, with the least and the greatest in brackets.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/cli_bench.h"
#include "bench/endpoint_bench.h"
#include "bench/gateway_bench.h"
#include "bench/link_bench.h"
#include "bench/robustness.h"
#include "bench/serve_bench.h"
#include "bench/trend_bench.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "shell/callbacks.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Each figure shows as it is measured, through the pipe to scripts/bench as on a terminal.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    InitRunTime(argc, argv);
    RegisterProgramCallbacks();
    WT_InstallSysTrayIcon("trffc_a.ico", "RQ55", nullptr, &icono_comunicaciones_barra_tareas);

    const std::vector<std::pair<const char*, std::function<bool()>>> parts = {
        {"latency", MeasureExchangeLatency},
        {"monitor", MeasureMonitorCost},
        {"discard", MeasureDiscardCost},
        {"cpu", MeasureViewCpu},
        {"cut", MeasureCutShortReply},
        {"language", MeasureLargeLanguageSection},
        {"flood", MeasureSimulatorUnderFlood},
        {"simulator", MeasureSimulatorMemory},
        {"scan", MeasureCliScan},
        {"startup", MeasureCliStartUp},
        {"serve", MeasureServeCost},
        {"rounds", MeasureServeRounds},
        {"endpoint", MeasureEndpoint},
        {"gateway", MeasureGateway},
        {"trend", MeasureTrendRefresh},
        {"soak", [&] { return MeasureTrendSoakInChild(argv[0]); }},
    };
    // One soak in this process, run by the soak part above in a process of its own each time, so
    // that what ran before it does not count.
    if (argc == 2 && std::string(argv[1]) == "soak-alone") return MeasureTrendSoak() ? 0 : 1;
    bool ok = true;
    for (const auto& [name, measure] : parts) {
        bool chosen = argc < 2;
        for (int a = 1; a < argc; ++a) chosen = chosen || std::string(argv[a]) == name;
        if (!chosen) continue;
        if (!measure()) {
            std::printf("\n%s: not measured, it failed (see above)\n", name);
            ok = false;
        }
    }
    WT_RemoveSysTrayIcon(icono_comunicaciones_barra_tareas);
    return ok ? 0 : 1;
}
