#include "bench/cli_bench.h"

#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "device/scan.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 15;

// Wall seconds of one run of the program, or a negative number when it failed.
double timeRun(const QString& program, const QStringList& args, int expectedStatus = 0) {
    QProcess process;
    const auto start = Clock::now();
    process.start(program, args);
    if (!process.waitForFinished(600000) || process.exitCode() != expectedStatus) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double medianOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

bool MeasureCliScan() {
    // The analyser listens at 9600 baud; probed at 19200, every address stays silent.
    sim::Simulator analyser;
    if (!analyser.start({.transport = sim::Transport::Pty, .moving = false, .seed = 1, .lineBaud = 9600}))
        return false;
    const double seconds = timeRun(RQ55CTL_PATH,
                                   {"scan", "--serial", QString::fromStdString(analyser.devicePath()),
                                    "--baud", "19200", "--address", "1-247"},
                                   1);
    if (seconds < 0) return false;
    std::printf("\nrq55ctl scan of 247 silent addresses at 19200 8N1 on a pseudo-terminal: %.2f s, %.1f ms "
                "per address"
                " (time-out chosen %.1f ms)\n",
                seconds, 1000 * seconds / 247, 1000 * ProbeTimeout(19200));
    return true;
}

bool MeasureCliRead() {
    sim::Simulator analyser;
    if (!analyser.start({.transport = sim::Transport::ModbusTcp, .moving = false, .seed = 1})) return false;
    const QString port = QString::number(analyser.tcpPort());
    const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
    std::vector<double> ctl, raw;
    for (int i = 0; i < kRuns; ++i) {
        ctl.push_back(timeRun(RQ55CTL_PATH, {"read", "network", "--format", "csv", "--tcp",
                                             "127.0.0.1:" + port, "--modbus-tcp"}));
        // mbpoll counts registers from 1: register 6 is its 7.
        if (!mbpoll.isEmpty())
            raw.push_back(timeRun(mbpoll, {"-m", "tcp", "-a", "1", "-r", "7", "-c", "60", "-t", "4", "-1",
                                           "-p", port, "127.0.0.1"}));
    }
    if (std::any_of(ctl.begin(), ctl.end(), [](double s) { return s < 0; })) return false;
    std::printf("read of the 60 network registers as a whole process over Modbus/TCP, median of %d:\n",
                kRuns);
    std::printf("  rq55ctl read network  %7.1f ms\n",
                1000 * medianOf(ctl));
    if (raw.empty() || std::any_of(raw.begin(), raw.end(), [](double s) { return s < 0; }))
        std::printf("  mbpoll                not measured (not installed or failed)\n");
    else
        std::printf("  mbpoll                %7.1f ms\n", 1000 * medianOf(raw));
    return true;
}
