// Replies no well-behaved analyser sends, from a scripted TCP peer: the exchange must fail
// cleanly and never write past the reply buffer, whatever arrives.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/exchange.h"
#include "link/modbus_frame.h"
#include "link_test_support.h"
#include "platform/testing.h"
#include "scripted_peer.h"

using namespace linktest;

namespace {

// A head given in hex, then `filler` bytes counting from 0.
Bytes bytes(const char* head, int filler = 0) {
    Bytes out = FromHex(head);
    for (int i = 0; i < filler; ++i) out.push_back(static_cast<unsigned char>(i));
    return out;
}

TEST(MalformedTcpReply, FailsCleanlyAndStaysInsideTheBuffer) {
    const struct {
        const char* name;
        bool modbusTcp;
        Bytes reply;
        int status;
        int dataBytes; // LastReplyDataBytes() after a success
    } cases[] = {
        {"Modbus/TCP header alone", true, bytes("000100000000"), kCrcError, 0},
        {"Modbus/TCP unit without a function code", true, bytes("00010000000101"), kCrcError, 0},
        {"Modbus/TCP header announcing more than any frame", true, bytes("00010000012c", 20), kCrcError, 0},
        {"Modbus/TCP burst of a thousand bytes", true, bytes("0001000000fe0103fb", 997), kCrcError, 0},
        {"Modbus/TCP byte count beyond its frame", true, bytes("00010000000d010378", 10), kExchangeOk, 10},
        {"RTU burst of a thousand bytes", false, bytes("0103ff", 997), kCrcError, 0},
        {"RTU exception followed by junk", false, bytes("018302c0f1", 50), kExceptionReply, 0},
    };
    for (const auto& c : cases) {
        ResetProgramState();
        ScriptedPeer peer(c.reply);
        ASSERT_NE(peer.port(), 0);
        const int port = c.modbusTcp ? 100 : 99;
        ASSERT_EQ(Ulvo_Abrir_Puerto(port, 0, 0, 0, 0, peer.port(), "127.0.0.1"), 0) << c.name;

        unsigned char request[kRequestBufferSize];
        Ulvo_Comando_Lectura(1, 3, 130, 108, request);
        unsigned char reply[kReplyBufferSize + 64];
        std::fill(std::begin(reply), std::end(reply), 0xA5);
        const int status =
            Ulvo_Transmitir_Modbus(port, request, 6, reply, 216, 0, "", peer.port(), "127.0.0.1");
        Ulvo_Cerrar_Puerto(port);

        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(peer.requestsSeen(), 1) << c.name;
        EXPECT_TRUE(
            std::all_of(reply + kReplyBufferSize, std::end(reply), [](unsigned char b) { return b == 0xA5; }))
            << c.name << ": written past the reply buffer";
        EXPECT_EQ(LastReplyDataBytes(), c.dataBytes) << c.name;
        EXPECT_EQ(CurrentTrayIconImage(), kIdle) << c.name;
    }
}

} // namespace
