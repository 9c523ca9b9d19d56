// How rq55ctl prints the blocks it reads.
#pragma once

#include <string>
#include <vector>

#include "device/named_blocks.h"
#include "options.h"

// Prints one read of one address. The csv header goes out before the first row only.
class BlockPrinter {
  public:
    explicit BlockPrinter(Format format) : format_(format) {}
    std::string print(const std::string& time, int address, const std::string& block,
                      const std::vector<NamedValue>& values);

  private:
    Format format_;
    bool headerDone_ = false;
};
