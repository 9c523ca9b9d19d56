#include "serve/poll/analyser_poll.h"

#include "device/identity.h"
#include "device/named_blocks.h"
#include "link/exchange_words.h"
#include "platform/system.h"

double NowSeconds() {
    double now = 0;
    GetCurrentDateTime(&now);
    return now;
}

namespace {

// The poll ended at its first failed read: a stop says nothing of the analyser and is not counted.
PollEnd failed(AnalyserPoll& p, double started, PollEnd end) {
    p.up = false;
    p.blocks.clear();
    p.lastPoll = NowSeconds();
    p.pollSeconds = Timer() - started;
    if (LastExchangeEnd() == ExchangeEnd::Stopped) return PollEnd::Stopped;
    ++p.failures[LastEndWords().reason];
    return end;
}

} // namespace

AnalyserPoll NewAnalyserPoll(int address) {
    AnalyserPoll p;
    p.address = address;
    for (const std::string& reason : FailureReasons()) p.failures[reason] = 0;
    return p;
}

PollEnd PollAnalyser(const LinkTarget& link, const std::vector<std::string>& blocks, AnalyserPoll& p,
                     std::string& previousSerial, const std::function<void()>& between) {
    const double started = Timer();
    previousSerial.clear();
    unsigned char serial[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(link.port, link.address, serial, link.spare, link.tcpPort, link.host) != 1)
        return failed(p, started, PollEnd::Silent);
    const Identity id = IdentityFromSerialBlock(serial);
    if (!p.serial.empty() && p.serial != id.serial) previousSerial = p.serial;
    p.serial = id.serial;
    p.modelCode = id.modelCode;
    p.modelText = id.modelText;
    p.versionText = id.versionText;
    p.blocks.clear();
    for (const std::string& name : blocks) {
        std::vector<NamedValue> values;
        std::string why;
        if (between) between();
        if (!ReadNamedBlock(name, link, values, why)) return failed(p, started, PollEnd::Failed);
        p.blocks[name] = std::move(values);
    }
    p.up = true;
    p.lastPoll = p.lastSuccess = NowSeconds();
    p.pollSeconds = Timer() - started;
    return PollEnd::Whole;
}

void CountLinkFailure(AnalyserPoll& p) {
    p.up = false;
    p.blocks.clear();
    p.lastPoll = NowSeconds();
    ++p.failures["link"];
}

bool IsFresh(const AnalyserPoll& p, double now, double maxAge) { return p.up && now - p.lastSuccess <= maxAge; }
