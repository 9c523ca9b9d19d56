#include "panels/config_fields.h"

#include <bit>
#include <cmath>
#include <string>

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
