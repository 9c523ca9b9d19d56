#include "bench/bench_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

Spread SpreadOf(std::vector<double> samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    return {Median(samples), samples.front(), samples.back()};
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

std::string Shown(const Spread& s, const char* format, double scale) {
    char one[64], least[64], most[64];
    std::snprintf(one, sizeof one, format, s.median * scale);
    std::snprintf(least, sizeof least, format, s.least * scale);
    std::snprintf(most, sizeof most, format, s.most * scale);
    return std::string(one) + " (" + least + "-" + most + ")";
}

namespace {

std::vector<char*> argvOf(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

long statusField(int pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return 0;
}

// Starts the program and reads the first line it prints (up to its end of output); its pid, or -1
// when it could not be started. Its stderr goes to /dev/null where asked.
pid_t startReadingFirstLine(const std::vector<std::string>& argv, bool quiet, std::string& line) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args = argvOf(argv);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char c = 0;
    while (spawned == 0 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    return spawned == 0 ? pid : -1;
}

} // namespace

ProcessCost RunProcess(const std::vector<std::string>& argv) {
    ProcessCost cost;
    std::vector<std::string> launched = {RQ55_LAUNCH_PATH};
    launched.insert(launched.end(), argv.begin(), argv.end());
    std::string line;
    const pid_t pid = startReadingFirstLine(launched, false, line);
    if (pid < 0 || ::waitpid(pid, nullptr, 0) != pid ||
        std::sscanf(line.c_str(), "%lf %lf %ld %d", &cost.wallSeconds, &cost.cpuSeconds, &cost.peakKiB, &cost.status) != 4)
        cost.status = -1;
    return cost;
}

long ResidentKiB(int pid) { return statusField(pid, "VmRSS"); }
long PeakResidentKiB(int pid) { return statusField(pid, "VmHWM"); }

double ProcessCpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    if (line.empty()) return 0;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atof(field.c_str()); // utime and stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {RQ55SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    // "RQ55 simulator ready: rtu-tcp 127.0.0.1:PORT address 1 model 57"
    std::string line;
    const pid_t pid = startReadingFirstLine(argv, true, line);
    if (pid < 0) return;
    pid_ = pid;
    if (const size_t colon = line.find("127.0.0.1:"); colon != std::string::npos)
        port_ = std::atoi(line.c_str() + colon + 10);
    // "RQ55 simulator ready: pty /dev/pts/7 address 1 model 57"
    if (const size_t pty = line.find(" pty "); pty != std::string::npos)
        device_ = line.substr(pty + 5, line.find(' ', pty + 5) - pty - 5);
}

SimulatorProcess::~SimulatorProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

std::string Scrape(int port) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/metrics").arg(port))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const std::string text = reply->isFinished() ? reply->readAll().toStdString() : std::string();
    reply->deleteLater();
    return text;
}

namespace {

// Each sample line of the family: its labels and its value.
template <typename Each>
void eachSample(const std::string& exposition, const std::string& family, Each each) {
    std::istringstream lines(exposition);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(family, 0) != 0 || line.size() <= family.size()) continue;
        const char next = line[family.size()];
        if (next != '{' && next != ' ') continue;
        const size_t space = line.rfind(' ');
        each(line.substr(family.size(), space - family.size()), std::atof(line.c_str() + space + 1));
    }
}

} // namespace

double SampleOf(const std::string& exposition, const std::string& family, const std::string& labels) {
    double found = -1;
    bool done = false;
    eachSample(exposition, family, [&](const std::string& l, double v) {
        if (!done && l.find(labels) != std::string::npos) {
            found = v;
            done = true;
        }
    });
    return found;
}

std::vector<double> SamplesOf(const std::string& exposition, const std::string& family) {
    std::vector<double> out;
    eachSample(exposition, family, [&](const std::string&, double v) { out.push_back(v); });
    return out;
}
