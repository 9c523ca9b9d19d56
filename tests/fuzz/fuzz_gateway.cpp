// What a gateway client may send: the first byte chooses the framing and where the stream is cut
// into reads; whatever follows, the reader never reads past what it was given, every request it
// gives fits Modbus, and a reply framed for it has the length its header or CRC says.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "serve/gateway/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const GatewayFraming framing = data[0] & 1 ? GatewayFraming::ModbusTcp : GatewayFraming::Rtu;
    const size_t piece = 1 + (data[0] >> 1);
    RequestReader reader(framing);
    for (size_t at = 1; at < size; at += piece) {
        reader.feed(data + at, std::min(piece, size - at));
        GatewayRequest r;
        RequestReader::Step step;
        while ((step = reader.next(r)) != RequestReader::Step::Waiting && step != RequestReader::Step::Broken) {
            if (step != RequestReader::Step::Request) continue;
            if (r.pdu.empty() || r.pdu.size() > 253) std::abort();
            if (IsPassedFunction(r.pdu[0]) && MalformedRequestException(r.pdu) == 0 && RequestSpan(r.pdu).empty())
                std::abort();
            const Bytes reply = FrameReply(framing, r, r.pdu);
            if (reply.size() != r.pdu.size() + (framing == GatewayFraming::ModbusTcp ? 7 : 3)) std::abort();
        }
        if (step == RequestReader::Step::Broken) return 0;
    }
    reader.dropPartial();
    return 0;
}
