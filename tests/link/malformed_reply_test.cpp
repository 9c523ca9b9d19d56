// Replies no well-behaved analyser sends, put in the simulated analyser's place byte for byte: the
// exchange must fail cleanly and never write past the reply buffer, whatever arrives.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/exchange.h"
#include "link/modbus_frame.h"
#include "link_test_support.h"
#include "platform/testing.h"

using namespace linktest;

namespace {

// A head given in hex, then `filler` bytes counting from 0.
Bytes bytes(const char* head, int filler = 0) {
    Bytes out = FromHex(head);
    for (int i = 0; i < filler; ++i) out.push_back(static_cast<unsigned char>(i));
    return out;
}

TEST(MalformedTcpReply, FailsCleanlyAndStaysInsideTheBuffer) {
    const Bytes read108 = bytes("0103d8", 216), echo = FromHex("011003330001");
    const auto mbap = [](const char* header, const Bytes& pdu) {
        Bytes out = FromHex(header);
        out.insert(out.end(), pdu.begin(), pdu.end());
        return out;
    };
    const auto rtu = [](Bytes frame, bool goodCrc) {
        const unsigned short crc = ModbusCrc(frame.data(), static_cast<int>(frame.size()));
        frame.push_back(static_cast<unsigned char>(goodCrc ? crc & 0xFF : ~crc & 0xFF));
        frame.push_back(static_cast<unsigned char>(crc >> 8));
        return frame;
    };
    Bytes staleThenCurrent = mbap("0000000000db", bytes("0103d8ff", 215));
    const Bytes current = mbap("0001000000db", read108);
    staleThenCurrent.insert(staleThenCurrent.end(), current.begin(), current.end());
    const struct {
        const char* name;
        bool modbusTcp;
        Bytes reply;
        int status;
        int dataBytes;     // LastReplyDataBytes() after a success
        bool write = false; // the request: a write of register 819, else a read of 108 registers
    } cases[] = {
        {"Modbus/TCP header alone", true, bytes("000100000000"), kCrcError, 0},
        {"Modbus/TCP unit without a function code", true, bytes("00010000000101"), kCrcError, 0},
        {"Modbus/TCP header announcing more than any frame", true, bytes("00010000012c", 20), kCrcError, 0},
        {"Modbus/TCP burst of a thousand bytes", true, bytes("0001000000fe0103fb", 997), kCrcError, 0},
        {"Modbus/TCP byte count beyond its frame", true, bytes("00010000000d010378", 10), kCrcError, 0},
        {"Modbus/TCP reply stopping after 10 bytes", true, bytes("0001000000db0103d8", 1), kCrcError, 0},
        {"Modbus/TCP length one short is read by the PDU", true, mbap("0001000000da", read108), kExchangeOk, 216},
        {"Modbus/TCP length one long is read by the PDU", true, mbap("0001000000dc", read108), kExchangeOk, 216},
        {"Modbus/TCP stale reply and the current one together", true, staleThenCurrent, kExchangeOk, 216},
        {"Modbus/TCP protocol id not 0", true, mbap("0001000100db", read108), kCrcError, 0},
        {"Modbus/TCP another unit", true, mbap("0001000000db", bytes("0203d8", 216)), kCrcError, 0},
        {"Modbus/TCP another function", true, mbap("0001000000db", bytes("0104d8", 216)), kCrcError, 0},
        {"Modbus/TCP more registers than asked for", true, mbap("0001000000dd", bytes("0103da", 218)), kCrcError, 0},
        {"Modbus/TCP write confirmed by 01 03", true, bytes("0001000000020103"), kCrcError, 0, true},
        {"Modbus/TCP write with a wrong echo", true, bytes("000100000006011003330002"), kCrcError, 0, true},
        {"Modbus/TCP write echoed", true, mbap("000100000006", echo), kExchangeOk, 0, true},
        {"RTU burst of a thousand bytes", false, bytes("0103ff", 997), kCrcError, 0},
        {"RTU exception followed by junk", false, bytes("018302c0f1", 50), kExceptionReply, 0},
        {"RTU exception with a bad CRC", false, rtu(FromHex("018302"), false), kCrcError, 0},
        {"RTU write confirmed with a bad CRC", false, rtu(echo, false), kCrcError, 0, true},
        {"RTU write echoed", false, rtu(echo, true), kExchangeOk, 0, true},
    };
    // A reply wait of an hour, beyond the test's time limit: a bad reply that waited it out would
    // end the test there, however fast or loaded the machine, and nothing here is timed.
    const ExchangeLimits before = CurrentExchangeLimits();
    for (const auto& c : cases) {
        ResetProgramState();
        SetExchangeLimits({.tcpReplySeconds = 3600});
        SimulatedLink link(c.modbusTcp ? sim::Transport::ModbusTcp : sim::Transport::RtuOverTcp);
        ASSERT_TRUE(link.ok()) << link.error();
        link.sim.addFault({.kind = sim::FaultRule::Kind::Replace, .bytes = c.reply});

        unsigned char request[kRequestBufferSize];
        int length = 2;
        const unsigned char password[] = {0x04, 0xD2};
        if (c.write)
            Ulvo_Comando_16(1, 819, 1, password, request, &length);
        else
            Ulvo_Comando_Lectura(1, 3, 130, 108, request), length = 6;
        unsigned char reply[kReplyBufferSize + 64];
        std::fill(std::begin(reply), std::end(reply), 0xA5);
        const int status =
            Ulvo_Transmitir_Modbus(link.port, request, length, reply, 216, 0, "", link.tcpPort, link.host);

        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(link.sim.requestCount(), 1) << c.name;
        EXPECT_TRUE(
            std::all_of(reply + kReplyBufferSize, std::end(reply), [](unsigned char b) { return b == 0xA5; }))
            << c.name << ": written past the reply buffer";
        EXPECT_EQ(LastReplyDataBytes(), c.dataBytes) << c.name;
        if (status == kExchangeOk && !c.write) {
            EXPECT_EQ(reply[3], 0) << c.name << ": the stale reply was taken";
        }
        EXPECT_EQ(CurrentTrayIconImage(), kIdle) << c.name;
    }
    SetExchangeLimits(before);
}

} // namespace
