// Every read of the register map against a Modbus server we did not write (pymodbus), over
// Modbus/TCP, RTU frames over TCP and RTU on a pseudo-terminal. The server's values are in
// pymodbus_server.py.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <functional>

#include "device/register_map.h"
#include "link/exchange.h"
#include "link_test_support.h"

using namespace linktest;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

struct PeerLink {
    const char* mode; // pymodbus_server.py's argument
    int port;         // 5: COM port on the pseudo-terminal; 99 RTU over TCP; 100 Modbus/TCP
};

void PrintTo(const PeerLink& link, std::ostream* os) {
    *os << link.mode;
}

// The pymodbus server as a child process; it ends when its standard input closes.
class PeerServer {
  public:
    explicit PeerServer(const char* mode) {
        process_.setProgram(kPython);
        process_.setArguments({RQ55_PEER_SERVER, mode});
        process_.start();
        if (!process_.waitForStarted(10000)) {
            error_ = std::string(kPython) + " did not start: " + process_.errorString().toStdString();
            return;
        }
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(20000)) {
                error_ =
                    "the pymodbus server did not come up (install python3-pymodbus, python3-serial-asyncio "
                    "and socat):\n" +
                    process_.readAllStandardError().toStdString();
                return;
            }
        }
        const QStringList ready = QString::fromUtf8(process_.readLine()).trimmed().split(' ');
        if (ready.size() == 2 && ready[0] == "port")
            tcpPort_ = static_cast<unsigned short>(ready[1].toUInt());
        else if (ready.size() == 2 && ready[0] == "pty")
            device_ = ready[1].toStdString();
        else
            error_ = "unexpected first line from the server: " + ready.join(' ').toStdString();
    }

    ~PeerServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }

    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;

    const std::string& error() const { return error_; }
    unsigned short tcpPort() const { return tcpPort_; }
    const std::string& device() const { return device_; }

  private:
    QProcess process_;
    std::string error_;
    unsigned short tcpPort_ = 0;
    std::string device_;
};

struct Target {
    int port;
    unsigned short tcpPort;
    std::string host;
};

using FloatRead = int (*)(int, unsigned char, float*, const std::string&, unsigned short, const std::string&);
using RawRead = int (*)(int, unsigned char, unsigned char*, const std::string&, unsigned short,
                        const std::string&);

struct PeerRead {
    const char* name;
    unsigned char unit; // the server keeps overlapping blocks apart by unit
    std::function<int(const Target&, unsigned char unit, std::vector<float>& record)> run;
    std::vector<float> expected;
};

std::function<int(const Target&, unsigned char, std::vector<float>&)> floatRead(FloatRead op) {
    return [op](const Target& t, unsigned char unit, std::vector<float>& record) {
        return op(t.port, unit, record.data(), "", t.tcpPort, t.host);
    };
}

// Raw records are compared byte by byte, each byte as a float.
std::function<int(const Target&, unsigned char, std::vector<float>&)> rawRead(RawRead op, int size) {
    return [op, size](const Target& t, unsigned char unit, std::vector<float>& record) {
        std::vector<unsigned char> bytes(static_cast<size_t>(size));
        const int status = op(t.port, unit, bytes.data(), "", t.tcpPort, t.host);
        if (status == 1)
            for (int i = 0; i < size; ++i)
                record[static_cast<size_t>(i)] = bytes[static_cast<size_t>(i)];
        return status;
    };
}

std::vector<float> sequence(int count, const std::function<float(int)>& value) {
    std::vector<float> out;
    for (int i = 0; i < count; ++i)
        out.push_back(value(i));
    return out;
}

std::vector<float> analogOutput(int k) {
    std::vector<float> out = {100.0f * k + 1, 100.0f * k + 2, static_cast<float>(k),
                              static_cast<float>(k + 10)};
    for (int j = 0; j < 7; ++j)
        out.push_back(10.0f * k + j + 0.5f);
    return out;
}

std::vector<float> serialBytes(int count) {
    std::vector<float> out = sequence(count, [](int j) { return static_cast<float>(0x30 + j); });
    if (count > 11) {
        out[10] = 0; // register 816: the model code 57
        out[11] = 57;
    }
    return out;
}

std::vector<PeerRead> peerReads() {
    return {
        {"network parameters", 1, floatRead(RQ55_Ulvo_Leer_Prametros_Red),
         sequence(30, [](int i) { return 100.5f + i; })},
        {"energy", 1, floatRead(RQ55_Ulvo_Leer_Energia),
         sequence(11, [](int i) { return 2000.25f + 10 * i; })},
        {"maxima and minima", 1, floatRead(RQ55_Ulvo_Leer_maxmin),
         sequence(54, [](int i) { return -50.75f + 3 * i; })},
        {"demand", 2, floatRead(RQ55_Ulvo_Leer_demanda), sequence(12, [](int i) { return 500.125f + i; })},
        {"inputs and outputs",
         2,
         floatRead(RQ55_Ulvo_Leer_In_Out),
         {3, 4, 1001, 1002, 1003, 1004, 1005, 1006, 12.5f, -7.25f, 2001, 2002, 2003, 2004, 2005, 2006, 0.125f,
          65536.5f}},
        {"analog output 1", 3, floatRead(RQ55_Ulvo_Leer_Out_Anal_1), analogOutput(1)},
        {"analog output 2", 3, floatRead(RQ55_Ulvo_Leer_Out_Anal_2), analogOutput(2)},
        {"analog output 3", 2, floatRead(RQ55_Ulvo_Leer_Out_Anal_3), analogOutput(3)},
        {"analog output 4", 2, floatRead(RQ55_Ulvo_Leer_Out_Anal_4), analogOutput(4)},
        {"equipment configuration",
         1,
         floatRead(RQ55_Ulvo_Leer_Conf_Equipo),
         {48879, 10, 11, 52, 0x78, -1.0f, 123456, 808, 809, 810}},
        {"serial number", 1, rawRead(RQ55_Ulvo_Leer_Num_Serie, kSerialNumberBytes),
         serialBytes(kSerialNumberBytes)},
        {"model and version", 1, rawRead(RQ55_Ulvo_Leer_Modelo_Version, kModelVersionBytes),
         serialBytes(kModelVersionBytes)},
    };
}

class PeerReads : public testing::TestWithParam<PeerLink> {};

TEST_P(PeerReads, EveryReadDecodesTheServersValues) {
    const PeerLink& peer = GetParam();
    ResetProgramState();
    PeerServer server(peer.mode);
    ASSERT_TRUE(server.error().empty()) << server.error();

    Target target{peer.port, server.tcpPort(), server.tcpPort() ? "127.0.0.1" : ""};
    if (peer.port < 99) setenv("RQ55_COM5", server.device().c_str(), 1);
    ASSERT_EQ(Ulvo_Abrir_Puerto(target.port, 9600, 8, 0, 1, target.tcpPort, target.host), 0);

    for (const PeerRead& r : peerReads()) {
        std::vector<float> record(r.expected.size(), 777.0f);
        ASSERT_EQ(r.run(target, r.unit, record), 1) << r.name;
        for (size_t i = 0; i < r.expected.size(); ++i)
            EXPECT_EQ(record[i], r.expected[i]) << r.name << " index " << i;
    }
    Ulvo_Cerrar_Puerto(target.port);
}

INSTANTIATE_TEST_SUITE_P(Pymodbus, PeerReads,
                         testing::Values(PeerLink{"tcp", 100}, PeerLink{"rtu-tcp", 99},
                                         PeerLink{"rtu-pty", 5}),
                         [](const testing::TestParamInfo<PeerLink>& info) {
                             std::string name = info.param.mode;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
