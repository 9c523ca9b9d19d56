// Finding analysers: every address (and, on a serial line, every baud rate and framing) asked for
// its serial-number block, with one short attempt each. Used by rq55ctl's scan and the main
// panel's find dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/identity.h"

// A framing as the main panel's selector numbers it: 0 8N1, 1 8O1, 2 8E1, 3 8N2.
struct Framing {
    int dataBits;
    int parity; // 0 none, 1 odd, 2 even
    int stopBits;
};
Framing FramingOf(int mode);
const char* FramingName(int mode);
// -1 for a name that is none of "8N1", "8O1", "8E1", "8N2".
int FramingFromName(const std::string& name);

struct ScanPlan {
    int port = 1;     // a COM port, or 99 for TCP
    std::string host; // TCP
    unsigned short tcpPort = 502;
    std::vector<int> addresses;
    std::vector<int> bauds;    // serial only
    std::vector<int> framings; // serial only
    double timeoutSeconds = 0; // 0: derived from the baud rate (serial) or 1 s (TCP)
};

struct ScanHit {
    int address = 0;
    int baud = 0;    // serial only
    int framing = 0; // serial only
    Identity identity;
    bool ignoresUnitId = false; // TCP: every unit id answered with this serial number
};

// Where a scan is: probes done of the total, and the setting being probed. Returning false
// stops the scan after the probe under way.
struct ScanProgress {
    int done = 0;
    int total = 0;
    int address = 0;
    int baud = 0;
    int framing = 0;
    const std::vector<ScanHit>* found = nullptr; // what has answered so far
};
using ScanProgressFn = std::function<bool(const ScanProgress&)>;

// The wait for a probe's reply at a baud rate: the request and the reply on the wire (11 bits a
// character), plus 100 ms for the analyser to turn round.
double ProbeTimeout(int baud);

// Runs the plan; `error` gets the reason when the link cannot be opened at all (the scan goes on
// with the next setting). The link is closed afterwards. The exchange limits and pause are
// restored.
std::vector<ScanHit> ScanForAnalysers(const ScanPlan& plan, const ScanProgressFn& progress,
                                      std::string* error);
