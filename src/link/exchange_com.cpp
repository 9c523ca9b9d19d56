// The exchange on a COM port: Modbus RTU, with up to three attempts.
#include <algorithm>
#include <vector>

#include "lang/label_table.h"
#include "link/exchange_steps.h"
#include "link/exchange_words.h"
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
        trace(FrameKind::Received, scratch, got);
        count -= got;
    }
}

// Whatever waits on the line before a request answers nothing sent now: it is read, shown and
// thrown away, with what the system holds of it.
void discardCom(int port) {
    std::vector<unsigned char> stale;
    FlushInQ(port, &stale);
    trace(FrameKind::Discarded, stale.data(), static_cast<int>(stale.size()));
}

// A reply that did not come whole may still be on its way, or come late: the line is listened to
// until it has been silent for the silence time, then flushed, so that reply cannot be taken for
// the next attempt's or the next exchange's. A line that never falls silent is listened to no
// longer than one reply wait.
void letLineFallSilent(int port) {
    if (g_limits.comSilenceSeconds > 0) {
        SetComTime(port, g_limits.comSilenceSeconds);
        const double giveUp = Timer() + g_limits.comReplySeconds;
        unsigned char scratch[256];
        for (int got = 1; got > 0 && Timer() < giveUp;) {
            got = ComRd(port, scratch, sizeof scratch);
            trace(FrameKind::Discarded, scratch, got);
        }
    }
    discardCom(port);
    FlushOutQ(port);
}

// A serial device that went away ends the exchange at once, and the program around the link is
// told, so it can close the link rather than keep trying a port that is no longer there.
int deviceGone() {
    reportLoss(LinkLoss::DeviceGone);
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
    if (g_limits.discardBeforeRequest) discardCom(port);
    SetComTime(port, kComWriteTimeout);

    bool taken = false;
    bool tooLong = false;
    int received = 0;
    while (attempts > 0 && !taken) {
        setIcon(kIconSending);
        const int written = ComWrt(port, request, frameLength);
        trace(FrameKind::Sent, request, written);
        if (written == kRS_DeviceGone) return deviceGone();
        if (written < frameLength) {
            showErrorIcon();
            --attempts;
            continue;
        }
        if (request[0] == 0) return broadcastSent();
        SetComTime(port, g_limits.comReplySeconds);
        const int head = ComRd(port, reply, 3);
        if (head == kRS_DeviceGone) return deviceGone();
        if (WaitInterrupted()) return kStopped;
        if (head < 3) {
            trace(FrameKind::Received, reply, head);
            letLineFallSilent(port);
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
        const int wanted = std::min(remaining, room);
        const int body = ComRd(port, reply + 3, wanted);
        if (body == kRS_DeviceGone) return deviceGone();
        if (WaitInterrupted()) return kStopped;
        received = 3 + std::max(body, 0);
        trace(FrameKind::Received, reply, received);
        if (tooLong && body == room) drainCom(port, remaining - room);
        if (body < wanted) letLineFallSilent(port);
        taken = true;
    }

    if (!taken) {
        if (report == 1) reportCom(WordsOf(ExchangeEnd::NoReply).popupText, port);
        return fail(kNoReply);
    }
    // A reply too long for the buffer cannot be the block asked for; any other is checked whole,
    // its CRC first, before a byte of it is used.
    const ReplyFault fault =
        verdict(tooLong ? ReplyFault::ByteCount : CheckReply(request, reply, received, true));
    if (fault != ReplyFault::None) {
        if (report == 1) reportCom(WordsOf(ExchangeEnd::Refused, fault).popupText, port);
        if (fault == ReplyFault::Echo) g_lastReplyLength = received - 2; // whole and the device's, for who relays it
        return fail(kCrcError);
    }
    g_lastReplyLength = received - 2;
    if (reply[1] & kExceptionFlag) {
        g_lastException = reply[2];
        if (report == 1) reportCom(WordsOf(ExchangeEnd::Exception).popupText, port);
        return fail(kExceptionReply);
    }
    g_lastReplyDataBytes = dataBytesOf(reply, received, 5);
    pause();
    setIcon(kIconIdle);
    return kExchangeOk;
}
