// Counters that never run backwards by a glitch. Prometheus takes a lower value of a _total family
// for a reset, and Home Assistant's Energy dashboard a drop of a total_increasing sensor for a new
// meter, counting its whole reading again: one bad read of an energy counter would double a plant's
// consumption. So a counter that reads lower than the value last published is withheld (no
// sample, null in the MQTT message) until the next poll: reading lower again confirms the drop,
// which is then published; back at or above it, the drop is never published, and said once. A
// reset of the counters made through RQ55 is published at once.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/named_values.h"

class CounterGuard {
  public:
    // A poll of this meter read whole: the counters to withhold now, and what to say of drops
    // that were not confirmed.
    std::set<std::string> look(const std::string& serial, const std::map<std::string, std::vector<NamedValue>>& blocks,
                               std::vector<std::string>& said);
    // The counters were reset through RQ55: the next readings are taken as they come.
    void resetMade() { reset_ = true; }

  private:
    std::string serial_;
    std::map<std::string, float> published_; // the value last published, by name
    std::map<std::string, float> held_;      // a lower reading waiting for the next poll
    bool reset_ = false;
};
