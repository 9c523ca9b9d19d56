// The value table is the program's one vocabulary: every row says its unit, its kind and its
// Prometheus family consistently, so each output that reads it says the same. (How each value is
// shown is the views' tests', field by field.)
#include <gtest/gtest.h>

#include <map>

#include "device/value_table.h"

namespace {

const BlockInfo* const kBlocks[] = {&NetworkValues(), &EnergyValues(), &MaxMinValues(),     &DemandValues(),
                                    &InOutValues(),   &AnalogOutputValues(), &EquipmentConfigValues(), &IdentityValues()};

TEST(ValueTable, EveryRowsUnitScaleAndFamilyAgree) {
    // What a value in each unit is worth in the base unit its family ends in.
    const std::map<std::string, std::pair<std::string, double>> kBase = {
        {"V", {"volts", 1}},        {"A", {"amperes", 1}},           {"kW", {"watts", 1000}},
        {"kVar", {"var", 1000}},    {"kVA", {"volt_amperes", 1000}}, {"Hz", {"hertz", 1}},
        {"kWh", {"joules", 3.6e6}}, {"kVArh", {"var_seconds", 3.6e6}}, {"kVAh", {"volt_ampere_seconds", 3.6e6}},
        {"h", {"seconds", 3600}},   {"", {"", 1}}};
    std::map<std::string, std::string> unitOfFamily;
    for (const BlockInfo* block : kBlocks)
        for (const ValueInfo& v : block->values) {
            SCOPED_TRACE(std::string(block->name) + " " + v.name);
            EXPECT_EQ(FindValue(*block, v.name), &v) << "names are unique within a block";
            EXPECT_EQ(v.ranged, *ThousandfoldUnit(v.unit) != *v.unit && v.kind != ValueKind::Extreme &&
                                    (block->name == std::string("network") || block->name == std::string("energy")));
            if (v.kind == ValueKind::WholeNumber || IsInteger(v.kind)) {
                EXPECT_EQ(v.precision, 0);
            }
            if (!v.family) continue;
            const auto& [base, scale] = kBase.at(v.unit);
            EXPECT_EQ(UnitOf(v.unit).scale, scale);
            const std::string name = MetricName(v);
            const std::string ending = v.family->metric == Metric::Counter ? (base.empty() ? "" : "_" + base) + "_total"
                                       : v.family->metric == Metric::Ratio ? "_ratio"
                                       : v.family->metric == Metric::Gauge ? "_" + base
                                                                           : "";
            EXPECT_EQ(name, v.family->stem + ending);
            EXPECT_TRUE(v.family->metric != Metric::Ratio || !*v.unit) << "a ratio has no unit";
            EXPECT_TRUE(v.family->metric != Metric::Gauge || !base.empty()) << "a gauge ends in its base unit";
            EXPECT_EQ(v.family->metric == Metric::Counter,
                      v.kind == ValueKind::Counter || v.kind == ValueKind::WholeNumber);
            // A family holds one unit, and one sample per label.
            EXPECT_EQ(unitOfFamily.try_emplace(name, v.unit).first->second, v.unit);
        }
}

} // namespace
