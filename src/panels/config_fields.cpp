#include "panels/config_fields.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <string>

#include "lang/label_table.h"
#include "platform/system.h"
#include "platform/ui.h"

void ShowInSelector(int panel, int control, int value) {
    if (SetCtrlVal(panel, control, value) != UIE_ValueNotInList) return;
    InsertListItem(panel, control, -1, std::to_string(value), value);
    SetCtrlVal(panel, control, value);
}

void ShowFloat(int panel, int control, float value, KeptFloat& kept) {
    SetCtrlVal(panel, control, static_cast<double>(value));
    kept.exact = value;
    kept.set = GetCtrlVal(panel, control, kept.shown) >= 0;
}

float TakeFloat(int panel, int control, const KeptFloat& kept) {
    const double shown = DoubleField(panel, control);
    if (kept.set && shown == kept.shown) return kept.exact;
    return static_cast<float>(shown);
}

void ShowSwitch(int panel, int control, int value, KeptSwitch& kept) {
    SetCtrlVal(panel, control, value != 0 ? 1 : 0);
    kept.read = value;
    kept.set = true;
}

int TakeSwitch(int panel, int control, const KeptSwitch& kept) {
    const int on = IntField(panel, control);
    if (kept.set && on == (kept.read != 0 ? 1 : 0)) return kept.read;
    return on;
}

namespace {

constexpr int kTextTakes = 467;
constexpr int kTextRange = 468;
constexpr int kTextCharacters = 469;
constexpr int kTextNotANumber = 511;
constexpr int kTextDecimals = 512;
constexpr int kTextWholeNumbers = 513;
constexpr int kTextEmpty = 526;

int attribute(int panel, int control, int attr) {
    int value = 0;
    GetCtrlAttribute(panel, control, attr, value);
    return value;
}

// Why the field refuses its entry, in a sentence naming it: "Value A takes at most 2 decimals:
// nothing was sent.", "Address takes 0 to 255: ...", "Value A is not a number: ...", "New
// password is empty: type a number from 0 to 9998. Nothing was sent.".
std::string refusal(int panel, int control, int fault, const std::string& name) {
    if (fault == kEntryNotANumber) return FillIn(etiqueta[kTextNotANumber], {name});
    const int decimals = attribute(panel, control, ATTR_PRECISION);
    double low = 0, high = 0;
    GetCtrlAttribute(panel, control, ATTR_MIN_VALUE, low);
    GetCtrlAttribute(panel, control, ATTR_MAX_VALUE, high);
    const std::string range = FillIn(etiqueta[kTextRange], {strfmt("%.*f", decimals, low), strfmt("%.*f", decimals, high)});
    if (fault == kEntryEmpty) return FillIn(etiqueta[kTextEmpty], {name, range});
    std::string takes;
    if (fault == kEntryTooLong || fault == kEntryBadCharacters) {
        takes = FillIn(etiqueta[kTextCharacters], {std::to_string(attribute(panel, control, ATTR_MAX_ENTRY_LENGTH))});
    } else if (fault == kEntryTooManyDecimals) {
        takes = decimals > 0 ? FillIn(etiqueta[kTextDecimals], {std::to_string(decimals)}) : etiqueta[kTextWholeNumbers];
    } else {
        takes = range;
    }
    return FillIn(etiqueta[kTextTakes], {name, takes});
}

} // namespace

bool RefuseUnfit(int panel, const std::vector<SentField>& fields) {
    for (const SentField& f : fields) {
        const int fault = attribute(panel, f.control, ATTR_ENTRY_FAULT);
        if (fault == kEntryFits || attribute(panel, f.control, ATTR_DIMMED) == 1 ||
            attribute(panel, f.control, ATTR_VISIBLE) == 0)
            continue;
        std::string name = f.name;
        if (name.empty()) GetCtrlAttribute(panel, f.control, ATTR_LABEL_TEXT, name);
        MessagePopup(etiqueta[21], refusal(panel, f.control, fault, name));
        return true;
    }
    return false;
}

double TypedNumber(int panel, int control) {
    std::string typed;
    GetCtrlVal(panel, control, typed);
    for (char& c : typed)
        if (c == ',') c = '.';
    char* end = nullptr;
    const double v = std::strtod(typed.c_str(), &end);
    return !typed.empty() && end && *end == '\0' ? v : NAN;
}

int IntField(int panel, int control) {
    int value = 0;
    GetCtrlVal(panel, control, value);
    return value;
}

double DoubleField(int panel, int control) {
    double value = 0;
    GetCtrlVal(panel, control, value);
    return value;
}

uint16_t Hundredths(double value) { return static_cast<uint16_t>(std::lround(value * 100.0)); }

void PutBigEndian(unsigned char* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * (bytes - 1 - i)));
}

void PutFloat(unsigned char* out, float value) { PutBigEndian(out, std::bit_cast<uint32_t>(value), 4); }
