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

bool TrendHistory::range(std::span<const int> quantities, double spanMs, double& low, double& high) const {
    low = INFINITY;
    high = -INFINITY;
    if (samples_.empty()) return false;
    const double from = samples_.back().ms - spanMs;
    for (auto it = samples_.rbegin(); it != samples_.rend() && it->ms >= from; ++it)
        for (int q : quantities) {
            const float value = it->values[static_cast<std::size_t>(q)];
            if (!std::isfinite(value)) continue;
            low = std::min(low, static_cast<double>(value));
            high = std::max(high, static_cast<double>(value));
        }
    return low <= high;
}
