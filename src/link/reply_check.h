// Whether a reply is the reply to the request sent: one check for every form of the link.
//
// In order: the CRC (where the frame carries one; a bad CRC is a CRC error whatever the function
// byte says), the address or unit, the function (the request's, or its exception form), then the
// shape: a read reply carries exactly the bytes asked for (twice the registers of functions 3 and
// 4, the bits of 1 and 2 in bytes), a write reply echoes the request (5 and 6 their address and
// value, 15 and 16 their start and count), a Read Device Identification reply (43/14) its MEI type
// and read code, its objects ending the frame. Modbus/TCP adds its header: protocol 0 and the
// request's transaction id. Pure functions over bytes, so every rule can be checked with known frames.
#pragma once

enum class ReplyFault {
    None,             // the reply to the request (an exception reply included)
    Crc,              // the CRC does not match, or the frame is too short to carry one
    Address,          // another address or unit answered
    Function,         // neither the request's function nor its exception form
    ByteCount,        // a read reply of another length than the block asked for
    Echo,             // a write reply that does not echo the start register and count
    Protocol,         // a Modbus/TCP header whose protocol id is not 0
    StaleTransaction, // a Modbus/TCP reply to another request (its transaction id)
    CutShort,         // the reply stopped before its own length had arrived
};

// A short English name of the fault, for traces and logs.
const char* ReplyFaultName(ReplyFault fault);

// Checks an RTU reply (`length` bytes, CRC included when withCrc) against the request (its first
// six bytes: address, function, start, count; no CRC needed).
ReplyFault CheckReply(const unsigned char* request, const unsigned char* reply, int length, bool withCrc);

// Checks a Modbus/TCP header against the transaction id of the request.
ReplyFault CheckMbapHeader(const unsigned char* header, unsigned short transactionId);

// The length of a reply frame from its own first bytes (function code and byte count), never
// from a length field: RTU frames with their CRC; Modbus/TCP frames with their 6-byte header.
// 0 while too few bytes have arrived to tell.
int ReplyFrameLength(const unsigned char* bytes, int available, bool modbusTcp);
