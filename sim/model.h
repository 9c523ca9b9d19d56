// The analyser's register bank and behaviour, with no I/O and no clock of its own: whoever owns the
// model passes the time (in seconds, any monotonic origin) so that tests can step it at will.
#pragma once

#include "sim/simulator.h"

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace sim {

// Modbus exception codes the analyser answers with.
enum ExceptionCode : uint8_t {
    kNoException = 0,
    kIllegalFunction = 1,
    kIllegalAddress = 2,
    kIllegalValue = 3,
};

// Where the read records start; several overlap, so a read is resolved by its first register.
constexpr int kNetworkStart = 6;  // 30 floats
constexpr int kEnergyStart = 66;  // 11 floats
constexpr int kMaxMinStart = 130; // 54 floats
constexpr int kDemandStart = 238; // 12 floats
constexpr int kInOutStart = 200;  // 21 registers
inline constexpr int kAnalogBase[4] = {230, 247, 264, 281};
constexpr int kAnalogSize = 17;
constexpr int kConfigStart = 800;   // 11 registers
constexpr int kIdentityStart = 811; // 11 registers: two texts (811-818), serial number (819-821)
constexpr int kPasswordRegister = 819;
constexpr int kEnergyResetRegister = 1000;
constexpr int kTextWriteStart = 8420; // 8 registers, stored as 811-818
constexpr int kPasswordChangeRequest = 9999;
constexpr double kUnlockSeconds = 60.0;

constexpr int kNetworkCount = 30;
constexpr int kEnergyCount = 11;
constexpr int kMaxMinCount = 54;
constexpr int kDemandCount = 12;

uint16_t floatHigh(float value);
uint16_t floatLow(float value);
float floatFromRegs(uint16_t high, uint16_t low);

class Model {
public:
    Model(const Options& options, double now);

    // Brings the live values, counters, extremes and demand to time `now` (a no-op when frozen).
    void advance(double now);

    // A function-3 read as the analyser answers it: kNoException and the values, or an exception.
    uint8_t read(int start, int count, std::vector<uint16_t>* values) const;
    // A write (functions 6 and 16) with its side effects: relay commands, password, energy reset.
    uint8_t write(int start, const std::vector<uint16_t>& values, double now);

    // The plain register view (what a read that starts at `address` alone returns); 0 off the map.
    uint16_t reg(int address) const;
    // Stores a register without any of the side effects a Modbus write has.
    void setReg(int address, uint16_t value);
    float getFloat(int address) const { return floatFromRegs(reg(address), reg(address + 1)); }
    void setFloat(int address, float value);
    // The float at `index` of the record a read starting at `blockStart` returns.
    float blockFloat(int blockStart, int index) const;
    void setBlockFloat(int blockStart, int index, float value);

    int modelCode() const { return bank_[816]; }
    bool unlocked(double now) const { return now < unlockedUntil_; }

private:
    struct Live {
        std::array<double, 3> v{}, i{}, pf{};
        double frequency = 50.0;
    };
    Live liveAt(double t) const;
    void writeNetwork(const Live& live);
    void integrate(double dt);
    void trackExtremes();
    void smoothDemand(double dt);
    void updateAnalogOutputs();
    float analogValue(int base) const;
    void lock();

    void storeBlockFloat(std::vector<uint16_t>& regs, int index, float value);
    uint16_t* storage(int address);
    const uint16_t* storage(int address) const;

    bool moving_;
    double start_;
    double last_;
    std::array<double, 8> phases_{}; // per-run phases of the slow and fast wander
    std::array<double, 3> vOffset_{}, iShare_{}, pfBase_{};

    // Registers 0..1023 as the plain view shows them (network 6-87, in/out and analog 200-297,
    // configuration and identity 800-821); max/min and demand records are kept apart because
    // their reads overlap other registers.
    std::array<uint16_t, 1024> bank_{};
    std::vector<uint16_t> maxMin_;
    std::vector<uint16_t> demand_;

    std::array<double, kEnergyCount> energy_{}; // counters kept in double so small steps add up
    std::array<double, 6> demandAverage_{};

    Wiring wiring_;
    uint16_t password_;
    double unlockedUntil_ = -1.0;
    bool changePending_ = false;
};

} // namespace sim
