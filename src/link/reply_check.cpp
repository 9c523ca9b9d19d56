#include "link/reply_check.h"

#include "link/modbus_frame.h"

namespace {

// The shape of the address-and-PDU part (`length` bytes, no CRC) once address and function match:
// a read carries as many data bytes as its request asked for (bits for functions 1 and 2,
// registers for 3 and 4), a write echoes its request's address and value or count.
ReplyFault checkShape(const unsigned char* request, const unsigned char* reply, int length) {
    const unsigned char function = reply[1];
    if (function == (request[1] | kExceptionFlag))
        return length < 3 ? ReplyFault::CutShort : length > 3 ? ReplyFault::ByteCount : ReplyFault::None;
    const int count = request[4] << 8 | request[5];
    if (function >= 1 && function <= 4) {
        if (length < 3) return ReplyFault::CutShort;
        if (reply[2] != (function <= 2 ? (count + 7) / 8 : 2 * count)) return ReplyFault::ByteCount;
        if (length < 3 + reply[2]) return ReplyFault::CutShort;
        return length == 3 + reply[2] ? ReplyFault::None : ReplyFault::ByteCount;
    }
    if (function == 5 || function == 6 || function == 15 || function == 16) {
        if (length < 6) return ReplyFault::CutShort;
        if (length > 6) return ReplyFault::ByteCount;
        for (int i = 2; i < 6; ++i)
            if (reply[i] != request[i]) return ReplyFault::Echo;
    }
    // Read Device Identification: the MEI type and read code asked, and objects that end the frame.
    if (function == kDeviceIdFunction) {
        if (length < 3) return ReplyFault::CutShort;
        if (reply[2] != request[2] || (length > 3 && reply[3] != request[3])) return ReplyFault::Echo;
        const int whole = DeviceIdFrameLength(reply, length);
        if (whole == 0 || length < whole) return ReplyFault::CutShort;
        return length == whole ? ReplyFault::None : ReplyFault::ByteCount;
    }
    return ReplyFault::None;
}

} // namespace

const char* ReplyFaultName(ReplyFault fault) {
    switch (fault) {
    case ReplyFault::None: return "accepted";
    case ReplyFault::Crc: return "CRC error";
    case ReplyFault::Address: return "wrong address or unit";
    case ReplyFault::Function: return "wrong function";
    case ReplyFault::ByteCount: return "wrong byte count";
    case ReplyFault::Echo: return "wrong echo";
    case ReplyFault::Protocol: return "wrong protocol id";
    case ReplyFault::StaleTransaction: return "stale transaction id";
    case ReplyFault::CutShort: return "reply cut short";
    }
    return "?";
}

ReplyFault CheckReply(const unsigned char* request, const unsigned char* reply, int length, bool withCrc) {
    if (withCrc) {
        if (!CrcValid(reply, length)) return ReplyFault::Crc;
        length -= 2;
    }
    if (length < 2) return ReplyFault::CutShort;
    if (reply[0] != request[0]) return ReplyFault::Address;
    if (reply[1] != request[1] && reply[1] != (request[1] | kExceptionFlag)) return ReplyFault::Function;
    return checkShape(request, reply, length);
}

ReplyFault CheckMbapHeader(const unsigned char* header, unsigned short transactionId) {
    if ((header[0] << 8 | header[1]) != transactionId) return ReplyFault::StaleTransaction;
    if (header[2] != 0 || header[3] != 0) return ReplyFault::Protocol;
    return ReplyFault::None;
}

int ReplyFrameLength(const unsigned char* bytes, int available, bool modbusTcp) {
    if (!modbusTcp) return RtuReplyLength(bytes, available);
    const int rtu = RtuReplyLength(bytes + kMbapHeaderLength, available - kMbapHeaderLength);
    return rtu > 0 ? kMbapHeaderLength + rtu - 2 : 0;
}
