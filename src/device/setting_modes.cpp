#include "device/setting_modes.h"

namespace {

constexpr int kTextAlarmRelay = 302;
constexpr int kTextPulseOutput = 110;

} // namespace

bool IsPulseOutputMode(int mode) { return mode < 0 || mode > 2; }

bool RelayModeUses(int mode, RelayField field) {
    // In use (1) or not (0): state button, selector, value A, value B, lock, contact, levels 1, 2.
    static constexpr bool kUsed[4][8] = {
        {0, 0, 0, 0, 0, 0, 0, 0}, // not used
        {1, 0, 0, 0, 0, 0, 0, 0}, // switched by hand
        {0, 1, 1, 1, 1, 1, 1, 1}, // alarm on the levels
        {0, 0, 0, 1, 0, 0, 1, 0}, // pulse output
    };
    return kUsed[IsPulseOutputMode(mode) ? 3 : mode][static_cast<int>(field)];
}

int RelayModeText(int mode) { return IsPulseOutputMode(mode) ? kTextPulseOutput : kTextAlarmRelay; }

bool RelayShowsValueA(int lock) { return lock == 1; }

bool CharacteristicUsesPoint(int pointsMode, int point) { return point != 2 || pointsMode != 0; }
