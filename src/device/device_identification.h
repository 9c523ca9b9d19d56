// Read Device Identification (function 43, MEI type 14): the basic objects a Modbus device gives of
// itself, vendor, product and version. The analysers do not answer it; serve's gateway does, so a
// tool can tell it speaks to the gateway rather than to a device.
#pragma once

#include <string>

#include "device/register_map.h"

struct DeviceIdentification {
    std::string vendor, product, version;
};

// Asks the device at the link's address for the basic objects, by stream, waiting at most
// `waitSeconds` for each reply; false when it did not give them (LastExchangeEnd says how).
bool AskDeviceIdentification(const LinkTarget& link, double waitSeconds, DeviceIdentification& id);
