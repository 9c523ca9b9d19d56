#include "device/named_values.h"

#include <charconv>
#include <cmath>

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

void AddNamedValues(const BlockInfo& info, const float* record, const std::string& prefix,
                    std::vector<NamedValue>& out) {
    for (size_t i = 0; i < info.values.size(); ++i) {
        const ValueInfo& v = info.values[i];
        NamedValue value{prefix + v.name, v.unit, v.kind, record[i], 0, "", false, v.note};
        // Settings are integers of at most 16 bits here: the float holds them exactly.
        if (v.kind == ValueKind::Setting) value.integer = static_cast<int64_t>(record[i]);
        out.push_back(value);
    }
}

std::string ShortestFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string ExactText(const NamedValue& v) {
    if (v.isText) return v.text;
    if (v.kind == ValueKind::Setting) return std::to_string(v.integer);
    return ShortestFloat(v.number);
}

std::string CsvHeader(const std::vector<NamedValue>& values) {
    std::string out = "time,address";
    for (const NamedValue& v : values) {
        out += ',';
        out += csvField(v.unit.empty() ? v.name : v.name + " (" + v.unit + ")");
    }
    return out + "\n";
}

std::string CsvRow(const std::string& time, int address, const std::vector<NamedValue>& values) {
    std::string out = time + "," + std::to_string(address);
    for (const NamedValue& v : values) {
        out += ',';
        out += csvField(ExactText(v));
    }
    return out + "\n";
}
