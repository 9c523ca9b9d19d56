// Listening sockets for serve's doors (the HTTP endpoint, the Modbus gateway): one for each address
// the host resolves to, IPv6 ones for IPv6 only, so 0.0.0.0 and :: can both be given.
#pragma once

#include <string>
#include <vector>

// How many connections each door holds at once, from the process's descriptor limit
// (RLIMIT_NOFILE): kKeptDescriptors are kept for everything else serve opens (the link, the state
// folder, the broker, the listening sockets, its own files); of the rest the gateway takes a
// quarter, at most 64, and the HTTP endpoint what is left, at most 512. At Debian's usual 1024
// that is 64 and 512.
struct DoorCaps {
    size_t gateway;
    unsigned endpoint;
};
constexpr unsigned kKeptDescriptors = 32;
DoorCaps DoorCapsFor(unsigned long long descriptorLimit);
DoorCaps DoorCapsNow();

// Appends the sockets to `fds`; false with the reason (host and port named) when any cannot be made,
// and then none is left open.
bool ListenOn(const std::string& host, int port, int queue, std::vector<int>& fds, std::string& why);
