#include "link/frame_text.h"

#include "link/modbus_frame.h"
#include "platform/system.h"

std::string HexBytes(const unsigned char* bytes, int length) {
    std::string out;
    for (int i = 0; i < length; ++i) out += strfmt(i ? " %02X" : "%02X", bytes[i]);
    return out;
}

std::string DescribeFrame(const unsigned char* bytes, int length, bool sent, bool modbusTcp) {
    std::string out;
    if (modbusTcp) {
        if (length < kMbapHeaderLength + 2) return strfmt("%d bytes, too short for a frame", length);
        out = strfmt("transaction %d, ", bytes[0] << 8 | bytes[1]);
        bytes += kMbapHeaderLength;
        length -= kMbapHeaderLength;
    } else if (length < 4) {
        return strfmt("%d bytes, too short for a frame", length);
    }
    const int pdu = modbusTcp ? length : length - 2;
    const int function = bytes[1];
    const auto word = [&](int at) { return at + 1 < pdu ? bytes[at] << 8 | bytes[at + 1] : -1; };
    const auto count = [](int n, const char* what) { return strfmt("%d %s%s", n, what, n == 1 ? "" : "s"); };
    out += strfmt("address %d, ", bytes[0]);
    if (function & kExceptionFlag)
        out += pdu >= 3 ? strfmt("exception %02X (%s)", bytes[2], ExceptionName(bytes[2]))
                        : "exception, cut short";
    else if (sent && function == 3)
        out += "read of " + count(word(4), "register") + strfmt(" from %d", word(2));
    else if (sent && function == 16)
        out += "write of " + count(word(4), "register") + strfmt(" at %d", word(2));
    else if (function == 3)
        out += pdu >= 3 ? "reply with " + count(bytes[2], "data byte") : "reply, cut short";
    else if (function == 16)
        out += "write of " + count(word(4), "register") + strfmt(" at %d confirmed", word(2));
    else
        out += strfmt("function %d", function);
    if (!modbusTcp) out += CrcValid(bytes, length) ? ", CRC good" : ", CRC bad";
    return out;
}
