#include "serve/gateway/allow_list.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// The address as a network of its full length; an IPv4 address mapped into IPv6 as IPv4.
bool parseAddress(const std::string& text, AllowedNetwork& n) {
    if (::inet_pton(AF_INET, text.c_str(), n.bytes.data()) == 1) {
        n.family = AF_INET;
        n.bits = 32;
        return true;
    }
    if (::inet_pton(AF_INET6, text.c_str(), n.bytes.data()) != 1) return false;
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(n.bytes.data(), kMapped, 12) == 0) {
        std::memmove(n.bytes.data(), n.bytes.data() + 12, 4);
        n.family = AF_INET;
        n.bits = 32;
        return true;
    }
    n.family = AF_INET6;
    n.bits = 128;
    return true;
}

bool within(const AllowedNetwork& network, const AllowedNetwork& host) {
    if (network.family != host.family) return false;
    const int whole = network.bits / 8, rest = network.bits % 8;
    if (std::memcmp(network.bytes.data(), host.bytes.data(), static_cast<size_t>(whole)) != 0) return false;
    const unsigned mask = (0xFF00u >> rest) & 0xFF;
    return rest == 0 || (network.bytes[static_cast<size_t>(whole)] & mask) == (host.bytes[static_cast<size_t>(whole)] & mask);
}

} // namespace

bool ParseAllowList(const std::string& text, std::vector<AllowedNetwork>& networks, std::string& why) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t slash = item.find('/');
        AllowedNetwork n;
        const std::string length = slash == std::string::npos ? "" : item.substr(slash + 1);
        char* end = nullptr;
        const long bits = std::strtol(length.c_str(), &end, 10);
        bool ok = parseAddress(item.substr(0, slash), n);
        if (ok && slash != std::string::npos) ok = !length.empty() && !*end && bits >= 0 && bits <= n.bits;
        if (!ok) {
            why = "--gateway-allow: \"" + item + "\" is not an address or a network such as 10.0.0.0/8 or fd00::/8";
            return false;
        }
        if (slash != std::string::npos) n.bits = static_cast<int>(bits);
        networks.push_back(n);
    }
    if (networks.empty()) why = "--gateway-allow: no network given";
    return !networks.empty();
}

bool IsLoopback(const std::string& address) {
    AllowedNetwork host;
    static const AllowedNetwork kLoopback4{AF_INET, {127}, 8}, kLoopback6{AF_INET6, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128};
    return parseAddress(address, host) && (within(kLoopback4, host) || within(kLoopback6, host));
}

bool IsAllowed(const std::vector<AllowedNetwork>& networks, const std::string& address) {
    AllowedNetwork host;
    if (!parseAddress(address, host)) return false;
    if (networks.empty() || IsLoopback(address)) return true;
    for (const AllowedNetwork& n : networks)
        if (within(n, host)) return true;
    return false;
}
