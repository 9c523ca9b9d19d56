// What serve's gateway makes of a client's bytes: where each request begins and ends on either
// framing, and how a reply goes back.
#include <gtest/gtest.h>

#include "link/modbus_frame.h"
#include "serve/gateway/framing.h"

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
    badCrc[6] ^= 1;
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

    // Replies go back framed as the request came: its transaction id, or its CRC.
    const GatewayRequest request{0x1234, 7, read};
    EXPECT_EQ(FrameReply(GatewayFraming::ModbusTcp, request, {0x83, 0x0B}), (Bytes{0x12, 0x34, 0, 0, 0, 3, 7, 0x83, 0x0B}));
    EXPECT_EQ(FrameReply(GatewayFraming::Rtu, request, {0x83, 0x0B}), rtu({7, 0x83, 0x0B}));
}

} // namespace
