#include "serve/poll/poller.h"

#include <set>

#include "link/exchange.h"
#include "platform/system.h"
#include "stop_signals.h"
#include "tool_link.h"

namespace {

std::vector<int> addressesOf(const CliOptions& o) { return o.addresses.empty() ? std::vector<int>{1} : o.addresses; }

std::set<int> known(const std::vector<int>& addresses, const StateDir& state) {
    std::set<int> answering;
    for (int a : addresses)
        if (state.serials().count(a)) answering.insert(a);
    return answering;
}

} // namespace

Poller::Poller(const CliOptions& o, std::vector<std::string> blocks, StateDir& state, Polled polled)
    : o_(o), blocks_(std::move(blocks)), state_(state), polled_(std::move(polled)),
      scheduler_(addressesOf(o), known(addressesOf(o), state)), linkNotice_(Say),
      replyWait_((o.timeoutMs > 0 ? o.timeoutMs : kServeReplyWaitMs) / 1000.0) {
    for (int address : addressesOf(o)) {
        AnalyserPoll p = NewAnalyserPoll(address);
        // The meter remembered there: a new one at its first poll is told as a swap.
        if (const auto it = state.serials().find(address); it != state.serials().end()) p.serial = it->second;
        p.everAnswered = !p.serial.empty();
        polls_.push_back(std::move(p));
    }
    guards_.assign(polls_.size(), CounterGuard(o.counterConfirm));
}

bool Poller::round(double due, const std::function<void()>& turn) {
    scheduler_.beginRound(due, replyWait_);
    triedLink_ = false;
    const double started = Timer();
    pollsSeconds_ = 0;
    for (;;) {
        if (turn) turn();
        const std::optional<Scheduler::Next> next = scheduler_.next(Timer());
        if (!next) break;
        size_t index = 0;
        while (polls_[index].address != next->address) ++index;
        if (!poll(index, next->probe, turn)) return false;
        if (!next->probe) pollsSeconds_ = Timer() - started;
    }
    return true;
}

// One attempt at opening the link a round (and one more after losing it in the round).
bool Poller::linkReady() {
    if (linkOpen_ || triedLink_) return linkOpen_;
    triedLink_ = true;
    linkOpen_ = OpenLink(o_, link_, [this](const std::string& why) {
        if (!WaitForStopSignal(0)) linkNotice_.happened(why); // a stop is no failure of the link
    });
    if (linkOpen_) linkNotice_.ended();
    return linkOpen_;
}

bool Poller::poll(size_t index, bool probe, const std::function<void()>& between) {
    AnalyserPoll& p = polls_[index];
    std::string previous;
    if (!linkReady()) {
        if (WaitForStopSignal(0)) return false;
        // Nothing was asked of the analyser: no reason to ask it less often.
        CountLinkFailure(p);
        scheduler_.asked(p.address, scheduler_.answers(p.address));
        polled_(p, previous);
        return true;
    }
    // An address not known to answer is asked once, not as often as the link would try.
    ExchangeLimits limits = CurrentExchangeLimits();
    const ExchangeLimits kept = limits;
    if (probe) limits.comAttempts = 1;
    SetExchangeLimits(limits);
    link_.address = static_cast<unsigned char>(p.address);
    // Each read is told before the gateway's clients are served between two of them, and the last
    // once the poll ends.
    const PollEnd end = PollAnalyser(link_, blocks_, p, previous, [&] {
        told();
        if (between) between();
    });
    told();
    SetExchangeLimits(kept);
    if (end == PollEnd::Stopped) return false;
    const bool answered = end != PollEnd::Silent;
    scheduler_.asked(p.address, answered);
    p.everAnswered = p.everAnswered || answered;
    checkLink();
    const std::string where = "address " + std::to_string(p.address) + ": ";
    if (end == PollEnd::Whole) {
        std::vector<std::string> said;
        p.withheld = guards_[index].look(p.serial, p.blocks, said);
        for (const std::string& line : said) Say(where + line);
    }
    std::string why;
    if (answered && !state_.remember(p.address, p.serial, why)) Say("cannot remember the meter at " + where + why);
    if (!previous.empty())
        Say(where + "serial number " + previous + " is now " + p.serial +
            ": another meter, whose values go under its own serial number");
    polled_(p, previous);
    return true;
}

void Poller::told() const {
    const unsigned char* q = g_requestBuffer;
    const int count = q[4] << 8 | q[5];
    if (read_ && LastExchangeEnd() == ExchangeEnd::Accepted && q[1] == 3 && LastReplyDataBytes() == 2 * count)
        read_(q[0], q[2] << 8 | q[3], count, g_replyBuffer + 3);
}

void Poller::checkLink() {
    const ExchangeEnd how = LastExchangeEnd();
    // A link without a working connection is opened anew, at once or at the next round.
    if (!LinkIsOpen() || how == ExchangeEnd::ConnectionClosed || how == ExchangeEnd::DeviceGone) {
        Ulvo_Cerrar_Puerto(link_.port);
        linkOpen_ = false;
        triedLink_ = false;
    }
}

GatewayAnswer Poller::forward(const GatewayRequest& request) {
    if (!linkReady()) return {GatewayOutcome::LinkDown, ExceptionPdu(request, kGatewayPathUnavailable)};
    GatewayAnswer answer = ForwardRequest(link_, request);
    checkLink();
    return answer;
}

void Poller::resetMade(int address) {
    for (size_t i = 0; i < polls_.size(); ++i)
        if (polls_[i].address == address || address == 0) guards_[i].resetMade();
}

void Poller::close() {
    if (linkOpen_) Ulvo_Cerrar_Puerto(link_.port);
    linkOpen_ = false;
}
