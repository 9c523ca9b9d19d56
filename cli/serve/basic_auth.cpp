#include "serve/basic_auth.h"

#include <crypt.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <cstring>

#include "platform/system.h"

namespace {

constexpr double kChecksPerSecond = 5; // bcrypt runs at most, with a burst of as many
constexpr size_t kMostRemembered = 256;

// Equal without telling, by the time taken, where two texts first differ.
bool sameInConstantTime(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() != b.size();
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        differ |= static_cast<unsigned char>((i < a.size() ? a[i] : 0) ^ (i < b.size() ? b[i] : 0));
    return differ == 0;
}

} // namespace

BasicAuth::BasicAuth(std::map<std::string, std::string> users)
    : users_(std::move(users)), scratch_(std::make_unique<crypt_data>()), budget_(kChecksPerSecond),
      budgetAt_(Timer()) {
    // As costly as the users' own hashes: bcrypt at cost 10, with a salt of the system's.
    char salt[CRYPT_GENSALT_OUTPUT_SIZE] = {};
    if (crypt_gensalt_rn("$2b$", 10, nullptr, 0, salt, sizeof salt))
        if (const char* hash = crypt_r("", salt, scratch_.get())) unknownUser_ = hash;
}

BasicAuth::~BasicAuth() = default;

BasicAuth::Verdict BasicAuth::check(const std::string& authorization, std::string& user) {
    user.clear();
    if (authorization.rfind("Basic ", 0) != 0) return Verdict::NoCredentials;
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(authorization.substr(6)));
    const qsizetype colon = decoded.indexOf(':');
    if (colon < 0) return Verdict::NoCredentials;
    user = decoded.left(colon).toStdString();
    const std::string password = decoded.mid(colon + 1).toStdString();
    // Remembered by a digest: no password is kept in memory.
    const std::string digest =
        QCryptographicHash::hash(decoded, QCryptographicHash::Sha256).toStdString();
    if (const auto known = known_.find(digest); known != known_.end())
        return known->second ? Verdict::Allowed : Verdict::Refused;
    const double now = Timer();
    budget_ = std::min(kChecksPerSecond, budget_ + (now - budgetAt_) * kChecksPerSecond);
    budgetAt_ = now;
    if (budget_ < 1) return Verdict::TooMany;
    budget_ -= 1;
    // An unknown user is checked against a hash of nothing, so that the time taken does not tell
    // which user names exist.
    const auto hash = users_.find(user);
    const std::string& against = hash != users_.end() ? hash->second : unknownUser_;
    std::memset(scratch_.get(), 0, sizeof(crypt_data));
    const char* result = crypt_r(password.c_str(), against.c_str(), scratch_.get());
    const bool allowed =
        hash != users_.end() && result && result[0] != '*' && sameInConstantTime(result, against);
    if (known_.size() >= kMostRemembered) known_.clear();
    known_[digest] = allowed;
    return allowed ? Verdict::Allowed : Verdict::Refused;
}
