#include "bench/trend_bench.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "device/register_map.h"
#include "lang/label_table.h"
#include "lang/language_table.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"
#include "sim/simulator.h"
#include "views/network.h"
#include "views/trend.h"

namespace {

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Whatever the last change left to lay out and paint, done now, and what it left to delete
// deleted (as the program's event loop does; processEvents alone keeps it, and a chart slows down
// with every series it keeps).
void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The operator's way to the chart: the main panel switched on to the analyser, the network view
// opened from it, and its Trend button; 0 when any step failed.
struct OpenChart {
    int view = 0, chart = 0;
};
OpenChart openChart(sim::Simulator& analyser) {
    // English, from the language file, without asking or remembering it.
    std::string incomplete, why;
    if (auto english = ReadLanguageTable(2, incomplete, why)) etiqueta = std::move(*english);
    panel_principal = LoadPanel(0, "RQ55.uir", PRINCIPAL);
    DisplayPanel(panel_principal);
    if (!analyser.start({.transport = sim::Transport::RtuOverTcp, .moving = false, .seed = 3})) return {};
    SetCtrlVal(panel_principal, PRINCIPAL_PUERTO, 99);
    SetCtrlVal(panel_principal, PRINCIPAL_IP, "127.0.0.1");
    SetCtrlVal(panel_principal, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(analyser.tcpPort()));
    SetCtrlVal(panel_principal, PRINCIPAL_IDENTIDAD, 1);
    SimulateCommit(panel_principal, PRINCIPAL_COMUNICACION);
    SimulateCommit(panel_principal, PRINCIPAL_PARAMETROS);
    const int view = panel_tomadatos;
    if (view <= 0 || SimulateTimerTick(view, TOMADATOS_TIMER) != 1) return {};
    SimulateCommit(view, TOMADATOS_TENDENCIA);
    return {view, FindPanelByTitle("Trend")};
}

// The view closed by its button (the chart goes with it), then the rest.
void closeAll(const OpenChart& opened) {
    SimulateCommit(opened.view, TOMADATOS_CERRAR);
    Ulvo_Cerrar_Puerto(Puerto);
    for (int panel : LoadedPanels()) DiscardPanel(panel);
}

void choose(int chart, int control, int value) {
    SetCtrlVal(chart, control, value);
    SimulateCommit(chart, control);
}

// The CPU of one refresh (a read's record added, the lines moved on, laid out and painted) with
// `seconds` of history a second apart, over the chart's longest span: the mean of 32 refreshes in a
// row (as many as a piece of a line holds, so one new piece is in each figure), after the history
// was filled, the lines built from it and a few refreshes more; 40 such figures.
Spread refreshSeconds(int chart, int seconds) {
    constexpr int kRounds = 40, kWarmUp = 3, kMeasured = 32;
    std::vector<float> record(kNetworkParameterCount, 230.0f);
    std::vector<double> samples;
    for (int r = 0; r < kRounds; ++r) {
        TrendRestart();
        for (int s = 0; s < seconds; ++s) {
            record[0] = 230.0f + static_cast<float>(s % 7);
            TrendAdd(record.data(), 1000.0 * s);
        }
        choose(chart, TENDENCIA_INTERVALO, 600);
        choose(chart, TENDENCIA_INTERVALO, 1800);
        settle();
        // The first refreshes after the lines were built lay the whole chart out once more.
        for (int w = 0; w < kWarmUp; ++w) {
            TrendAdd(record.data(), 1000.0 * (seconds + w));
            settle();
        }
        const double before = cpuNow();
        for (int m = kWarmUp; m < kWarmUp + kMeasured; ++m) {
            TrendAdd(record.data(), 1000.0 * (seconds + m));
            settle();
        }
        samples.push_back((cpuNow() - before) / kMeasured);
    }
    return SpreadOf(samples);
}

} // namespace

bool MeasureTrendRefresh() {
    sim::Simulator analyser;
    const OpenChart opened = openChart(analyser);
    if (!opened.chart) return false;
    // Only the records given here: a read of the view's own would start the history afresh.
    SetCtrlAttribute(opened.view, TOMADATOS_TIMER, ATTR_ENABLED, 0);
    const Spread small = refreshSeconds(opened.chart, 10), full = refreshSeconds(opened.chart, 30 * 60);
    closeAll(opened);
    std::printf("\nOne refresh of the trend chart (CPU ms, offscreen, 40 times the mean of 32): %s with 10 s of "
                "history, %s with 30 minutes (%+.0f %%)\n",
                Shown(small, "%.3f", 1e3).c_str(), Shown(full, "%.3f", 1e3).c_str(),
                100 * (full.median - small.median) / small.median);
    return true;
}

bool MeasureTrendSoak() {
    constexpr int kBound = 4000; // the samples the history keeps at most
    sim::Simulator analyser;
    const OpenChart opened = openChart(analyser);
    if (!opened.chart) return false;
    choose(opened.chart, TENDENCIA_INTERVALO, 1800);
    g_exchangePause = 0;
    // The view's own timer, shortened from a second to 5 ms.
    SetCtrlAttribute(opened.view, TOMADATOS_TIMER, ATTR_INTERVAL, 0.005);
    // Refreshes counted by their requests; the simulator's own log of requests (it runs in this
    // process, and keeps 100 000) is emptied as it goes, so that only the program's memory counts.
    int refreshes = 0;
    SetFrameTrace([&](double, FrameKind kind, const unsigned char*, int) { refreshes += kind == FrameKind::Sent; });
    const auto runUntil = [&](int count) {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            analyser.clearRequests();
            if (refreshes >= count) loop.quit();
        });
        check.start(20);
        QTimer::singleShot(300000, &loop, &QEventLoop::quit);
        const double started = Timer();
        loop.exec();
        return Timer() - started;
    };
    // The memory once the history is full, once as many refreshes again have settled it, and after
    // each of three more windows as long.
    std::vector<long> kib;
    double seconds = 0;
    for (int window = 1; window <= 5; ++window) {
        seconds += runUntil(window * kBound);
        kib.push_back(residentKiB());
    }
    SetFrameTrace({});
    g_exchangePause = 0.15;
    closeAll(opened);
    // Read by the soak part from this process's output.
    std::printf("soak %ld %ld %ld %ld %ld %d %.1f\n", kib[0], kib[1], kib[2], kib[3], kib[4], refreshes, seconds);
    return refreshes >= 5 * kBound;
}

bool MeasureTrendSoakInChild(const char* self) {
    QProcess soak;
    soak.start(self, {"soak-alone"});
    if (!soak.waitForFinished(900000) || soak.exitCode() != 0) return false;
    long kib[5] = {};
    int refreshes = 0;
    double seconds = 0;
    for (const QByteArray& line : soak.readAllStandardOutput().split('\n'))
        if (std::sscanf(line.constData(), "soak %ld %ld %ld %ld %ld %d %lf", &kib[0], &kib[1], &kib[2], &kib[3], &kib[4],
                        &refreshes, &seconds) == 7)
            break;
    if (refreshes == 0) return false;
    const std::vector<double> grown = {static_cast<double>(kib[2] - kib[1]), static_cast<double>(kib[3] - kib[2]),
                                       static_cast<double>(kib[4] - kib[3])};
    std::printf("The network view with its trend open, refreshed every 5 ms in a process of its own (%d refreshes in "
                "%.0f s):\n  %.1f MiB once the history holds its 4000 samples, %.1f MiB after as many again; then %s "
                "KiB in each of 3 windows of 4000\n",
                refreshes, seconds, kib[0] / 1024.0, kib[1] / 1024.0, Shown(SpreadOf(grown), "%+.0f").c_str());
    return true;
}
