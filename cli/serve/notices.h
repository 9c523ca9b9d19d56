// A failure that repeats (a link that cannot be opened every round, a broker that refuses every
// publish, scrapers with wrong passwords) is said once, then once every ten minutes at most with
// how often it happened and its latest words: "cannot be opened: connection refused (12 times
// since 10:31:02)". What counts is the kind of failure, not its words: two refusals that alternate,
// or a user name that changes with each try, do not make it said more often. One place, so a
// sleepless night does not fill the journal.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class RepeatedNotice {
  public:
    using Say = std::function<void(const std::string&)>;
    explicit RepeatedNotice(Say say, double everySeconds = 600) : say_(std::move(say)), every_(everySeconds) {}

    // It happened (again), in these words.
    void happened(const std::string& text);
    // It no longer happens: what was not said yet is said with its count.
    void ended();

  private:
    void sayCount();

    Say say_;
    double every_;
    std::mutex mutex_;
    std::string text_;        // its latest words; "" while it does not happen
    std::string since_;       // when it first happened, HH:MM:SS
    long count_ = 0;          // how often since then
    long countSaid_ = 0;      // the count when it was last said
    double lastSaid_ = 0;     // when, on the monotonic clock
};

// Many kinds of failure, each said by the rule above.
class KindNotices {
  public:
    explicit KindNotices(RepeatedNotice::Say say, double everySeconds = 600)
        : say_(std::move(say)), every_(everySeconds) {}
    void happened(const std::string& kind, const std::string& text);

  private:
    RepeatedNotice::Say say_;
    double every_;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<RepeatedNotice>> kinds_;
};
