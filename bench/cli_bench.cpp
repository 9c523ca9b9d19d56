#include "bench/cli_bench.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "device/scan.h"
#include "platform/system.h"
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

// The resident set of a process, in KiB (0 when it is gone).
long residentKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

QString scrape(int port) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/metrics").arg(port))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return QString::fromUtf8(reply->readAll());
}

// User and system CPU seconds of a running process, and of this process's finished children.
double cpuSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atof(field.c_str()); // utime and stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
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

bool MeasureServe() {
    constexpr int kAnalysers = 100, kFirst = 1000, kLast = 20000, kReadRounds = 10;
    sim::Options options{.transport = sim::Transport::ModbusTcp, .moving = false, .seed = 1};
    for (int a = 2; a <= kAnalysers; ++a) options.moreAddresses.push_back(a);
    sim::Simulator analysers;
    if (!analysers.start(options)) return false;
    const QStringList link = {"--tcp", QString("127.0.0.1:%1").arg(analysers.tcpPort()), "--modbus-tcp", "--address",
                              QString("1-%1").arg(kAnalysers)};
    // Both without the analyser's rest, which would otherwise be most of the time.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("RQ55_BENCH_ANALYSER_REST", "0");

    // read: each block of every analyser, round after round, one process per block.
    const double readCpu = childrenCpuSeconds();
    for (const char* block : {"network", "energy", "demand"}) {
        QProcess read;
        read.setProcessEnvironment(environment);
        read.start(RQ55CTL_PATH, QStringList{"read", block, "--format", "csv", "--watch", "0.2", "--count",
                                             QString::number(kReadRounds)} + link);
        if (!read.waitForFinished(120000) || read.exitCode() != 0) return false;
    }
    const double readPerAnalyser = (childrenCpuSeconds() - readCpu) / (kAnalysers * kReadRounds);

    // serve: the same blocks of the same analysers, rounds back to back.
    const int metrics = freePort();
    QProcess serve;
    serve.setProcessEnvironment(environment);
    serve.start(RQ55CTL_PATH, QStringList{"serve", "--interval", "0.2", "--metrics", QString::number(metrics)} + link);
    if (!serve.waitForStarted()) return false;
    // Each poll reads the three blocks; the first of each analyser also its serial number.
    const int before = analysers.requestCount();
    const auto pollsDone = [&] { return (analysers.requestCount() - before - kAnalysers) / 3; };
    const auto waitForPolls = [&](int polls) {
        while (pollsDone() < polls && serve.state() == QProcess::Running) QThread::msleep(20);
    };
    waitForPolls(kFirst);
    const long firstKiB = residentKiB(serve.processId());
    const double firstCpu = cpuSeconds(serve.processId()), started = Timer();
    waitForPolls(kLast);
    const long lastKiB = residentKiB(serve.processId());
    const double servePerAnalyser = (cpuSeconds(serve.processId()) - firstCpu) / (pollsDone() - kFirst);
    const double seconds = Timer() - started;
    const QString text = scrape(metrics);
    serve.terminate();
    serve.waitForFinished(30000);
    std::vector<double> polls;
    const QRegularExpression duration(R"(^rq55_poll_duration_seconds\{address="\d+"\} (\S+)$)",
                                      QRegularExpression::MultilineOption);
    for (auto m = duration.globalMatch(text); m.hasNext();) polls.push_back(m.next().captured(1).toDouble());
    if (polls.size() != kAnalysers || firstKiB == 0 || lastKiB == 0 || serve.exitCode() != 0) return false;

    std::printf("\nrq55ctl serve and read of network, energy and demand, %d analysers on one Modbus/TCP link,\n"
                "without the analyser's rest:\n",
                kAnalysers);
    std::printf("  CPU per analyser and round: serve %.0f us, read %.0f us (%d rounds, one process a block)\n",
                1e6 * servePerAnalyser, 1e6 * readPerAnalyser, kReadRounds);
    std::printf("  a poll of one analyser by serve takes %.0f us (median of a round)\n", 1e6 * medianOf(polls));
    std::printf("  serve resident after %d polls %ld KiB, after %d polls %ld KiB (%+ld KiB; %.0f s between)\n", kFirst,
                firstKiB, kLast, lastKiB, lastKiB - firstKiB, seconds);
    return true;
}
