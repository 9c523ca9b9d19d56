// The simulator end to end, driven by raw clients over a pseudo-terminal and loopback TCP.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "frames.h"
#include "sim/simulator.h"

using namespace simtest;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Reads until `size` bytes have arrived or `timeoutMs` has passed; `times` gets each byte's arrival.
Bytes receive(int fd, size_t size, int timeoutMs, std::vector<double>* times = nullptr) {
    Bytes got;
    auto start = Clock::now();
    while (got.size() < size) {
        int left = timeoutMs - static_cast<int>(msSince(start));
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
        uint8_t chunk[512];
        ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, size - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), chunk, chunk + n);
        if (times) times->resize(got.size(), msSince(start));
    }
    return got;
}

void sendAll(int fd, const Bytes& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

int connectTo(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
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

int openRaw(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

Bytes mbap(uint16_t id, const Bytes& pdu) {
    Bytes frame = {static_cast<uint8_t>(id >> 8),   static_cast<uint8_t>(id), 0, 0, 0,
                   static_cast<uint8_t>(pdu.size())};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

class SimRunning : public ::testing::Test {
protected:
    void start(sim::Transport transport) {
        sim::Options options;
        options.transport = transport;
        options.moving = false;
        options.seed = 3;
        options.modelCode = 59;
        std::string error;
        ASSERT_TRUE(simulator.start(options, &error)) << error;
    }
    sim::Simulator simulator;
};

TEST_F(SimRunning, PtyAnswersAndSurvivesTheProgramReopeningIt) {
    start(sim::Transport::Pty);
    ASSERT_EQ(simulator.devicePath().rfind("/dev/pts/", 0), 0u);
    for (int round = 0; round < 2; ++round) {
        Fd port(openRaw(simulator.devicePath()));
        ASSERT_GE(port.fd, 0);
        sendAll(port.fd, withCrc(readPdu(1, 6, 60)));
        Bytes reply = receive(port.fd, 125, 2000);
        ASSERT_EQ(reply.size(), 125u) << "round " << round;
        EXPECT_TRUE(sim::crcValid(reply.data(), reply.size()));
        EXPECT_EQ(replyFloat(reply, 0), simulator.getFloat(6));
    }
}

TEST_F(SimRunning, PtyDropsACorruptFrameAndAnswersTheNextOne) {
    start(sim::Transport::Pty);
    Fd port(openRaw(simulator.devicePath()));
    Bytes corrupt = withCrc(readPdu(1, 800, 1));
    corrupt.back() ^= 0x01;
    sendAll(port.fd, corrupt);
    EXPECT_TRUE(receive(port.fd, 1, 100).empty());
    sendAll(port.fd, withCrc(readPdu(1, 800, 1)));
    EXPECT_EQ(receive(port.fd, 7, 2000), withCrc({1, 3, 2, 0, 1}));
    EXPECT_EQ(simulator.requestCount(), 1);
}

TEST_F(SimRunning, RtuOverTcpAnswersEachClientOnItsOwnConnection) {
    start(sim::Transport::RtuOverTcp);
    // The first client's reply is held back; the second must not wait for it.
    sim::FaultRule late;
    late.kind = sim::FaultRule::Kind::Late;
    late.delayMs = 400;
    late.start = 6;
    late.times = 1;
    simulator.addFault(late);
    Fd a(connectTo(simulator.tcpPort())), b(connectTo(simulator.tcpPort()));
    ASSERT_GE(a.fd, 0);
    ASSERT_GE(b.fd, 0);
    auto sent = Clock::now();
    sendAll(a.fd, withCrc(readPdu(1, 6, 2)));
    sendAll(b.fd, withCrc(readPdu(1, 811, 11)));
    Bytes second = receive(b.fd, 27, 2000);
    double secondMs = msSince(sent);
    Bytes first = receive(a.fd, 9, 2000);
    double firstMs = msSince(sent);
    EXPECT_EQ(std::string(second.begin() + 19, second.begin() + 25), "AB1234");
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(replyFloat(first, 0), simulator.getFloat(6));
    EXPECT_LT(secondMs, 300.0);
    EXPECT_GE(firstMs, 390.0);
    std::vector<sim::ReceivedRequest> log = simulator.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].start + log[1].start, 6 + 811); // the two connections in either order
    EXPECT_TRUE(log[0].answered && log[1].answered);
}

TEST_F(SimRunning, ModbusTcpAssemblesARequestSentInTwoSegments) {
    start(sim::Transport::ModbusTcp);
    Fd client(connectTo(simulator.tcpPort()));
    Bytes request = mbap(0x0102, readPdu(1, 810, 1));
    sendAll(client.fd, Bytes(request.begin(), request.begin() + 4));
    EXPECT_TRUE(receive(client.fd, 1, 50).empty());
    sendAll(client.fd, Bytes(request.begin() + 4, request.end()));
    EXPECT_EQ(receive(client.fd, 11, 2000), (Bytes{1, 2, 0, 0, 0, 5, 1, 3, 2, 0, 15}));
}

TEST_F(SimRunning, SplitReplyArrivesInPiecesWithPauses) {
    start(sim::Transport::ModbusTcp);
    sim::FaultRule split;
    split.kind = sim::FaultRule::Kind::Split;
    split.segments = {3, 4};
    split.pauseMs = 60;
    simulator.addFault(split);
    Fd client(connectTo(simulator.tcpPort()));
    sendAll(client.fd, mbap(9, readPdu(1, 800, 2)));
    std::vector<double> times;
    Bytes reply = receive(client.fd, 13, 2000, &times);
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply[1], 9);
    EXPECT_GE(times[3] - times[2], 40.0);
    EXPECT_GE(times[7] - times[6], 40.0);
    EXPECT_LT(times[2] - times[0], 20.0);
}

TEST_F(SimRunning, DroppedConnectionsSeeTheServerClose) {
    start(sim::Transport::RtuOverTcp);
    Fd client(connectTo(simulator.tcpPort()));
    sendAll(client.fd, withCrc(readPdu(1, 800, 1)));
    ASSERT_EQ(receive(client.fd, 7, 2000).size(), 7u);
    simulator.dropConnections();
    pollfd p{client.fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    uint8_t byte;
    EXPECT_EQ(::read(client.fd, &byte, 1), 0);
    // The server itself goes on listening.
    Fd again(connectTo(simulator.tcpPort()));
    sendAll(again.fd, withCrc(readPdu(1, 800, 1)));
    EXPECT_EQ(receive(again.fd, 7, 2000).size(), 7u);
}

TEST_F(SimRunning, AnswersWithoutDelay) {
    start(sim::Transport::ModbusTcp);
    Fd client(connectTo(simulator.tcpPort()));
    std::vector<double> rounds;
    for (uint16_t id = 0; id < 100; ++id) {
        auto sent = Clock::now();
        sendAll(client.fd, mbap(id, readPdu(1, 6, 60)));
        ASSERT_EQ(receive(client.fd, 129, 2000).size(), 129u);
        rounds.push_back(msSince(sent));
    }
    std::nth_element(rounds.begin(), rounds.begin() + 50, rounds.end());
    // Generous for a loaded machine, yet far below a coalescing or polling delay.
    EXPECT_LT(rounds[50], 10.0);
}

} // namespace
