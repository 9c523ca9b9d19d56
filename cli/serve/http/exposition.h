// The values of the analysers on a link in Prometheus' text exposition format, as the value table
// names them: each family in its base unit (volts, amperes, watts, var, volt-amperes, hertz; energy
// counters in joules, var-seconds and volt-ampere-seconds with _total), totals apart from phases,
// labelled with the address, the serial number and what tells a value apart in its family (phase,
// lines, quadrant, relay, output). Pure: the text from the polls given, tested by table.
#pragma once

#include <string>
#include <vector>

#include "serve/poll/analyser_poll.h"

// The blocks `serve` may poll, by name.
bool IsServedBlock(const std::string& block);

// Appends the exposition of these polls at `now` (seconds since 1970) to `out`: HELP and TYPE for
// every family of the blocks served, and the values of the analysers whose last poll was whole and
// is at most maxAge old. Any other analyser gives rq55_up 0 and no measurement, never a value it
// had; an address where no meter ever answered gives no rq55_up at all, and a counter withheld by
// the guard no sample. `roundSeconds` is how long the last round took (0 before the first ended).
void Exposition(std::string& out, const std::vector<AnalyserPoll>& polls, const std::vector<std::string>& blocks,
                double now, double maxAge, double roundSeconds);
