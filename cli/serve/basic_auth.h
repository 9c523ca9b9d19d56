// HTTP basic authentication of scrapes against the bcrypt hashes of the web configuration. A user
// and password once verified (or refused) is remembered, so a scrape every few seconds does not
// pay bcrypt each time; and bcrypt runs at most a few times a second, so that wrong passwords sent
// as fast as a client can cannot burn the processor.
#pragma once

#include <map>
#include <memory>
#include <string>

struct crypt_data;

class BasicAuth {
  public:
    explicit BasicAuth(std::map<std::string, std::string> users);
    ~BasicAuth();
    BasicAuth(const BasicAuth&) = delete;
    BasicAuth& operator=(const BasicAuth&) = delete;

    enum class Verdict { Allowed, NoCredentials, Refused, TooMany };
    // The value of the request's Authorization header ("" when it has none); `user` is the name
    // it gave, for saying who was refused.
    Verdict check(const std::string& authorization, std::string& user);

  private:
    std::map<std::string, std::string> users_;
    std::string unknownUser_; // what the password of a user that does not exist is checked against
    std::map<std::string, bool> known_; // digest of a user and password -> allowed
    std::unique_ptr<crypt_data> scratch_;
    double budget_ = 0, budgetAt_ = 0; // bcrypt runs that may be made now, and when it was last filled
};
