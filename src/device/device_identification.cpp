#include "device/device_identification.h"

#include <algorithm>

#include "link/exchange.h"
#include "link/modbus_frame.h"

namespace {

// An object's bytes as a text that prints safely: a control character becomes '?'.
std::string printable(const unsigned char* bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += bytes[i] < 0x20 || bytes[i] == 0x7F ? '?' : static_cast<char>(bytes[i]);
    return text;
}

// Reads one reply (address and PDU, no CRC) into `id`; false when it is not a whole reply. `next`
// is the object to ask for next when more follow, else 0.
bool fromReply(const unsigned char* reply, int length, DeviceIdentification& id, int& next) {
    if (length < 8 || reply[1] != kDeviceIdFunction || reply[2] != kDeviceIdMeiType ||
        DeviceIdFrameLength(reply, length) != length)
        return false;
    std::string* objects[] = {&id.vendor, &id.product, &id.version};
    int at = 8;
    for (int n = reply[7]; n > 0; --n) {
        const int object = reply[at], size = reply[at + 1];
        if (object < 3) *objects[object] = printable(reply + at + 2, size);
        at += 2 + size;
    }
    next = reply[5] == 0xFF ? reply[6] : 0;
    return true;
}

} // namespace

bool AskDeviceIdentification(const LinkTarget& link, double waitSeconds, DeviceIdentification& id) {
    const ExchangeLimits kept = CurrentExchangeLimits();
    ExchangeLimits brief = kept;
    brief.comReplySeconds = std::min(kept.comReplySeconds, waitSeconds);
    brief.tcpReplySeconds = kept.tcpReplySeconds > 0 ? std::min(kept.tcpReplySeconds, waitSeconds) : waitSeconds;
    SetExchangeLimits(brief);
    id = {};
    int next = 0;
    bool given = true;
    // A device whose objects do not fit one reply says which comes next; three replies hold any
    // basic objects.
    for (int asked = 0; asked < 3 && given && (asked == 0 || next > 0); ++asked) {
        unsigned char request[kRequestBufferSize] = {link.address, kDeviceIdFunction, kDeviceIdMeiType, 1,
                                                     static_cast<unsigned char>(next)};
        unsigned char reply[kReplyBufferSize] = {};
        given = Ulvo_Transmitir_Modbus(link.port, request, 5, reply, 0, 0, link.spare, link.tcpPort, link.host) == 1 &&
                fromReply(reply, LastReplyLength(), id, next);
    }
    SetExchangeLimits(kept);
    return given;
}
