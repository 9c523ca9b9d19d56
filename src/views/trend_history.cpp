#include "views/trend_history.h"

#include <algorithm>
#include <cmath>

bool TrendHistory::add(double ms, const float* record) {
    const bool goesOn = samples_.empty() || ms >= samples_.back().ms;
    if (!goesOn) samples_.clear();
    Sample& sample = samples_.emplace_back();
    sample.ms = ms;
    std::copy(record, record + kNetworkParameterCount, sample.values.begin());
    while (!samples_.empty() && (samples_.size() > maxSamples_ || samples_.front().ms < ms - keepMs_))
        samples_.pop_front();
    return goesOn;
}

void TrendHistory::points(int quantity, double spanMs, std::vector<double>& x, std::vector<double>& y) const {
    x.clear();
    y.clear();
    if (samples_.empty() || quantity < 0 || quantity >= kNetworkParameterCount) return;
    const double from = samples_.back().ms - spanMs;
    auto first = std::lower_bound(samples_.begin(), samples_.end(), from,
                                  [](const Sample& s, double t) { return s.ms < t; });
    for (auto it = first; it != samples_.end(); ++it) {
        const float value = it->values[static_cast<std::size_t>(quantity)];
        if (!std::isfinite(value)) continue;
        x.push_back(it->ms);
        y.push_back(value);
    }
}

void MovingRange::clear() {
    lows_.clear();
    highs_.clear();
}

void MovingRange::add(double ms, double value) {
    if (!std::isfinite(value)) return;
    while (!lows_.empty() && lows_.back().second >= value) lows_.pop_back();
    while (!highs_.empty() && highs_.back().second <= value) highs_.pop_back();
    lows_.emplace_back(ms, value);
    highs_.emplace_back(ms, value);
}

void MovingRange::dropBefore(double ms) {
    while (!lows_.empty() && lows_.front().first < ms) lows_.pop_front();
    while (!highs_.empty() && highs_.front().first < ms) highs_.pop_front();
}

bool MovingRange::widen(double& low, double& high) const {
    if (lows_.empty()) return false;
    low = std::min(low, lows_.front().second);
    high = std::max(high, highs_.front().second);
    return true;
}
