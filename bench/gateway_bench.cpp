#include "bench/gateway_bench.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/system.h"

namespace {

// A Modbus/TCP master reading the network block (registers 6-65), each reply checked for its
// transaction and length.
class Master {
  public:
    explicit Master(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval wait{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) fd_ = (::close(fd_), -1);
    }
    ~Master() {
        if (fd_ >= 0) ::close(fd_);
    }
    Master(const Master&) = delete;
    Master& operator=(const Master&) = delete;

    bool read() {
        ++id_;
        const unsigned char request[] = {static_cast<unsigned char>(id_ >> 8), static_cast<unsigned char>(id_), 0, 0, 0, 6, 1, 3, 0, 6, 0, 60};
        if (fd_ < 0 || ::send(fd_, request, sizeof request, MSG_NOSIGNAL) != sizeof request) return false;
        unsigned char reply[9 + 120];
        size_t got = 0;
        while (got < sizeof reply) {
            const ssize_t n = ::recv(fd_, reply + got, sizeof reply - got, 0);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
            if (got >= 9 && reply[7] != 3) return false; // an exception
        }
        return (reply[0] << 8 | reply[1]) == id_;
    }

  private:
    int fd_ = -1;
    uint16_t id_ = 0;
};

// Seconds of each of `count` reads through the port; empty when one failed.
std::vector<double> readTimes(int port, int count) {
    Master master(port);
    std::vector<double> times;
    for (int n = 0; n < count; ++n) {
        const double started = Timer();
        if (!master.read()) return {};
        times.push_back(Timer() - started);
    }
    return times;
}

bool accepts(int port) {
    for (int n = 0; n < 100; ++n, QThread::msleep(100))
        if (Master(port).read()) return true;
    return false;
}

// `clients` masters reading through the port until this goes.
class BusyClients {
  public:
    BusyClients(int port, int clients) {
        for (int c = 0; c < clients; ++c)
            threads_.emplace_back([this, port] {
                Master m(port);
                while (!stop_ && m.read()) ++reads_;
            });
    }
    ~BusyClients() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }
    long reads() const { return reads_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<long> reads_{0};
    std::vector<std::thread> threads_;
};

// Reads of the network block through a gateway in front of one simulated analyser on a
// pseudo-terminal, by 1, 5 and 20 masters at once, each as fast as it is answered, for `seconds`:
// how many a second they all get, and the median read.
struct Throughput {
    double perSecond = 0;
    Spread read;
};
Throughput throughput(int port, int clients, double seconds) {
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::vector<double> times;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            Master m(port);
            for (Clock::time_point started = Clock::now(); started < end && m.read(); started = Clock::now()) {
                std::lock_guard lock(mutex);
                times.push_back(std::chrono::duration<double>(Clock::now() - started).count());
            }
        });
    for (std::thread& t : threads) t.join();
    return {times.size() / seconds, SpreadOf(times)};
}

// serve's gateway with its reads answered from its polls (--gateway-fresh 1, the default) and
// without (0), and pymodbus' forwarder, each in turn on the same serial line.
bool measureOnASerialLine() {
    constexpr double kSeconds = 5;
    const SimulatorProcess analyser({"--pty", "--static"});
    if (analyser.device().empty()) return false;
    std::printf("\nReads of the network block through a gateway in front of a pseudo-terminal (RTU frames, without a "
                "line's wire time), every master reading as fast as it is answered for %g s; reads a second, and the "
                "median read:\n",
                kSeconds);
    std::printf("  | masters | serve, reads from its polls | serve, every read on the line | pymodbus' forwarder |\n");
    std::printf("  | --- | --- | --- | --- |\n");
    const int clients[] = {1, 5, 20};
    std::vector<std::vector<Throughput>> columns;
    for (const char* fresh : {"1", "0", ""}) {
        const int port = FreePort(), metrics = FreePort();
        QProcess gateway;
        if (*fresh)
            gateway.start(RQ55CTL_PATH, {"serve", "--serial", QString::fromStdString(analyser.device()), "--pause", "0",
                                         "--interval", "1", "--metrics", QString::number(metrics),
                                         "--gateway-modbus-tcp", QString::number(port), "--gateway-fresh", fresh});
        else
            gateway.start("/usr/bin/python3", {RQ55_SOURCE_DIR "/bench/pymodbus_forwarder.py",
                                               QString::fromStdString(analyser.device()), QString::number(port)});
        if (!accepts(port)) return false;
        columns.emplace_back();
        for (int n : clients) columns.back().push_back(throughput(port, n, kSeconds));
        gateway.terminate();
        gateway.waitForFinished(30000);
    }
    for (size_t row = 0; row < std::size(clients); ++row) {
        std::printf("  | %d |", clients[row]);
        for (const auto& column : columns)
            std::printf(" %.0f a second, %s ms |", column[row].perSecond, Shown(column[row].read, "%.1f", 1e3).c_str());
        std::printf("\n");
    }
    return true;
}

} // namespace

bool MeasureGateway() {
    constexpr int kReads = 300, kBusyReads = 60, kRoundSamples = 10;
    const SimulatorProcess analyser({"--modbus-tcp", "0", "--static"});
    if (analyser.port() == 0) return false;
    const int gateway = FreePort(), metrics = FreePort(), forwarder = FreePort();
    QProcess serve, python;
    serve.start(RQ55CTL_PATH, {"serve", "--tcp", QString("127.0.0.1:%1").arg(analyser.port()), "--modbus-tcp",
                               "--pause", "0", "--interval", "1", "--metrics", QString::number(metrics),
                               "--gateway-modbus-tcp", QString::number(gateway)});
    python.start("/usr/bin/python3", {RQ55_SOURCE_DIR "/bench/pymodbus_forwarder.py", QString::number(analyser.port()),
                                      QString::number(forwarder)});
    if (!accepts(gateway) || !accepts(forwarder)) return false;

    const Spread direct = SpreadOf(readTimes(analyser.port(), kReads));
    const Spread throughServe = SpreadOf(readTimes(gateway, kReads));
    const Spread throughPython = SpreadOf(readTimes(forwarder, kReads));
    std::printf("\nA read of the network block (60 registers) over Modbus/TCP, %d reads, --pause 0:\n", kReads);
    std::printf("  direct %s us; through rq55ctl serve's gateway %s us (+%.0f); through pymodbus' forwarder %s us "
                "(+%.0f)\n",
                Shown(direct, "%.0f", 1e6).c_str(), Shown(throughServe, "%.0f", 1e6).c_str(),
                (throughServe.median - direct.median) * 1e6, Shown(throughPython, "%.0f", 1e6).c_str(),
                (throughPython.median - direct.median) * 1e6);
    std::printf("  | busy clients | serve's round | a read through serve | through pymodbus |\n");
    std::printf("  | --- | --- | --- | --- |\n");
    for (int clients : {0, 1, 5}) {
        std::vector<double> rounds;
        Spread serveRead, pythonRead;
        {
            BusyClients busy(gateway, clients);
            for (int n = 0; n < kRoundSamples; ++n, QThread::msleep(1000))
                rounds.push_back(SampleOf(Scrape(metrics), "rq55_round_duration_seconds"));
            serveRead = SpreadOf(readTimes(gateway, kBusyReads));
        }
        {
            BusyClients busy(forwarder, clients);
            QThread::msleep(500);
            pythonRead = SpreadOf(readTimes(forwarder, kBusyReads));
        }
        std::printf("  | %d | %s ms | %s ms | %s ms |\n", clients, Shown(SpreadOf(rounds), "%.2f", 1e3).c_str(),
                    Shown(serveRead, "%.2f", 1e3).c_str(), Shown(pythonRead, "%.2f", 1e3).c_str());
    }
    serve.terminate();
    python.kill();
    serve.waitForFinished(30000);
    python.waitForFinished(10000);
    return measureOnASerialLine();
}
