// The network view's recent values, kept for its trend chart: one sample per good read, those of
// the last half hour at most, and the points of one quantity over a chosen span.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include "device/register_map.h"

class TrendHistory {
  public:
    // Samples more than keepMs older than the newest one are dropped, and never more than
    // maxSamples are kept.
    TrendHistory(double keepMs, std::size_t maxSamples) : keepMs_(keepMs), maxSamples_(maxSamples) {}

    // One good read at ms since 1970. A time before the newest sample's (the clock was set back)
    // starts the history afresh, so a line never runs backwards; false then.
    bool add(double ms, const float* record);
    double newestMs() const { return samples_.empty() ? 0 : samples_.back().ms; }
    double oldestMs() const { return samples_.empty() ? 0 : samples_.front().ms; }
    void clear() { samples_.clear(); }
    std::size_t size() const { return samples_.size(); }

    // The points of one quantity (its index in the record) within spanMs before the newest
    // sample; values that are not numbers are left out.
    void points(int quantity, double spanMs, std::vector<double>& x, std::vector<double>& y) const;

  private:
    struct Sample {
        double ms;
        std::array<float, kNetworkParameterCount> values;
    };
    double keepMs_;
    std::size_t maxSamples_;
    std::deque<Sample> samples_;
};

// The smallest and largest of the values within a window of time that only moves on: each value is
// looked at a few times however long the window, so a chart's refresh costs the same with half an
// hour drawn as with a minute. Values come in time order; those that are not numbers are left out.
class MovingRange {
  public:
    void clear();
    void add(double ms, double value);
    void dropBefore(double ms);
    // Widens low and high to take in the window's values; false when it holds none.
    bool widen(double& low, double& high) const;

  private:
    // The candidates for the smallest (and the largest) value, oldest first: each one smaller
    // (larger) than every one before it that is still there.
    std::deque<std::pair<double, double>> lows_, highs_;
};
