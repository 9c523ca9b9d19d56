// The exchange on a COM port: Modbus RTU, with up to three attempts.
#include <algorithm>

#include "lang/label_table.h"
#include "link/exchange_steps.h"
#include "link/reply_check.h"
#include "platform/serial.h"
#include "platform/system.h"

namespace {

using namespace exchange_detail;

constexpr double kComWriteTimeout = 8.0;
constexpr double kComRetryTimeout = 1.0;

// COM messages name the port on a second line: "(:5)"; the empty text stands where a TCP
// message has the host.
void reportCom(int text, int port) {
    reportError(errorTitle(), strfmt("%s\n(%s:%i)", etiqueta[text].c_str(), "", port));
}

// The rest of a reply too long for the reply buffer is read off the line (and dropped), so it
// cannot pass for the start of the next reply.
void drainCom(int port, int count) {
    unsigned char scratch[256];
    while (count > 0) {
        const int got = ComRd(port, scratch, std::min<int>(count, sizeof scratch));
        if (got <= 0) return;
        trace(false, scratch, got);
        count -= got;
    }
}

// A serial device that went away ends the exchange at once, and the program around the link is
// told, so it can close the link rather than keep trying a port that is no longer there.
int deviceGone() {
    showErrorIcon();
    if (g_reporter.deviceGone) g_reporter.deviceGone();
    return kDeviceGone;
}

} // namespace

int exchange_detail::transmitCom(int port, unsigned char* request, int requestLength, unsigned char* reply,
                                 int report) {
    setIcon(kIconIdle);
    Ulvo_CalculoCRC_2(request, requestLength);
    const int frameLength = requestLength + 2;
    int attempts = g_limits.comAttempts;
    g_waitEnd = Timer() + attempts * g_limits.comReplySeconds;
    FlushOutQ(port);
    FlushInQ(port);
    SetComTime(port, kComWriteTimeout);

    bool taken = false;
    bool tooLong = false;
    int received = 0;
    while (attempts > 0 && !taken) {
        setIcon(kIconSending);
        const int written = ComWrt(port, request, frameLength);
        trace(true, request, written);
        if (written == kRS_DeviceGone) return deviceGone();
        if (written < frameLength) {
            showErrorIcon();
            --attempts;
            continue;
        }
        SetComTime(port, g_limits.comReplySeconds);
        const int head = ComRd(port, reply, 3);
        if (head == kRS_DeviceGone) return deviceGone();
        if (head < 3) {
            trace(false, reply, head);
            FlushInQ(port);
            FlushOutQ(port);
            SetComTime(port, kComRetryTimeout); // governs the next attempt's write
            --attempts;
            showErrorIcon();
            continue;
        }
        // A byte count of up to 255 may announce more than the reply buffer holds: read what
        // fits, drop the rest, and refuse the reply as if its CRC had failed.
        const int remaining = RtuReplyRemainder(reply);
        const int room = kMaxReplyLength - 3;
        tooLong = remaining > room;
        setIcon(kIconReceiving);
        const int body = ComRd(port, reply + 3, std::min(remaining, room));
        received = 3 + std::max(body, 0);
        trace(false, reply, received);
        if (tooLong && body == room) drainCom(port, remaining - room);
        taken = true;
    }

    if (!taken) {
        if (report == 1) reportCom(kTextNoAnswer, port);
        return fail(kNoReply);
    }
    // A reply too long for the buffer cannot be the block asked for; any other is checked whole,
    // its CRC first, before a byte of it is used.
    const ReplyFault fault =
        verdict(tooLong ? ReplyFault::ByteCount : CheckReply(request, reply, received, true));
    if (fault != ReplyFault::None) {
        if (report == 1) reportCom(faultText(fault), port);
        return fail(kCrcError);
    }
    if (reply[1] & kExceptionFlag) {
        g_lastException = reply[2];
        if (report == 1) reportCom(kTextError, port);
        return fail(kExceptionReply);
    }
    g_lastReplyDataBytes = dataBytesOf(reply, received, 5);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
}
