// What a commissioning report holds: who the analyser is, and every block of the register map
// read once, each with the time it was read or why it was not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/identity.h"
#include "device/named_values.h"
#include "device/register_map.h"

struct ReportBlock {
    std::string name; // config, inout, analog1..analog4, network, energy, maxmin, demand
    bool read = false;
    std::string time;    // HH:MM:SS of the read
    std::string failure; // why it was not read
    std::vector<NamedValue> values;
};

// Who made the report, where and when.
struct ReportHeader {
    std::string title; // the installation and the person, as typed; may be empty
    std::string link;  // the link as the status line words it
    double when = 0;   // seconds since 1970
    bool exports = false; // the site delivers power: the wiring is judged so
};

struct ReportData {
    int address = 0;
    bool identified = false;
    std::string identityFailure;
    Identity identity;
    std::vector<ReportBlock> blocks; // in the report's order
};

// Told before each read of a block after the identity: the block, and how many of all of them
// are done (all of them is known from the start: the identity has said which outputs there are);
// at the end with an empty block. Returning false stops the reading after the read under way.
using ReportProgress = std::function<bool(const std::string& block, int done, int total)>;

// Reads the serial-number block, then every block once: the configuration, the relays, the
// analog outputs the model has, the network parameters, the energy counters, the maxima and
// minima, the demand. A block that cannot be read is kept with its reason; an analyser that does
// not give its serial-number block is not read further (`identified` false, and why). False when
// stopped.
bool ReadReport(const LinkTarget& link, const ReportProgress& progress, ReportData& data);
