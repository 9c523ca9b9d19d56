#include "bench/robustness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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
    const struct {
        const char* name;
        sim::Transport transport;
        int port;
    } links[] = {{"RTU over TCP", sim::Transport::RtuOverTcp, 99}, {"Modbus/TCP", sim::Transport::ModbusTcp, 100}};
    std::printf("\nA 60-register reply that stops after 10 bytes: time until the exchange gives up\n");
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
        if (Ulvo_Abrir_Puerto(link.port, 0, 0, 0, 0, simulator.tcpPort(), "127.0.0.1") < 0) return false;
        Ulvo_Comando_Lectura(1, 3, 6, 60, g_requestBuffer);
        const auto started = Clock::now();
        const int status = Ulvo_Transmitir_Modbus(link.port, g_requestBuffer, 6, g_replyBuffer, 120, 0, "",
                                                  simulator.tcpPort(), "127.0.0.1");
        const double seconds = secondsSince(started);
        Ulvo_Cerrar_Puerto(link.port);
        std::printf("%-18s status %d after %.2f s (reply wait %s)\n", link.name, status, seconds,
                    link.port == 99 ? "15 s" : "10 s");
    }
    return true;
}

// 200 connections for 10 s: 50 pipeline bursts of reads and never read a reply, 149 stay
// connected and quiet, one reads 10 registers in turn and is timed.
bool MeasureSimulatorUnderFlood() {
    sim::Simulator simulator;
    sim::Options options;
    options.transport = sim::Transport::ModbusTcp;
    options.moving = false;
    std::string error;
    if (!simulator.start(options, &error)) return false;
    std::vector<unsigned char> burst;
    for (uint16_t id = 0; id < 20; ++id) {
        const auto request = mbapRead(id, 0, 125);
        burst.insert(burst.end(), request.begin(), request.end());
    }
    std::vector<int> flooders, quiet;
    for (int i = 0; i < 50; ++i) {
        const int fd = connectTo(simulator.tcpPort());
        if (fd >= 0) ::fcntl(fd, F_SETFL, O_NONBLOCK), flooders.push_back(fd);
    }
    for (int i = 0; i < 149; ++i)
        if (const int fd = connectTo(simulator.tcpPort()); fd >= 0) quiet.push_back(fd);
    const int client = connectTo(simulator.tcpPort());
    if (client < 0) return false;

    std::vector<double> latencies;
    int lost = 0;
    const auto started = Clock::now();
    for (uint16_t id = 1; secondsSince(started) < 10.0; ++id) {
        for (int fd : flooders) (void)::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL);
        const auto request = mbapRead(id, 810, 10);
        const auto sent = Clock::now();
        if (::send(client, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()) ||
            !readAll(client, 9 + 20, 2000)) {
            ++lost;
            continue;
        }
        latencies.push_back(secondsSince(sent) * 1000);
    }
    for (int fd : flooders) ::close(fd);
    for (int fd : quiet) ::close(fd);
    ::close(client);
    std::sort(latencies.begin(), latencies.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\nSimulator under a flood (200 connections for 10 s, 50 pipelining and never reading)\n");
    std::printf("well-behaved client: %zu replies, %d lost, median %.2f ms, worst %.2f ms; clients dropped %d; "
                "peak memory of the process %ld MiB\n",
                latencies.size(), lost, latencies.empty() ? 0 : latencies[latencies.size() / 2],
                latencies.empty() ? 0 : latencies.back(), simulator.noteCount(), usage.ru_maxrss / 1024);
    return lost == 0;
}

bool MeasureLargeLanguageSection() {
    const std::string path = QDir::tempPath().toStdString() + "/rq55-bench-language.ini";
    {
        std::ofstream file(path);
        file << "[Big]\n";
        for (int i = 0; i < 100000; ++i) file << "Item" << i << " = text " << i << "\n";
    }
    const auto started = Clock::now();
    IniText ini = Ini_New(0);
    const int read = Ini_ReadFromFile(ini, path);
    int found = 0;
    std::string text;
    for (int i = 0; i < 100000; ++i) found += Ini_GetStringCopy(ini, "Big", "item" + std::to_string(i), text);
    const double seconds = secondsSince(started);
    Ini_Dispose(ini);
    std::remove(path.c_str());
    std::printf("\nLanguage section of 100 000 items: read and every item looked up in %.3f s\n", seconds);
    return read == 0 && found == 100000;
}
