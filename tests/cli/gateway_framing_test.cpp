// What serve's gateway makes of a client's bytes: where each request begins and ends on either
// framing, and how a reply goes back.
#include <gtest/gtest.h>

#include "link/modbus_frame.h"
#include "serve/gateway/allow_list.h"
#include "serve/gateway/framing.h"
#include "serve/gateway/poll_cache.h"

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

// A poll's read answers a client's read within it, byte for byte, until it is as old as the
// freshness (1 s here). (Reads across a span's end, and a write's drop: the gateway's own test.)
TEST(PollCache, AnswersReadsWithinAFreshPolledSpanOnly) {
    PollCache cache(1.0);
    const unsigned char polled[8] = {1, 2, 3, 4, 5, 6, 7, 8}; // registers 10-13 at unit 1, read at 100 s
    cache.hold(1, 10, 4, polled, 100.0);
    const auto read = [](int unit, int first, int count, int function = 3) {
        return GatewayRequest{0, static_cast<uint8_t>(unit), {static_cast<unsigned char>(function), 0,
                                                              static_cast<unsigned char>(first), 0,
                                                              static_cast<unsigned char>(count)}};
    };
    const struct {
        const char* what;
        GatewayRequest request;
        double now;
        std::optional<Bytes> reply;
    } rows[] = {
        {"within", read(1, 11, 2), 100.5, Bytes{3, 4, 3, 4, 5, 6}},
        {"the whole span", read(1, 10, 4), 100.9, Bytes{3, 8, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"as old as the freshness", read(1, 11, 2), 101.0, std::nullopt},
        {"before its start", read(1, 9, 2), 100.5, std::nullopt},
        {"another unit", read(2, 11, 2), 100.5, std::nullopt},
        {"input registers", read(1, 11, 2, 4), 100.5, std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(cache.answer(row.request, row.now), row.reply) << row.what;
    PollCache off(0);
    off.hold(1, 10, 4, polled, 100.0);
    EXPECT_EQ(off.answer(read(1, 11, 2), 100.0), std::nullopt) << "--gateway-fresh 0";
}

// Who may connect: the networks listed, and this machine always; a list that is no list is refused.
TEST(AllowList, AdmitsTheNetworksListedAndLoopbackAlways) {
    const struct {
        const char* list;
        const char* client;
        bool admitted;
    } rows[] = {
        {"10.0.0.0/8", "10.200.3.4", true},           {"10.0.0.0/8", "11.0.0.1", false},
        {"192.168.1.0/25", "192.168.1.130", false},  {"192.168.1.0/25", "192.168.1.127", true},
        {"192.168.1.20", "192.168.1.21", false},     {"10.0.0.0/8,fd00::/8", "fd12::7", true},
        {"10.0.0.0/8", "::ffff:10.0.0.9", true},     {"10.0.0.0/8", "fe80::1", false},
        {"10.0.0.0/8", "127.0.0.5", true},           {"10.0.0.0/8", "::1", true},
        {"0.0.0.0/0", "203.0.113.9", true},
    };
    for (const auto& row : rows) {
        std::vector<AllowedNetwork> networks;
        std::string why;
        ASSERT_TRUE(ParseAllowList(row.list, networks, why)) << row.list << ": " << why;
        EXPECT_EQ(IsAllowed(networks, row.client), row.admitted) << row.list << " " << row.client;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"10.0.0.0/33", "10.0.0.0/33"}, {"10.0.0/8", "10.0.0/8"}, {"10.0.0.0/", "10.0.0.0/"},
        {"10.0.0.0/-1", "10.0.0.0/-1"}, {"10.0.0.0/8x", "10.0.0.0/8x"}, {"10.0.0.0/8,net", "net"}, {",10.0.0.0/8", ""},
    };
    for (const auto& [list, item] : bad) {
        std::vector<AllowedNetwork> networks;
        std::string why;
        EXPECT_FALSE(ParseAllowList(list, networks, why)) << list;
        EXPECT_EQ(why, "--gateway-allow: \"" + std::string(item) + "\" is not an address or a network such as 10.0.0.0/8 or fd00::/8");
    }
}

} // namespace
