// The register map against the simulated analyser: what each operation asks for, how each
// record is decoded, and what a failing exchange leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "device/register_map.h"
#include "link/exchange.h"
#include "link_test_support.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

using namespace linktest;
using Kind = sim::FaultRule::Kind;

namespace {

using FloatRead = int (*)(int, unsigned char, float*, const std::string&, unsigned short, const std::string&);
using RawRead = int (*)(int, unsigned char, unsigned char*, const std::string&, unsigned short,
                        const std::string&);
using Write = int (*)(int, unsigned char, const unsigned char*, const std::string&, unsigned short,
                      const std::string&);

class RegisterMap : public testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        ASSERT_TRUE(link.ok()) << link.error();
    }
    void TearDown() override { testsupport::InstallDefaultResponder(); }

    int read(FloatRead op, float* record) { return op(link.port, 1, record, "", link.tcpPort, link.host); }
    int read(RawRead op, unsigned char* record) {
        return op(link.port, 1, record, "", link.tcpPort, link.host);
    }
    int write(Write op, const Bytes& data) {
        return op(link.port, 1, data.data(), "", link.tcpPort, link.host);
    }

    SimulatedLink link{sim::Transport::RtuOverTcp};
};

void setFloats(sim::Simulator& sim, int start, int count, const std::function<float(int)>& value) {
    for (int i = 0; i < count; ++i)
        sim.setBlockFloat(start, i, value(i));
}

std::vector<float> floats(int count, const std::function<float(int)>& value) {
    std::vector<float> out;
    for (int i = 0; i < count; ++i)
        out.push_back(value(i));
    return out;
}

struct FloatReadCase {
    const char* name;
    FloatRead op;
    int start;
    int count;
    std::function<void(sim::Simulator&)> setup;
    std::vector<float> expected;
};

void setAnalogOutput(sim::Simulator& sim, int k) {
    const int base = kAnalogOutputBase[k - 1];
    sim.setReg(base, static_cast<uint16_t>(100 * k + 1));
    sim.setReg(base + 1, static_cast<uint16_t>(100 * k + 2));
    sim.setReg(base + 2, static_cast<uint16_t>(k << 8 | (k + 10)));
    for (int j = 0; j < 7; ++j)
        sim.setFloat(base + 3 + 2 * j, 10.0f * k + j + 0.5f);
}

std::vector<float> analogOutput(int k) {
    std::vector<float> out = {100.0f * k + 1, 100.0f * k + 2, static_cast<float>(k),
                              static_cast<float>(k + 10)};
    for (int j = 0; j < 7; ++j)
        out.push_back(10.0f * k + j + 0.5f);
    return out;
}

std::vector<FloatReadCase> floatReadCases() {
    auto network = [](int i) { return 100.5f + i; };
    auto energy = [](int i) { return 2000.25f + 10 * i; };
    auto maxmin = [](int i) { return -50.75f + 3 * i; };
    auto demand = [](int i) { return 500.125f + i; };
    return {
        {"network parameters", RQ55_Ulvo_Leer_Prametros_Red, 6, 60,
         [=](sim::Simulator& s) { setFloats(s, 6, 30, network); }, floats(30, network)},
        {"energy", RQ55_Ulvo_Leer_Energia, 66, 22, [=](sim::Simulator& s) { setFloats(s, 66, 11, energy); },
         floats(11, energy)},
        {"maxima and minima", RQ55_Ulvo_Leer_maxmin, 130, 108,
         [=](sim::Simulator& s) { setFloats(s, 130, 54, maxmin); }, floats(54, maxmin)},
        {"demand", RQ55_Ulvo_Leer_demanda, 238, 24, [=](sim::Simulator& s) { setFloats(s, 238, 12, demand); },
         floats(12, demand)},
        {"inputs and outputs",
         RQ55_Ulvo_Leer_In_Out,
         200,
         21,
         [](sim::Simulator& s) {
             s.setReg(200, 0x0304);
             for (int k = 0; k < 6; ++k) {
                 s.setReg(201 + k, static_cast<uint16_t>(1001 + k));
                 s.setReg(211 + k, static_cast<uint16_t>(2001 + k));
             }
             s.setFloat(207, 12.5f);
             s.setFloat(209, -7.25f);
             s.setFloat(217, 0.125f);
             s.setFloat(219, 65536.5f);
         },
         {3, 4, 1001, 1002, 1003, 1004, 1005, 1006, 12.5f, -7.25f, 2001, 2002, 2003, 2004, 2005, 2006, 0.125f,
          65536.5f}},
        {"analog output 1", RQ55_Ulvo_Leer_Out_Anal_1, 230, 17,
         [](sim::Simulator& s) { setAnalogOutput(s, 1); }, analogOutput(1)},
        {"analog output 2", RQ55_Ulvo_Leer_Out_Anal_2, 247, 17,
         [](sim::Simulator& s) { setAnalogOutput(s, 2); }, analogOutput(2)},
        {"analog output 3", RQ55_Ulvo_Leer_Out_Anal_3, 264, 17,
         [](sim::Simulator& s) { setAnalogOutput(s, 3); }, analogOutput(3)},
        {"analog output 4", RQ55_Ulvo_Leer_Out_Anal_4, 281, 17,
         [](sim::Simulator& s) { setAnalogOutput(s, 4); }, analogOutput(4)},
        // 802 holds 0x1234 and only its low byte counts; 804-805 all ones is the i32 -1.
        {"equipment configuration",
         RQ55_Ulvo_Leer_Conf_Equipo,
         800,
         11,
         [](sim::Simulator& s) {
             const uint16_t values[] = {0xBEEF, 0x0A0B, 0x1234, 0x5678, 0xFFFF, 0xFFFF,
                                        0x0001, 0xE240, 808,    809,    810};
             for (int k = 0; k < 11; ++k)
                 s.setReg(800 + k, values[k]);
         },
         {48879, 10, 11, 52, 0x78, -1.0f, 123456, 808, 809, 810}},
    };
}

TEST_F(RegisterMap, EveryFloatReadAsksForItsBlockAndDecodesItsLayout) {
    for (const auto& c : floatReadCases()) {
        c.setup(link.sim);
        link.sim.clearRequests();
        std::vector<float> record(c.expected.size() + 1, 777.0f);
        ASSERT_EQ(read(c.op, record.data()), 1) << c.name;
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(record[i], c.expected[i]) << c.name << " index " << i;
        EXPECT_EQ(record.back(), 777.0f) << c.name << ": written past the record";
        const auto requests = link.sim.requests();
        ASSERT_EQ(requests.size(), 1u) << c.name;
        EXPECT_EQ(requests[0].function, 3) << c.name;
        EXPECT_EQ(requests[0].start, c.start) << c.name;
        EXPECT_EQ(requests[0].count, c.count) << c.name;
    }
}

TEST_F(RegisterMap, RawReadsKeepWireOrder) {
    for (int k = 0; k < 11; ++k)
        link.sim.setReg(811 + k, static_cast<uint16_t>((0x30 + 2 * k) << 8 | (0x31 + 2 * k)));
    unsigned char serial[kSerialNumberBytes + 1];
    serial[kSerialNumberBytes] = 0xEE;
    ASSERT_EQ(read(RQ55_Ulvo_Leer_Num_Serie, serial), 1);
    for (int j = 0; j < kSerialNumberBytes; ++j)
        EXPECT_EQ(serial[j], 0x30 + j) << "byte " << j;
    EXPECT_EQ(serial[kSerialNumberBytes], 0xEE);

    unsigned char model[kModelVersionBytes + 1];
    model[kModelVersionBytes] = 0xEE;
    ASSERT_EQ(read(RQ55_Ulvo_Leer_Modelo_Version, model), 1);
    for (int j = 0; j < kModelVersionBytes; ++j)
        EXPECT_EQ(model[j], 0x30 + j) << "byte " << j;
    EXPECT_EQ(model[kModelVersionBytes], 0xEE);
    const auto requests = link.sim.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].start, 811);
    EXPECT_EQ(requests[0].count, 11);
    EXPECT_EQ(requests[1].start, 811);
    EXPECT_EQ(requests[1].count, 8);
}

TEST_F(RegisterMap, LargestReadTakesA221ByteReply) {
    FrameRecorder recorder;
    float record[kMaxMinCount];
    ASSERT_EQ(read(RQ55_Ulvo_Leer_maxmin, record), 1);
    ASSERT_EQ(recorder.received().size(), 1u);
    EXPECT_EQ(recorder.received()[0].size(), 221u);
}

struct ExpectedRequest {
    int start;
    int count;
    int dataOffset; // where its values come from in the caller's bytes
};

struct WriteCase {
    const char* name;
    Write op;
    Bytes data;
    std::vector<ExpectedRequest> requests;
};

Bytes pattern(int n, int first) {
    Bytes bytes;
    for (int i = 0; i < n; ++i)
        bytes.push_back(static_cast<unsigned char>(first + i));
    return bytes;
}

// Run in this order: the password unlocks the energy reset that follows it.
std::vector<WriteCase> writeCases() {
    return {
        {"inputs and outputs",
         RQ55_Ulvo_Escribir_In_Out,
         pattern(36, 0x10),
         {{201, 5, 0}, {207, 4, 10}, {211, 5, 18}, {217, 4, 28}}},
        {"analog output 1", RQ55_Ulvo_Escribir_Out_Anal_1, pattern(30, 0x40), {{230, 15, 0}}},
        {"analog output 2", RQ55_Ulvo_Escribir_Out_Anal_2, pattern(30, 0x50), {{247, 15, 0}}},
        {"analog output 3", RQ55_Ulvo_Escribir_Out_Anal_3, pattern(30, 0x60), {{264, 15, 0}}},
        {"analog output 4", RQ55_Ulvo_Escribir_Out_Anal_4, pattern(30, 0x70), {{281, 15, 0}}},
        {"equipment configuration: 810 first",
         RQ55_Ulvo_Escribir_Conf_Equipo,
         pattern(10, 0x01),
         {{810, 1, 8}, {800, 4, 0}}},
        {"equipment configuration, second part",
         RQ55_Ulvo_Escribir_Conf_Equipo_2,
         pattern(12, 0x21),
         {{804, 6, 0}}},
        {"password", RQ55_Ulvo_Escribir_Contrasena, {0x04, 0xD2}, {{819, 1, 0}}},
        {"energy reset", RQ55_Reset_Cont_Energias, {0x00, 0x01}, {{1000, 1, 0}}},
        {"model and version", RQ55_Ulvo_Escribir_Modelo_Version, pattern(16, 0x41), {{8420, 8, 0}}},
    };
}

TEST_F(RegisterMap, EveryWriteSendsTheCallersBytesToItsRegistersInOrder) {
    for (const auto& c : writeCases()) {
        link.sim.clearRequests();
        EXPECT_EQ(write(c.op, c.data), 1) << c.name;
        const auto requests = link.sim.requests();
        ASSERT_EQ(requests.size(), c.requests.size()) << c.name;
        for (size_t r = 0; r < requests.size(); ++r) {
            const ExpectedRequest& e = c.requests[r];
            EXPECT_EQ(requests[r].function, 16) << c.name;
            EXPECT_EQ(requests[r].start, e.start) << c.name;
            ASSERT_EQ(requests[r].count, e.count) << c.name;
            for (int k = 0; k < e.count; ++k) {
                const int at = e.dataOffset + 2 * k;
                EXPECT_EQ(requests[r].values[static_cast<size_t>(k)], c.data[at] << 8 | c.data[at + 1])
                    << c.name << " register " << e.start + k;
            }
        }
    }
    EXPECT_TRUE(RecordedPopups().empty());
}

TEST_F(RegisterMap, RelayWriteIsFourRequestsOfKnownBytes) {
    FrameRecorder recorder;
    ASSERT_EQ(write(RQ55_Ulvo_Escribir_In_Out, pattern(36, 0x10)), 1);
    std::vector<std::string> sent;
    for (const Bytes& frame : recorder.sent())
        sent.push_back(Hex(frame));
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "011000c900050a10111213141516171819dab1",
                        "011000cf0004081a1b1c1d1e1f20218b35",
                        "011000d300050a22232425262728292a2b3d45",
                        "011000d90004082c2d2e2f303132334fa5",
                    }));
}

TEST_F(RegisterMap, WriteStopsAtTheFirstFailedRequest) {
    sim::FaultRule refuse;
    refuse.kind = Kind::Exception;
    refuse.function = 16;
    refuse.start = 207;
    link.sim.addFault(refuse);
    for (int r = 201; r <= 220; ++r)
        link.sim.setReg(r, 0);
    SetPopupResponder([](const PopupRecord& record) {
        if (record.kind == "panel")
            PostDeferredCall([panel = record.panel] {
                int ok = 0;
                GetPanelAttribute(panel, ATTR_CLOSE_CTRL, ok);
                SimulateCommit(panel, ok);
            });
        return PopupAnswer{};
    });

    const Bytes data = pattern(36, 0x10);
    EXPECT_EQ(write(RQ55_Ulvo_Escribir_In_Out, data), -1);

    const auto requests = link.sim.requests();
    ASSERT_EQ(requests.size(), 2u) << "nothing is sent after the refused request";
    EXPECT_EQ(requests[0].start, 201);
    EXPECT_EQ(requests[1].start, 207);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(link.sim.reg(201 + k), data[2 * k] << 8 | data[2 * k + 1]);
    for (int r = 207; r <= 220; ++r)
        EXPECT_EQ(link.sim.reg(r), 0) << "register " << r;
    // Writes report: the refusal is shown.
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "RQ55 - Error");
}

struct FailedReadCase {
    const char* name;
    sim::FaultRule fault;
    int status;
};

TEST_F(RegisterMap, ReadsFailWithoutTouchingTheRecordUnlessEveryByteArrived) {
    auto fault = [](Kind kind, int byteCount = 0) {
        sim::FaultRule r;
        r.kind = kind;
        r.byteCount = byteCount;
        r.times = 1;
        return r;
    };
    const FailedReadCase cases[] = {
        {"exception", fault(Kind::Exception), -1},
        {"bad CRC", fault(Kind::BadCrc), 1}, // the CRC is not checked over TCP
        {"10 data bytes of 44", fault(Kind::ByteCount, 10), -1},
        {"43 data bytes of 44", fault(Kind::ByteCount, 43), -1},
        {"60 data bytes for 44", fault(Kind::ByteCount, 60), 1},
    };
    setFloats(link.sim, 66, 11, [](int i) { return 1.5f + i; });
    for (const auto& c : cases) {
        // A successful read first, so the reply buffer holds this block's bytes from before.
        float record[kEnergyCount];
        ASSERT_EQ(read(RQ55_Ulvo_Leer_Energia, record), 1);
        std::fill(std::begin(record), std::end(record), 777.0f);
        link.sim.addFault(c.fault);
        EXPECT_EQ(read(RQ55_Ulvo_Leer_Energia, record), c.status) << c.name;
        for (int i = 0; i < kEnergyCount; ++i)
            EXPECT_EQ(record[i], c.status == 1 ? 1.5f + i : 777.0f) << c.name << " index " << i;
    }
    EXPECT_TRUE(RecordedPopups().empty()) << "reads are silent";
}

} // namespace
