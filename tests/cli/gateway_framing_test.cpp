// What serve's gateway makes of a client's bytes: where each request begins and ends on either
// framing, and what it answers itself rather than passing to the bus.
#include <gtest/gtest.h>

#include "link/modbus_frame.h"
#include "serve/gateway/forward.h"

namespace {

Bytes rtu(Bytes frame) {
    const unsigned short crc = ModbusCrc(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(static_cast<unsigned char>(crc & 0xFF));
    frame.push_back(static_cast<unsigned char>(crc >> 8));
    return frame;
}

// Every step of the reader over the pieces, as "R<unit>:<pdu length>", "W", "D" or "B".
std::string steps(GatewayFraming framing, const std::vector<Bytes>& pieces) {
    RequestReader reader(framing);
    std::string out;
    for (const Bytes& piece : pieces) {
        reader.feed(piece.data(), piece.size());
        for (;;) {
            GatewayRequest r;
            const RequestReader::Step step = reader.next(r);
            out += step == RequestReader::Step::Request ? "R" + std::to_string(r.unit) + ":" + std::to_string(r.pdu.size()) + " "
                   : step == RequestReader::Step::Waiting ? "W "
                   : step == RequestReader::Step::Dropped ? "D "
                                                          : "B ";
            if (step == RequestReader::Step::Waiting || step == RequestReader::Step::Broken) break;
        }
    }
    return out;
}

TEST(GatewayFraming, RequestsAreCutOutOfTheStreamAndWhatIsNoRequestGoes) {
    const Bytes read = {3, 0, 6, 0, 60};
    const Bytes tcp = {0, 9, 0, 0, 0, 6, 2, 3, 0, 6, 0, 60};
    Bytes twoTcp = tcp;
    twoTcp.insert(twoTcp.end(), tcp.begin(), tcp.end());
    Bytes rtuRead = rtu({1, 3, 0, 6, 0, 60}), badCrc = rtuRead, twoRtu = rtuRead;
    badCrc.back() ^= 1;
    twoRtu.insert(twoRtu.end(), rtuRead.begin(), rtuRead.end());
    Bytes longWrite = {1, 16, 0, 0, 0, 125, 250};
    longWrite.resize(longWrite.size() + 250);
    const struct {
        const char* what;
        GatewayFraming framing;
        std::vector<Bytes> pieces;
        const char* steps;
    } rows[] = {
        {"Modbus/TCP in pieces", GatewayFraming::ModbusTcp, {Bytes(tcp.begin(), tcp.begin() + 5), Bytes(tcp.begin() + 5, tcp.end())}, "W R2:5 W "},
        {"two Modbus/TCP requests at once", GatewayFraming::ModbusTcp, {twoTcp}, "R2:5 R2:5 W "},
        {"another protocol", GatewayFraming::ModbusTcp, {{0, 1, 0, 1, 0, 6, 1, 3, 0, 6, 0, 60}}, "B "},
        {"a Modbus/TCP frame longer than Modbus allows", GatewayFraming::ModbusTcp, {{0, 1, 0, 0, 1, 0, 1}}, "B "},
        {"RTU in pieces", GatewayFraming::Rtu, {Bytes(rtuRead.begin(), rtuRead.begin() + 3), Bytes(rtuRead.begin() + 3, rtuRead.end())}, "W R1:5 W "},
        {"two RTU frames at once", GatewayFraming::Rtu, {twoRtu}, "R1:5 R1:5 W "},
        {"an RTU frame whose CRC fails", GatewayFraming::Rtu, {badCrc, rtuRead}, "D W R1:5 W "},
        {"an RTU frame longer than Modbus allows", GatewayFraming::Rtu, {longWrite}, "D W "},
        {"a function of unknown length, taken whole by its CRC", GatewayFraming::Rtu, {rtu({1, 8, 0, 0, 0x12, 0x34})}, "R1:5 W "},
    };
    for (const auto& row : rows) EXPECT_EQ(steps(row.framing, row.pieces), row.steps) << row.what;
    (void)read;

    // Replies go back framed as the request came: its transaction id, or its CRC.
    const GatewayRequest request{0x1234, 7, read};
    EXPECT_EQ(FrameReply(GatewayFraming::ModbusTcp, request, {0x83, 0x0B}), (Bytes{0x12, 0x34, 0, 0, 0, 3, 7, 0x83, 0x0B}));
    EXPECT_EQ(FrameReply(GatewayFraming::Rtu, request, {0x83, 0x0B}), rtu({7, 0x83, 0x0B}));
}

TEST(GatewayFraming, WhatTheGatewayAnswersItself) {
    const struct {
        const char* what;
        int unit;
        Bytes pdu;
        bool writes;
        int code; // 0: passed to the bus
        const char* span;
    } rows[] = {
        {"a read", 1, {3, 0, 6, 0, 60}, false, 0, "registers 6-65"},
        {"a coil read at its limit", 1, {1, 0, 5, 0x07, 0xD0}, false, 0, "coils 5-2004"},
        {"a read of more than Modbus allows", 1, {3, 0, 6, 0, 126}, false, kIllegalDataValue, "registers 6-131"},
        {"a write refused", 1, {6, 3, 0x21, 0, 1}, false, kIllegalFunction, "register 801"},
        {"a write allowed", 1, {6, 3, 0x21, 0, 1}, true, 0, "register 801"},
        {"a coil written neither on nor off", 1, {5, 0, 5, 0x12, 0}, true, kIllegalDataValue, "coil 5"},
        {"a write whose byte count disagrees", 1, {16, 0, 1, 0, 2, 3, 0, 0, 0}, true, kIllegalDataValue, "registers 1-2"},
        {"a function the link does not frame", 1, {43, 14, 1, 0, 0}, true, kIllegalFunction, "register 3585"},
        {"a broadcast", 0, {3, 0, 6, 0, 2}, false, kGatewayPathUnavailable, "registers 6-7"},
        {"no device's address", 250, {3, 0, 6, 0, 2}, false, kGatewayPathUnavailable, "registers 6-7"},
    };
    for (const auto& row : rows) {
        const GatewayRequest r{1, static_cast<uint8_t>(row.unit), row.pdu};
        const std::optional<GatewayAnswer> own = ScreenRequest(r, row.writes);
        const Bytes exception = {static_cast<unsigned char>(row.pdu[0] | 0x80), static_cast<unsigned char>(row.code)};
        EXPECT_EQ(own ? own->pdu : Bytes{}, row.code ? exception : Bytes{}) << row.what;
        EXPECT_EQ(RequestSpan(row.pdu), row.span) << row.what;
    }
}

} // namespace
