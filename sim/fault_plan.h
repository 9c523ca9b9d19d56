// Which replies to spoil, and how: the rules a test or rq55-sim's --fault option installs.
#pragma once

#include "sim/simulator.h"

#include <string>
#include <vector>

namespace sim {

class FaultPlan {
public:
    void add(const FaultRule& rule);
    void clear() { rules_.clear(); }
    bool empty() const { return rules_.empty(); }

    // Every rule that applies to this request, in the order they were added; each use counts
    // against the rule's `times`, and a rule that has run out is forgotten.
    std::vector<FaultRule> take(int function, int start);

private:
    std::vector<FaultRule> rules_;
};

// Reads a rule in the form rq55-sim's --fault takes: KIND[:KEY=VALUE,...], for example
// "silence:fn=3,start=6,times=2" or "split:sizes=3+4,ms=50".
bool parseFaultRule(const std::string& text, FaultRule* rule, std::string* error);

} // namespace sim
