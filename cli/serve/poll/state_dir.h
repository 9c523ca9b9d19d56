// What serve remembers across its restarts and crashes (--state-dir): the serial number of the
// meter that answered at each address, so that a new serve clears what the last one said of a meter
// that is gone (its retained up) and removes the Home Assistant device of one replaced meanwhile.
// One file, serials.json, written whole whenever a serial number changes.
#pragma once

#include <map>
#include <string>

class StateDir {
  public:
    // Reads what is remembered there; false with the reason when the folder cannot be used.
    bool open(const std::string& folder, std::string& why);
    const std::map<int, std::string>& serials() const { return serials_; }
    // The meter now at this address; false with the reason when it could not be written down.
    bool remember(int address, const std::string& serial, std::string& why);

  private:
    std::string file_;
    std::map<int, std::string> serials_;
};
