// Values read from the analyser, each with its row of the value table, and how they are written
// down exactly: the CSV that rq55ctl prints and the program's recording write the same columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/value_table.h"

struct NamedValue {
    const ValueInfo* info = nullptr; // its row: name, unit, kind, how it is shown and exported
    int output = 0;      // the analog output (1-4) a value of the status page's outputs belongs to
    float number = 0;    // exactly as sent, when the analyser holds it as a float
    int64_t integer = 0; // when it holds it as an integer (IsInteger of its kind)
    std::string text;    // the serial number

    // "V1"; a value of an analog output on the status page "analog2_present_value".
    std::string name() const;
};

// The block's values from one read of it, in record order; `output` for those of an analog output
// read as part of the status page.
void AddNamedValues(const BlockInfo& info, const float* record, std::vector<NamedValue>& out, int output = 0);
// The same from a record of integers (the equipment configuration read exactly).
void AddNamedValues(const BlockInfo& info, const int32_t* record, std::vector<NamedValue>& out);

// The value of that name among these, or null.
const NamedValue* FindNamed(const std::vector<NamedValue>& values, const std::string& name);

// A float in its shortest form that reads back exactly, in the C locale ("nan", "inf", "-inf").
std::string ShortestFloat(float value);

// The value exactly as read: a float in its shortest exact form, an integer as itself, a text as
// it is.
std::string ExactText(const NamedValue& value);

// The value as its panel shows it: with the panel's decimals (fewer where its field is too narrow
// for them), a whole number whole (truncated), ranged into kilo or mega where the panel ranges it,
// and the unit it is then shown in.
struct ShownValue {
    std::string number;
    std::string unit;
};
ShownValue ShowValue(const NamedValue& value);

// Whether the value is a number that can be written as one (not NaN or infinite).
bool IsFinite(const NamedValue& value);

// CSV: "time,address,NAME (UNIT),..." and one row of exact values, each line ending in "\n".
std::string CsvHeader(const std::vector<NamedValue>& values);
std::string CsvRow(const std::string& time, int address, const std::vector<NamedValue>& values);
