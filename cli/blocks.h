// The blocks rq55ctl reads, as named values with their units, and how they are printed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "device/named_values.h"
#include "device/value_table.h"
#include "options.h"

bool IsBlockName(const std::string& name);

// One read of the block (status: several reads) from the analyser at link.address. False with
// the failing read and its reason in `why`.
bool ReadNamedBlock(const std::string& block, const LinkTarget& link, std::vector<NamedValue>& values,
                    std::string& why);

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
