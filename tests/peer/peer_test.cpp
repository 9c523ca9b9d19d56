// Every read of the register map against a Modbus server we did not write (pymodbus), over
// Modbus/TCP, RTU frames over TCP and RTU on a pseudo-terminal. The server's values are in
// pymodbus_server.py.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "device/register_map.h"
#include "link/exchange.h"
#include "link_test_support.h"

namespace {

using FloatRead = int (*)(int, unsigned char, float*, const std::string&, unsigned short, const std::string&);
using RawRead = int (*)(int, unsigned char, unsigned char*, const std::string&, unsigned short,
                        const std::string&);

// One read, with what it must decode. Raw records are compared byte by byte, each byte as a float.
// The server's values differ from register to register, so a read of the wrong registers, or of too
// few, decodes to something else; one more slot behind each record catches a read of too many.
struct PeerRead {
    const char* name;
    int start, count; // the registers asked for
    unsigned char unit; // the server keeps overlapping blocks apart by unit
    FloatRead floats;
    RawRead raw;
    std::vector<float> expected;
};

std::vector<float> sequence(int count, const std::function<float(int)>& value) {
    std::vector<float> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out[static_cast<size_t>(i)] = value(i);
    return out;
}

std::vector<float> analogOutput(int k) {
    std::vector<float> out = sequence(11, [k](int j) { return 10.0f * k + (j - 4) + 0.5f; });
    out[0] = 100.0f * k + 1;
    out[1] = 100.0f * k + 2;
    out[2] = static_cast<float>(k);
    out[3] = static_cast<float>(k + 10);
    return out;
}

// The serial-number block, bytes 0x30, 0x31, ... except register 816, the model code 57.
std::vector<float> serialBytes(int count) {
    std::vector<float> out = sequence(count, [](int j) { return static_cast<float>(0x30 + j); });
    out[10] = 0;
    out[11] = 57;
    return out;
}

const std::vector<PeerRead> kReads = {
    {"network parameters", 6, 60, 1, RQ55_Ulvo_Leer_Prametros_Red, nullptr,
     sequence(30, [](int i) { return 100.5f + i; })},
    {"energy", 66, 22, 1, RQ55_Ulvo_Leer_Energia, nullptr, sequence(11, [](int i) { return 2000.25f + 10 * i; })},
    {"maxima and minima", 130, 108, 1, RQ55_Ulvo_Leer_maxmin, nullptr,
     sequence(54, [](int i) { return -50.75f + 3 * i; })},
    {"demand", 238, 24, 2, RQ55_Ulvo_Leer_demanda, nullptr, sequence(12, [](int i) { return 500.125f + i; })},
    {"inputs and outputs", 200, 21, 2, RQ55_Ulvo_Leer_In_Out, nullptr,
     std::vector<float>{3, 4, 1001, 1002, 1003, 1004, 1005, 1006, 12.5f, -7.25f, 2001, 2002, 2003, 2004, 2005,
                        2006, 0.125f, 65536.5f}},
    {"analog output 1", 230, 17, 3, RQ55_Ulvo_Leer_Out_Anal_1, nullptr, analogOutput(1)},
    {"analog output 2", 247, 17, 3, RQ55_Ulvo_Leer_Out_Anal_2, nullptr, analogOutput(2)},
    {"analog output 3", 264, 17, 2, RQ55_Ulvo_Leer_Out_Anal_3, nullptr, analogOutput(3)},
    {"analog output 4", 281, 17, 2, RQ55_Ulvo_Leer_Out_Anal_4, nullptr, analogOutput(4)},
    {"equipment configuration", 800, 11, 1, RQ55_Ulvo_Leer_Conf_Equipo, nullptr,
     std::vector<float>{48879, 10, 11, 52, 0x78, -1.0f, 123456, 808, 809, 810}},
    {"serial number", 811, 11, 1, nullptr, RQ55_Ulvo_Leer_Num_Serie, serialBytes(kSerialNumberBytes)},
    {"model and version", 811, 8, 1, nullptr, RQ55_Ulvo_Leer_Modelo_Version, serialBytes(kModelVersionBytes)},
};

// The pymodbus server as a child process; it stops when its standard input closes.
struct PeerServer : QProcess {
    ~PeerServer() override {
        closeWriteChannel();
        if (!waitForFinished(5000)) kill();
        waitForFinished(3000);
    }
};

class PeerReads : public testing::TestWithParam<const char*> {};

TEST_P(PeerReads, EveryReadDecodesTheServersValues) {
    const std::string mode = GetParam();
    linktest::ResetProgramState();
    // The server's first line says where it serves: "port N" for the TCP forms, "pty PATH" for the
    // pseudo-terminal.
    PeerServer server;
    server.start("/usr/bin/python3", {RQ55_PEER_SERVER, GetParam()});
    while (!server.canReadLine() && server.waitForReadyRead(20000)) {
    }
    const QStringList ready = QString::fromUtf8(server.readLine()).trimmed().split(' ');
    ASSERT_EQ(ready.size(), 2) << "the pymodbus server did not come up (install python3, python3-pymodbus, "
                                  "python3-serial-asyncio and socat): "
                               << server.errorString().toStdString() << "\n"
                               << server.readAllStandardError().toStdString();

    // COM 5 is the pseudo-terminal, 99 RTU frames over TCP, 100 Modbus/TCP.
    const int port = mode == "tcp" ? 100 : mode == "rtu_tcp" ? 99 : 5;
    const unsigned short tcpPort = port < 99 ? 0 : static_cast<unsigned short>(ready[1].toUInt());
    const std::string host = port < 99 ? "" : "127.0.0.1";
    if (port < 99) setenv("RQ55_COM5", ready[1].toStdString().c_str(), 1);
    ASSERT_EQ(Ulvo_Abrir_Puerto(port, 9600, 8, 0, 1, tcpPort, host), 0);
    for (const PeerRead& r : kReads) {
        linktest::FrameRecorder recorder;
        std::vector<float> record(r.expected.size() + 1, 777.0f);
        std::vector<unsigned char> bytes(r.expected.size() + 1, 0xAA);
        ASSERT_EQ(r.floats ? r.floats(port, r.unit, record.data(), "", tcpPort, host)
                           : r.raw(port, r.unit, bytes.data(), "", tcpPort, host),
                  1)
            << r.name;
        if (r.raw) record.assign(bytes.begin(), bytes.end());
        EXPECT_EQ(record.back(), r.raw ? 0xAA : 777.0f) << r.name << ": written past the record";
        record.pop_back();
        EXPECT_EQ(record, r.expected) << r.name;
        // The request: function 3, its start and count, after the MBAP header or the address.
        const linktest::Bytes sent = recorder.sent().at(0);
        const size_t at = mode == "tcp" ? 8 : 2;
        EXPECT_EQ(std::vector<int>({sent[at - 1], sent[at] << 8 | sent[at + 1], sent[at + 2] << 8 | sent[at + 3]}),
                  std::vector<int>({3, r.start, r.count}))
            << r.name;
    }
    Ulvo_Cerrar_Puerto(port);
}

INSTANTIATE_TEST_SUITE_P(Pymodbus, PeerReads, testing::Values("tcp", "rtu_tcp", "rtu_pty"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
