#include "bench/cli_bench.h"

#include <QStandardPaths>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "device/scan.h"
#include "sim/simulator.h"

namespace {

constexpr int kPairs = 21;

} // namespace

bool MeasureCliScan() {
    // The analyser listens at 9600 baud; probed at 19200, every address stays silent.
    constexpr int kAddresses = 30, kRepetitions = 3;
    sim::Simulator analyser;
    if (!analyser.start({.transport = sim::Transport::Pty, .moving = false, .seed = 1, .lineBaud = 9600}))
        return false;
    std::vector<double> perAddress;
    for (int r = 0; r < kRepetitions; ++r) {
        const ProcessCost scan = RunProcess({RQ55CTL_PATH, "scan", "--serial", analyser.devicePath(), "--baud", "19200",
                                             "--address", "1-" + std::to_string(kAddresses)});
        if (scan.status != 1) return false;
        perAddress.push_back(scan.wallSeconds / kAddresses);
    }
    std::printf("\nrq55ctl scan of %d silent addresses at 19200 8N1 on a pseudo-terminal, %d times: %s ms per address "
                "(time-out chosen %.1f ms)\n",
                kAddresses, kRepetitions, Shown(SpreadOf(perAddress), "%.1f", 1e3).c_str(),
                1e3 * ProbeTimeout(19200));
    return true;
}

// The two programs in turn, a pair at a time, so that both see the same machine.
bool MeasureCliStartUp() {
    SimulatorProcess analyser({"--modbus-tcp", "0", "--static"});
    if (analyser.port() == 0) return false;
    const std::string port = std::to_string(analyser.port());
    const std::string mbpoll = QStandardPaths::findExecutable("mbpoll").toStdString();
    const std::vector<std::string> ctlRead = {RQ55CTL_PATH, "read", "network", "--format", "csv", "--tcp",
                                              "127.0.0.1:" + port, "--modbus-tcp"};
    // mbpoll counts registers from 1: register 6 is its 7.
    const std::vector<std::string> rawRead = {mbpoll, "-m", "tcp", "-a", "1", "-r", "7", "-c", "60", "-t", "4", "-1",
                                              "-p", port, "127.0.0.1"};
    std::vector<double> ctlWall, ctlCpu, ctlKiB, rawWall, rawCpu, rawKiB;
    for (int i = 0; i < kPairs + 2; ++i) {
        const ProcessCost ctl = RunProcess(ctlRead);
        if (ctl.status != 0) return false;
        const ProcessCost raw = mbpoll.empty() ? ProcessCost{} : RunProcess(rawRead);
        if (i < 2) continue; // the files in the page cache, for both
        ctlWall.push_back(ctl.wallSeconds);
        ctlCpu.push_back(ctl.cpuSeconds);
        ctlKiB.push_back(static_cast<double>(ctl.peakKiB));
        if (raw.status != 0) continue;
        rawWall.push_back(raw.wallSeconds);
        rawCpu.push_back(raw.cpuSeconds);
        rawKiB.push_back(static_cast<double>(raw.peakKiB));
    }
    std::printf("\nStart-up: a read of the 60 network registers as a whole process over Modbus/TCP, %d pairs "
                "taken in turn\n",
                kPairs);
    std::printf("%-24s %22s %22s %22s\n", "", "wall ms", "CPU ms", "peak MiB");
    const auto row = [](const char* who, const std::vector<double>& w, const std::vector<double>& c,
                        const std::vector<double>& k) {
        std::printf("%-24s %22s %22s %22s\n", who, Shown(SpreadOf(w), "%.1f", 1e3).c_str(),
                    Shown(SpreadOf(c), "%.1f", 1e3).c_str(), Shown(SpreadOf(k), "%.1f", 1.0 / 1024).c_str());
    };
    row("rq55ctl read network", ctlWall, ctlCpu, ctlKiB);
    if (rawWall.size() != ctlWall.size()) {
        std::printf("mbpoll                   not measured (not installed or failed)\n");
        return true;
    }
    row("mbpoll", rawWall, rawCpu, rawKiB);
    std::printf("rq55ctl against mbpoll: %.2f times its CPU, %.2f times its wall time (medians)\n",
                Median(ctlCpu) / Median(rawCpu), Median(ctlWall) / Median(rawWall));
    return true;
}
