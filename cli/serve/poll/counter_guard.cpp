#include "serve/poll/counter_guard.h"

#include <cmath>

#include "platform/system.h"

namespace {

bool isCounter(const NamedValue& v) {
    return v.info->family && v.info->family->metric == Metric::Counter && std::isfinite(v.number);
}

// Every counter of the poll at zero at once: a meter that glitched, not one reset.
bool allZero(const std::map<std::string, std::vector<NamedValue>>& blocks) {
    bool any = false;
    for (const auto& [block, values] : blocks)
        for (const NamedValue& v : values)
            if (isCounter(v)) {
                if (v.number != 0) return false;
                any = true;
            }
    return any;
}

} // namespace

std::set<std::string> CounterGuard::look(const std::string& serial,
                                         const std::map<std::string, std::vector<NamedValue>>& blocks,
                                         std::vector<std::string>& said) {
    if (serial != serial_) { // another meter: nothing of the last one's counts applies
        serial_ = serial;
        published_.clear();
        held_.clear();
    }
    const bool zeroGlitch = !reset_ && allZero(blocks);
    std::set<std::string> withheld;
    for (const auto& [block, values] : blocks)
        for (const NamedValue& v : values) {
            if (!isCounter(v)) continue;
            const std::string name = v.name();
            const auto last = published_.find(name);
            const bool lower = last != published_.end() && v.number < last->second && !reset_;
            const auto held = held_.find(name);
            if (lower) {
                Drop& d = held_[name];
                if (zeroGlitch) {
                    ++d.zeros;
                } else {
                    d.reading = v.number;
                    ++d.polls;
                }
                if (d.polls == 1 && d.zeros == 0 && !zeroGlitch)
                    said.push_back(strfmt("%s read %s, lower than %s exported: withheld until it reads lower on %d "
                                          "polls in a row", name.c_str(), ShortestFloat(v.number).c_str(),
                                          ShortestFloat(last->second).c_str(), confirm_));
                if (d.zeros == 1 && zeroGlitch)
                    said.push_back(name + " read 0 with every other counter at once: withheld, never exported");
                if (zeroGlitch || d.polls < confirm_) {
                    withheld.insert(name);
                    continue;
                }
                said.push_back(strfmt("%s read lower than %s on %d polls in a row: the drop to %s is exported",
                                      name.c_str(), ShortestFloat(last->second).c_str(), d.polls,
                                      ShortestFloat(v.number).c_str()));
                held_.erase(name);
            } else if (held != held_.end()) {
                const Drop& d = held->second;
                said.push_back(strfmt("%s read lower than %s on %d poll%s (%d with every counter at zero), then %s: "
                                      "a glitch, the drop was not exported",
                                      name.c_str(), ShortestFloat(last->second).c_str(), d.polls + d.zeros,
                                      d.polls + d.zeros == 1 ? "" : "s", d.zeros, ShortestFloat(v.number).c_str()));
                held_.erase(held);
            }
            published_[name] = v.number;
        }
    reset_ = false;
    return withheld;
}
