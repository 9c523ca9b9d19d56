#include "link/exchange_words.h"

#include <algorithm>
#include <iterator>

#include "lang/label_table.h"
#include "link/exchange_steps.h"
#include "platform/system.h"

namespace {

// By ExchangeEnd, in its order.
constexpr EndWords kEnds[] = {
    {0, 0, "", ""},                                         // Accepted
    {24, 450, "no reply", "no_reply"},                      // NoReply
    {0, 450, "time-out", "no_reply"},                       // TimedOut
    {25, 451, nullptr, "refused"},                          // Refused: by its fault, below
    {21, 457, "exception", "exception"},                    // Exception
    {0, 458, "connection closed", "connection_closed"},     // ConnectionClosed
    {0, 459, "serial device gone", "device_gone"},          // DeviceGone
    {0, 450, "no host name", "link"},                       // NotSent
    {0, 461, "TCP error", "link"},                          // TcpError
    {0, 450, "stopped", ""},                                // Stopped: says nothing of the analyser
};
static_assert(std::size(kEnds) == static_cast<size_t>(ExchangeEnd::Stopped) + 1);

// A refused reply, by ReplyFault in its order (None and a bad CRC share the CRC's texts).
constexpr EndWords kRefused[] = {
    {25, 451, nullptr, "refused"},  // None
    {25, 451, nullptr, "refused"},  // Crc
    {394, 452, nullptr, "refused"}, // Address
    {395, 453, nullptr, "refused"}, // Function
    {396, 454, nullptr, "refused"}, // ByteCount
    {397, 460, nullptr, "refused"}, // Echo
    {398, 455, nullptr, "refused"}, // Protocol
    {398, 455, nullptr, "refused"}, // StaleTransaction
    {399, 456, nullptr, "refused"}, // CutShort
};
static_assert(std::size(kRefused) == static_cast<size_t>(ReplyFault::CutShort) + 1);

} // namespace

const EndWords& WordsOf(ExchangeEnd end, ReplyFault fault) {
    if (end == ExchangeEnd::Refused) return kRefused[static_cast<size_t>(fault)];
    return kEnds[static_cast<size_t>(end)];
}

const EndWords& LastEndWords() { return WordsOf(LastExchangeEnd(), LastReplyFault()); }

std::vector<std::string> FailureReasons() {
    std::vector<std::string> reasons;
    for (const EndWords& w : kEnds)
        if (*w.reason && std::find(reasons.begin(), reasons.end(), w.reason) == reasons.end())
            reasons.push_back(w.reason);
    return reasons;
}

std::string LastExchangeFailure() {
    switch (LastExchangeEnd()) {
    case ExchangeEnd::Refused: return ReplyFaultName(LastReplyFault());
    case ExchangeEnd::Exception:
        return strfmt("exception %02X (%s)", LastExceptionCode(), ExceptionName(LastExceptionCode()));
    case ExchangeEnd::TcpError: return strfmt("TCP error %d", exchange_detail::LastStatus());
    default: return LastEndWords().words;
    }
}

std::string FailureSentence(const std::string& when) {
    const std::string& text = etiqueta[LastEndWords().noticeText];
    if (LastExchangeEnd() == ExchangeEnd::Exception) return FillIn(text, {when, strfmt("%02X", LastExceptionCode())});
    return FillIn(text, {when});
}

std::string WritesRefusedSentence(bool english) {
    constexpr int kTextWritesRefused = 527;
    if (LastExchangeEnd() != ExchangeEnd::Exception || LastExceptionCode() != 1 || !LastExchangeWasWrite()) return "";
    if (!english) return etiqueta[kTextWritesRefused];
    return "the analyser, or a gateway in front of it, refuses writes: a gateway run by rq55ctl serve passes them only "
           "when started with --gateway-writes allow";
}
