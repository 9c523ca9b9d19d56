// The register map against the simulated analyser: what each write sends. (Every read and its
// decoding is checked against pymodbus in the peer tests; a write that stops at a refused request
// and a failed read that leaves the values shown alone, on the panels.)
#include <gtest/gtest.h>

#include "device/register_map.h"
#include "link/exchange.h"
#include "link_test_support.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "test_support.h"

using namespace linktest;

namespace {

using Write = decltype(&RQ55_Ulvo_Escribir_In_Out);

class RegisterMap : public testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        ASSERT_TRUE(link.ok()) << link.error();
    }
    void TearDown() override { testsupport::InstallDefaultResponder(); }

    int write(Write op, const Bytes& data) {
        return op(link.port, 1, data.data(), "", link.tcpPort, link.host);
    }

    SimulatedLink link{sim::Transport::RtuOverTcp};
};

Bytes pattern(int n, int first) {
    Bytes bytes;
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<unsigned char>(first + i));
    return bytes;
}

struct ExpectedRequest {
    int start;
    int count;
    int dataOffset; // where its values come from in the caller's bytes
};

// Run in this order: the password unlocks the energy reset that follows it.
TEST_F(RegisterMap, EveryWriteSendsTheCallersBytesToItsRegistersInOrder) {
    const struct {
        const char* name;
        Write op;
        Bytes data;
        std::vector<ExpectedRequest> requests;
    } cases[] = {
        {"relays: four requests around the read-only registers",
         RQ55_Ulvo_Escribir_In_Out,
         pattern(36, 0x10),
         {{201, 5, 0}, {207, 4, 10}, {211, 5, 18}, {217, 4, 28}}},
        {"analog output 1", RQ55_Ulvo_Escribir_Out_Anal_1, pattern(30, 0x40), {{230, 15, 0}}},
        {"analog output 2", RQ55_Ulvo_Escribir_Out_Anal_2, pattern(30, 0x50), {{247, 15, 0}}},
        {"analog output 3", RQ55_Ulvo_Escribir_Out_Anal_3, pattern(30, 0x60), {{264, 15, 0}}},
        {"analog output 4", RQ55_Ulvo_Escribir_Out_Anal_4, pattern(30, 0x70), {{281, 15, 0}}},
        {"configuration: 810 first",
         RQ55_Ulvo_Escribir_Conf_Equipo,
         pattern(10, 1),
         {{810, 1, 8}, {800, 4, 0}}},
        {"configuration, second part", RQ55_Ulvo_Escribir_Conf_Equipo_2, pattern(12, 0x21), {{804, 6, 0}}},
        {"password", RQ55_Ulvo_Escribir_Contrasena, {0x04, 0xD2}, {{819, 1, 0}}},
        {"energy reset", RQ55_Reset_Cont_Energias, {0x00, 0x01}, {{1000, 1, 0}}},
        {"model and version", RQ55_Ulvo_Escribir_Modelo_Version, pattern(16, 0x41), {{8420, 8, 0}}},
    };
    for (const auto& c : cases) {
        link.sim.clearRequests();
        EXPECT_EQ(write(c.op, c.data), 1) << c.name;
        std::vector<std::string> sent, expected; // function@start:data
        for (const sim::ReceivedRequest& r : link.sim.requests())
            sent.push_back(strfmt("%d@%d:", r.function, r.start) +
                           Hex(Bytes(r.pdu.begin() + 7, r.pdu.end())));
        for (const auto& [start, count, offset] : c.requests)
            expected.push_back(strfmt("16@%d:", start) +
                               Hex(Bytes(&c.data[offset], &c.data[offset] + 2 * count)));
        EXPECT_EQ(sent, expected) << c.name;
    }
    EXPECT_TRUE(RecordedPopups().empty());
}

} // namespace
