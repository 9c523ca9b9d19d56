// A recording of a view's values: one CSV row per good read, each written through to the file at
// once, so a crash or a pulled cable loses at most the row being written. A row that cannot be
// written whole (a full disk, a size limit) is cut off again: the file holds whole rows only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/named_values.h"

class QFile;

class Recording {
  public:
    Recording();
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Opens the file to append to; false with the reason when it cannot be written.
    bool start(const std::string& path, std::string& why);
    // Appends one row, the header first into an empty file; false with the reason (the
    // recording is then stopped, and the file is as it was before the row).
    bool append(int address, const std::vector<NamedValue>& values, std::string& why);
    void stop();
    bool on() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

  private:
    std::unique_ptr<QFile> file_;
    std::string path_;
};
