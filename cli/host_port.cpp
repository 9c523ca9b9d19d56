#include "host_port.h"

#include <algorithm>
#include <charconv>

namespace {

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool toPort(const std::string& text, int& port) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return allDigits(text) && ec == std::errc{} && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

// Letters, digits, dots, dashes and underscores make a name or an IPv4 address; an IPv6 address
// (in brackets) is hex digits, colons and dots.
bool isHost(const std::string& host, bool bracketed) {
    const auto allowed = [bracketed](char c) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        return bracketed ? alnum || c == ':' || c == '.' || c == '%' : alnum || c == '.' || c == '-' || c == '_';
    };
    return !host.empty() && std::all_of(host.begin(), host.end(), allowed);
}

} // namespace

bool ParseHostPort(const std::string& text, int defaultPort, const std::string& hostOfBarePort, HostPort& out,
                   std::string& error) {
    HostPort place{"", defaultPort};
    std::string portText;
    bool bracketed = false, portGiven = false;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "\"" + text + "\" is not [IPv6 address] or [IPv6 address]:PORT";
            return false;
        }
        bracketed = true;
        place.host = text.substr(1, close - 1);
        portGiven = close + 1 < text.size();
        if (portGiven) portText = text.substr(close + 2);
    } else if (std::count(text.begin(), text.end(), ':') > 1) {
        error = "\"" + text + "\": an IPv6 address goes in brackets, as in [::1]:9755";
        return false;
    } else if (const size_t colon = text.find(':'); colon != std::string::npos) {
        place.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        portGiven = true;
    } else if (!hostOfBarePort.empty() && allDigits(text)) {
        place.host = hostOfBarePort;
        portText = text;
        portGiven = true;
    } else {
        place.host = text;
    }
    if (place.host.size() > kLongestHostName) {
        error = "the host name is " + std::to_string(place.host.size()) + " characters long; one has at most " +
                std::to_string(kLongestHostName);
        return false;
    }
    if (!isHost(place.host, bracketed)) {
        error = place.host.empty() ? "\"" + text + "\" has no host" : "\"" + place.host + "\" is not a host name or address";
        return false;
    }
    if (portGiven && !toPort(portText, place.port)) {
        error = "\"" + portText + "\" is not a TCP port 1-65535";
        return false;
    }
    out = place;
    return true;
}

std::string HostPortText(const HostPort& place) {
    const bool ipv6 = place.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + place.host + "]" : place.host) + ":" + std::to_string(place.port);
}
