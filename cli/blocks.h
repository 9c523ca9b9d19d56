// How rq55ctl prints the blocks it reads.
#pragma once

#include <QJsonValue>
#include <string>
#include <vector>

#include "device/named_blocks.h"
#include "options.h"

// A value as JSON: a float as the decimal the analyser sent (its shortest exact form, 227.88582,
// which the double nearest to it writes again), an integer as itself, a text as a string, and
// null for a number that is none.
QJsonValue JsonValueOf(const NamedValue& value);

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
