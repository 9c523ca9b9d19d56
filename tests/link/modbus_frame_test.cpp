// Write requests and their CRC, checked against bytes worked out independently, and the reply check of
// each function. (Read requests are the exchange tests', as sent on every link, and the peers'.)
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "link/modbus_frame.h"
#include "link/reply_check.h"
#include "link_test_support.h"

using linktest::Bytes;
using linktest::FromHex;
using linktest::Hex;

namespace {

TEST(ModbusFrame, WriteRequestCopiesDataAndReturnsLength) {
    unsigned char buffer[kRequestBufferSize];
    int length = 10;
    const Bytes ten = FromHex("10111213141516171819");
    EXPECT_EQ(Ulvo_Comando_16(1, 201, 5, ten.data(), buffer, &length), 17);
    EXPECT_EQ(length, 17);
    Ulvo_CalculoCRC_2(buffer, length);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + 19)), "011000c900050a10111213141516171819dab1");

    // The byte count is twice the register count, kept to 8 bits, whatever data follows.
    length = 2;
    Ulvo_Comando_16(9, 8420, 200, ten.data(), buffer, &length);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + 9)), "091020e400c8901011");
}

TEST(ModbusFrame, WriteRequestRefusesMoreDataThanTheBufferHolds) {
    const Bytes data(kMaxWriteDataBytes + 1, 0x55);
    unsigned char buffer[kRequestBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    int length = static_cast<int>(data.size());
    EXPECT_EQ(Ulvo_Comando_16(1, 230, 16, data.data(), buffer, &length), -1);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), 0xEE), kRequestBufferSize);
    length = kMaxWriteDataBytes; // 15 registers: the largest request the program makes
    EXPECT_EQ(Ulvo_Comando_16(1, 230, 15, data.data(), buffer, &length), 7 + kMaxWriteDataBytes);
}

// Every function a gateway passes has its reply's shape checked against its request (no CRC here).
TEST(ModbusFrame, ReplyShapeFollowsTheRequestOfEachFunction) {
    const std::tuple<const char*, const char*, ReplyFault> cases[] = {
        {"01010000000a", "01010203ff", ReplyFault::None},        // 10 coils: 2 bytes
        {"01010000000a", "0101010f", ReplyFault::ByteCount},
        {"010200000009", "01020201", ReplyFault::CutShort},
        {"010400000002", "01040400010002", ReplyFault::None},    // 2 input registers
        {"010400000002", "010402000100", ReplyFault::ByteCount},
        {"01050005ff00", "01050005ff00", ReplyFault::None},      // a coil on: echoed
        {"01050005ff00", "010500050000", ReplyFault::Echo},
        {"010600c90001", "010600c90002", ReplyFault::Echo},
        {"010f00000010", "010f00000010", ReplyFault::None},      // 16 coils written
        {"010f00000010", "010f0000001000", ReplyFault::ByteCount},
        {"0110032000c8", "0110032000c8", ReplyFault::None},      // count 200: all 16 bits compared
        {"010300000100", "010300", ReplyFault::ByteCount},       // 256 registers asked: never 0 bytes
        {"010400000002", "018402", ReplyFault::None},            // an exception
        // Read Device Identification, one object ("RQ55") by stream
        {"012b0e0100", "012b0e018100000100045251353535", ReplyFault::ByteCount},
        {"012b0e0100", "012b0e0181000001000452513535", ReplyFault::None},
        {"012b0e0100", "012b0e01810000010004525135", ReplyFault::CutShort},
        {"012b0e0100", "012b0e0481000001000452513535", ReplyFault::Echo},   // another read code
        {"012b0e0100", "012b0d0181000001000452513535", ReplyFault::Echo},   // another MEI type
        {"012b0e0100", "01ab01", ReplyFault::None},
    };
    for (const auto& [request, reply, fault] : cases) {
        const Bytes q = FromHex(request), r = FromHex(reply);
        EXPECT_EQ(CheckReply(q.data(), r.data(), static_cast<int>(r.size()), false), fault) << request << " " << reply;
    }
}

// A reply's length from its first bytes as they arrive, CRC included; 0 while they cannot tell.
TEST(ModbusFrame, ReplyLengthIsKnownFromTheBytesIn) {
    const std::tuple<const char*, int, int> cases[] = {
        {"0103", 2, 0},       {"01030400", 3, 9},   {"0183020000", 3, 5}, {"0110000a", 3, 8},
        {"012b0e0181", 5, 0}, {"012b0e0181000002", 8, 0}, {"012b0e01810000020004", 10, 0},
        {"012b0e018100000200045251353501", 15, 0}, {"012b0e01810000020004525135350105", 16, 23},
    };
    for (const auto& [head, available, length] : cases)
        EXPECT_EQ(RtuReplyLength(FromHex(head).data(), available), length) << head;
}

} // namespace
