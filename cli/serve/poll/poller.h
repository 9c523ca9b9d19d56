// The analysers of serve's one link, asked in the order the scheduler gives: each poll reads the
// serial number first, then each block; its counters are guarded, its meter is remembered (with
// --state-dir), and it is handed on as soon as it ends. A link that cannot be opened, or is lost,
// is opened anew at the next poll, its failure said once and then with a count.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "device/register_map.h"
#include "options.h"
#include "serve/gateway/forward.h"
#include "serve/notices.h"
#include "serve/poll/analyser_poll.h"
#include "serve/poll/counter_guard.h"
#include "serve/poll/scheduler.h"
#include "serve/poll/state_dir.h"

class Poller {
  public:
    using Polled = std::function<void(const AnalyserPoll& poll, const std::string& previousSerial)>;
    // `remembered` seeds each address with the meter that answered there before (a state folder).
    Poller(const CliOptions& options, std::vector<std::string> blocks, StateDir& state, Polled polled);

    // One round, until `due` on Timer()'s clock: every analyser that answers, then the probes that
    // fit, `turn` run before each and between its exchanges (the gateway's clients served). False
    // when a stop signal ended it.
    bool round(double due, const std::function<void()>& turn = {});
    // A gateway client's request over the link, opened if need be.
    GatewayAnswer forward(const GatewayRequest& request);
    // How long the last round's polls of answering analysers took.
    double pollsSeconds() const { return pollsSeconds_; }

    // Sees every function-3 read of a poll answered whole: the unit, the first register, how many,
    // and the bytes of their values as the analyser sent them.
    using Read = std::function<void(int unit, int start, int count, const unsigned char* data)>;
    void onRead(Read read) { read_ = std::move(read); }

    const std::vector<AnalyserPoll>& polls() const { return polls_; }
    // The counters of the analyser were reset through RQ55 (address 0, a broadcast: of every one).
    void resetMade(int address);
    void close();

  private:
    bool linkReady();
    // One poll (a probe: one attempt); false when a stop signal ended it.
    bool poll(size_t index, bool probe, const std::function<void()>& between);
    // The exchange that just ended, to read_, when it was a read answered whole.
    void told() const;
    // After an exchange: a link without a working connection is opened anew.
    void checkLink();

    const CliOptions& o_;
    std::vector<std::string> blocks_;
    StateDir& state_;
    Polled polled_;
    Read read_;
    Scheduler scheduler_;
    std::vector<AnalyserPoll> polls_;
    std::vector<CounterGuard> guards_;
    RepeatedNotice linkNotice_;
    LinkTarget link_{};
    bool linkOpen_ = false, triedLink_ = false;
    double replyWait_;
    double pollsSeconds_ = 0;
};
