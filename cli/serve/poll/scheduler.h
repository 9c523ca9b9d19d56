// Which address serve asks next on its link. An address that answers is polled every round, from
// the round it first answers; an address never heard, or silent, is probed with one attempt only
// in the time the answering analysers leave before the next round is due (the longest waiting
// first), but whatever the time until a probe meets silence, and then one every 8 rounds; a silent
// address less and less often: the round after, then after 2, 4 and 8 rounds, then every 8. So
// silent addresses never keep an answering analyser waiting, at the first round as at any, and
// every analyser of a busy link is found in the first round. Pure: it decides, serve polls.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <vector>

class Scheduler {
  public:
    // `answering`: addresses known to answer before this run began (remembered); polled at once.
    Scheduler(const std::vector<int>& addresses, const std::set<int>& answering);

    // A round begins: its polls are due, and its probes fit until `due` (the next round's start),
    // each taking `replyWait` when nobody answers.
    void beginRound(double due, double replyWait);

    struct Next {
        int address;
        bool probe; // one attempt, at an address not known to answer
    };
    // What to ask now (`now` on the same clock as `due`); nothing when the round's work is done.
    std::optional<Next> next(double now);
    // How it went: whether the serial number was read.
    void asked(int address, bool answered);

    bool answers(int address) const;

  private:
    struct Address {
        bool answers = false;
        int missed = 0;
        long nextProbe = 0; // the round from which it may be probed again
        bool done = false;  // asked in this round
    };
    std::vector<int> order_;
    std::map<int, Address> state_;
    long round_ = -1;
    long lastSilentProbe_ = -8; // the last round a probe met silence
    double due_ = 0, replyWait_ = 0;
};
