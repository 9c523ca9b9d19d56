#include "serve/http/basic_auth.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <chrono>
#include <cstring>


namespace {

// A check that would start later than this after it came is refused unchecked.
constexpr double kLongestWait = 4.0;
constexpr size_t kMostRemembered = 1024;

std::string digestOf(const std::string& user, const std::string& hash, const std::string& password) {
    const std::string all = user + '\0' + hash + '\0' + password;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(all.data()), all.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

int costOf(const std::string& hash) { return hash.size() > 6 ? std::atoi(hash.substr(4, 2).c_str()) : 10; }

} // namespace

BasicAuth::BasicAuth(std::map<std::string, std::string> users) : users_(std::move(users)) {
    // As costly as the dearest of the users' own hashes.
    int cost = 10;
    for (const auto& [user, hash] : users_) cost = std::max(cost, costOf(hash));
    char salt[CRYPT_GENSALT_OUTPUT_SIZE] = {};
    crypt_data scratch{};
    if (crypt_gensalt_rn("$2b$", static_cast<unsigned long>(cost), nullptr, 0, salt, sizeof salt))
        if (const char* hash = crypt_r("", salt, &scratch)) unknownUser_ = hash;
}

bool BasicAuth::bcryptMatches(const std::string& password, const std::string& hash) {
    crypt_data scratch{};
    const char* result = crypt_r(password.c_str(), hash.c_str(), &scratch);
    return result && result[0] != '*' && std::strlen(result) == hash.size() &&
           CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
}

BasicAuth::Verdict BasicAuth::check(const std::string& user, const std::string& password) {
    if (user.empty()) return Verdict::NoCredentials;
    const auto known = users_.find(user);
    const std::string& hash = known != users_.end() ? known->second : unknownUser_;
    const std::string digest = digestOf(user, hash, password);
    std::unique_lock lock(mutex_);
    if (known != users_.end() && accepted_.count(digest)) return Verdict::Allowed;
    // Its place in the queue: refused at once when the checks before it would take too long.
    if (static_cast<double>(nextTicket_ - serving_) * secondsPerCheck_ > kLongestWait) return Verdict::TooMany;
    const unsigned long ticket = nextTicket_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
    lock.unlock();
    const auto started = std::chrono::steady_clock::now();
    const bool matches = bcryptMatches(password, hash) && known != users_.end();
    lock.lock();
    secondsPerCheck_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ++serving_;
    turn_.notify_all();
    if (!matches) return Verdict::Refused;
    if (accepted_.size() >= kMostRemembered) accepted_.erase(accepted_.begin());
    accepted_.insert(digest);
    return Verdict::Allowed;
}
