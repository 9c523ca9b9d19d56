#include "serve/gateway/poll_cache.h"

#include <algorithm>

void PollCache::hold(int unit, int start, int count, const unsigned char* data, double at) {
    if (fresh_ <= 0) return;
    std::vector<Span>& spans = spans_[unit];
    std::erase_if(spans, [&](const Span& s) { return s.start == start && s.count == count; });
    spans.push_back({start, count, Bytes(data, data + 2 * count), at});
}

namespace {

// The registers a function-3 read asks for: its first and how many; none for anything else.
bool readSpan(const GatewayRequest& request, int& first, int& count) {
    const Bytes& pdu = request.pdu;
    if (pdu.size() != 5 || pdu[0] != 3) return false;
    first = pdu[1] << 8 | pdu[2];
    count = pdu[3] << 8 | pdu[4];
    return true;
}

} // namespace

bool PollCache::stale(const GatewayRequest& request, double now) const {
    int start = 0, count = 0;
    const auto held = spans_.find(request.unit);
    if (!readSpan(request, start, count) || held == spans_.end()) return false;
    bool covered = false;
    for (const Span& s : held->second)
        if (s.covers(start, count)) {
            if (now - s.at < fresh_) return false;
            covered = true;
        }
    return covered;
}

std::optional<Bytes> PollCache::answer(const GatewayRequest& request, double now) const {
    int start = 0, count = 0;
    const auto held = spans_.find(request.unit);
    if (!readSpan(request, start, count) || held == spans_.end()) return std::nullopt;
    for (const Span& s : held->second) {
        if (now - s.at >= fresh_ || !s.covers(start, count)) continue;
        Bytes reply{3, static_cast<unsigned char>(2 * count)};
        const auto from = s.data.begin() + 2 * (start - s.start);
        reply.insert(reply.end(), from, from + 2 * count);
        return reply;
    }
    return std::nullopt;
}
