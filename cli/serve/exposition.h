// The values of the analysers on a link in Prometheus' text exposition format, as the value table
// names them: each family in its base unit (volts, amperes, watts, var, volt-amperes, hertz; energy
// counters in joules, var-seconds and volt-ampere-seconds with _total), totals apart from phases,
// labelled with the address, the serial number and what tells a value apart in its family (phase,
// lines, quadrant, relay, output). Pure: the text from the polls given, tested by table.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "device/named_values.h"

// One analyser's last completed poll.
struct AnalyserPoll {
    int address = 0;
    std::string serial;             // "" until it has answered once
    bool up = false;                // every block of the last poll was read
    double lastSuccess = 0;         // seconds since 1970 of the last poll that was read whole; 0 never
    double pollSeconds = 0;         // how long the last poll took
    std::map<std::string, long> failures; // reads that failed, by reason, since the start
    std::map<std::string, std::vector<NamedValue>> blocks; // the last poll's values, by block
};

// The blocks `serve` may poll, by name.
bool IsServedBlock(const std::string& block);

// The exposition of these polls: HELP and TYPE for every family, and the values of the analysers
// that are up (an analyser that did not answer gives its rq55_up 0 and no measurement).
std::string Exposition(const std::vector<AnalyserPoll>& polls, const std::vector<std::string>& blocks);
