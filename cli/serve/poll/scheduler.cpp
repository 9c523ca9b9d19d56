#include "serve/poll/scheduler.h"

#include <algorithm>

namespace {
constexpr int kLongestProbeGap = 8;
}

Scheduler::Scheduler(const std::vector<int>& addresses, const std::set<int>& answering) : order_(addresses) {
    for (int a : addresses) state_[a].answers = answering.count(a) > 0;
}

void Scheduler::beginRound(double due, double replyWait) {
    ++round_;
    due_ = due;
    replyWait_ = replyWait;
    for (auto& [address, s] : state_) s.done = false;
}

std::optional<Scheduler::Next> Scheduler::next(double now) {
    for (int a : order_)
        if (state_[a].answers && !state_[a].done) return Next{a, false};
    // Probes whose turn has come, the longest waiting first; as many as fit, or one every 8 rounds.
    const Address* best = nullptr;
    int bestAddress = 0;
    for (int a : order_) {
        const Address& s = state_[a];
        if (s.answers || s.done || s.nextProbe > round_) continue;
        if (!best || s.nextProbe < best->nextProbe) best = &s, bestAddress = a;
    }
    if (!best) return std::nullopt;
    // A probe that answers is a poll of an analyser, never time lost: only silence holds them back.
    const bool fits = now + replyWait_ <= due_;
    if (!fits && round_ - lastSilentProbe_ < kLongestProbeGap) return std::nullopt;
    return Next{bestAddress, true};
}

void Scheduler::asked(int address, bool answered) {
    Address& s = state_[address];
    if (!s.answers && !answered) lastSilentProbe_ = round_;
    s.done = true;
    s.answers = answered;
    if (answered) {
        s.missed = 0;
        return;
    }
    s.nextProbe = round_ + std::min(1 << std::min(s.missed, 3), kLongestProbeGap);
    ++s.missed;
}

bool Scheduler::answers(int address) const {
    const auto it = state_.find(address);
    return it != state_.end() && it->second.answers;
}
