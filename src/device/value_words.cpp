#include "device/value_words.h"

#include <cstring>

namespace {

constexpr int kTextMaximum = 519, kTextMinimum = 520, kTextTotal = 521;
constexpr int kCaptionMaxima = 250, kCaptionMinima = 251;
constexpr int kCaptionMaximumDemand = 320, kCaptionPresentDemand = 321;

std::string text(const LabelTable& texts, int number) {
    return number > 0 && number < static_cast<int>(texts.size()) ? texts[number] : std::string();
}

// The value inside the label's quotes: phase="L1" gives L1.
std::string labelled(const char* label) {
    const char* open = std::strchr(label, '"');
    const char* close = open ? std::strchr(open + 1, '"') : nullptr;
    return close ? std::string(open + 1, close) : std::string();
}

// The network quantity a row of another block stands for: a maximum or minimum of it by name, a
// demand by its symbol (P is the total active power, I1 the current of L1).
const ValueInfo* networkQuantity(const ValueInfo& value) {
    std::string name = value.name;
    if (value.caption == kCaptionMaxima || value.caption == kCaptionMinima) return FindValue(NetworkValues(), name.substr(0, name.size() - 4));
    const std::string symbol = value.symbol;
    if (const ValueInfo* same = FindValue(NetworkValues(), symbol)) return same;
    return FindValue(NetworkValues(), symbol + "_total");
}

} // namespace

std::string CaptionOf(const ValueInfo& value, const LabelTable& texts) {
    std::string name = text(texts, value.caption);
    while (!name.empty() && (name.back() == ':' || name.back() == '=' || name.back() == ' ')) name.pop_back();
    return name;
}

std::string SpokenName(const ValueInfo& value, const LabelTable& texts) {
    const std::string caption = CaptionOf(value, texts);
    if (value.caption == kCaptionMaxima || value.caption == kCaptionMinima) {
        const ValueInfo* quantity = networkQuantity(value);
        const std::string of = quantity ? SpokenName(*quantity, texts) : value.symbol;
        return FillIn(text(texts, value.caption == kCaptionMaxima ? kTextMaximum : kTextMinimum), {of});
    }
    if (value.caption == kCaptionPresentDemand || value.caption == kCaptionMaximumDemand) {
        const ValueInfo* quantity = networkQuantity(value);
        return caption + ": " + (quantity ? SpokenName(*quantity, texts) : value.symbol);
    }
    if (caption.empty()) return *value.symbol ? value.symbol : value.name;
    std::string apart = labelled(value.label);
    if (std::strcmp(value.symbol, "IN") == 0) apart = "N";
    if (std::strstr(value.symbol, "\u03a3")) apart = text(texts, kTextTotal);
    return apart.empty() ? caption : caption + " " + apart;
}
