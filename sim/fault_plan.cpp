#include "sim/fault_plan.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace sim {

void FaultPlan::add(const FaultRule& rule) {
    if (rule.times != 0) rules_.push_back(rule);
}

std::vector<FaultRule> FaultPlan::take(int function, int start) {
    std::vector<FaultRule> matched;
    for (FaultRule& rule : rules_) {
        if (rule.function >= 0 && rule.function != function) continue;
        if (rule.start >= 0 && rule.start != start) continue;
        if (rule.skip > 0) {
            --rule.skip;
            continue;
        }
        matched.push_back(rule);
        if (rule.times > 0) --rule.times;
    }
    std::erase_if(rules_, [](const FaultRule& rule) { return rule.times == 0; });
    return matched;
}

namespace {

struct KindInfo {
    FaultRule::Kind kind;
    std::vector<std::string> keys;     // besides fn, start and times
    std::vector<std::string> required; // keys without which the rule means nothing
};

const std::map<std::string, KindInfo>& kinds() {
    using K = FaultRule::Kind;
    static const std::map<std::string, KindInfo> table = {
        {"silence", {K::Silence, {}, {}}},
        {"late", {K::Late, {"ms"}, {"ms"}}},
        {"cut", {K::CutShort, {"keep"}, {"keep"}}},
        {"badcrc", {K::BadCrc, {}, {}}},
        {"address", {K::OtherAddress, {"id"}, {"id"}}},
        {"exception", {K::Exception, {"code"}, {}}},
        {"count", {K::ByteCount, {"bytes"}, {"bytes"}}},
        {"zero", {K::Zero, {}, {}}},
        {"split", {K::Split, {"sizes", "ms"}, {"sizes"}}},
        {"close", {K::Close, {}, {}}},
        {"restart", {K::Restart, {"ms"}, {"ms"}}},
        {"replace", {K::Replace, {"hex"}, {"hex"}}},
    };
    return table;
}

bool parseNumber(const std::string& text, int low, int high, int* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end && *value >= low && *value <= high;
}

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

} // namespace

bool parseFaultRule(const std::string& text, FaultRule* rule, std::string* error) {
    std::string name = text.substr(0, text.find(':'));
    auto found = kinds().find(name);
    if (found == kinds().end())
        return fail(error, "unknown fault kind '" + name +
                               "' (silence, late, cut, badcrc, address, exception, count, zero, split, close, restart, replace)");
    const KindInfo& info = found->second;
    FaultRule result;
    result.kind = info.kind;

    std::vector<std::string> seen;
    std::string rest = text.size() > name.size() ? text.substr(name.size() + 1) : std::string();
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t comma = rest.find(',', pos);
        std::string item = rest.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? rest.size() : comma + 1;
        size_t equals = item.find('=');
        if (equals == std::string::npos)
            return fail(error, "'" + item + "' in fault '" + text + "' is not KEY=VALUE");
        std::string key = item.substr(0, equals), value = item.substr(equals + 1);
        bool known = key == "fn" || key == "start" || key == "times" || key == "skip" ||
                     std::find(info.keys.begin(), info.keys.end(), key) != info.keys.end();
        if (!known) return fail(error, "fault '" + name + "' takes no '" + key + "'");
        seen.push_back(key);
        bool ok = true;
        if (key == "fn") {
            ok = parseNumber(value, 1, 127, &result.function);
        } else if (key == "start") {
            ok = parseNumber(value, 0, 65535, &result.start);
        } else if (key == "skip") {
            ok = parseNumber(value, 1, 1000000, &result.skip);
        } else if (key == "times") {
            ok = parseNumber(value, 1, 1000000, &result.times);
        } else if (key == "ms") {
            ok = parseNumber(value, 0, 600000,
                             info.kind == FaultRule::Kind::Split ? &result.pauseMs : &result.delayMs);
        } else if (key == "keep") {
            ok = parseNumber(value, 0, 512, &result.keepBytes);
        } else if (key == "id") {
            ok = parseNumber(value, 0, 255, &result.address);
        } else if (key == "code") {
            ok = parseNumber(value, 1, 255, &result.exceptionCode);
        } else if (key == "bytes") {
            ok = parseNumber(value, 0, 255, &result.byteCount);
        } else if (key == "hex") {
            // The reply's bytes as they go out, two hexadecimal digits each.
            ok = !value.empty() && value.size() % 2 == 0 && value.size() <= 512;
            for (size_t i = 0; ok && i < value.size(); i += 2) {
                int byte = 0;
                const auto [ptr, ec] = std::from_chars(value.data() + i, value.data() + i + 2, byte, 16);
                ok = ec == std::errc() && ptr == value.data() + i + 2;
                result.bytes.push_back(static_cast<uint8_t>(byte));
            }
        } else if (key == "sizes") {
            size_t from = 0;
            while (ok && from <= value.size()) {
                size_t plus = value.find('+', from);
                std::string size =
                    value.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
                int bytes = 0;
                ok = parseNumber(size, 1, 512, &bytes);
                result.segments.push_back(bytes);
                from = plus == std::string::npos ? value.size() + 1 : plus + 1;
            }
        }
        if (!ok) return fail(error, "bad value '" + value + "' for '" + key + "' in fault '" + text + "'");
    }
    for (const std::string& key : info.required)
        if (std::find(seen.begin(), seen.end(), key) == seen.end())
            return fail(error, "fault '" + name + "' needs " + key + "=...");
    *rule = result;
    return true;
}

} // namespace sim
