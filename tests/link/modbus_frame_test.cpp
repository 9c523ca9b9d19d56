// Request builders, CRC and reply lengths, checked against bytes worked out independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "link/modbus_frame.h"
#include "link_test_support.h"

using linktest::Bytes;
using linktest::FromHex;
using linktest::Hex;

namespace {

struct ReadRequestCase {
    unsigned char address;
    unsigned short start;
    unsigned char count;
    const char* frame; // request and CRC as sent
};

TEST(ModbusFrame, ReadRequestsWithCrc) {
    const ReadRequestCase cases[] = {
        {1, 6, 60, "01030006003ca5da"}, // network parameters
        {1, 0, 10, "01030000000ac5cd"},     {0x11, 0x6B, 3, "1103006b00037687"},
        {247, 811, 11, "f703032b000b60d7"}, // serial number at the highest address
        {1, 130, 108, "01030082006ce5cf"},  // the largest read
    };
    for (const auto& c : cases) {
        unsigned char buffer[kRequestBufferSize + 4];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        Ulvo_Comando_Lectura(c.address, 3, c.start, c.count, buffer);
        Ulvo_CalculoCRC_2(buffer, 6);
        EXPECT_EQ(Hex(Bytes(buffer, buffer + 8)), c.frame) << "start " << c.start;
        EXPECT_EQ(buffer[8], 0xEE) << "the CRC must take exactly two bytes";
        EXPECT_TRUE(CrcValid(buffer, 8));
    }
}

TEST(ModbusFrame, WriteRequestCopiesDataAndReturnsLength) {
    const Bytes data = FromHex("101112131415161718");
    unsigned char buffer[kRequestBufferSize];
    int length = 10;
    const Bytes ten = FromHex("10111213141516171819");
    EXPECT_EQ(Ulvo_Comando_16(1, 201, 5, ten.data(), buffer, &length), 17);
    EXPECT_EQ(length, 17);
    Ulvo_CalculoCRC_2(buffer, length);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + 19)), "011000c900050a10111213141516171819dab1");

    // The byte count is twice the register count, kept to 8 bits, whatever data follows.
    length = 2;
    Ulvo_Comando_16(9, 8420, 200, data.data(), buffer, &length);
    EXPECT_EQ(Hex(Bytes(buffer, buffer + 9)), "091020e400c8901011");
}

TEST(ModbusFrame, WriteRequestRefusesMoreDataThanTheBufferHolds) {
    const Bytes data(kMaxWriteDataBytes + 1, 0x55);
    unsigned char buffer[kRequestBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    int length = static_cast<int>(data.size());
    EXPECT_EQ(Ulvo_Comando_16(1, 230, 16, data.data(), buffer, &length), -1);
    EXPECT_EQ(length, -1);
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](unsigned char b) { return b == 0xEE; }));

    length = kMaxWriteDataBytes; // 15 registers: the largest request there is
    EXPECT_EQ(Ulvo_Comando_16(1, 230, 15, data.data(), buffer, &length), kMaxRequestLength);
}

TEST(ModbusFrame, CrcCatchesAnyChangedByte) {
    Bytes frame = FromHex("01030006003ca5da");
    ASSERT_TRUE(CrcValid(frame.data(), 8));
    for (size_t i = 0; i < frame.size(); ++i) {
        Bytes bad = frame;
        bad[i] ^= 0x01;
        EXPECT_FALSE(CrcValid(bad.data(), 8)) << "byte " << i;
    }
    EXPECT_FALSE(CrcValid(frame.data(), 3)) << "too short to be a frame";
}

struct ReplyLengthCase {
    const char* head;
    int remainder; // bytes behind the first three
};

TEST(ModbusFrame, ReplyLengthFromItsHead) {
    const ReplyLengthCase cases[] = {
        {"010378", 122},                               // 60 registers: 120 data bytes and the CRC
        {"0103d8", 218},                               // 108 registers
        {"0103ff", 257},                               // the most a byte count can announce
        {"010300", 2},   {"011000", 5},                // write reply: start, count, CRC
        {"010600", 5},   {"010500", 5}, {"018302", 2}, // exception: code already in, CRC to come
        {"019002", 2},
    };
    for (const auto& c : cases) {
        const Bytes head = FromHex(c.head);
        EXPECT_EQ(RtuReplyRemainder(head.data()), c.remainder) << c.head;
        EXPECT_EQ(RtuReplyLength(head.data(), 3), 3 + c.remainder) << c.head;
        EXPECT_EQ(RtuReplyLength(head.data(), 2), 0) << "unknown until three bytes are in";
    }
}

TEST(ModbusFrame, MbapHeaderAndFrameLength) {
    unsigned char header[kMbapHeaderLength];
    BuildMbapHeader(0x0102, 6, header);
    EXPECT_EQ(Hex(Bytes(header, header + 6)), "010200000006");
    BuildMbapHeader(65535, 255, header);
    EXPECT_EQ(Hex(Bytes(header, header + 6)), "ffff000000ff");

    const Bytes frame = FromHex("0001000000fb0103f8");
    EXPECT_EQ(MbapFrameLength(frame.data(), 5), 0);
    EXPECT_EQ(MbapFrameLength(frame.data(), 6), 6 + 251);
    const Bytes huge = FromHex("00010000ffff");
    EXPECT_EQ(MbapFrameLength(huge.data(), 6), 6 + 65535);
}

} // namespace
