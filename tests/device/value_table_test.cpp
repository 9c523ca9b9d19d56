// The value table is the program's one vocabulary: every row says its unit, its kind and its
// Prometheus family consistently, so each output that reads it says the same.
#include <gtest/gtest.h>

#include <map>

#include "device/named_values.h"
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

TEST(ValueTable, EachValueIsWrittenAsItsPanelShowsIt) {
    const auto shown = [](const BlockInfo& block, const char* name, float value) {
        const NamedValue v{FindValue(block, name), 0, value, static_cast<int64_t>(value), ""};
        const ShownValue s = ShowValue(v);
        return s.number + " " + s.unit;
    };
    EXPECT_EQ(shown(NetworkValues(), "V1", 1000.0f), "1000.0 V");
    EXPECT_EQ(shown(NetworkValues(), "V1", 1000.1f), "1.0001 kV");
    EXPECT_EQ(shown(NetworkValues(), "P_total", -5000.0f), "-5000.00 kW");
    EXPECT_EQ(shown(NetworkValues(), "PF_total", 0.91445f), "0.914 ");
    EXPECT_EQ(shown(EnergyValues(), "active_imported", 2500000.0f), "2500.0000 MWh");
    EXPECT_EQ(shown(EnergyValues(), "operating_hours", 7.9f), "7 h");
    EXPECT_EQ(shown(EnergyValues(), "resets", -7.9f), "-7 ");
    EXPECT_EQ(shown(MaxMinValues(), "I1_min", 2.3512045e-38f), "0.00 A");
    EXPECT_EQ(shown(MaxMinValues(), "V1_max", 250000.0f), "250000.0 V") << "extremes are not ranged";
    EXPECT_EQ(shown(DemandValues(), "P_demand", 9.1837e-41f), "0.00 kW");
}

} // namespace
