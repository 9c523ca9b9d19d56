// The registers serve's own polls last read, by unit: a gateway client's read of registers within
// one of them is answered from it, byte for byte as the analyser sent them, while that read is
// younger than --gateway-fresh; the bus is spared an exchange that would bring the same bytes.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "serve/gateway/framing.h"

class PollCache {
  public:
    // `freshSeconds` 0 holds nothing.
    explicit PollCache(double freshSeconds) : fresh_(freshSeconds) {}

    // A function-3 read of `count` registers from `start` that the analyser at `unit` answered with
    // `data` (2 bytes a register) at `at` (Timer()'s clock); it replaces what was held of that span.
    void hold(int unit, int start, int count, const unsigned char* data, double at);
    // The reply's PDU to a function-3 read that a span held at `now` covers; none otherwise.
    std::optional<Bytes> answer(const GatewayRequest& request, double now) const;
    // Whether a span covers the read but has grown too old to answer it: serve's next poll of the
    // unit will read it afresh.
    bool stale(const GatewayRequest& request, double now) const;
    // Everything held of the unit (0, a broadcast: of every unit): a write may change registers
    // beyond those it names.
    void drop(int unit) { unit == 0 ? spans_.clear() : void(spans_.erase(unit)); }

  private:
    struct Span {
        bool covers(int first, int count) const { return first >= start && first + count <= start + this->count; }
        int start = 0, count = 0;
        Bytes data;
        double at = 0;
    };
    double fresh_;
    std::map<int, std::vector<Span>> spans_;
};
