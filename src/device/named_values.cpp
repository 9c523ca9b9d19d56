#include "device/named_values.h"

#include <charconv>
#include <cmath>

#include "platform/number_text.h"

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

std::string NamedValue::name() const {
    return (output ? "analog" + std::to_string(output) + "_" : std::string()) + info->name;
}

void AddNamedValues(const BlockInfo& info, const float* record, std::vector<NamedValue>& out, int output) {
    for (size_t i = 0; i < info.values.size(); ++i) {
        NamedValue value{&info.values[i], output, record[i], 0, ""};
        // Integers of at most 16 bits here: the float holds them exactly.
        if (IsInteger(info.values[i].kind)) value.integer = static_cast<int64_t>(record[i]);
        out.push_back(value);
    }
}

void AddNamedValues(const BlockInfo& info, const int32_t* record, std::vector<NamedValue>& out) {
    for (size_t i = 0; i < info.values.size(); ++i)
        out.push_back({&info.values[i], 0, static_cast<float>(record[i]), record[i], ""});
}

const NamedValue* FindNamed(const std::vector<NamedValue>& values, const std::string& name) {
    for (const NamedValue& v : values)
        if (v.name() == name) return &v;
    return nullptr;
}

std::string ShortestFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string ExactText(const NamedValue& v) {
    if (v.info->kind == ValueKind::Text) return v.text;
    if (IsInteger(v.info->kind)) return std::to_string(v.integer);
    return ShortestFloat(v.number);
}

ShownValue ShowValue(const NamedValue& v) {
    const ValueInfo& info = *v.info;
    if (info.kind == ValueKind::Text) return {v.text, ""};
    if (IsInteger(info.kind)) return {std::to_string(v.integer), info.unit};
    float value = v.number;
    const char* unit = info.unit;
    // As a panel shows a value ranged into the thousandfold unit: three more decimals, so it keeps
    // its digits (1000.1 V is 1.0001 kV).
    if (info.ranged) unit = RangeKiloMega(value, unit);
    const int more = value == v.number || std::isnan(v.number) ? 0 : 3;
    const bool whole = info.kind == ValueKind::WholeNumber;
    const double shown = whole && std::isfinite(value) ? std::trunc(static_cast<double>(value)) : value;
    std::string number = NumberText(shown, whole, info.precision, more);
    // A number wider than its field drops decimals there, as the panel shows it; never a digit of
    // its whole part.
    for (int decimals = info.precision + more - 1; info.fieldCharacters > 0 && decimals >= 0 &&
                                                   static_cast<int>(number.size()) > info.fieldCharacters;
         --decimals)
        number = NumberText(shown, whole, decimals, 0);
    return {number, unit};
}

bool IsFinite(const NamedValue& v) {
    return v.info->kind == ValueKind::Text || IsInteger(v.info->kind) || std::isfinite(v.number);
}

std::string CsvHeader(const std::vector<NamedValue>& values) {
    std::string out = "time,address";
    for (const NamedValue& v : values) {
        out += ',';
        out += csvField(*v.info->unit ? v.name() + " (" + v.info->unit + ")" : v.name());
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
