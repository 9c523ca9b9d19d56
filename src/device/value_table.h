// The program's one vocabulary of values: every value of every block the analyser is read in, with
// its name, the unit it is sent in, what kind of value it is, how its panel shows it, and how the
// monitoring feeds name it. The panels, rq55ctl, the recording, the trend, the report and serve
// all read it and list nothing again: a new value is one row.
#pragma once

#include <span>
#include <string>

enum class ValueKind {
    Measured,    // a live quantity
    Extreme,     // a recorded maximum or minimum, or a maximum demand
    Counter,     // an energy counter: it only grows until the counters are reset
    WholeNumber, // sent as a float, shown whole (truncated): operating hours, energy resets
    Setting,     // a configuration number the analyser holds as an integer
    Level,       // a configuration number the analyser holds as a float (trip levels, points)
    Code,        // an integer that stands for a choice: a baud rate, a mode, a protocol, a type
    State,       // on or off: 0 off, anything else on
    Text,        // characters (the serial number)
};

// Whether the analyser holds values of this kind as integers (they are written down as such).
bool IsInteger(ValueKind kind);

// How serve's Prometheus exposition names and types a family: its name is the family's stem, then
// the base unit (_volts), _ratio or nothing, then _total for a counter.
enum class Metric {
    Gauge,    // a quantity in a base unit
    Ratio,    // a quantity without a unit (a power factor)
    Counter,  // grows; in its base unit, if it has one
    State,    // 1 or 0
    UnitFree, // a number whose unit the program does not know (an analog output's present value)
};

struct MetricFamily {
    const char* stem; // rq55_phase_voltage
    Metric metric;
    const char* help;
};

struct ValueInfo {
    const char* name; // fixed ASCII: letters, digits and underscores
    const char* unit; // as the analyser sends it; "" for none
    ValueKind kind;
    int precision;       // the decimals its panel field shows; 0 for a whole number
    bool ranged;         // its panel shows it in the thousandfold unit above 1000 (RangeKiloMega)
    const char* symbol;  // a short name, the same in every language: V1, PΣ, f
    int caption;         // the number of its caption's text on its panel; 0 for none
    const MetricFamily* family; // its Prometheus family; null when serve does not export it
    const char* label;   // what tells it apart within its family: phase="L1"; "" for nothing
    const char* note = ""; // where a value that is part of a register comes from
    bool detail = false;   // a counter an owner does not watch (operating hours, resets, quadrants)
    int fieldCharacters = 0; // the characters its panel field shows at most; 0 for enough
};

// A block of the register map read by one operation, in record order.
struct BlockInfo {
    const char* name;
    std::span<const ValueInfo> values;
};

const BlockInfo& NetworkValues();
const BlockInfo& EnergyValues();
const BlockInfo& MaxMinValues();
const BlockInfo& DemandValues();
const BlockInfo& InOutValues();
const BlockInfo& AnalogOutputValues();
const BlockInfo& EquipmentConfigValues();
// Who the analyser is: its serial number and model code (from the serial-number block).
const BlockInfo& IdentityValues();

// The block's row of that name, or null.
const ValueInfo* FindValue(const BlockInfo& block, const std::string& name);
// Its index in the block's record; -1 when there is none.
int ValueIndex(const BlockInfo& block, const std::string& name);

// A unit as the analyser sends it, and what the feeds make of it.
struct UnitInfo {
    const char* unit;         // "kW"
    const char* thousandfold; // the unit a thousand of it is shown in ("MW"); "" when none
    const char* base;         // the base unit it is exported in, as a family ends ("watts"); "" none
    double scale;             // what a value in this unit is worth in the base unit (1000)
    const char* haClass;      // Home Assistant's device class of a sensor in this unit; "" none
    const char* haUnit;       // the unit as Home Assistant spells it ("kvar" for kVar)
};
// The unit's row; the row of "" (no unit) for one that is not in the table.
const UnitInfo& UnitOf(const char* unit);

// How Home Assistant is told of a value: its sensor's device class, state class and unit ("" for
// none), and whether it is a diagnostic entity (settings, codes, and counters an owner does not
// watch). A live quantity is a measurement, an energy counter or a count total_increasing (the
// counters can be reset); a recorded extreme and a setting have no state class.
struct HomeAssistantClass {
    const char* deviceClass;
    const char* stateClass;
    const char* unit;
    bool diagnostic;
};
HomeAssistantClass HomeAssistantOf(const ValueInfo& value);

// The family's full Prometheus name: rq55_phase_voltage_volts, rq55_power_factor_ratio,
// rq55_active_energy_imported_joules_total.
std::string MetricName(const ValueInfo& value);

// The unit a thousand of `unit` is shown in ("V" -> "kV", "kW" -> "MW"); the unit itself when it
// has none.
const char* ThousandfoldUnit(const char* unit);

// A value above 1000 (strictly) is divided by 1000 and takes the thousandfold unit; anything
// else, 1000 itself, negatives and NaN included, keeps its unit. Returns the unit to show.
const char* RangeKiloMega(float& value, const char* unit);
