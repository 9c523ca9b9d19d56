// A frame on the wire in words, for the traffic monitor: its bytes in hex and what it is.
#pragma once

#include <string>

// "01 03 00 06 00 3C 45 DA"
std::string HexBytes(const unsigned char* bytes, int length);

// What a frame sent or received is: "read of 60 registers from 6", "write of 2 registers at 819",
// "reply with 120 data bytes", "exception 02 (illegal data address)", then, on RTU frames,
// "CRC good" or "CRC bad"; Modbus/TCP frames start with their transaction id. Never reads past
// `length`, whatever the bytes.
std::string DescribeFrame(const unsigned char* bytes, int length, bool sent, bool modbusTcp);
