// Serial ports, the TCP client, the settings store and time formatting.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"
#include "platform/testing.h"
#include "test_support.h"

namespace {

// A pseudo-terminal whose far side the test drives directly.
struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        path = name;
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
};

TEST(Settings, ValuesPersistInTheNamedFile) {
    testsupport::TempDir dir;
    const std::string previous = std::getenv("RQ55_SETTINGS");
    setenv("RQ55_SETTINGS", dir.file("settings.ini").c_str(), 1);
    std::string value;
    EXPECT_LT(RegReadString(REGKEY_HKLM, "SOFTWARE\\RQ55\\Language", "Language", value), 0);
    for (const char* written : {"2", ""}) {
        EXPECT_EQ(RegWriteString(REGKEY_HKLM, "SOFTWARE\\RQ55\\Language", "Language", written), 0);
        EXPECT_EQ(RegReadString(REGKEY_HKLM, "SOFTWARE\\RQ55\\Language", "Language", value), 0);
        EXPECT_EQ(value, written);
    }
    setenv("RQ55_SETTINGS", previous.c_str(), 1);
    EXPECT_LT(RegReadString(REGKEY_HKLM, "SOFTWARE\\RQ55\\Language", "Language", value), 0);
}

TEST(Serial, ComNumbersResolveThroughTheEnvironmentAndErrorsNameTheDevice) {
    setenv("RQ55_COM7", "/dev/pts/77", 1);
    EXPECT_EQ(ResolveComDevice(7), "/dev/pts/77");
    unsetenv("RQ55_COM7");
    EXPECT_EQ(ResolveComDevice(7), "/dev/ttyS6");

    setenv("RQ55_COM9", "/dev/rq55-no-such-device", 1);
    const int r = OpenComConfig(9, "", 19200, 0, 8, 1, 4096, 4096);
    unsetenv("RQ55_COM9");
    ASSERT_LT(r, 0);
    const std::string text = GetRS232ErrorString(r);
    EXPECT_NE(text.find("COM9"), std::string::npos) << text;
    EXPECT_NE(text.find("/dev/rq55-no-such-device"), std::string::npos) << text;
    EXPECT_EQ(ComWrt(9, reinterpret_cast<const unsigned char*>("x"), 1), kRS_PortNotOpen);
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
}

// The reply wait and the discard of waiting bytes are the exchange's, tested over a pseudo-terminal
// with the simulator.
TEST(Serial, BytesFlowOnAPseudoTerminalThoughItTakesNoParity) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    ASSERT_EQ(OpenComConfig(5, pty.path, 19200, 2, 8, 1, 4096, 4096), 0);
    const unsigned char request[] = {1, 3, 0, 6, 0, 60};
    EXPECT_EQ(ComWrt(5, request, 6), 6);
    unsigned char seen[6] = {};
    ASSERT_EQ(read(pty.master, seen, 6), 6);
    EXPECT_EQ(std::string(seen, seen + 6), std::string(request, request + 6));
    const unsigned char reply[] = {1, 3, 2};
    ASSERT_EQ(write(pty.master, reply, 3), 3);
    SetComTime(5, 5.0);
    unsigned char got[3] = {};
    EXPECT_EQ(ComRd(5, got, 3), 3);
    EXPECT_EQ(got[2], 2);
    EXPECT_EQ(CloseCom(5), 0);
}

// A socket bound to a free loopback port, listening.
int bindLoopback(unsigned& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    listen(fd, 1);
    return fd;
}

// A one-shot server on a thread: accepts, answers each chunk with its reverse, then closes.
struct ReverseServer {
    unsigned port = 0;
    int listener = bindLoopback(port);
    std::thread thread{[this] {
        const int c = accept(listener, nullptr, nullptr);
        char buf[64];
        std::string reply(buf, buf + std::max<ssize_t>(recv(c, buf, sizeof buf, 0), 0));
        std::reverse(reply.begin(), reply.end());
        send(c, reply.data(), reply.size(), 0);
        usleep(100000);
        close(c);
    }};
    ~ReverseServer() {
        thread.join();
        close(listener);
    }
};

int g_closeEvents = 0;
std::string g_received;
int ClientCallback(unsigned handle, int type, int, void*) {
    if (type == TCP_DATAREADY) {
        char buf[256];
        const int n = ClientTCPRead(handle, buf, sizeof buf, 0);
        if (n > 0) g_received.append(buf, buf + n);
    }
    if (type == TCP_DISCONNECT) ++g_closeEvents;
    return 0;
}

TEST(Tcp, DataAndCloseReachTheClientCallback) {
    ReverseServer server;
    unsigned handle = 0;
    ASSERT_EQ(ConnectToTCPServer(&handle, server.port, "127.0.0.1", ClientCallback, nullptr, 0), 0);
    EXPECT_EQ(ClientTCPWrite(handle, "abc", 3, 0), 3);
    const double start = Timer();
    EXPECT_EQ(WaitForTCPEvent(30.0), 1);
    EXPECT_LT(Timer() - start, 15.0) << "the wait did not end when the reply arrived";
    ProcessTCPEvents();
    EXPECT_EQ(g_received, "cba");
    for (int i = 0; i < 100 && g_closeEvents == 0; ++i) {
        WaitForTCPEvent(0.05);
        ProcessTCPEvents();
    }
    EXPECT_EQ(g_closeEvents, 1);
    ProcessTCPEvents();
    EXPECT_EQ(g_closeEvents, 1) << "a close is reported once";
    EXPECT_LT(ClientTCPWrite(handle, "x", 1, 0), 0);
    EXPECT_EQ(DisconnectFromTCPServer(handle), 0);
}

} // namespace
