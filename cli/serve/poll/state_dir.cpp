#include "serve/poll/state_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr long kLargest = 1 << 20; // far beyond 247 addresses' serial numbers

// The file's bytes, when it is a regular file of its own: opened without following a link and
// without waiting for a writer to a pipe. Empty `why` with no bytes: there is no file.
bool readOwnFile(const std::string& path, std::string& bytes, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) why = errno == ELOOP ? "a symbolic link, not followed" : std::strerror(errno);
        return false;
    }
    struct stat s {};
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode) || s.st_size > kLargest) {
        why = S_ISREG(s.st_mode) ? "larger than serve ever writes it" : "not a regular file";
        ::close(fd);
        return false;
    }
    bytes.resize(static_cast<size_t>(s.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

} // namespace

bool StateDir::open(const std::string& folder, std::string& why, std::vector<std::string>& said) {
    struct stat s {};
    // A folder that does not exist yet is made, for serve's user alone, as other daemons do.
    if (::stat(folder.c_str(), &s) != 0 && errno == ENOENT && ::mkdir(folder.c_str(), 0700) == 0)
        said.push_back("--state-dir " + folder + ": made");
    if (::stat(folder.c_str(), &s) != 0 || !S_ISDIR(s.st_mode)) {
        why = "--state-dir " + folder + ": " + (S_ISDIR(s.st_mode) || s.st_mode == 0 ? std::strerror(errno) : "not a folder");
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        why = "--state-dir " + folder + ": serve cannot write there (" + std::strerror(errno) + ")";
        return false;
    }
    folder_ = folder;
    file_ = folder + "/serials.json";
    std::string bytes, refused;
    if (!readOwnFile(file_, bytes, refused)) {
        if (!refused.empty()) said.push_back(file_ + ": " + refused + ": nothing is remembered of the meters; it is written anew");
        return true;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        // Kept for the admin to look at; serve goes on as on its first start.
        const std::string aside = file_ + ".bad";
        const bool kept = std::rename(file_.c_str(), aside.c_str()) == 0;
        said.push_back(file_ + ": not what serve writes (" + error.errorString().toStdString() +
                       "): the meters it named are forgotten" +
                       (kept ? "; the file is kept as " + aside : "; " + std::string(std::strerror(errno))));
        return true;
    }
    const QJsonObject all = document.object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        bool number = false;
        const int address = it.key().toInt(&number);
        if (number && address >= 1 && address <= 247 && it.value().isString())
            serials_[address] = it.value().toString().toStdString();
    }
    return true;
}

bool StateDir::remember(int address, const std::string& serial, std::string& why) {
    if (file_.empty() || serials_[address] == serial) return true;
    serials_[address] = serial;
    QJsonObject all;
    for (const auto& [a, s] : serials_)
        if (!s.empty()) all[QString::number(a)] = QString::fromStdString(s);
    const QByteArray text = QJsonDocument(all).toJson();
    // A new file of its own beside the old (never opened through a link), renamed over it: the
    // rename replaces whatever stands at the name, a link included, and never writes through it.
    std::string temporary = folder_ + "/.serials.json.XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        why = folder_ + ": " + std::strerror(errno);
        return false;
    }
    bool written = true;
    for (qsizetype done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        written = n > 0;
        done += std::max<ssize_t>(n, 0);
    }
    written = written && ::fsync(fd) == 0;
    const int saved = errno;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), file_.c_str()) != 0) {
        why = file_ + ": " + std::strerror(written ? errno : saved);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
