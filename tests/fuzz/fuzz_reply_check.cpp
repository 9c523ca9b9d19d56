// The reply check over any reply to a read or a write: whatever it accepts is the reply to the
// request, with a good CRC where the frame carries one.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/modbus_frame.h"
#include "link/reply_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 600) return 0;
    const bool write = data[0] & 1, withCrc = data[0] & 2, modbusTcp = data[0] & 4;
    unsigned char request[kRequestBufferSize] = {};
    const unsigned char count = static_cast<unsigned char>(1 + data[2] % 108);
    if (write) {
        const unsigned char values[2] = {data[3], data[1]};
        int length = 2;
        Ulvo_Comando_16(1, static_cast<unsigned short>(data[1] << 8 | data[3]), 1, values, request, &length);
    } else {
        Ulvo_Comando_Lectura(1, 3, static_cast<unsigned short>(data[1] << 8 | data[3]), count, request);
    }
    const unsigned char* reply = data + 4;
    const int length = static_cast<int>(size - 4);
    const int frame = ReplyFrameLength(reply, length, modbusTcp);
    if (frame < 0 || (frame > 0 && frame < 3)) std::abort();
    if (CheckReply(request, reply, length, withCrc) != ReplyFault::None) return 0;

    const int pdu = withCrc ? length - 2 : length;
    if (withCrc && !CrcValid(reply, length)) std::abort();
    if (reply[0] != request[0]) std::abort();
    if (reply[1] & kExceptionFlag) {
        if (reply[1] != (request[1] | kExceptionFlag) || pdu != 3) std::abort();
    } else if (write) {
        if (reply[1] != 16 || pdu != 6 || std::memcmp(reply + 2, request + 2, 4) != 0) std::abort();
    } else if (reply[1] != 3 || reply[2] != 2 * count || pdu != 3 + 2 * count) {
        std::abort();
    }
    return 0;
}
