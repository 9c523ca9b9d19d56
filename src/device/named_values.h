// Values read from the analyser with their names and units, and how they are written down
// exactly: the CSV that rq55ctl prints and the program's recording write the same columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/value_table.h"

struct NamedValue {
    std::string name;
    std::string unit;
    ValueKind kind = ValueKind::Measured;
    float number = 0;    // Measured, Counter and Float: exactly as sent
    int64_t integer = 0; // Setting
    std::string text;    // the serial number
    bool isText = false;
    std::string note = {}; // where a value that is part of a register comes from
};

// The block's values from one read of it, in record order, each name after `prefix`.
void AddNamedValues(const BlockInfo& info, const float* record, const std::string& prefix,
                    std::vector<NamedValue>& out);

// A float in its shortest form that reads back exactly, in the C locale ("nan", "inf", "-inf").
std::string ShortestFloat(float value);

// The value exactly as read: a float in its shortest exact form, a setting as its integer.
std::string ExactText(const NamedValue& value);

// CSV: "time,address,NAME (UNIT),..." and one row of exact values, each line ending in "\n".
std::string CsvHeader(const std::vector<NamedValue>& values);
std::string CsvRow(const std::string& time, int address, const std::vector<NamedValue>& values);
