// The program reaching its analyser through rq55ctl serve's gateway, as a commissioning engineer
// does on a plant where serve holds the bus: what it reads is the analyser's, a save writes exactly
// what it would directly, and serve's own export of the analyser stays up meanwhile.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QTcpSocket>
#include <QThread>

#include "config/equipment.h"
#include "views/view_fixture.h"

using namespace viewtest;

namespace {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// The reply to a GET of /metrics, or "" when none came.
std::string scrape(int port) {
    QTcpSocket s;
    s.connectToHost("127.0.0.1", static_cast<quint16>(port));
    if (!s.waitForConnected(2000)) return "";
    s.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    std::string out;
    while (s.waitForReadyRead(2000)) out += s.readAll().toStdString();
    return out;
}

class Gateway : public LiveView {};

TEST_F(Gateway, TheProgramReadsAndSavesThroughServeWhileServeKeepsTheAnalyserUp) {
    startAnalyser();
    const uint16_t registers[] = {300, 0x0A03, 0x1234, 0x5602, 0xFFFF, 0xFFFF, 0x0100, 0x0001, 65535, 5, 0xBEEF};
    for (int i = 0; i < 11; ++i) analyser.setReg(800 + i, registers[i]);
    const int gateway = freePort(), metrics = freePort();
    QProcess serve;
    serve.start(RQ55CTL_PATH, {"serve", "--tcp", QString("127.0.0.1:%1").arg(analyser.tcpPort()), "--interval", "0.5",
                               "--pause", "10", "--gateway", QString::number(gateway), "--gateway-writes", "allow",
                               "--metrics", QString::number(metrics)});
    ASSERT_TRUE(serve.waitForStarted());
    const auto up = [&] { return scrape(metrics).find("rq55_up{address=\"1\"} 1") != std::string::npos; };
    for (int n = 0; n < 100 && !up(); ++n) QThread::msleep(100);
    SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(gateway));
    ASSERT_TRUE(flipSwitch());

    SimulateCommit(mainPanel, PRINCIPAL_CONF_EQUIPO);
    SimulateTimerTick(panel_conf_equipo, CONF_EQUIPO_TIMER);
    EXPECT_EQ(number(panel_conf_equipo, CONF_EQUIPO_PRIMARIO_I), 16777217);
    EXPECT_EQ(number(panel_conf_equipo, CONF_EQUIPO_PERIODO), 0xBEEF);
    SetCtrlVal(panel_conf_equipo, CONF_EQUIPO_PRIMARIO_V, -100000);
    analyser.clearRequests();
    SimulateCommit(panel_conf_equipo, CONF_EQUIPO_GUARDAR_2);
    EXPECT_EQ(writes(), std::vector<std::string>{"804=65534=31072=256=1=65535=5"});
    EXPECT_TRUE(up()) << "serve's export of the analyser is as fresh as without the program";
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
}

} // namespace
