// What every part of the benchmark shares: the figures of repeated measurements, a child process
// timed to its end, the simulator as a process of its own, and a scrape of serve's endpoint.
#pragma once

#include <string>
#include <vector>

// The median of repeated measurements and the least and greatest of them.
struct Spread {
    double median = 0, least = 0, most = 0;
};
Spread SpreadOf(std::vector<double> samples);
double Median(std::vector<double> samples);

// "59 (57-61)": each number printed with `format` after multiplying it by `scale`.
std::string Shown(const Spread& spread, const char* format, double scale = 1);

// A program run to its end with its output thrown away: its wall and CPU (user and system) seconds,
// its peak resident memory, and its exit status (-1 when it could not be run or was killed).
struct ProcessCost {
    double wallSeconds = 0, cpuSeconds = 0;
    long peakKiB = 0;
    int status = -1;
};
ProcessCost RunProcess(const std::vector<std::string>& argv);

// The resident and the peak resident memory of a running process, in KiB (0 when it is gone).
long ResidentKiB(int pid);
long PeakResidentKiB(int pid);
// User and system CPU seconds of a running process so far.
double ProcessCpuSeconds(int pid);

// rq55-sim as its own process, started with `args` (its transport on port 0) and stopped when this
// goes; port is 0 when it did not start.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const std::vector<std::string>& args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    int port() const { return port_; }
    const std::string& device() const { return device_; } // with --pty: its pseudo-terminal
    int pid() const { return pid_; }

  private:
    int pid_ = -1, port_ = 0;
    std::string device_;
};

// A loopback port free at the moment of asking.
int FreePort();
// GET /metrics of serve on the loopback port; "" when it did not answer.
std::string Scrape(int port);
// The value of the first sample of `family` whose labels hold `labels` ("" for any), or -1.
double SampleOf(const std::string& exposition, const std::string& family, const std::string& labels = "");
// The values of every sample of `family`.
std::vector<double> SamplesOf(const std::string& exposition, const std::string& family);
