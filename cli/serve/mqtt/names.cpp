#include "serve/mqtt/names.h"

#include <cstdio>

namespace {

bool isAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

std::string SafeId(const std::string& text) {
    if (text.empty()) return "_";
    std::string out;
    for (char c : text) {
        if (isAlnum(c) || c == '-') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02X", static_cast<unsigned char>(c));
            out += hex;
        }
    }
    return out;
}

std::string SerialTopic(const std::string& prefix, const std::string& serial) { return prefix + "/" + SafeId(serial); }

std::string OnlineTopic(const std::string& prefix, const std::string& instance) {
    return prefix + "/serve/" + instance + "/online";
}

std::string AddressTopic(const std::string& prefix, const std::string& instance, int address, const std::string& leaf) {
    return prefix + "/serve/" + instance + "/address-" + std::to_string(address) + "/" + leaf;
}

bool CheckTopicPrefix(const std::string& prefix, std::string& why) {
    if (prefix.empty()) why = "it is empty";
    else if (prefix.find_first_of("+#") != std::string::npos) why = "a topic published to holds no wildcard (+ or #)";
    else if (prefix.find('\0') != std::string::npos) why = "it holds a NUL character";
    else if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        why = "it has an empty level (a '/' at an end, or two together)";
    else return true;
    return false;
}

bool IsInstanceName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name)
        if (!isAlnum(c) && c != '-' && c != '_') return false;
    return true;
}

std::string DefaultInstance(const std::string& hostName, const std::string& link) {
    std::string out;
    for (char c : hostName + "-" + link) {
        if (isAlnum(c)) out += c;
        else if (!out.empty() && out.back() != '-') out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out.empty() ? "rq55" : out.substr(0, 64);
}
