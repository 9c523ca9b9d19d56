#include "device/value_table.h"

#include <cstring>
#include <deque>
#include <iterator>
#include <map>

#include "device/register_map.h"

namespace {

using K = ValueKind;
using M = Metric;

// Captions of the panels' texts.
enum {
    kCaptionPhaseVoltage = 30, kCaptionLineVoltage = 31, kCaptionCurrent = 32, kCaptionActive = 12,
    kCaptionReactive = 13, kCaptionApparent = 11, kCaptionPowerFactor = 33, kCaptionFrequency = 34,
    kCaptionPhaseAverage = 27, kCaptionLineAverage = 29, kCaptionCurrentAverage = 28,
    kCaptionMaximumDemand = 320, kCaptionPresentDemand = 321,
};

constexpr MetricFamily kPhaseVoltage{"rq55_phase_voltage", M::Gauge, "Voltage between a phase and the neutral"};
constexpr MetricFamily kLineVoltage{"rq55_line_voltage", M::Gauge, "Voltage between two phases"};
constexpr MetricFamily kCurrent{"rq55_current", M::Gauge, "Current of a phase"};
constexpr MetricFamily kNeutralCurrent{"rq55_neutral_current", M::Gauge, "Current of the neutral"};
constexpr MetricFamily kPhaseActive{"rq55_phase_active_power", M::Gauge, "Active power of a phase"};
constexpr MetricFamily kActive{"rq55_active_power", M::Gauge, "Active power in total"};
constexpr MetricFamily kPhaseReactive{"rq55_phase_reactive_power", M::Gauge, "Reactive power of a phase"};
constexpr MetricFamily kReactive{"rq55_reactive_power", M::Gauge, "Reactive power in total"};
constexpr MetricFamily kPhaseApparent{"rq55_phase_apparent_power", M::Gauge, "Apparent power of a phase"};
constexpr MetricFamily kApparent{"rq55_apparent_power", M::Gauge, "Apparent power in total"};
constexpr MetricFamily kPhasePowerFactor{"rq55_phase_power_factor", M::Ratio, "Power factor of a phase"};
constexpr MetricFamily kPowerFactor{"rq55_power_factor", M::Ratio, "Power factor in total"};
constexpr MetricFamily kFrequency{"rq55_frequency", M::Gauge, "Frequency of the network"};
constexpr MetricFamily kPhaseAverage{"rq55_phase_voltage_average", M::Gauge, "Average of the phase voltages"};
constexpr MetricFamily kLineAverage{"rq55_line_voltage_average", M::Gauge,
                                    "Average of the voltages between phases"};
constexpr MetricFamily kCurrentAverage{"rq55_current_average", M::Gauge, "Average of the phase currents"};

constexpr const char* kL1 = "phase=\"L1\"";
constexpr const char* kL2 = "phase=\"L2\"";
constexpr const char* kL3 = "phase=\"L3\"";

// Voltages and currents in V and A, powers in kW, kVar and kVA, as the network view shows them.
constexpr ValueInfo kNetwork[] = {
    {"V1", "V", K::Measured, 1, true, "V1", kCaptionPhaseVoltage, &kPhaseVoltage, kL1},
    {"V2", "V", K::Measured, 1, true, "V2", kCaptionPhaseVoltage, &kPhaseVoltage, kL2},
    {"V3", "V", K::Measured, 1, true, "V3", kCaptionPhaseVoltage, &kPhaseVoltage, kL3},
    {"V12", "V", K::Measured, 1, true, "V12", kCaptionLineVoltage, &kLineVoltage, "lines=\"L1-L2\""},
    {"V23", "V", K::Measured, 1, true, "V23", kCaptionLineVoltage, &kLineVoltage, "lines=\"L2-L3\""},
    {"V31", "V", K::Measured, 1, true, "V31", kCaptionLineVoltage, &kLineVoltage, "lines=\"L3-L1\""},
    {"I1", "A", K::Measured, 2, true, "I1", kCaptionCurrent, &kCurrent, kL1},
    {"I2", "A", K::Measured, 2, true, "I2", kCaptionCurrent, &kCurrent, kL2},
    {"I3", "A", K::Measured, 2, true, "I3", kCaptionCurrent, &kCurrent, kL3},
    {"IN", "A", K::Measured, 2, true, "IN", kCaptionCurrent, &kNeutralCurrent, ""},
    {"P1", "kW", K::Measured, 2, true, "P1", kCaptionActive, &kPhaseActive, kL1},
    {"P2", "kW", K::Measured, 2, true, "P2", kCaptionActive, &kPhaseActive, kL2},
    {"P3", "kW", K::Measured, 2, true, "P3", kCaptionActive, &kPhaseActive, kL3},
    {"P_total", "kW", K::Measured, 2, true, "PΣ", kCaptionActive, &kActive, ""},
    {"Q1", "kVar", K::Measured, 2, true, "Q1", kCaptionReactive, &kPhaseReactive, kL1},
    {"Q2", "kVar", K::Measured, 2, true, "Q2", kCaptionReactive, &kPhaseReactive, kL2},
    {"Q3", "kVar", K::Measured, 2, true, "Q3", kCaptionReactive, &kPhaseReactive, kL3},
    {"Q_total", "kVar", K::Measured, 2, true, "QΣ", kCaptionReactive, &kReactive, ""},
    {"S1", "kVA", K::Measured, 2, true, "S1", kCaptionApparent, &kPhaseApparent, kL1},
    {"S2", "kVA", K::Measured, 2, true, "S2", kCaptionApparent, &kPhaseApparent, kL2},
    {"S3", "kVA", K::Measured, 2, true, "S3", kCaptionApparent, &kPhaseApparent, kL3},
    {"S_total", "kVA", K::Measured, 2, true, "SΣ", kCaptionApparent, &kApparent, ""},
    {"PF1", "", K::Measured, 3, false, "PF1", kCaptionPowerFactor, &kPhasePowerFactor, kL1},
    {"PF2", "", K::Measured, 3, false, "PF2", kCaptionPowerFactor, &kPhasePowerFactor, kL2},
    {"PF3", "", K::Measured, 3, false, "PF3", kCaptionPowerFactor, &kPhasePowerFactor, kL3},
    {"PF_total", "", K::Measured, 3, false, "PFΣ", kCaptionPowerFactor, &kPowerFactor, ""},
    {"frequency", "Hz", K::Measured, 2, false, "f", kCaptionFrequency, &kFrequency, ""},
    {"V_phase_avg", "V", K::Measured, 1, true, "V L-N x̄", kCaptionPhaseAverage, &kPhaseAverage, ""},
    {"V_line_avg", "V", K::Measured, 1, true, "V L-L x̄", kCaptionLineAverage, &kLineAverage, ""},
    {"I_avg", "A", K::Measured, 2, true, "I x̄", kCaptionCurrentAverage, &kCurrentAverage, ""},
};

constexpr MetricFamily kImported{"rq55_active_energy_imported", M::Counter, "Active energy imported"};
constexpr MetricFamily kExported{"rq55_active_energy_exported", M::Counter, "Active energy exported"};
constexpr MetricFamily kInductive{"rq55_reactive_energy_inductive", M::Counter, "Reactive energy, inductive"};
constexpr MetricFamily kCapacitive{"rq55_reactive_energy_capacitive", M::Counter, "Reactive energy, capacitive"};
constexpr MetricFamily kApparentEnergy{"rq55_apparent_energy", M::Counter, "Apparent energy"};
constexpr MetricFamily kQuadrant{"rq55_reactive_energy_quadrant", M::Counter, "Reactive energy by quadrant"};
constexpr MetricFamily kOperating{"rq55_operating", M::Counter, "Time the analyser has been measuring"};
constexpr MetricFamily kResets{"rq55_energy_resets", M::Counter, "Resets of the energy counters"};

// Every energy counter in kilo units, ranged into mega on the panel; then two whole numbers.
constexpr ValueInfo kEnergy[] = {
    {"active_imported", "kWh", K::Counter, 4, true, "", 35, &kImported, ""},
    {"active_exported", "kWh", K::Counter, 4, true, "", 36, &kExported, ""},
    {"reactive_inductive", "kVArh", K::Counter, 4, true, "", 40, &kInductive, ""},
    {"reactive_capacitive", "kVArh", K::Counter, 4, true, "", 41, &kCapacitive, ""},
    {"apparent", "kVAh", K::Counter, 4, true, "", 42, &kApparentEnergy, ""},
    {"reactive_Q1", "kVArh", K::Counter, 4, true, "Q1", 43, &kQuadrant, "quadrant=\"1\"", "", true},
    {"reactive_Q2", "kVArh", K::Counter, 4, true, "Q2", 43, &kQuadrant, "quadrant=\"2\"", "", true},
    {"reactive_Q3", "kVArh", K::Counter, 4, true, "Q3", 43, &kQuadrant, "quadrant=\"3\"", "", true},
    {"reactive_Q4", "kVArh", K::Counter, 4, true, "Q4", 43, &kQuadrant, "quadrant=\"4\"", "", true},
    {"operating_hours", "h", K::WholeNumber, 0, false, "", 44, &kOperating, "", "", true},
    {"resets", "", K::WholeNumber, 0, false, "", 47, &kResets, "", "", true},
};

// The maxima of these quantities of the network block, then their minima in the same order.
constexpr const char* kMaxMinQuantities[] = {
    "V1", "V2", "V3", "V12", "V23", "V31", "I1", "I2", "I3", "IN", "P1", "P2", "P3", "P_total",
    "Q1", "Q2", "Q3", "Q_total", "S1", "S2", "S3", "S_total", "PF_total", "frequency",
    "V_phase_avg", "V_line_avg", "I_avg"};
constexpr int kExtremes = static_cast<int>(std::size(kMaxMinQuantities));
// The narrow fields of the maxima and minima panel: 250000.0 V is shown as 250000 there.
constexpr int kExtremeFieldCharacters = 7;

// The maxima and minima as rows of their own, made once from the network block's: the same unit,
// precision and symbol, never ranged (the panel shows them as sent), each in a family of its own
// beside the quantity's (rq55_phase_voltage_maximum_volts).
struct MaxMinRows {
    std::deque<std::string> texts; // what the rows' names and families point into
    std::map<std::pair<const MetricFamily*, bool>, MetricFamily> families;
    ValueInfo values[2 * kExtremes] = {};

    MaxMinRows() {
        for (int i = 0; i < 2 * kExtremes; ++i) {
            const bool maximum = i < kExtremes;
            const ValueInfo& q = *FindValue(NetworkValues(), kMaxMinQuantities[i % kExtremes]);
            auto [at, added] = families.try_emplace({q.family, maximum});
            if (added) {
                const std::string& stem = texts.emplace_back(std::string(q.family->stem) +
                                                             (maximum ? "_maximum" : "_minimum"));
                const std::string& help =
                    texts.emplace_back(std::string(q.family->help) + (maximum ? ", highest" : ", lowest") +
                                       " recorded");
                at->second = {stem.c_str(), q.family->metric, help.c_str()};
            }
            const std::string& name = texts.emplace_back(std::string(q.name) + (maximum ? "_max" : "_min"));
            values[i] = {name.c_str(), q.unit,       K::Extreme, q.precision, false,
                         q.symbol,     maximum ? 250 : 251, &at->second, q.label};
            values[i].fieldCharacters = kExtremeFieldCharacters;
        }
    }
};

constexpr MetricFamily kActiveDemand{"rq55_active_power_demand", M::Gauge, "Active power, present demand"};
constexpr MetricFamily kReactiveDemand{"rq55_reactive_power_demand", M::Gauge, "Reactive power, present demand"};
constexpr MetricFamily kApparentDemand{"rq55_apparent_power_demand", M::Gauge, "Apparent power, present demand"};
constexpr MetricFamily kCurrentDemand{"rq55_current_demand", M::Gauge, "Current of a phase, present demand"};
constexpr MetricFamily kActiveMaxDemand{"rq55_active_power_maximum_demand", M::Gauge, "Active power, maximum demand"};
constexpr MetricFamily kReactiveMaxDemand{"rq55_reactive_power_maximum_demand", M::Gauge,
                                          "Reactive power, maximum demand"};
constexpr MetricFamily kApparentMaxDemand{"rq55_apparent_power_maximum_demand", M::Gauge,
                                          "Apparent power, maximum demand"};
constexpr MetricFamily kCurrentMaxDemand{"rq55_current_maximum_demand", M::Gauge,
                                         "Current of a phase, maximum demand"};

// Shown as sent, without ranging.
constexpr ValueInfo kDemand[] = {
    {"P_demand", "kW", K::Measured, 2, false, "P", kCaptionPresentDemand, &kActiveDemand, ""},
    {"Q_demand", "kVar", K::Measured, 2, false, "Q", kCaptionPresentDemand, &kReactiveDemand, ""},
    {"S_demand", "kVA", K::Measured, 2, false, "S", kCaptionPresentDemand, &kApparentDemand, ""},
    {"I1_demand", "A", K::Measured, 2, false, "I1", kCaptionPresentDemand, &kCurrentDemand, kL1},
    {"I2_demand", "A", K::Measured, 2, false, "I2", kCaptionPresentDemand, &kCurrentDemand, kL2},
    {"I3_demand", "A", K::Measured, 2, false, "I3", kCaptionPresentDemand, &kCurrentDemand, kL3},
    {"P_max_demand", "kW", K::Extreme, 2, false, "P", kCaptionMaximumDemand, &kActiveMaxDemand, ""},
    {"Q_max_demand", "kVar", K::Extreme, 2, false, "Q", kCaptionMaximumDemand, &kReactiveMaxDemand, ""},
    {"S_max_demand", "kVA", K::Extreme, 2, false, "S", kCaptionMaximumDemand, &kApparentMaxDemand, ""},
    {"I1_max_demand", "A", K::Extreme, 2, false, "I1", kCaptionMaximumDemand, &kCurrentMaxDemand, kL1},
    {"I2_max_demand", "A", K::Extreme, 2, false, "I2", kCaptionMaximumDemand, &kCurrentMaxDemand, kL2},
    {"I3_max_demand", "A", K::Extreme, 2, false, "I3", kCaptionMaximumDemand, &kCurrentMaxDemand, kL3},
};

constexpr MetricFamily kRelayClosed{"rq55_relay_closed", M::State, "Whether the relay is closed (1) or open (0)"};

// Registers 201 and 211 carry the relay's selector (high byte) and mode (low byte); values A and
// B are hundredths. Captions as on the inputs/outputs panel.
constexpr ValueInfo kInOut[] = {
    {"relay1_state", "", K::State, 0, false, "", 300, &kRelayClosed, "relay=\"1\""},
    {"relay2_state", "", K::State, 0, false, "", 300, &kRelayClosed, "relay=\"2\""},
    {"relay1_selector_mode", "", K::Code, 0, false, "", 406, nullptr, ""},
    {"relay1_value_a", "1/100", K::Setting, 0, false, "", 64, nullptr, ""},
    {"relay1_value_b", "1/100", K::Setting, 0, false, "", 65, nullptr, ""},
    {"relay1_lock", "", K::Setting, 0, false, "", 54, nullptr, ""},
    {"relay1_switch", "", K::Code, 0, false, "", 37, nullptr, ""},
    {"relay1_command", "", K::Code, 0, false, "", 0, nullptr, ""},
    {"relay1_level1", "", K::Level, 3, false, "", 66, nullptr, ""},
    {"relay1_level2", "", K::Level, 3, false, "", 67, nullptr, ""},
    {"relay2_selector_mode", "", K::Code, 0, false, "", 406, nullptr, ""},
    {"relay2_value_a", "1/100", K::Setting, 0, false, "", 64, nullptr, ""},
    {"relay2_value_b", "1/100", K::Setting, 0, false, "", 65, nullptr, ""},
    {"relay2_lock", "", K::Setting, 0, false, "", 54, nullptr, ""},
    {"relay2_switch", "", K::Code, 0, false, "", 37, nullptr, ""},
    {"relay2_command", "", K::Code, 0, false, "", 0, nullptr, ""},
    {"relay2_level1", "", K::Level, 3, false, "", 66, nullptr, ""},
    {"relay2_level2", "", K::Level, 3, false, "", 67, nullptr, ""},
};

// Its unit is the output's own (mA or V, by its type): the program does not know which.
constexpr MetricFamily kAnalogPresent{"rq55_analog_output_present_value", M::UnitFree,
                                      "Present value of an analog output, in the unit of its output type"};

constexpr ValueInfo kAnalogOutput[] = {
    {"selector", "", K::Code, 0, false, "", 58, nullptr, ""},
    {"points_mode", "", K::Code, 0, false, "", 160, nullptr, ""},
    {"output_type", "", K::Code, 0, false, "", 52, nullptr, ""},
    {"full_scale", "", K::Setting, 0, false, "", 53, nullptr, ""},
    {"X1", "", K::Level, 3, false, "X1", 0, nullptr, ""},
    {"Y1", "", K::Level, 3, false, "Y1", 0, nullptr, ""},
    {"X2", "", K::Level, 3, false, "X2", 0, nullptr, ""},
    {"Y2", "", K::Level, 3, false, "Y2", 0, nullptr, ""},
    {"X3", "", K::Level, 3, false, "X3", 0, nullptr, ""},
    {"Y3", "", K::Level, 3, false, "Y3", 0, nullptr, ""},
    {"present_value", "", K::Measured, 2, false, "", 494, &kAnalogPresent, ""},
};

// The equipment panel's fields under its English captions, then the registers whose bytes it
// shows, whole.
constexpr ValueInfo kEquipmentConfig[] = {
    {"device_address", "", K::Setting, 0, false, "", 7, nullptr, "", "low byte of register 800"},
    {"baud_rate_code", "", K::Code, 0, false, "", 225, nullptr, "", "high byte of register 801"},
    {"mode_code", "", K::Code, 0, false, "", 406, nullptr, "", "low byte of register 801"},
    {"response_delay", "ms", K::Setting, 0, false, "", 381, nullptr, "", "low byte of register 802"},
    {"protocol", "", K::Code, 0, false, "", 16, nullptr, "", "low byte of register 803"},
    {"vt_primary", "V", K::Setting, 0, false, "", 304, nullptr, ""},
    {"ct_primary", "A", K::Setting, 0, false, "", 306, nullptr, ""},
    {"vt_secondary", "V", K::Setting, 0, false, "", 305, nullptr, ""},
    {"ct_secondary", "A", K::Setting, 0, false, "", 307, nullptr, ""},
    {"demand_period", "min", K::Setting, 0, false, "", 14, nullptr, ""},
    {"register_800", "", K::Setting, 0, false, "", 0, nullptr, ""},
    {"register_801", "", K::Setting, 0, false, "", 0, nullptr, ""},
    {"register_802", "", K::Setting, 0, false, "", 0, nullptr, ""},
    {"register_803", "", K::Setting, 0, false, "", 0, nullptr, ""},
};

constexpr ValueInfo kIdentity[] = {
    {"serial_number", "", K::Text, 0, false, "", 405, nullptr, ""},
    {"model_code", "", K::Code, 0, false, "", 231, nullptr, ""},
};

// Every unit the analyser sends a value in; the last row stands for no unit. Home Assistant has no
// device class for apparent energy: its sensors carry the unit alone.
constexpr UnitInfo kUnits[] = {
    {"V", "kV", "volts", 1, "voltage", "V"},
    {"A", "kA", "amperes", 1, "current", "A"},
    {"kW", "MW", "watts", 1e3, "power", "kW"},
    {"kVar", "MVar", "var", 1e3, "reactive_power", "kvar"},
    {"kVA", "MVA", "volt_amperes", 1e3, "apparent_power", "kVA"},
    {"Hz", "", "hertz", 1, "frequency", "Hz"},
    {"kWh", "MWh", "joules", 3.6e6, "energy", "kWh"},
    {"kVArh", "MVArh", "var_seconds", 3.6e6, "reactive_energy", "kvarh"},
    {"kVAh", "MVAh", "volt_ampere_seconds", 3.6e6, "", "kVAh"},
    {"h", "", "seconds", 3600, "duration", "h"},
    {"min", "", "seconds", 60, "duration", "min"},
    {"ms", "", "seconds", 1e-3, "duration", "ms"},
    {"1/100", "", "", 1e-2, "", ""},
    {"", "", "", 1, "", ""},
};

} // namespace

bool IsInteger(ValueKind kind) {
    return kind == K::Setting || kind == K::Code || kind == K::State;
}

const BlockInfo& NetworkValues() {
    static const BlockInfo block{"network", kNetwork};
    return block;
}
const BlockInfo& EnergyValues() {
    static const BlockInfo block{"energy", kEnergy};
    return block;
}
const BlockInfo& MaxMinValues() {
    static const MaxMinRows rows;
    static const BlockInfo block{"maxmin", rows.values};
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
const BlockInfo& IdentityValues() {
    static const BlockInfo block{"identity", kIdentity};
    return block;
}

const ValueInfo* FindValue(const BlockInfo& block, const std::string& name) {
    const int index = ValueIndex(block, name);
    return index < 0 ? nullptr : &block.values[static_cast<size_t>(index)];
}

int ValueIndex(const BlockInfo& block, const std::string& name) {
    for (size_t i = 0; i < block.values.size(); ++i)
        if (name == block.values[i].name) return static_cast<int>(i);
    return -1;
}

const UnitInfo& UnitOf(const char* unit) {
    for (const UnitInfo& u : kUnits)
        if (std::strcmp(unit, u.unit) == 0) return u;
    return kUnits[std::size(kUnits) - 1];
}

HomeAssistantClass HomeAssistantOf(const ValueInfo& value) {
    const UnitInfo& unit = UnitOf(value.unit);
    // A power factor is the one value without a unit that has a class of its own.
    const bool ratio = value.family && value.family->metric == Metric::Ratio;
    const char* deviceClass = ratio ? "power_factor" : unit.haClass;
    const char* stateClass = value.kind == K::Measured                                  ? "measurement"
                             : value.kind == K::Counter || value.kind == K::WholeNumber ? "total_increasing"
                                                                                        : "";
    const bool setting = value.kind == K::Setting || value.kind == K::Level || value.kind == K::Code ||
                         value.kind == K::Text;
    return {deviceClass, stateClass, unit.haUnit, setting || value.detail};
}

std::string MetricName(const ValueInfo& value) {
    if (!value.family) return "";
    const MetricFamily& f = *value.family;
    const std::string base = UnitOf(value.unit).base;
    std::string name = f.stem;
    if ((f.metric == M::Gauge || f.metric == M::Counter) && !base.empty()) name += "_" + base;
    if (f.metric == M::Ratio) name += "_ratio";
    if (f.metric == M::Counter) name += "_total";
    return name;
}

const char* ThousandfoldUnit(const char* unit) {
    const UnitInfo& u = UnitOf(unit);
    return *u.thousandfold ? u.thousandfold : unit;
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
              2 * kExtremes == kMaxMinCount && std::size(kDemand) == kDemandCount &&
              std::size(kInOut) == kInOutCount && std::size(kAnalogOutput) == kAnalogOutputCount &&
              std::size(kEquipmentConfig) == kEquipmentConfigExactCount);
