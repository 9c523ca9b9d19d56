// Listening sockets for serve's doors (the HTTP endpoint, the Modbus gateway): one for each address
// the host resolves to, IPv6 ones for IPv6 only, so 0.0.0.0 and :: can both be given.
#pragma once

#include <string>
#include <vector>

// Appends the sockets to `fds`; false with the reason (host and port named) when any cannot be made,
// and then none is left open.
bool ListenOn(const std::string& host, int port, int queue, std::vector<int>& fds, std::string& why);
