// Every value of every block the analyser is read in: its name, its unit and its kind. The
// panels take their units from here, rq55ctl its names and units, so the two never disagree.
#pragma once

#include <span>
#include <string>

enum class ValueKind {
    Measured, // a live quantity or a recorded extreme, in the unit given
    Counter,  // an energy counter, hours or a count
    Setting,  // a configuration value as the analyser holds it (integer)
    Float,    // a configuration value held as a float
};

struct ValueInfo {
    const char* name; // fixed ASCII: letters, digits and underscores
    const char* unit; // "" for none
    ValueKind kind;
    const char* note = ""; // where the value comes from when it is part of a register
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

// The unit a thousand of `unit` is shown in ("V" -> "kV", "kW" -> "MW"); the unit itself when it
// has none.
const char* ThousandfoldUnit(const char* unit);

// A value above 1000 (strictly) is divided by 1000 and takes the thousandfold unit; anything
// else, 1000 itself, negatives and NaN included, keeps its unit. Returns the unit to show.
const char* RangeKiloMega(float& value, const char* unit);
