// A failure that repeats (a link that cannot be opened every round, a broker that refuses every
// publish, a scraper with a wrong password) is said once, then again only when it changes or once
// every ten minutes, with how often it happened: "cannot be opened: connection refused (12 times
// since 10:31:02)". One place, so a sleepless night does not fill the journal.
#pragma once

#include <functional>
#include <mutex>
#include <string>

class RepeatedNotice {
  public:
    using Say = std::function<void(const std::string&)>;
    explicit RepeatedNotice(Say say, double everySeconds = 600) : say_(std::move(say)), every_(everySeconds) {}

    // It happened (again).
    void happened(const std::string& text);
    // It no longer happens: what was not said yet is said with its count.
    void ended();

  private:
    void sayCount();

    Say say_;
    double every_;
    std::mutex mutex_;
    std::string text_;        // what keeps happening; "" when nothing does
    std::string since_;       // when it first happened, HH:MM:SS
    long count_ = 0;          // how often since then
    long countSaid_ = 0;      // the count when it was last said
    double lastSaid_ = 0;     // when, on the monotonic clock
};
