// One analyser as serve watches it, and one poll of it: its serial number read first (so its
// values are never put under another meter's), then each block, stopping at the first that fails.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/named_values.h"
#include "device/register_map.h"

struct AnalyserPoll {
    int address = 0;
    std::string serial;     // of the meter that answered at this address last; "" until one has
    int modelCode = 0;      // and its model code, model text and version text
    std::string modelText, versionText;
    bool up = false;        // its last poll read every block, under that serial number
    bool everAnswered = false; // a meter answered here once, in this run or (remembered) before it
    std::set<std::string> withheld; // counters of its last poll held back (CounterGuard)
    double lastSuccess = 0; // seconds since 1970 of the last poll read whole; 0 never
    double lastPoll = 0;    // when its last poll ended, whole or not; 0 never
    double pollSeconds = 0; // how long that poll took
    std::map<std::string, long> failures;                 // failed reads by reason, every reason from 0
    std::map<std::string, std::vector<NamedValue>> blocks; // its last poll's values, by block
};

// Now, in seconds since 1970: the clock of the poll's times.
double NowSeconds();

// A fresh record of an address, with a count of 0 for every reason a read can fail for.
AnalyserPoll NewAnalyserPoll(int address);

enum class PollEnd {
    Whole,   // every block read
    Failed,  // the analyser answered, but a block could not be read (counted, by reason)
    Silent,  // its serial number could not be read: nobody answered there (counted)
    Stopped, // a stop signal ended it: nothing counted
};

// Polls the analyser at link.address: its serial number, then each block. Fills `p` and says in
// `previousSerial` which meter answered there before, when another one answers now.
// `between` runs between two of its exchanges (serve's gateway serves its clients there).
PollEnd PollAnalyser(const LinkTarget& link, const std::vector<std::string>& blocks, AnalyserPoll& p,
                     std::string& previousSerial, const std::function<void()>& between = {});

// A failure that is not the analyser's: the link could not be opened.
void CountLinkFailure(AnalyserPoll& p);

// Whether the analyser's values may be exported at `now`: its last poll was whole and is at most
// `maxAge` seconds old.
bool IsFresh(const AnalyserPoll& p, double now, double maxAge);
