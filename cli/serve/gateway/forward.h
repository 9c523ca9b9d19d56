// What serve's gateway answers a client's request: itself, when the request is not for the link
// (a function the link cannot frame, a malformed request, a write it does not pass, an address
// that is no device's), or with what the link brought back from the bus.
#pragma once

#include <optional>
#include <string>

#include "device/register_map.h"
#include "serve/gateway/framing.h"

// How a gateway request ended, as rq55_gateway_requests_total counts it.
// AnsweredNonstandard: a write answered, but not with the standard echo; passed on as it came.
// AnsweredFromPoll: a read answered from what serve's own poll read (PollCache), not over the bus.
// Identified: Read Device Identification (43/14), which the analysers do not answer, answered by
// the gateway itself.
enum class GatewayOutcome {
    Answered,
    AnsweredNonstandard,
    AnsweredFromPoll,
    Identified,
    Exception,
    Denied,
    Unsupported,
    NoReply,
    LinkDown
};
const char* OutcomeName(GatewayOutcome outcome);

struct GatewayAnswer {
    GatewayOutcome outcome = GatewayOutcome::Answered;
    Bytes pdu; // the reply's PDU, an exception's included
};

// The gateway's own answer, or none when the request goes to the link. `broadcasts`: a write to
// unit 0 goes to the link, as a broadcast.
std::optional<GatewayAnswer> ScreenRequest(const GatewayRequest& request, bool writesAllowed, bool broadcasts = false);

// The reply to Read Device Identification (function 43, MEI type 14): the basic objects, vendor
// "RQ55", product "RQ55 gateway" and this program's version, by stream (read codes 1 to 3, from
// the object asked) or one by one (code 4); an exception where the request asks what is not there.
Bytes DeviceIdentification(const GatewayRequest& request);

// One exchange of the request over the link (the request names its unit), one attempt: the device's reply or exception, 0x0B
// when no reply came whole and right within the reply wait, 0x0A when the link could not carry it.
GatewayAnswer ForwardRequest(const LinkTarget& link, const GatewayRequest& request);

// Whether the request writes any of `first`..`last` (a register range, inclusive).
bool WritesRegisters(const GatewayRequest& request, int first, int last);
