#include "serve/poll/counter_guard.h"

#include <cmath>

std::set<std::string> CounterGuard::look(const std::string& serial,
                                         const std::map<std::string, std::vector<NamedValue>>& blocks,
                                         std::vector<std::string>& said) {
    if (serial != serial_) { // another meter: nothing of the last one's counts applies
        serial_ = serial;
        published_.clear();
        held_.clear();
    }
    std::set<std::string> withheld;
    for (const auto& [block, values] : blocks)
        for (const NamedValue& v : values) {
            if (!v.info->family || v.info->family->metric != Metric::Counter || !std::isfinite(v.number)) continue;
            const std::string name = v.name();
            const auto last = published_.find(name);
            const auto held = held_.find(name);
            const bool lower = last != published_.end() && v.number < last->second;
            if (lower && !reset_ && held == held_.end()) { // a drop, seen once: it waits for the next poll
                held_[name] = v.number;
                withheld.insert(name);
                continue;
            }
            if (held != held_.end() && !lower)
                said.push_back(name + " read " + ShortestFloat(held->second) + " once, lower than " +
                               ShortestFloat(last->second) + ", then " + ShortestFloat(v.number) +
                               ": the drop was not exported");
            if (held != held_.end()) held_.erase(held);
            published_[name] = v.number;
        }
    reset_ = false;
    return withheld;
}
