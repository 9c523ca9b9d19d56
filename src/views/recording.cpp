#include "views/recording.h"

#include <cerrno>
#include <cstring>

#include "platform/system.h"

bool Recording::start(const std::string& path, std::string& why) {
    stop();
    file_ = std::fopen(path.c_str(), "ab");
    if (!file_) {
        why = std::strerror(errno);
        return false;
    }
    path_ = path;
    std::fseek(file_, 0, SEEK_END);
    headerDue_ = std::ftell(file_) == 0;
    return true;
}

bool Recording::append(int address, const std::vector<NamedValue>& values, std::string& why) {
    if (!file_) return false;
    std::string lines = headerDue_ ? CsvHeader(values) : "";
    lines += CsvRow(IsoTimeNow(), address, values);
    errno = 0;
    if (std::fputs(lines.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        why = errno ? std::strerror(errno) : "write failed";
        stop();
        return false;
    }
    headerDue_ = false;
    return true;
}

void Recording::stop() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}
