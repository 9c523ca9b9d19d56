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

namespace {

struct Costs {
    std::vector<double> wall, cpu, kib;
    void add(const ProcessCost& c) {
        wall.push_back(c.wallSeconds);
        cpu.push_back(c.cpuSeconds);
        kib.push_back(static_cast<double>(c.peakKiB));
    }
    void print(const char* who) const {
        std::printf("%-24s %22s %22s %22s\n", who, Shown(SpreadOf(wall), "%.1f", 1e3).c_str(),
                    Shown(SpreadOf(cpu), "%.1f", 1e3).c_str(), Shown(SpreadOf(kib), "%.1f", 1.0 / 1024).c_str());
    }
};

} // namespace

// The programs in turn, one of each at a time, so that all see the same machine: rq55ctl, mbpoll,
// and a process that only loads Qt Core (what no program linked to it can start below).
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
    Costs ctl, raw, floor;
    bool rawMeasured = !mbpoll.empty();
    for (int i = 0; i < kPairs + 2; ++i) {
        const ProcessCost c = RunProcess(ctlRead);
        if (c.status != 0) return false;
        const ProcessCost r = rawMeasured ? RunProcess(rawRead) : ProcessCost{};
        const ProcessCost f = RunProcess({RQ55_QT_FLOOR_PATH});
        if (f.status != 0) return false;
        if (i < 2) continue; // the files in the page cache, for all
        rawMeasured = rawMeasured && r.status == 0;
        ctl.add(c);
        raw.add(r);
        floor.add(f);
    }
    std::printf("\nStart-up: a read of the 60 network registers as a whole process over Modbus/TCP, %d times "
                "each, taken in turn\n",
                kPairs);
    std::printf("%-24s %22s %22s %22s\n", "", "wall ms", "CPU ms", "peak MiB");
    ctl.print("rq55ctl read network");
    floor.print("loading Qt Core alone");
    if (!rawMeasured) {
        std::printf("mbpoll                   not measured (not installed or failed)\n");
        return true;
    }
    raw.print("mbpoll");
    std::printf("rq55ctl against mbpoll: %.2f times its CPU, %.2f times its wall time; loading Qt Core alone: "
                "%.2f times mbpoll's CPU (medians)\n",
                Median(ctl.cpu) / Median(raw.cpu), Median(ctl.wall) / Median(raw.wall),
                Median(floor.cpu) / Median(raw.cpu));
    return true;
}
