#include "bench/serve_bench.h"

#include <signal.h>
#include <sys/resource.h>

#include <QProcess>
#include <QThread>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "device/register_map.h"
#include "platform/system.h"
#include "sim/simulator.h"

namespace {

// A poll reads the serial number, then network, energy and demand: these many registers each.
constexpr int kPollRegisters[] = {kSerialNumberBytes / 2, 2 * kNetworkParameterCount, 2 * kEnergyCount,
                                  2 * kDemandCount};
constexpr int kExchangesPerPoll = static_cast<int>(std::size(kPollRegisters));

// The time one poll's frames take on an RTU line at 19200 baud, 11 bits a character (8E1, or 8N2):
// each request of 8 bytes and reply of 5 and two a register, and the 3.5 characters of silence the
// line keeps before each frame (1.75 ms at this rate and above).
double pollWireSeconds() {
    constexpr double kCharacter = 11.0 / 19200, kSilence = 0.00175;
    double seconds = 0;
    for (int registers : kPollRegisters) seconds += (8 + 5 + 2 * registers) * kCharacter + 2 * kSilence;
    return seconds;
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList linkTo(const sim::Simulator& analysers, int addresses) {
    return {"--tcp", QString("127.0.0.1:%1").arg(analysers.tcpPort()), "--address", QString("1-%1").arg(addresses)};
}

bool startAnalysers(sim::Simulator& analysers, sim::Transport transport, int count) {
    sim::Options options{.transport = transport, .moving = false, .seed = 1};
    for (int a = 2; a <= count; ++a) options.moreAddresses.push_back(a);
    options.keptRequests = 0;
    return analysers.start(options);
}

void stop(QProcess& serve) {
    serve.terminate();
    serve.waitForFinished(30000);
}

} // namespace

// serve and read of the same blocks of 100 analysers without rests: CPU per analyser and round,
// three windows of serve's polls and three runs of read; serve's memory through all of it.
bool MeasureServeCost() {
    constexpr int kAnalysers = 100, kWarmPolls = 1000, kWindowPolls = 5000, kWindows = 3, kReadRounds = 10;
    sim::Simulator analysers;
    if (!startAnalysers(analysers, sim::Transport::ModbusTcp, kAnalysers)) return false;
    const QStringList link = linkTo(analysers, kAnalysers) + QStringList{"--modbus-tcp", "--pause", "0"};

    std::vector<double> read;
    for (int r = 0; r < kWindows; ++r) {
        const double before = childrenCpuSeconds();
        for (const char* block : {"network", "energy", "demand"}) {
            QProcess process;
            process.start(RQ55CTL_PATH, QStringList{"read", block, "--format", "csv", "--watch", "0.2", "--count",
                                                    QString::number(kReadRounds)} + link);
            if (!process.waitForFinished(120000) || process.exitCode() != 0) return false;
        }
        read.push_back((childrenCpuSeconds() - before) / (kAnalysers * kReadRounds));
    }

    const int metrics = FreePort();
    QProcess serve;
    serve.start(RQ55CTL_PATH, QStringList{"serve", "--interval", "0.2", "--metrics", QString::number(metrics)} + link);
    if (!serve.waitForStarted()) return false;
    const int before = analysers.requestCount();
    const auto pollsDone = [&] { return (analysers.requestCount() - before) / kExchangesPerPoll; };
    const auto waitForPolls = [&](int polls) {
        while (pollsDone() < polls && serve.state() == QProcess::Running) QThread::msleep(20);
        return serve.state() == QProcess::Running;
    };
    if (!waitForPolls(kWarmPolls)) return false;
    const long warmKiB = ResidentKiB(static_cast<int>(serve.processId()));
    std::vector<double> perPoll;
    for (int w = 0; w < kWindows; ++w) {
        const int from = pollsDone();
        const double cpu = ProcessCpuSeconds(static_cast<int>(serve.processId()));
        if (!waitForPolls(from + kWindowPolls)) return false;
        perPoll.push_back((ProcessCpuSeconds(static_cast<int>(serve.processId())) - cpu) / (pollsDone() - from));
    }
    const long lastKiB = ResidentKiB(static_cast<int>(serve.processId()));
    const int polls = pollsDone();
    const std::vector<double> durations = SamplesOf(Scrape(metrics), "rq55_poll_duration_seconds");
    stop(serve);
    if (durations.size() != kAnalysers || serve.exitCode() != 0) return false;

    std::printf("\nrq55ctl serve and read of network, energy and demand, %d analysers on one Modbus/TCP link, "
                "--pause 0:\n",
                kAnalysers);
    std::printf("  CPU per analyser and round: serve %s us (%d windows of %d polls), read %s us (%d runs of %d "
                "rounds, one process a block)\n",
                Shown(SpreadOf(perPoll), "%.0f", 1e6).c_str(), kWindows, kWindowPolls,
                Shown(SpreadOf(read), "%.0f", 1e6).c_str(), kWindows, kReadRounds);
    std::printf("  a poll of one analyser (4 exchanges) takes %s us (the analysers of the last round)\n",
                Shown(SpreadOf(durations), "%.0f", 1e6).c_str());
    std::printf("  serve resident after %d polls %ld KiB, after %d polls %ld KiB (%+ld KiB)\n", kWarmPolls, warmKiB,
                polls, lastKiB, lastKiB - warmKiB);
    return true;
}

namespace {

struct Rounds {
    double first = 0;                        // the first round, which also opens the link
    std::vector<double> seconds, exchanging; // each later round's length, and the sum of its polls' lengths
    double worstSpacing = 0;                 // between two polls of address 1, from its first on
    double answeringPoll = 0;                // the last poll of address 1
    double allAsked = 0;                     // when every address had been asked once, from the start
};

// serve's rounds as its endpoint reports them until `count` rounds after the first or `seconds`
// have passed.
Rounds watchRounds(const sim::Simulator& analysers, int addresses, const QStringList& options, int count,
                   double seconds) {
    const int metrics = FreePort();
    QProcess serve;
    serve.start(RQ55CTL_PATH, QStringList{"serve", "--metrics", QString::number(metrics)} +
                                  linkTo(analysers, addresses) + options);
    Rounds rounds;
    if (!serve.waitForStarted()) return rounds;
    double lastRound = -1, lastPoll = -1;
    const double started = Timer();
    while (serve.state() == QProcess::Running && static_cast<int>(rounds.seconds.size()) < count &&
           Timer() - started < seconds) {
        QThread::msleep(20);
        const std::string text = Scrape(metrics);
        const double round = SampleOf(text, "rq55_round_duration_seconds");
        const double poll = SampleOf(text, "rq55_last_poll_timestamp_seconds", "address=\"1\"");
        // The spacing of address 1's polls from its first poll on.
        if (poll > 0 && poll != lastPoll) {
            if (lastPoll > 0) rounds.worstSpacing = std::max(rounds.worstSpacing, poll - lastPoll);
            lastPoll = poll;
        }
        if (rounds.allAsked == 0 && static_cast<int>(SamplesOf(text, "rq55_last_poll_timestamp_seconds").size()) >= addresses)
            rounds.allAsked = Timer() - started;
        if (const double d = SampleOf(text, "rq55_poll_duration_seconds", "address=\"1\""); d > 0) rounds.answeringPoll = d;
        if (round <= 0 || round == lastRound) continue;
        lastRound = round;
        if (rounds.first == 0) {
            rounds.first = round;
            continue;
        }
        rounds.seconds.push_back(round);
        double sum = 0;
        for (double d : SamplesOf(text, "rq55_poll_duration_seconds")) sum += d;
        rounds.exchanging.push_back(sum);
    }
    stop(serve);
    return rounds;
}

} // namespace

bool MeasureServeRounds() {
    constexpr int kRounds = 3;
    const double wire = pollWireSeconds();
    std::printf("\nrq55ctl serve's rounds over RTU frames on TCP (rounds back to back, from the second; %d rounds "
                "each), beside\nthe time the same frames take on a line at 19200 baud (%.0f ms a poll of %d "
                "exchanges)\n",
                kRounds, 1e3 * wire, kExchangesPerPoll);
    std::printf("%-12s %-7s %26s %22s %8s %14s %16s\n", "analysers", "--pause", "round s", "polls alone s",
                "ratio", "wire s", "wire + rests s");
    const struct {
        int analysers, pauseMs;
    } cases[] = {{1, 150}, {10, 150}, {50, 150}, {50, 20}, {50, 0}};
    bool ok = true;
    for (const auto& c : cases) {
        sim::Simulator analysers;
        if (!startAnalysers(analysers, sim::Transport::RtuOverTcp, c.analysers)) return false;
        const Rounds r = watchRounds(analysers, c.analysers,
                                     {"--interval", "0.2", "--pause", QString::number(c.pauseMs)}, kRounds, 600);
        if (r.seconds.size() < kRounds) {
            std::printf("%d analysers, --pause %d: fewer than %d rounds\n", c.analysers, c.pauseMs, kRounds);
            ok = false;
            continue;
        }
        const int exchanges = c.analysers * kExchangesPerPoll;
        std::vector<double> ratio;
        for (size_t i = 0; i < r.seconds.size(); ++i) ratio.push_back(r.seconds[i] / r.exchanging[i]);
        std::printf("%-12d %-7d %26s %22s %8.2f %14.2f %16.2f\n", c.analysers, c.pauseMs,
                    Shown(SpreadOf(r.seconds), "%.3f").c_str(), Shown(SpreadOf(r.exchanging), "%.3f").c_str(),
                    Median(ratio), c.analysers * wire, c.analysers * wire + (exchanges - 1) * c.pauseMs / 1e3);
    }

    // One analyser answers among 47 addresses; each absent one is probed with one attempt of the
    // 1 s reply wait in the time the analyser leaves, less and less often. Before, every absent
    // address took three attempts every round.
    constexpr int kAddresses = 47, kSeconds = 180;
    sim::Simulator one;
    if (!startAnalysers(one, sim::Transport::RtuOverTcp, 1)) return false;
    const Rounds r = watchRounds(one, kAddresses, {"--interval", "5"}, 1000, kSeconds);
    if (r.seconds.size() < kRounds) {
        std::printf("1 answering, %d absent: fewer than %d rounds in %d s\n", kAddresses - 1, kRounds, kSeconds);
        return false;
    }
    std::printf("1 answering, %d absent, --interval 5, for %d s: every address asked once after %.0f s; the first "
                "round %.1f s, the %zu after it %s s;\n  address 1 polled every %.1f s at most from its first poll (with "
                "three attempts at every absent address every round,\n  as before, every round would take %.0f s)\n",
                kAddresses - 1, kSeconds, r.allAsked, r.first, r.seconds.size(), Shown(SpreadOf(r.seconds), "%.2f").c_str(),
                r.worstSpacing, (kAddresses - 1) * 3 * 1.0 + r.answeringPoll);
    return ok;
}
