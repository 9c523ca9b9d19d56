// What a write does to the simulated analyser: which registers take one, the relay commands that
// switch a relay at once, the access password and its change, the energy reset.
#include "sim/model.h"

namespace sim {

namespace {

bool writable(int r) {
    if (r >= 201 && r <= 220) return true;
    for (int base : kAnalogBase)
        if (r >= base && r <= base + 14) return true; // the present value is the meter's own
    return (r >= 800 && r <= 810) || r == kPasswordRegister || r == kEnergyResetRegister ||
           (r >= kTextWriteStart && r <= kTextWriteStart + 7);
}

} // namespace

uint8_t Model::write(int start, const std::vector<uint16_t>& values, double now) {
    int count = static_cast<int>(values.size());
    for (int r = start; r < start + count; ++r)
        if (!writable(r)) return kIllegalAddress;

    // Neither neighbour of 819 or 1000 is writable, so these writes are always of one register.
    if (start == kPasswordRegister) {
        uint16_t value = values[0];
        if (value == kPasswordChangeRequest) {
            if (!unlocked(now)) {
                lock();
                return kIllegalValue;
            }
            changePending_ = true;
            return kNoException;
        }
        if (value > kPasswordChangeRequest) {
            lock();
            return kIllegalValue;
        }
        if (changePending_ && unlocked(now)) {
            password_ = value;
            lock();
            return kNoException;
        }
        if (value == password_) {
            unlockedUntil_ = now + kUnlockSeconds;
            changePending_ = false;
            return kNoException;
        }
        lock();
        return kIllegalValue;
    }
    if (start == kEnergyResetRegister) {
        if (!unlocked(now)) {
            lock();
            return kIllegalValue;
        }
        for (int i = 0; i < 9; ++i)
            energy_[i] = 0.0;
        energy_[10] += 1.0;
        for (int i = 0; i < kEnergyCount; ++i)
            if (i != 9) setFloat(kEnergyStart + 2 * i, static_cast<float>(energy_[i]));
        lock();
        return kNoException;
    }

    for (int k = 0; k < count; ++k) {
        int r = start + k;
        uint16_t value = values[k];
        if (r >= kTextWriteStart) {
            bank_[kIdentityStart + (r - kTextWriteStart)] = value;
            continue;
        }
        bank_[r] = value;
        // The state commands switch the relay at once; the state itself is read from 200.
        if (r == 206 && value <= 1) bank_[200] = static_cast<uint16_t>((bank_[200] & 0x00FF) | value << 8);
        if (r == 216 && value <= 1) bank_[200] = static_cast<uint16_t>((bank_[200] & 0xFF00) | value);
    }
    if (start + count > kAnalogBase[0] && start < kAnalogBase[3] + kAnalogSize) updateAnalogOutputs();
    return kNoException;
}

void Model::lock() {
    unlockedUntil_ = -1.0;
    changePending_ = false;
}

} // namespace sim
