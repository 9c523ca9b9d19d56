#include "serve/gateway/poll_cache.h"

#include <algorithm>

void PollCache::hold(int unit, int start, int count, const unsigned char* data, double at) {
    if (fresh_ <= 0) return;
    std::vector<Span>& spans = spans_[unit];
    std::erase_if(spans, [&](const Span& s) { return s.start == start && s.count == count; });
    spans.push_back({start, count, Bytes(data, data + 2 * count), at});
}

std::optional<Bytes> PollCache::answer(const GatewayRequest& request, double now) const {
    const Bytes& pdu = request.pdu;
    const auto held = spans_.find(request.unit);
    if (pdu.size() != 5 || pdu[0] != 3 || held == spans_.end()) return std::nullopt;
    const int start = pdu[1] << 8 | pdu[2], count = pdu[3] << 8 | pdu[4];
    for (const Span& s : held->second) {
        if (now - s.at >= fresh_ || start < s.start || start + count > s.start + s.count) continue;
        Bytes reply{3, static_cast<unsigned char>(2 * count)};
        const auto from = s.data.begin() + 2 * (start - s.start);
        reply.insert(reply.end(), from, from + 2 * count);
        return reply;
    }
    return std::nullopt;
}
