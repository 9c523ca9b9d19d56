// What serve remembers across its restarts and crashes (--state-dir): the serial number of the
// meter that answered at each address, so that a new serve clears what the last one said of a meter
// that is gone (its retained up) and removes the Home Assistant device of one replaced meanwhile.
// One file, serials.json, written whole whenever a serial number changes. The folder is trusted for
// nothing: the file is read only when it is a regular file of its own (never through a link, never
// waiting on a pipe), a file serve cannot read back is kept aside as serials.json.bad, and it is
// written beside itself and renamed into place, never through a link.
#pragma once

#include <map>
#include <string>
#include <vector>

class StateDir {
  public:
    // Reads what is remembered there; false with the reason when the folder cannot be used. What
    // could not be read from it is said in `said`, and serve goes on as without a memory.
    bool open(const std::string& folder, std::string& why, std::vector<std::string>& said);
    const std::map<int, std::string>& serials() const { return serials_; }
    // The meter now at this address; false with the reason when it could not be written down.
    bool remember(int address, const std::string& serial, std::string& why);

  private:
    std::string folder_, file_;
    std::map<int, std::string> serials_;
};
