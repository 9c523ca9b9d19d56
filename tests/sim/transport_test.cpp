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
#include <cerrno>
#include <chrono>
#include <set>

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
    const auto start = Clock::now();
    while (got.size() < size) {
        const int left = timeoutMs - static_cast<int>(msSince(start));
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
        uint8_t chunk[512];
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, size - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), chunk, chunk + n);
        if (times) times->resize(got.size(), msSince(start));
    }
    return got;
}

void sendAll(int fd, const Bytes& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes mbap(uint16_t id, const Bytes& pdu) {
    Bytes frame(6 + pdu.size());
    frame[0] = static_cast<uint8_t>(id >> 8);
    frame[1] = static_cast<uint8_t>(id);
    frame[5] = static_cast<uint8_t>(pdu.size());
    std::copy(pdu.begin(), pdu.end(), frame.begin() + 6);
    return frame;
}

class SimRunning : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int fd : fds) ::close(fd);
    }
    void start(sim::Transport transport, const std::vector<sim::FaultRule>& faults = {}) {
        std::string error;
        ASSERT_TRUE(
            simulator.start({.transport = transport, .modelCode = 59, .moving = false, .seed = 3}, &error))
            << error;
        for (const sim::FaultRule& rule : faults) simulator.addFault(rule);
    }
    // A raw client of the simulator's TCP port, closed when the test ends; with a receive buffer of
    // this size where one is given.
    int connectTcp(int receiveBuffer = 0) {
        const int fd = fds.emplace_back(::socket(AF_INET, SOCK_STREAM, 0));
        if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(simulator.tcpPort());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }
    int openPty() {
        const int fd = fds.emplace_back(::open(simulator.devicePath().c_str(), O_RDWR | O_NOCTTY));
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        return fd;
    }
    sim::Simulator simulator;
    std::vector<int> fds;
};

TEST_F(SimRunning, PtyDropsACorruptFrameAndSurvivesTheProgramReopeningIt) {
    start(sim::Transport::Pty);
    ASSERT_EQ(simulator.devicePath().rfind("/dev/pts/", 0), 0u);
    Bytes stream = withCrc(readPdu(1, 800, 1)), request = withCrc(readPdu(1, 6, 60));
    stream.back() ^= 0x01;
    stream.insert(stream.end(), request.begin(), request.end());
    for (int round = 1; round <= 2; ++round) {
        const int port = openPty();
        sendAll(port, stream);
        const Bytes reply = receive(port, 125, 2000);
        ASSERT_EQ(reply.size(), 125u) << "round " << round;
        EXPECT_TRUE(sim::crcValid(reply.data(), reply.size()));
        EXPECT_EQ(replyFloat(reply, 0), simulator.getFloat(6));
        EXPECT_EQ(simulator.requestCount(), round);
        ::close(port);
        fds.pop_back();
    }
}

// The first request comes in two segments and its reply goes out in three, 60 ms apart; the
// replies after it come without delay.
TEST_F(SimRunning, ModbusTcpAssemblesSegmentsAndSplitsItsReplyAsTold) {
    start(sim::Transport::ModbusTcp,
          {{.kind = sim::FaultRule::Kind::Split, .times = 1, .segments = {3, 4}, .pauseMs = 60}});
    const int client = connectTcp();
    const Bytes request = mbap(0x0102, readPdu(1, 810, 1));
    sendAll(client, Bytes(request.begin(), request.begin() + 4));
    EXPECT_TRUE(receive(client, 1, 50).empty());
    sendAll(client, Bytes(request.begin() + 4, request.end()));
    std::vector<double> times;
    EXPECT_EQ(Hex(receive(client, 11, 2000, &times)), "010200000005010302000f");
    ASSERT_EQ(times.size(), 11u);
    // Three pieces, each arriving whole, at least the pause apart.
    EXPECT_EQ(std::set<double>(times.begin(), times.end()).size(), 3u);
    EXPECT_EQ(times[2], times[0]);
    EXPECT_GE(times[3] - times[2], 40.0);
    EXPECT_GE(times[7] - times[6], 40.0);
    for (uint16_t id = 0; id < 5; ++id) {
        sendAll(client, mbap(id, readPdu(1, 6, 60)));
        ASSERT_EQ(receive(client, 129, 30000).size(), 129u) << "the replies after it come whole";
    }
}

// Clients that pipeline requests and never read are held back once their untaken replies pass the
// bound and dropped when they stay over it; a well-behaved client beside them is answered all the
// while. The bound is the test's own, small, and the flooders take in next to nothing, so the
// verdict does not wait on the system's buffers filling.
TEST_F(SimRunning, ClientsThatNeverReadAreHeldBackThenDroppedAndTheOthersServed) {
    std::string error;
    ASSERT_TRUE(simulator.start({.transport = sim::Transport::ModbusTcp, .modelCode = 59, .moving = false,
                                 .maxUnsentPerClient = 4096, .dropUnreadingClientAfter = 0.2},
                                &error))
        << error;
    Bytes burst;
    for (uint16_t id = 0; id < 200; ++id) {
        const Bytes request = mbap(id, readPdu(1, 6, 60));
        burst.insert(burst.end(), request.begin(), request.end());
    }
    std::vector<int> flooders;
    for (int i = 0; i < 3; ++i) {
        const int fd = connectTcp(2048);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        (void)::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL);
        flooders.push_back(fd);
    }
    const int client = connectTcp();
    const auto started = Clock::now();
    while (simulator.noteCount() < 3 && msSince(started) < 60000) {
        sendAll(client, mbap(7, readPdu(1, 810, 1)));
        ASSERT_EQ(Hex(receive(client, 11, 30000)), "000700000005010302000f");
    }
    EXPECT_EQ(simulator.noteCount(), 3) << "every flooder dropped";
    // A dropped client's connection ends once its unread replies are thrown away.
    for (int fd : flooders) {
        uint8_t drain[65536];
        ssize_t got = 1;
        for (int reads = 0; got != 0 && reads < 10000; ++reads) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 30000) <= 0) break;
            got = ::read(fd, drain, sizeof drain);
            if (got < 0 && errno != EAGAIN) break;
        }
        EXPECT_EQ(got, 0) << "the connection ended";
    }
}

} // namespace
