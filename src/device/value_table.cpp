#include "device/value_table.h"

#include <cstring>
#include <iterator>

#include "device/register_map.h"

namespace {

using K = ValueKind;

constexpr ValueInfo kNetwork[] = {
    {"V1", "V", K::Measured},          {"V2", "V", K::Measured},         {"V3", "V", K::Measured},
    {"V12", "V", K::Measured},         {"V23", "V", K::Measured},        {"V31", "V", K::Measured},
    {"I1", "A", K::Measured},          {"I2", "A", K::Measured},         {"I3", "A", K::Measured},
    {"IN", "A", K::Measured},          {"P1", "kW", K::Measured},        {"P2", "kW", K::Measured},
    {"P3", "kW", K::Measured},         {"P_total", "kW", K::Measured},   {"Q1", "kVar", K::Measured},
    {"Q2", "kVar", K::Measured},       {"Q3", "kVar", K::Measured},      {"Q_total", "kVar", K::Measured},
    {"S1", "kVA", K::Measured},        {"S2", "kVA", K::Measured},       {"S3", "kVA", K::Measured},
    {"S_total", "kVA", K::Measured},   {"PF1", "", K::Measured},         {"PF2", "", K::Measured},
    {"PF3", "", K::Measured},          {"PF_total", "", K::Measured},    {"frequency", "Hz", K::Measured},
    {"V_phase_avg", "V", K::Measured}, {"V_line_avg", "V", K::Measured}, {"I_avg", "A", K::Measured},
};

constexpr ValueInfo kEnergy[] = {
    {"active_imported", "kWh", K::Counter},
    {"active_exported", "kWh", K::Counter},
    {"reactive_inductive", "kVArh", K::Counter},
    {"reactive_capacitive", "kVArh", K::Counter},
    {"apparent", "kVAh", K::Counter},
    {"reactive_Q1", "kVArh", K::Counter},
    {"reactive_Q2", "kVArh", K::Counter},
    {"reactive_Q3", "kVArh", K::Counter},
    {"reactive_Q4", "kVArh", K::Counter},
    {"operating_hours", "h", K::Counter},
    {"resets", "", K::Counter},
};

// The maxima of these 27 quantities, then their minima in the same order.
constexpr ValueInfo kMaxMinQuantities[] = {
    {"V1", "V", K::Measured},          {"V2", "V", K::Measured},         {"V3", "V", K::Measured},
    {"V12", "V", K::Measured},         {"V23", "V", K::Measured},        {"V31", "V", K::Measured},
    {"I1", "A", K::Measured},          {"I2", "A", K::Measured},         {"I3", "A", K::Measured},
    {"IN", "A", K::Measured},          {"P1", "kW", K::Measured},        {"P2", "kW", K::Measured},
    {"P3", "kW", K::Measured},         {"P_total", "kW", K::Measured},   {"Q1", "kVar", K::Measured},
    {"Q2", "kVar", K::Measured},       {"Q3", "kVar", K::Measured},      {"Q_total", "kVar", K::Measured},
    {"S1", "kVA", K::Measured},        {"S2", "kVA", K::Measured},       {"S3", "kVA", K::Measured},
    {"S_total", "kVA", K::Measured},   {"PF_total", "", K::Measured},    {"frequency", "Hz", K::Measured},
    {"V_phase_avg", "V", K::Measured}, {"V_line_avg", "V", K::Measured}, {"I_avg", "A", K::Measured},
};

struct MaxMinNames {
    char names[54][24] = {};
    ValueInfo values[54] = {};
    MaxMinNames() {
        for (int i = 0; i < 54; ++i) {
            const ValueInfo& q = kMaxMinQuantities[i % 27];
            std::strcpy(names[i], q.name);
            std::strcat(names[i], i < 27 ? "_max" : "_min");
            values[i] = {names[i], q.unit, q.kind};
        }
    }
};

constexpr ValueInfo kDemand[] = {
    {"P_demand", "kW", K::Measured},      {"Q_demand", "kVar", K::Measured},
    {"S_demand", "kVA", K::Measured},     {"I1_demand", "A", K::Measured},
    {"I2_demand", "A", K::Measured},      {"I3_demand", "A", K::Measured},
    {"P_max_demand", "kW", K::Measured},  {"Q_max_demand", "kVar", K::Measured},
    {"S_max_demand", "kVA", K::Measured}, {"I1_max_demand", "A", K::Measured},
    {"I2_max_demand", "A", K::Measured},  {"I3_max_demand", "A", K::Measured},
};

// Registers 201 and 211 carry the relay's selector (high byte) and mode (low byte); values A and
// B are hundredths.
constexpr ValueInfo kInOut[] = {
    {"relay1_state", "", K::Setting},         {"relay2_state", "", K::Setting},
    {"relay1_selector_mode", "", K::Setting}, {"relay1_value_a", "1/100", K::Setting},
    {"relay1_value_b", "1/100", K::Setting},  {"relay1_lock", "", K::Setting},
    {"relay1_switch", "", K::Setting},        {"relay1_command", "", K::Setting},
    {"relay1_level1", "", K::Float},          {"relay1_level2", "", K::Float},
    {"relay2_selector_mode", "", K::Setting}, {"relay2_value_a", "1/100", K::Setting},
    {"relay2_value_b", "1/100", K::Setting},  {"relay2_lock", "", K::Setting},
    {"relay2_switch", "", K::Setting},        {"relay2_command", "", K::Setting},
    {"relay2_level1", "", K::Float},          {"relay2_level2", "", K::Float},
};

constexpr ValueInfo kAnalogOutput[] = {
    {"selector", "", K::Setting},
    {"points_mode", "", K::Setting},
    {"output_type", "", K::Setting},
    {"full_scale", "", K::Setting},
    {"X1", "", K::Float},
    {"Y1", "", K::Float},
    {"X2", "", K::Float},
    {"Y2", "", K::Float},
    {"X3", "", K::Float},
    {"Y3", "", K::Float},
    {"present_value", "", K::Measured},
};

// The equipment panel's fields under its English captions, then the registers whose bytes it
// shows, whole.
constexpr ValueInfo kEquipmentConfig[] = {
    {"device_address", "", K::Setting, "low byte of register 800"},
    {"baud_rate_code", "", K::Setting, "high byte of register 801"},
    {"mode_code", "", K::Setting, "low byte of register 801"},
    {"response_delay", "ms", K::Setting, "low byte of register 802"},
    {"protocol", "", K::Setting, "low byte of register 803"},
    {"vt_primary", "V", K::Setting},
    {"ct_primary", "A", K::Setting},
    {"vt_secondary", "V", K::Setting},
    {"ct_secondary", "A", K::Setting},
    {"demand_period", "min", K::Setting},
    {"register_800", "", K::Setting},
    {"register_801", "", K::Setting},
    {"register_802", "", K::Setting},
    {"register_803", "", K::Setting},
};

} // namespace

const BlockInfo& NetworkValues() {
    static const BlockInfo block{"network", kNetwork};
    return block;
}
const BlockInfo& EnergyValues() {
    static const BlockInfo block{"energy", kEnergy};
    return block;
}
const BlockInfo& MaxMinValues() {
    static const MaxMinNames names;
    static const BlockInfo block{"maxmin", names.values};
    return block;
}
const BlockInfo& DemandValues() {
    static const BlockInfo block{"demand", kDemand};
    return block;
}
const BlockInfo& InOutValues() {
    static const BlockInfo block{"inout", kInOut};
    return block;
}
const BlockInfo& AnalogOutputValues() {
    static const BlockInfo block{"analog", kAnalogOutput};
    return block;
}
const BlockInfo& EquipmentConfigValues() {
    static const BlockInfo block{"config", kEquipmentConfig};
    return block;
}

const char* ThousandfoldUnit(const char* unit) {
    static constexpr const char* kPairs[][2] = {{"V", "kV"},        {"A", "kA"},     {"kW", "MW"},
                                                {"kVar", "MVar"},   {"kVA", "MVA"},  {"kWh", "MWh"},
                                                {"kVArh", "MVArh"}, {"kVAh", "MVAh"}};
    for (const auto& pair : kPairs)
        if (std::strcmp(unit, pair[0]) == 0) return pair[1];
    return unit;
}

const char* RangeKiloMega(float& value, const char* unit) {
    // A unit without a thousandfold (h, Hz) keeps its value whole: 12873 h, never 12.873 h.
    const char* thousandfold = ThousandfoldUnit(unit);
    if (static_cast<double>(value) > 1000.0 && thousandfold != unit) {
        value = static_cast<float>(value / 1000.0);
        return thousandfold;
    }
    return unit;
}

static_assert(std::size(kNetwork) == kNetworkParameterCount && std::size(kEnergy) == kEnergyCount &&
              std::size(kMaxMinQuantities) * 2 == kMaxMinCount && std::size(kDemand) == kDemandCount &&
              std::size(kInOut) == kInOutCount && std::size(kAnalogOutput) == kAnalogOutputCount &&
              std::size(kEquipmentConfig) == kEquipmentConfigExactCount);
