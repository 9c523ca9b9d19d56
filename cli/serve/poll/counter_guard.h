// Counters that never run backwards by a glitch. Prometheus takes a lower value of a _total family
// for a reset, and Home Assistant's Energy dashboard a drop of a total_increasing sensor for a new
// meter, counting its whole reading again: one bad read of an energy counter would double a plant's
// consumption. So a counter that reads lower than the value last published is withheld (no
// sample, null in the MQTT message) until it has read lower on `confirm` polls in a row, and is
// then published; one that comes back to the value published or above within those polls was a
// glitch, never published however long it lasted. A poll whose counters all read zero at once
// (operating hours with the energy) is a glitch whatever its length. A reset of the counters made
// through RQ55 is published at once. Each drop withheld, confirmed or discarded is said.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/named_values.h"

class CounterGuard {
  public:
    explicit CounterGuard(int confirm) : confirm_(confirm) {}
    // A poll of this meter read whole: the counters to withhold now, and what to say of the drops.
    std::set<std::string> look(const std::string& serial, const std::map<std::string, std::vector<NamedValue>>& blocks,
                               std::vector<std::string>& said);
    // The counters were reset through RQ55: the next readings are taken as they come.
    void resetMade() { reset_ = true; }

  private:
    struct Drop {
        float reading = 0; // the last lower reading
        int polls = 0;     // polls in a row it has read lower (all-zero polls not counted)
        int zeros = 0;     // polls it read zero with every other counter
    };
    int confirm_;
    std::string serial_;
    std::map<std::string, float> published_; // the value last published, by name
    std::map<std::string, Drop> held_;        // a lower reading not yet confirmed
    bool reset_ = false;
};
