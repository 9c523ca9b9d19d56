// The names serve gives on the network: ids and MQTT topic levels that any consumer takes (a
// serial number may hold any byte), the MQTT prefix a user gives, and the instance name that
// tells one serve from another.
#pragma once

#include <string>

// One rule for every id and topic level made from outside text: A-Z, a-z, 0-9 and '-' stay as
// they are; every other byte, '_' included, becomes '_' and its two hex digits ("AB/12" is
// "AB_2F12"), so two different texts never give the same id. An empty text is "_".
std::string SafeId(const std::string& text);

// serve's MQTT topics under its prefix: an analyser's by its serial number (PREFIX/<serial>, its
// blocks and its up below it), and the instance's own (PREFIX/serve/<instance>/online, and
// .../address-<N>/up and /maintenance for an address whichever meter answers there).
std::string SerialTopic(const std::string& prefix, const std::string& serial);
std::string OnlineTopic(const std::string& prefix, const std::string& instance);
std::string AddressTopic(const std::string& prefix, const std::string& instance, int address, const std::string& leaf);

// Whether an MQTT topic prefix can be published under: not empty, no wildcard (+ or #), no empty
// level, no leading or trailing '/'. False with the reason.
bool CheckTopicPrefix(const std::string& prefix, std::string& why);

// Whether a name given with --instance is one (letters, digits, '-' and '_', at most 64).
bool IsInstanceName(const std::string& name);

// The instance name when none is given: this host's name and the link, in letters, digits and
// dashes ("plant-pc-192-168-1-20-502", "plant-pc-dev-ttyUSB0"), the same at every start.
std::string DefaultInstance(const std::string& hostName, const std::string& link);
