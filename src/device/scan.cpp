#include "device/scan.h"

#include "link/exchange.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"

namespace {

constexpr Framing kFramings[] = {{8, 0, 1}, {8, 1, 1}, {8, 2, 1}, {8, 0, 2}};
constexpr const char* kFramingNames[] = {"8N1", "8O1", "8E1", "8N2"};
constexpr int kProbeCharacters = 8 + 5 + 2 * 11; // the request, and the reply of 11 registers
constexpr double kTurnaround = 0.1;
constexpr double kTcpProbeTimeout = 1.0;

// The exchange's limits and closing pause as they were before the scan.
struct ProbeLimits {
    ProbeLimits(bool serial, double timeout) : saved(CurrentExchangeLimits()), pause(g_exchangePause) {
        ExchangeLimits probe;
        probe.comAttempts = 1;
        probe.comReplySeconds = serial ? timeout : probe.comReplySeconds;
        probe.tcpReplySeconds = serial ? 0 : timeout;
        // Each probe asks another address: a late reply from the last is told apart by the reply
        // check, and a silent address costs no more than its time-out.
        probe.comSilenceSeconds = 0;
        probe.tcpReconnectAfterTimeout = false;
        SetExchangeLimits(probe);
        // Each probe goes to another address: no analyser is polled twice in a row.
        g_exchangePause = 0;
    }
    ~ProbeLimits() {
        SetExchangeLimits(saved);
        g_exchangePause = pause;
    }
    ProbeLimits(const ProbeLimits&) = delete;
    ProbeLimits& operator=(const ProbeLimits&) = delete;
    ExchangeLimits saved;
    double pause;
};

bool probe(const ScanPlan& plan, int address, ScanHit& hit) {
    unsigned char block[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(plan.port, static_cast<unsigned char>(address), block, "", plan.tcpPort,
                                 plan.host) != 1)
        return false; // silence, junk and exception replies alike: no analyser there
    hit.address = address;
    hit.identity = IdentityFromSerialBlock(block);
    return true;
}

} // namespace

Framing FramingOf(int mode) { return kFramings[mode >= 0 && mode < 4 ? mode : 0]; }

const char* FramingName(int mode) { return kFramingNames[mode >= 0 && mode < 4 ? mode : 0]; }

int FramingFromName(const std::string& name) {
    for (int mode = 0; mode < 4; ++mode)
        if (name == kFramingNames[mode]) return mode;
    return -1;
}

double ProbeTimeout(int baud) { return kProbeCharacters * 11.0 / (baud > 0 ? baud : 9600) + kTurnaround; }

std::vector<ScanHit> ScanForAnalysers(const ScanPlan& plan, const ScanProgressFn& progress,
                                      std::string* error) {
    const bool serial = plan.port < 99;
    const std::vector<int> bauds = serial ? plan.bauds : std::vector<int>{0};
    const std::vector<int> framings = serial ? plan.framings : std::vector<int>{0};
    ScanProgress where;
    where.total = static_cast<int>(bauds.size() * framings.size() * plan.addresses.size());
    std::vector<ScanHit> hits;
    where.found = &hits;
    for (int baud : bauds) {
        for (int framing : framings) {
            const Framing f = FramingOf(framing);
            const int opened =
                Ulvo_Abrir_Puerto(plan.port, baud, f.dataBits, f.parity, f.stopBits, plan.tcpPort, plan.host);
            if (opened < 0) {
                if (error)
                    *error = serial ? strfmt("at %d %s: %s", baud, FramingName(framing),
                                             GetRS232ErrorString(opened).c_str())
                                    : strfmt("%s:%d cannot be reached: %s", plan.host.c_str(), plan.tcpPort,
                                             LastTCPConnectError().c_str());
                where.done += static_cast<int>(plan.addresses.size());
                continue;
            }
            const double timeout = plan.timeoutSeconds > 0 ? plan.timeoutSeconds
                                   : serial                ? ProbeTimeout(baud)
                                                           : kTcpProbeTimeout;
            const ProbeLimits limits(serial, timeout);
            bool stopped = false;
            for (int address : plan.addresses) {
                where.address = address;
                where.baud = baud;
                where.framing = framing;
                if (progress && !progress(where)) {
                    stopped = true;
                    break;
                }
                ScanHit hit;
                if (probe(plan, address, hit)) {
                    hit.baud = baud;
                    hit.framing = framing;
                    hits.push_back(hit);
                }
                ++where.done;
            }
            Ulvo_Cerrar_Puerto(plan.port);
            if (stopped) return hits;
        }
    }
    // A gateway or a TCP device that ignores the unit id answers every one of them alike: one
    // analyser, not many.
    if (!serial && hits.size() > 1 && hits.size() == plan.addresses.size()) {
        bool alike = true;
        for (const ScanHit& hit : hits) alike = alike && hit.identity.serial == hits[0].identity.serial;
        if (alike) {
            hits.resize(1);
            hits[0].ignoresUnitId = true;
        }
    }
    return hits;
}
