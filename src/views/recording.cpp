#include "views/recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system.h"
#include "platform/whole_file.h"

bool Recording::start(const std::string& path, std::string& why) {
    stop();
    file_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (file_ < 0) {
        why = std::strerror(errno);
        return false;
    }
    path_ = path;
    return true;
}

bool Recording::append(int address, const std::vector<NamedValue>& values, std::string& why) {
    if (file_ < 0) return false;
    struct stat st {};
    if (::fstat(file_, &st) != 0) {
        why = std::strerror(errno);
        stop();
        return false;
    }
    std::string lines = st.st_size == 0 ? CsvHeader(values) : "";
    lines += CsvRow(IsoTimeNow(), address, values);
    // Straight to the system, without a buffer of the program's own that could write a piece of
    // the row later.
    if (WriteAll(file_, lines.data(), lines.size(), why)) return true;
    // The part of the row that went in goes again: the file holds whole rows only.
    if (::ftruncate(file_, st.st_size) != 0) why += std::string("; cutting the row off: ") + std::strerror(errno);
    stop();
    return false;
}

void Recording::stop() {
    if (file_ >= 0) ::close(file_);
    file_ = -1;
}
