// HTTP basic authentication of scrapes against the bcrypt hashes of the web configuration, safe to
// call from every connection's thread at once.
//
// A user and password once accepted is remembered (by a digest, with the hash it matched), so a
// scrape every few seconds does not pay bcrypt again; a wrong one is not, and costs a check each
// time. Checks run one at a time, in the order they come: a flood of wrong passwords uses one
// core at most and delays a right password by the checks queued before it, never refuses it. What
// limits the queue is the time its checks take, not their number: a check that would wait more
// than a few seconds is refused unchecked (TooMany). A user that does not exist costs what one
// that does costs, so the time taken does not tell which names exist; the hashes are compared in
// constant time.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

class BasicAuth {
  public:
    explicit BasicAuth(std::map<std::string, std::string> users);

    enum class Verdict { Allowed, NoCredentials, Refused, TooMany };
    // The user and password the request gave (no user: it gave none).
    Verdict check(const std::string& user, const std::string& password);

  private:
    bool bcryptMatches(const std::string& password, const std::string& hash);

    const std::map<std::string, std::string> users_;
    std::string unknownUser_; // what the password of a user that does not exist is checked against

    std::mutex mutex_;
    std::set<std::string> accepted_;   // digests of user, hash and password that were accepted
    std::condition_variable turn_;     // the checks, one at a time in the order they came
    unsigned long nextTicket_ = 0, serving_ = 0;
    double secondsPerCheck_ = 0;       // how long one took last, for the queue's limit
};
