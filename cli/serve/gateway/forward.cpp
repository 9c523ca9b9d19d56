#include "serve/gateway/forward.h"

#include <cstring>

#include "link/exchange.h"

namespace {

GatewayAnswer own(const GatewayRequest& request, GatewayOutcome outcome, int code) {
    return {outcome, ExceptionPdu(request, code)};
}

} // namespace

const char* OutcomeName(GatewayOutcome outcome) {
    switch (outcome) {
    case GatewayOutcome::Answered: return "answered";
    case GatewayOutcome::AnsweredNonstandard: return "answered_nonstandard";
    case GatewayOutcome::AnsweredFromPoll: return "answered_from_poll";
    case GatewayOutcome::Identified: return "identified";
    case GatewayOutcome::Exception: return "exception";
    case GatewayOutcome::Denied: return "denied";
    case GatewayOutcome::Unsupported: return "unsupported";
    case GatewayOutcome::NoReply: return "no_reply";
    case GatewayOutcome::LinkDown: return "link_down";
    }
    return "";
}

Bytes DeviceIdentification(const GatewayRequest& request) {
    const Bytes& pdu = request.pdu;
    if (pdu.size() < 2 || pdu[1] != 0x0E) return ExceptionPdu(request, kIllegalFunction);
    const int code = pdu.size() == 4 ? pdu[2] : 0, first = pdu.size() == 4 ? pdu[3] : 0;
    const std::string objects[] = {"RQ55", "RQ55 gateway", RQ55_VERSION};
    constexpr int kObjects = 3;
    if (code < 1 || code > 4) return ExceptionPdu(request, kIllegalDataValue);
    if (code == 4 && first >= kObjects) return ExceptionPdu(request, 0x02); // illegal data address
    // A stream from an object that is not there starts at the first, as the protocol has it.
    const int from = first < kObjects ? first : 0, to = code == 4 ? from + 1 : kObjects;
    // Conformity 0x81: the basic objects, by stream and one by one; nothing more follows.
    Bytes reply{0x2B, 0x0E, static_cast<unsigned char>(code), 0x81, 0x00, 0x00, static_cast<unsigned char>(to - from)};
    for (int id = from; id < to; ++id) {
        reply.push_back(static_cast<unsigned char>(id));
        reply.push_back(static_cast<unsigned char>(objects[id].size()));
        reply.insert(reply.end(), objects[id].begin(), objects[id].end());
    }
    return reply;
}

std::optional<GatewayAnswer> ScreenRequest(const GatewayRequest& request, bool writesAllowed, bool broadcasts) {
    const int function = request.pdu.empty() ? 0 : request.pdu[0];
    // Broadcasts go unanswered on a bus (a write passes only where asked for) and 248-255 are no
    // device's: nothing there to reach.
    const bool nobody = (request.unit == 0 && !(broadcasts && IsWriteFunction(function))) || request.unit > 247;
    if (function == 0x2B && !nobody) return GatewayAnswer{GatewayOutcome::Identified, DeviceIdentification(request)};
    if (!IsPassedFunction(function)) return own(request, GatewayOutcome::Unsupported, kIllegalFunction);
    if (nobody) return own(request, GatewayOutcome::LinkDown, kGatewayPathUnavailable);
    if (const int code = MalformedRequestException(request.pdu)) return own(request, GatewayOutcome::Exception, code);
    if (IsWriteFunction(function) && !writesAllowed) return own(request, GatewayOutcome::Denied, kIllegalFunction);
    return std::nullopt;
}

GatewayAnswer ForwardRequest(const LinkTarget& link, const GatewayRequest& request) {
    g_requestBuffer[0] = request.unit;
    std::memcpy(g_requestBuffer + 1, request.pdu.data(), request.pdu.size());
    // One attempt: the client retries as it sees fit, and a write is never made twice behind it.
    const ExchangeLimits kept = CurrentExchangeLimits();
    ExchangeLimits once = kept;
    once.comAttempts = 1;
    SetExchangeLimits(once);
    Ulvo_Transmitir_Modbus(link.port, g_requestBuffer, static_cast<int>(request.pdu.size()) + 1, g_replyBuffer, 0, 0,
                           link.spare, link.tcpPort, link.host);
    SetExchangeLimits(kept);
    switch (LastExchangeEnd()) {
    case ExchangeEnd::Accepted:
    case ExchangeEnd::Exception: {
        const int length = LastReplyLength();
        return {LastExchangeEnd() == ExchangeEnd::Accepted ? GatewayOutcome::Answered : GatewayOutcome::Exception,
                Bytes(g_replyBuffer + 1, g_replyBuffer + (length > 1 ? length : 1))};
    }
    case ExchangeEnd::Refused:
        // A write the device answered otherwise than with the standard echo: it came, and is its answer.
        if (LastReplyFault() == ReplyFault::Echo && LastReplyLength() > 1)
            return {GatewayOutcome::AnsweredNonstandard, Bytes(g_replyBuffer + 1, g_replyBuffer + LastReplyLength())};
        return own(request, GatewayOutcome::NoReply, kGatewayTargetFailed);
    case ExchangeEnd::NoReply:
    case ExchangeEnd::TimedOut: return own(request, GatewayOutcome::NoReply, kGatewayTargetFailed);
    default: return own(request, GatewayOutcome::LinkDown, kGatewayPathUnavailable);
    }
}

bool WritesRegisters(const GatewayRequest& request, int first, int last) {
    const Bytes& pdu = request.pdu;
    if (pdu.size() < 5 || (pdu[0] != 6 && pdu[0] != 16)) return false;
    const int start = pdu[1] << 8 | pdu[2], count = pdu[0] == 6 ? 1 : (pdu[3] << 8 | pdu[4]);
    return start <= last && start + count - 1 >= first;
}
