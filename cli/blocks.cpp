#include "blocks.h"

#include <cmath>

#include "platform/system.h"

namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            out += strfmt("\\u%04x", c);
        else
            out += c;
    }
    return out + "\"";
}

// Text output ranges into kilo and mega the values the panels range.
std::string shownText(const NamedValue& v) {
    const ValueInfo& info = *v.info;
    if (!info.ranged)
        return ExactText(v) + (*info.unit ? std::string(" ") + info.unit : "") +
               (*info.note ? std::string(" (") + info.note + ")" : "");
    float value = v.number;
    const char* unit = RangeKiloMega(value, info.unit);
    return ShortestFloat(value) + " " + unit;
}

} // namespace

std::string BlockPrinter::print(const std::string& time, int address, const std::string& block,
                                const std::vector<NamedValue>& values) {
    std::string out;
    switch (format_) {
    default: // text, when no other format is asked for
    case Format::Text: {
        out = strfmt("address %d, %s, %s\n", address, block.c_str(), time.c_str());
        size_t width = 0;
        for (const NamedValue& v : values) width = std::max(width, v.name().size());
        for (const NamedValue& v : values)
            out += strfmt("  %-*s  %s\n", static_cast<int>(width), v.name().c_str(), shownText(v).c_str());
        break;
    }
    case Format::Csv:
        if (!headerDone_) out = CsvHeader(values);
        headerDone_ = true;
        out += CsvRow(time, address, values);
        break;
    case Format::Json:
        out = "{\"time\":" + jsonString(time) + ",\"address\":" + std::to_string(address) +
              ",\"block\":" + jsonString(block) + ",\"values\":[";
        for (size_t i = 0; i < values.size(); ++i) {
            const NamedValue& v = values[i];
            out += std::string(i ? "," : "") + "{\"name\":" + jsonString(v.name()) +
                   ",\"unit\":" + jsonString(v.info->unit) + ",\"value\":" +
                   (v.info->kind == ValueKind::Text ? jsonString(v.text)
                    : IsFinite(v)                    ? ExactText(v)
                                                     : "null") +
                   "}";
        }
        out += "]}\n";
        break;
    }
    return out;
}
