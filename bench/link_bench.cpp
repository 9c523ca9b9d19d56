#include "bench/link_bench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "device/register_map.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "link/modbus_frame.h"
#include "platform/ui.h"
#include "shell/traffic_monitor.h"
#include "sim/simulator.h"

namespace {

constexpr int kRounds = 6;
constexpr int kPerRound = 50;
constexpr int kWarmUp = 20;
constexpr double kPollSeconds = 5.0;
constexpr int kCpuRuns = 3;
constexpr int kPollIntervalMs = 500;

using Clock = std::chrono::steady_clock;

struct LinkUnderTest {
    const char* name;
    sim::Transport transport;
    int port; // as the program numbers it: COM 5, 99 RTU over TCP, 100 Modbus/TCP
};

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The same read the exchange sends, as it travels on each kind of link.
std::vector<unsigned char> rawRequest(bool modbusTcp) {
    unsigned char pdu[kRequestBufferSize];
    Ulvo_Comando_Lectura(1, 3, 6, 60, pdu);
    if (modbusTcp) {
        std::vector<unsigned char> frame(kMbapHeaderLength + 6);
        BuildMbapHeader(1, 6, frame.data());
        std::copy(pdu, pdu + 6, frame.begin() + kMbapHeaderLength);
        return frame;
    }
    Ulvo_CalculoCRC_2(pdu, 6);
    return {pdu, pdu + 8};
}

bool readExactly(int fd, unsigned char* buffer, int count) {
    int got = 0;
    while (got < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        const ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(count - got));
        if (n <= 0) return false;
        got += static_cast<int>(n);
    }
    return true;
}

int openRawClient(const LinkUnderTest& link, const sim::Simulator& simulator) {
    if (link.transport == sim::Transport::Pty) {
        const int fd = ::open(simulator.devicePath().c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        if (fd < 0 || ::tcgetattr(fd, &raw) != 0) return -1;
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
        return fd;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(simulator.tcpPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// One round of raw reads; false when a reply did not come whole.
bool rawRound(const LinkUnderTest& link, const sim::Simulator& simulator, int count,
              std::vector<double>* samples) {
    const int fd = openRawClient(link, simulator);
    if (fd < 0) return false;
    const bool modbusTcp = link.transport == sim::Transport::ModbusTcp;
    const std::vector<unsigned char> request = rawRequest(modbusTcp);
    const int replyLength = modbusTcp ? kMbapHeaderLength + 3 + 120 : 3 + 120 + 2;
    unsigned char reply[kTcpFrameBufferSize];
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const auto started = Clock::now();
        ok = ::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size()) &&
             readExactly(fd, reply, replyLength);
        if (samples) samples->push_back(microseconds(Clock::now() - started));
    }
    ::close(fd);
    return ok;
}

int openLink(const LinkUnderTest& link, const sim::Simulator& simulator) {
    if (link.transport == sim::Transport::Pty) {
        setenv("RQ55_COM5", simulator.devicePath().c_str(), 1);
        return Ulvo_Abrir_Puerto(link.port, 9600, 8, 0, 1, 0, "");
    }
    return Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, simulator.tcpPort(), "127.0.0.1");
}

int exchangeRead(const LinkUnderTest& link, const sim::Simulator& simulator) {
    const std::string host = link.transport == sim::Transport::Pty ? "" : "127.0.0.1";
    Ulvo_Comando_Lectura(1, 3, 6, 60, g_requestBuffer);
    return Ulvo_Transmitir_Modbus(link.port, g_requestBuffer, 6, g_replyBuffer, 120, 0, "",
                                  simulator.tcpPort(), host);
}

// The link is closed while the raw client runs: two readers on one pseudo-terminal would take
// each other's replies.
bool exchangeRound(const LinkUnderTest& link, const sim::Simulator& simulator, int count,
                   std::vector<double>* samples) {
    if (openLink(link, simulator) < 0) return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const auto started = Clock::now();
        ok = exchangeRead(link, simulator) == kExchangeOk;
        if (samples) samples->push_back(microseconds(Clock::now() - started));
    }
    Ulvo_Cerrar_Puerto(link.port);
    return ok;
}

bool startSimulator(sim::Simulator& simulator, sim::Transport transport) {
    sim::Options options;
    options.transport = transport;
    options.moving = false;
    options.seed = 55;
    std::string error;
    if (simulator.start(options, &error)) return true;
    std::fprintf(stderr, "rq55-bench: the simulator did not start: %s\n", error.c_str());
    return false;
}

// Says which link a read failed on; a measurement prints its row only when none did.
bool readsSucceeded(bool ok, const LinkUnderTest& link) {
    if (!ok) std::fprintf(stderr, "rq55-bench: a read failed on %s\n", link.name);
    return ok;
}

bool measureLatency(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    g_exchangePause = 0;
    std::vector<double> exchange, raw, added;
    bool ok = exchangeRound(link, simulator, kWarmUp, nullptr) && rawRound(link, simulator, kWarmUp, nullptr);
    for (int round = 0; round < kRounds && ok; ++round) {
        std::vector<double> e, r;
        ok = exchangeRound(link, simulator, kPerRound, &e) && rawRound(link, simulator, kPerRound, &r);
        exchange.push_back(Median(e));
        raw.push_back(Median(r));
        added.push_back(Median(e) - Median(r));
    }
    g_exchangePause = 0.15;
    if (!readsSucceeded(ok, link)) return false;
    std::printf("%-18s %18s %18s %18s\n", link.name, Shown(SpreadOf(exchange), "%.0f").c_str(),
                Shown(SpreadOf(raw), "%.0f").c_str(), Shown(SpreadOf(added), "%+.0f").c_str());
    return true;
}

// The monitor as the operator opens and closes it from the menu.
void openMonitor() { RQ55_Monitor_Trafico(0, 0, nullptr, 0); }
void closeMonitor() { RQ55_Trafico_Cerrar(0, 0, EVENT_COMMIT, nullptr, 0, 0); }

// An exchange without a host ends at once with one line in the monitor: how it is filled.
void fillMonitor() {
    for (int i = 0; i < 2 * kTrafficLinesKept && static_cast<int>(TrafficLines().size()) < kTrafficLinesKept;
         ++i)
        Ulvo_Transmitir_Modbus(99, g_requestBuffer, 6, g_replyBuffer, 0, 0, "", 0, "");
}

// Timer ticks are held back during an exchange as in the program, so the monitor's list is
// brought up to date between exchanges.
bool measureMonitor(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    LinkReporter holdTicks;
    holdTicks.exchanging = [](bool underWay) { underWay ? SuspendTimerCallbacks() : ResumeTimerCallbacks(); };
    SetLinkReporter(holdTicks);
    g_exchangePause = 0;
    std::vector<double> closed, opened, full;
    bool ok = exchangeRound(link, simulator, kWarmUp, nullptr);
    for (int round = 0; round < kRounds && ok; ++round) {
        std::vector<double> c, o, f;
        ok = exchangeRound(link, simulator, kPerRound, &c);
        openMonitor();
        ok = ok && exchangeRound(link, simulator, kPerRound, &o);
        fillMonitor();
        ok = ok && exchangeRound(link, simulator, kPerRound, &f);
        closeMonitor();
        closed.push_back(Median(c));
        opened.push_back(Median(o));
        full.push_back(Median(f));
    }
    g_exchangePause = 0.15;
    SetLinkReporter({});
    if (!readsSucceeded(ok, link)) return false;
    std::printf("%-18s %18s %18s %18s\n", link.name, Shown(SpreadOf(closed), "%.0f").c_str(),
                Shown(SpreadOf(opened), "%.0f").c_str(), Shown(SpreadOf(full), "%.0f").c_str());
    return true;
}

// The good case before and after the discard: nothing waits, so it should cost next to nothing.
bool measureDiscard(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    g_exchangePause = 0;
    const ExchangeLimits saved = CurrentExchangeLimits();
    ExchangeLimits without = saved;
    without.discardBeforeRequest = false;
    std::vector<double> before, after, added;
    bool ok = exchangeRound(link, simulator, kWarmUp, nullptr);
    for (int round = 0; round < kRounds && ok; ++round) {
        std::vector<double> b, a;
        SetExchangeLimits(without);
        ok = exchangeRound(link, simulator, kPerRound, &b);
        SetExchangeLimits(saved);
        ok = ok && exchangeRound(link, simulator, kPerRound, &a);
        before.push_back(Median(b));
        after.push_back(Median(a));
        added.push_back(100 * (Median(a) - Median(b)) / Median(b));
    }
    SetExchangeLimits(saved);
    g_exchangePause = 0.15;
    if (!readsSucceeded(ok, link)) return false;
    std::printf("%-18s %18s %18s %22s\n", link.name, Shown(SpreadOf(before), "%.0f").c_str(),
                Shown(SpreadOf(after), "%.0f").c_str(), (Shown(SpreadOf(added), "%+.1f") + " %").c_str());
    return true;
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A view's refresh: a timer tick reads the block (pause included) and the timer goes on; the CPU
// of the process and of its user-interface thread over wall time, in three runs.
bool measureCpu(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    if (openLink(link, simulator) < 0) return false;
    const std::string host = link.transport == sim::Transport::Pty ? "" : "127.0.0.1";
    int reads = 0, failures = 0;
    QTimer tick;
    tick.setInterval(kPollIntervalMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        tick.stop();
        float record[kNetworkParameterCount];
        if (RQ55_Ulvo_Leer_Prametros_Red(link.port, 1, record, "", simulator.tcpPort(), host) == 1)
            ++reads;
        else
            ++failures;
        tick.start();
    });
    std::vector<double> processShare, threadShare;
    for (int run = 0; run < kCpuRuns; ++run) {
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(kPollSeconds * 1000), &loop, &QEventLoop::quit);
        const double process0 = cpuSeconds(RUSAGE_SELF), thread0 = cpuSeconds(RUSAGE_THREAD);
        const auto started = Clock::now();
        tick.start();
        loop.exec();
        tick.stop();
        const double wall = std::chrono::duration<double>(Clock::now() - started).count();
        processShare.push_back((cpuSeconds(RUSAGE_SELF) - process0) / wall);
        threadShare.push_back((cpuSeconds(RUSAGE_THREAD) - thread0) / wall);
    }
    Ulvo_Cerrar_Puerto(link.port);
    std::printf("%-18s %6d reads %3d failed   process %s %%   user-interface thread %s %%\n", link.name, reads,
                failures, Shown(SpreadOf(processShare), "%.2f", 100).c_str(),
                Shown(SpreadOf(threadShare), "%.2f", 100).c_str());
    return failures == 0;
}

const LinkUnderTest kLinks[] = {
    {"pseudo-terminal", sim::Transport::Pty, 5},
    {"RTU over TCP", sim::Transport::RtuOverTcp, 99},
    {"Modbus/TCP", sim::Transport::ModbusTcp, 100},
};

bool eachLink(bool (*measure)(const LinkUnderTest&)) {
    bool ok = true;
    for (const auto& link : kLinks) ok = measure(link) && ok;
    return ok;
}

} // namespace

bool MeasureExchangeLatency() {
    std::printf("60-register read in microseconds, exchange without its 0.15 s pause: the median of %d rounds "
                "of %d reads\n(least-greatest), each round through the program's exchange and a raw client "
                "in turn\n",
                kRounds, kPerRound);
    std::printf("%-18s %18s %18s %18s\n", "link", "exchange", "raw client", "added");
    return eachLink(measureLatency);
}

bool MeasureMonitorCost() {
    std::printf("\nThe same read with the traffic monitor closed, just opened, and holding its %d lines\n",
                kTrafficLinesKept);
    std::printf("%-18s %18s %18s %18s\n", "link", "closed", "open", "full");
    return eachLink(measureMonitor);
}

bool MeasureDiscardCost() {
    std::printf("\nThe same read without and with the discard of what waits on the link before a request\n");
    std::printf("%-18s %18s %18s %22s\n", "link", "without", "with", "added");
    return eachLink(measureDiscard);
}

bool MeasureViewCpu() {
    std::printf("\nCPU while a view reads 60 registers every %.1f s, %d runs of %.0f s (in-process simulator "
                "included in the process figure)\n",
                kPollIntervalMs / 1000.0, kCpuRuns, kPollSeconds);
    return eachLink(measureCpu);
}
