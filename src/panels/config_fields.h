// What the configuration panels share: fields that show a register exactly and give it back
// unchanged when the operator leaves them alone, and the big-endian packing of their saves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A selector shows the value it is given; a value none of its items lists becomes an item of its
// own bare number, so it is kept and saved as read.
void ShowInSelector(int panel, int control, int value);

// A float field keeps the exact value it was given beside what it shows (a field rounds to its
// precision); while the field still shows that, the exact value is what a save writes.
struct KeptFloat {
    double shown = 0;
    float exact = 0;
    bool set = false;
};
void ShowFloat(int panel, int control, float value, KeptFloat& kept);
float TakeFloat(int panel, int control, const KeptFloat& kept);

// A two-state switch showing a register: 0 is off, anything else on; while the operator leaves
// it as shown, a save writes back the value it was read from.
struct KeptSwitch {
    int read = 0;
    bool set = false;
};
void ShowSwitch(int panel, int control, int value, KeptSwitch& kept);
int TakeSwitch(int panel, int control, const KeptSwitch& kept);

// An editable field a save sends, and its name in a message (its caption when none is given).
struct SentField {
    int control;
    std::string name = {};
};
// The operator's typing is never cut to fit a field: a save whose fields hold a refused entry
// (not a number, too many decimals, a number outside the range, a text too long or with
// characters the analyser cannot keep) is refused with one message naming the first such field
// and why; nothing is sent. A field dimmed or
// hidden holds what was read, and is sent as it is. True when the save is refused.
bool RefuseUnfit(int panel, const std::vector<SentField>& fields);

// The number typed into a field, refused or not: for a check that must give the Parts' own words
// for a number beyond a limit. NaN when the entry is not a number.
double TypedNumber(int panel, int control);

int IntField(int panel, int control);
double DoubleField(int panel, int control);

// A field of hundredths as the register holds it: rounded, not truncated, so that every register
// value read and saved unchanged writes back the register it came from.
uint16_t Hundredths(double value);

// Most significant byte first: the low `bytes` bytes of the value, or an IEEE single float.
void PutBigEndian(unsigned char* out, uint32_t value, int bytes);
void PutFloat(unsigned char* out, float value);
