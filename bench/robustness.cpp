#include "bench/robustness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdlib.h>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "lang/ini.h"
#include "link/exchange.h"
#include "link/modbus_frame.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<unsigned char> mbapRead(uint16_t id, int start, int count) {
    return {static_cast<unsigned char>(id >> 8), static_cast<unsigned char>(id), 0, 0, 0, 6, 1, 3,
            static_cast<unsigned char>(start >> 8), static_cast<unsigned char>(start), 0,
            static_cast<unsigned char>(count)};
}

bool readAll(int fd, size_t size, int timeoutMs) {
    unsigned char buffer[512];
    size_t got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, size - got));
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool MeasureCutShortReply() {
    constexpr int kRuns = 3;
    const struct {
        const char* name;
        sim::Transport transport;
        int port;
    } links[] = {{"RTU over TCP", sim::Transport::RtuOverTcp, 99}, {"Modbus/TCP", sim::Transport::ModbusTcp, 100}};
    std::printf("\nA 60-register reply that stops after 10 bytes: seconds until the exchange gives up, %d times\n",
                kRuns);
    for (const auto& link : links) {
        sim::Simulator simulator;
        sim::Options options;
        options.transport = link.transport;
        options.moving = false;
        std::string error;
        if (!simulator.start(options, &error)) return false;
        sim::FaultRule cut;
        cut.kind = sim::FaultRule::Kind::CutShort;
        cut.keepBytes = 10;
        simulator.addFault(cut);
        std::vector<double> seconds;
        for (int run = 0; run < kRuns; ++run) {
            if (Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, simulator.tcpPort(), "127.0.0.1") < 0) return false;
            Ulvo_Comando_Lectura(1, 3, 6, 60, g_requestBuffer);
            const auto started = Clock::now();
            const int status = Ulvo_Transmitir_Modbus(link.port, g_requestBuffer, 6, g_replyBuffer, 120, 0, "",
                                                      simulator.tcpPort(), "127.0.0.1");
            seconds.push_back(secondsSince(started));
            Ulvo_Cerrar_Puerto(link.port);
            if (status == kExchangeOk) return false;
        }
        std::printf("%-18s %s s (reply wait %s)\n", link.name, Shown(SpreadOf(seconds), "%.2f").c_str(),
                    link.port == 99 ? "15 s" : "10 s");
    }
    return true;
}

namespace {

// The well-behaved client's read of 60 registers, framed for the link: its request, and the
// length of its reply.
struct Read60 {
    std::vector<unsigned char> request;
    size_t replyLength;
};

Read60 read60(bool modbusTcp, uint16_t id) {
    if (modbusTcp) return {mbapRead(id, 6, 60), 9 + 120};
    std::vector<unsigned char> rtu = {1, 3, 0, 6, 0, 60};
    rtu.resize(8);
    Ulvo_CalculoCRC_2(rtu.data(), 6);
    return {rtu, 5 + 120};
}

// One timed read; -1 when it failed.
double timedRead(int fd, bool modbusTcp, uint16_t id) {
    const Read60 r = read60(modbusTcp, id);
    const auto sent = Clock::now();
    if (::send(fd, r.request.data(), r.request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(r.request.size()) ||
        !readAll(fd, r.replyLength, 5000))
        return -1;
    return secondsSince(sent) * 1000;
}

struct Figures {
    std::vector<double> ms;
    int lost = 0;
    double firstAnswerMs = 0; // of a connection made while the run goes on
};

// A well-behaved client reading 60 registers every 0.25 s for `seconds`, while `hostile` does its
// worst; halfway through, a new connection is timed to its first answer.
Figures wellBehaved(uint16_t port, bool modbusTcp, double seconds, const std::function<void()>& hostile) {
    Figures f;
    const int client = connectTo(port);
    if (client < 0) return {{}, 1, 0};
    const auto started = Clock::now();
    bool newTried = false;
    for (uint16_t id = 1; secondsSince(started) < seconds; ++id) {
        const auto tickStart = Clock::now();
        while (secondsSince(tickStart) < 0.25) {
            hostile();
            ::usleep(10000);
        }
        const double ms = timedRead(client, modbusTcp, id);
        if (ms < 0)
            ++f.lost;
        else
            f.ms.push_back(ms);
        if (!newTried && secondsSince(started) > seconds / 2) {
            newTried = true;
            const auto connecting = Clock::now();
            const int fresh = connectTo(port);
            f.firstAnswerMs = fresh >= 0 && timedRead(fresh, modbusTcp, 1) >= 0 ? secondsSince(connecting) * 1000 : -1;
            if (fresh >= 0) ::close(fresh);
        }
    }
    ::close(client);
    std::sort(f.ms.begin(), f.ms.end());
    return f;
}

} // namespace

// 200 hostile connections, a quarter of each kind: connected and silent, sending random bytes,
// sending partial frames, pipelining whole requests and never reading; beside them the
// well-behaved client, timed, and the same client on the quiet simulator, in turn, three times.
// The simulator runs as rq55-sim, a process of its own, whose memory is its own.
bool MeasureSimulatorUnderFlood() {
    constexpr int kRuns = 3;
    std::printf("\nrq55-sim under a flood: a client reading 60 registers every 0.25 s, alone for 3 s and beside 200 "
                "hostile connections for 5 s, in turn, %d times; milliseconds\n",
                kRuns);
    std::printf("%-14s %-8s %16s %16s %16s %6s\n", "link", "", "median", "worst", "new connection", "lost");
    bool ok = true;
    for (const bool modbusTcp : {true, false}) {
        const char* link = modbusTcp ? "Modbus/TCP" : "RTU over TCP";
        SimulatorProcess simulator({modbusTcp ? "--modbus-tcp" : "--rtu-tcp", "0", "--static"});
        if (simulator.port() == 0) return false;
        const uint16_t port = static_cast<uint16_t>(simulator.port());
        std::vector<double> quietMedian, quietWorst, quietNew, floodMedian, floodWorst, floodNew;
        int lost = 0;
        for (int run = 0; run < kRuns; ++run) {
            const Figures quiet = wellBehaved(port, modbusTcp, 3.0, [] {});
            std::vector<int> hostileFds[4];
            for (int i = 0; i < 50; ++i)
                for (std::vector<int>& kind : hostileFds)
                    if (const int fd = connectTo(port); fd >= 0) {
                        ::fcntl(fd, F_SETFL, O_NONBLOCK);
                        kind.push_back(fd);
                    }
            std::vector<unsigned char> burst, junk(64);
            for (uint16_t id = 0; id < 20; ++id) {
                const Read60 r = read60(modbusTcp, id);
                burst.insert(burst.end(), r.request.begin(), r.request.end());
            }
            const std::vector<unsigned char> half(burst.begin(), burst.begin() + 5);
            unsigned seed = 1;
            const auto hostile = [&] {
                for (int fd : hostileFds[1]) {
                    for (auto& b : junk) b = static_cast<unsigned char>(rand_r(&seed));
                    (void)::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
                }
                for (int fd : hostileFds[2]) (void)::send(fd, half.data(), half.size(), MSG_NOSIGNAL);
                for (int fd : hostileFds[3]) (void)::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL);
            };
            const Figures flood = wellBehaved(port, modbusTcp, 5.0, hostile);
            for (const std::vector<int>& kind : hostileFds)
                for (int fd : kind) ::close(fd);
            lost += quiet.lost + flood.lost;
            if (quiet.ms.empty() || flood.ms.empty()) return false;
            quietMedian.push_back(quiet.ms[quiet.ms.size() / 2]);
            quietWorst.push_back(quiet.ms.back());
            quietNew.push_back(quiet.firstAnswerMs);
            floodMedian.push_back(flood.ms[flood.ms.size() / 2]);
            floodWorst.push_back(flood.ms.back());
            floodNew.push_back(flood.firstAnswerMs);
        }
        const auto row = [&](const char* when, const std::vector<double>& m, const std::vector<double>& w,
                             const std::vector<double>& n, int lostReads) {
            std::printf("%-14s %-8s %16s %16s %16s %6d\n", link, when, Shown(SpreadOf(m), "%.2f").c_str(),
                        Shown(SpreadOf(w), "%.2f").c_str(), Shown(SpreadOf(n), "%.2f").c_str(), lostReads);
        };
        row("quiet", quietMedian, quietWorst, quietNew, 0);
        row("flooded", floodMedian, floodWorst, floodNew, lost);
        std::printf("%-14s peak memory of rq55-sim %.1f MiB\n", link, PeakResidentKiB(simulator.pid()) / 1024.0);
        ok = ok && lost == 0;
    }
    return ok;
}

// rq55-sim answering 5 analysers on one link, polled by serve as fast as they answer: its memory
// after each of three minutes.
bool MeasureSimulatorMemory() {
    SimulatorProcess simulator({"--rtu-tcp", "0", "--address", "1,2,3,4,5"});
    if (simulator.port() == 0) return false;
    QProcess serve;
    serve.start(RQ55CTL_PATH, {"serve", "--tcp", QString("127.0.0.1:%1").arg(simulator.port()), "--address", "1-5",
                               "--interval", "0.2", "--pause", "0", "--metrics", QString::number(FreePort())});
    if (!serve.waitForStarted()) return false;
    QThread::sleep(5);
    const long started = ResidentKiB(simulator.pid());
    std::vector<double> grown;
    long last = started;
    for (int minute = 0; minute < 3; ++minute) {
        QThread::sleep(60);
        const long now = ResidentKiB(simulator.pid());
        grown.push_back(static_cast<double>(now - last));
        last = now;
    }
    serve.terminate();
    serve.waitForFinished(30000);
    std::printf("\nrq55-sim with 5 analysers polled back to back by serve for 3 minutes: %ld KiB after 5 s, %ld KiB "
                "at the end;\ngrowth a minute %s KiB\n",
                started, last, Shown(SpreadOf(grown), "%+.0f").c_str());
    return serve.exitCode() == 0;
}

bool MeasureLargeLanguageSection() {
    constexpr int kRuns = 3;
    const std::string path = QDir::tempPath().toStdString() + "/rq55-bench-language.ini";
    {
        std::ofstream file(path);
        file << "[Big]\n";
        for (int i = 0; i < 100000; ++i) file << "Item" << i << " = text " << i << "\n";
    }
    std::vector<double> seconds;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        const auto started = Clock::now();
        IniText ini = Ini_New(0);
        const int read = Ini_ReadFromFile(ini, path);
        int found = 0;
        std::string text;
        for (int i = 0; i < 100000; ++i) found += Ini_GetStringCopy(ini, "Big", "item" + std::to_string(i), text);
        seconds.push_back(secondsSince(started));
        Ini_Dispose(ini);
        ok = ok && read == 0 && found == 100000;
    }
    std::remove(path.c_str());
    std::printf("\nLanguage section of 100 000 items: read and every item looked up in %s s, %d times\n",
                Shown(SpreadOf(seconds), "%.3f").c_str(), kRuns);
    return ok;
}
