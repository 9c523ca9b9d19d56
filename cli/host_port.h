// HOST[:PORT] as the command line gives a place on the network (--tcp, --metrics, --mqtt): a host
// name, an IPv4 address or an IPv6 address in brackets ([::1]:9755), with an optional port.
#pragma once

#include <string>

struct HostPort {
    std::string host;
    int port = 0;
};

// The longest host name the system resolves.
constexpr size_t kLongestHostName = 253;

// Parses `text`: a port left out is `defaultPort`; a bare number is a port on `hostOfBarePort`
// when that is given (--metrics 9755), else a host name. False with what is wrong in `error`.
bool ParseHostPort(const std::string& text, int defaultPort, const std::string& hostOfBarePort, HostPort& out,
                   std::string& error);

// "host:502", "[::1]:9755".
std::string HostPortText(const HostPort& place);
