// The simulated analyser's register bank: which registers a read reaches, the plain view of them
// with the max/min and demand records kept apart (their reads overlap other registers), and
// floats in register pairs.
#include <bit>

#include "sim/model.h"

namespace sim {

namespace {

bool readable(int r) {
    return (r >= 6 && r <= 87) || (r >= 130 && r <= 297) || (r >= 800 && r <= 821);
}

bool inMaxMinView(int r) {
    return (r >= 130 && r <= 199) || (r >= 221 && r <= 229);
}

} // namespace

uint16_t floatHigh(float value) {
    return static_cast<uint16_t>(std::bit_cast<uint32_t>(value) >> 16);
}
uint16_t floatLow(float value) {
    return static_cast<uint16_t>(std::bit_cast<uint32_t>(value) & 0xFFFF);
}
float floatFromRegs(uint16_t high, uint16_t low) {
    return std::bit_cast<float>(static_cast<uint32_t>(high) << 16 | low);
}

uint8_t Model::read(int start, int count, std::vector<uint16_t>* values) const {
    for (int r = start; r < start + count; ++r)
        if (!readable(r)) return kIllegalAddress;
    values->clear();
    for (int r = start; r < start + count; ++r) {
        if (start == kMaxMinStart && r < kMaxMinStart + 2 * kMaxMinCount)
            values->push_back(maxMin_[r - kMaxMinStart]);
        else if (start == kDemandStart && r < kDemandStart + 2 * kDemandCount)
            values->push_back(demand_[r - kDemandStart]);
        else
            values->push_back(reg(r));
    }
    return kNoException;
}

uint16_t* Model::storage(int address) {
    if (inMaxMinView(address)) return &maxMin_[address - kMaxMinStart];
    if (readable(address)) return &bank_[address];
    return nullptr;
}

const uint16_t* Model::storage(int address) const {
    return const_cast<Model*>(this)->storage(address);
}

uint16_t Model::reg(int address) const {
    const uint16_t* p = storage(address);
    return p ? *p : 0;
}

void Model::setReg(int address, uint16_t value) {
    uint16_t* p = storage(address);
    if (!p) return;
    *p = value;
    // An energy counter set from outside carries on counting from the new value.
    if (address >= kEnergyStart && address < kEnergyStart + 2 * kEnergyCount) {
        int i = (address - kEnergyStart) / 2;
        energy_[i] = getFloat(kEnergyStart + 2 * i);
    }
}

void Model::setFloat(int address, float value) {
    setReg(address, floatHigh(value));
    setReg(address + 1, floatLow(value));
}

void Model::storeBlockFloat(std::vector<uint16_t>& regs, int index, float value) {
    regs[2 * index] = floatHigh(value);
    regs[2 * index + 1] = floatLow(value);
}

float Model::blockFloat(int blockStart, int index) const {
    if (blockStart == kMaxMinStart && index >= 0 && index < kMaxMinCount)
        return floatFromRegs(maxMin_[2 * index], maxMin_[2 * index + 1]);
    if (blockStart == kDemandStart && index >= 0 && index < kDemandCount)
        return floatFromRegs(demand_[2 * index], demand_[2 * index + 1]);
    return getFloat(blockStart + 2 * index);
}

void Model::setBlockFloat(int blockStart, int index, float value) {
    if (blockStart == kMaxMinStart && index >= 0 && index < kMaxMinCount) {
        storeBlockFloat(maxMin_, index, value);
    } else if (blockStart == kDemandStart && index >= 0 && index < kDemandCount) {
        storeBlockFloat(demand_, index, value);
        if (index < 6) demandAverage_[index] = value;
    } else {
        setFloat(blockStart + 2 * index, value);
    }
}

} // namespace sim
