// Who may connect to the gateway's doors (--gateway-allow CIDR[,CIDR...]): the networks listed,
// and the machine itself (loopback) always.
#pragma once

#include <array>
#include <string>
#include <vector>

struct AllowedNetwork {
    int family = 0;                        // AF_INET or AF_INET6
    std::array<unsigned char, 16> bytes{}; // the address, 4 or 16 bytes of it used
    int bits = 0;                          // the prefix length
};

// "10.0.0.0/8,192.168.1.20,fd00::/8" (a bare address is one host); false with the reason.
bool ParseAllowList(const std::string& text, std::vector<AllowedNetwork>& networks, std::string& why);

// Whether the address (IPv4 or IPv6 text) is this machine's own: 127.0.0.0/8 or ::1.
bool IsLoopback(const std::string& address);

// Whether a client at `address` (as accept gave it, IPv4 or IPv6 text; an IPv4 address mapped
// into IPv6 counts as IPv4) may connect: loopback always; anyone when the list is empty.
bool IsAllowed(const std::vector<AllowedNetwork>& networks, const std::string& address);
