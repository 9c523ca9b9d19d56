// rq55-bench: what the Modbus link costs on top of the wire.
//
// 1. The median time of a 60-register read through Ulvo_Transmitir_Modbus (without its 0.15 s
//    closing pause) against the in-process simulator, side by side with a raw client doing the
//    same read on the same link in the same run: plain read/write on the pseudo-terminal or
//    socket, nothing else. Over a pseudo-terminal, RTU over TCP and Modbus/TCP.
//    The same read with the traffic monitor closed, freshly opened and holding its 10 000 lines,
//    rounds taken in turn in the same run.
//    The same read without and with the discard of what waits on the link before each request,
//    rounds taken in turn, with the read system calls each exchange makes.
// 2. The CPU the program uses while a view polls a 60-register read every 0.5 s for 10 s, with
//    the real pause, as process CPU seconds over wall seconds (getrusage).
// 3. What misbehaving peers and large inputs cost (robustness.cpp).
// 4. rq55ctl as a whole process: a scan of silent addresses, and a read next to mbpoll (cli_bench.cpp).
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

#include "bench/cli_bench.h"
#include "bench/robustness.h"
#include "bench/trend_bench.h"
#include "device/register_map.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "link/modbus_frame.h"
#include "platform/ui.h"
#include "shell/callbacks.h"
#include "shell/traffic_monitor.h"
#include "sim/simulator.h"

namespace {

constexpr int kRounds = 6;
constexpr int kPerRound = 50;
constexpr int kWarmUp = 20;
constexpr double kPollSeconds = 10.0;
constexpr int kPollIntervalMs = 500;

using Clock = std::chrono::steady_clock;

struct LinkUnderTest {
    const char* name;
    sim::Transport transport;
    int port; // as the program numbers it: COM 5, 99 RTU over TCP, 100 Modbus/TCP
};

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

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

bool measureLatency(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    g_exchangePause = 0;
    std::vector<double> exchange, raw;
    bool ok = exchangeRound(link, simulator, kWarmUp, nullptr) && rawRound(link, simulator, kWarmUp, nullptr);
    for (int round = 0; round < kRounds && ok; ++round)
        ok = exchangeRound(link, simulator, kPerRound, &exchange) &&
             rawRound(link, simulator, kPerRound, &raw);
    g_exchangePause = 0.15;
    if (!ok) {
        std::fprintf(stderr, "rq55-bench: a read failed on %s\n", link.name);
        return false;
    }
    const double e = median(exchange), r = median(raw);
    std::printf("%-18s %10.0f %12.0f %+12.0f\n", link.name, e, r, e - r);
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
        ok = exchangeRound(link, simulator, kPerRound, &closed);
        openMonitor();
        ok = ok && exchangeRound(link, simulator, kPerRound, &opened);
        fillMonitor();
        ok = ok && exchangeRound(link, simulator, kPerRound, &full);
        closeMonitor();
    }
    g_exchangePause = 0.15;
    SetLinkReporter({});
    if (!ok) {
        std::fprintf(stderr, "rq55-bench: a read failed on %s\n", link.name);
        return false;
    }
    const double c = median(closed), o = median(opened), f = median(full);
    std::printf("%-18s %10.0f %10.0f %+8.1f %% %10.0f %+8.1f %%\n", link.name, c, o, 100 * (o - c) / c, f,
                100 * (f - c) / c);
    return true;
}

// Read-type system calls made so far by this thread (the simulator's thread reads too).
long readCalls() {
    std::FILE* io = std::fopen(("/proc/self/task/" + std::to_string(::gettid()) + "/io").c_str(), "r");
    long calls = -1;
    char line[128];
    while (io && std::fgets(line, sizeof line, io))
        if (std::sscanf(line, "syscr: %ld", &calls) == 1) break;
    if (io) std::fclose(io);
    return calls;
}

// The good case before and after the discard: nothing waits, so it should cost next to nothing.
bool measureDiscard(const LinkUnderTest& link) {
    sim::Simulator simulator;
    if (!startSimulator(simulator, link.transport)) return false;
    g_exchangePause = 0;
    const ExchangeLimits saved = CurrentExchangeLimits();
    ExchangeLimits without = saved;
    without.discardBeforeRequest = false;
    std::vector<double> before, after;
    long callsBefore = 0, callsAfter = 0;
    bool ok = exchangeRound(link, simulator, kWarmUp, nullptr);
    for (int round = 0; round < kRounds && ok; ++round) {
        SetExchangeLimits(without);
        long calls = readCalls();
        ok = exchangeRound(link, simulator, kPerRound, &before);
        callsBefore += readCalls() - calls;
        SetExchangeLimits(saved);
        calls = readCalls();
        ok = ok && exchangeRound(link, simulator, kPerRound, &after);
        callsAfter += readCalls() - calls;
    }
    SetExchangeLimits(saved);
    g_exchangePause = 0.15;
    if (!ok) {
        std::fprintf(stderr, "rq55-bench: a read failed on %s\n", link.name);
        return false;
    }
    const double b = median(before), a = median(after), reads = kRounds * kPerRound;
    std::printf("%-18s %10.0f %10.0f %+8.1f %% %12.2f %12.2f\n", link.name, b, a, 100 * (a - b) / b,
                callsBefore / reads, callsAfter / reads);
    return true;
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A view's refresh: a timer tick reads the block (pause included) and the timer goes on.
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
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(kPollSeconds * 1000), &loop, &QEventLoop::quit);
    const double process0 = cpuSeconds(RUSAGE_SELF), thread0 = cpuSeconds(RUSAGE_THREAD);
    const auto started = Clock::now();
    tick.start();
    loop.exec();
    tick.stop();
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    const double process = cpuSeconds(RUSAGE_SELF) - process0, thread = cpuSeconds(RUSAGE_THREAD) - thread0;
    Ulvo_Cerrar_Puerto(link.port);
    std::printf("%-18s %6d reads %3d failed   process %5.2f %%   user-interface thread %5.2f %%\n", link.name,
                reads, failures, 100 * process / wall, 100 * thread / wall);
    return failures == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    InitRunTime(argc, argv);
    RegisterProgramCallbacks();
    WT_InstallSysTrayIcon("trffc_a.ico", "RQ55", nullptr, &icono_comunicaciones_barra_tareas);

    static const LinkUnderTest links[] = {
        {"pseudo-terminal", sim::Transport::Pty, 5},
        {"RTU over TCP", sim::Transport::RtuOverTcp, 99},
        {"Modbus/TCP", sim::Transport::ModbusTcp, 100},
    };
    const auto eachLink = [](bool (*measure)(const LinkUnderTest&)) {
        bool ok = true;
        for (const auto& link : links) ok = measure(link) && ok;
        return ok;
    };
    // Each part by name: `rq55-bench flood trend` runs those two, no name runs them all.
    const std::vector<std::pair<const char*, std::function<bool()>>> parts = {
        {"latency",
         [&] {
             std::printf("60-register read, median of %d, in microseconds (exchange without its 0.15 s pause)\n",
                         kRounds * kPerRound);
             std::printf("%-18s %10s %12s %12s\n", "link", "exchange", "raw client", "difference");
             return eachLink(measureLatency);
         }},
        {"monitor",
         [&] {
             std::printf("\nThe same read with the traffic monitor closed, just opened, and holding its %d lines\n",
                         kTrafficLinesKept);
             std::printf("%-18s %10s %10s %10s %10s %10s\n", "link", "closed", "open", "", "full", "");
             return eachLink(measureMonitor);
         }},
        {"discard",
         [&] {
             std::printf("\nThe same read without and with the discard of what waits on the link before a request\n");
             std::printf("%-18s %10s %10s %10s %12s %12s\n", "link", "without", "with", "", "reads/exch.", "with");
             return eachLink(measureDiscard);
         }},
        {"cpu",
         [&] {
             std::printf("\nCPU while a view reads 60 registers every %.1f s for %.0f s (in-process simulator included in "
                         "the process figure)\n",
                         kPollIntervalMs / 1000.0, kPollSeconds);
             return eachLink(measureCpu);
         }},
        {"cut", MeasureCutShortReply},
        {"language", MeasureLargeLanguageSection},
        {"flood", MeasureSimulatorUnderFlood},
        {"scan", MeasureCliScan},
        {"cli", MeasureCliRead},
        {"serve", MeasureServe},
        {"trend", MeasureTrendRefresh},
        {"soak", MeasureTrendSoak},
    };
    bool ok = true;
    for (const auto& [name, measure] : parts) {
        bool chosen = argc < 2;
        for (int a = 1; a < argc; ++a) chosen = chosen || std::string(argv[a]) == name;
        if (chosen) ok = measure() && ok;
    }
    WT_RemoveSysTrayIcon(icono_comunicaciones_barra_tareas);
    return ok ? 0 : 1;
}
