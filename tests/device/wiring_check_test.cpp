// The wiring check over the simulator's own wiring faults: each fault on each phase, at power
// factors 1.0, 0.9 and 0.5 lagging and under export, with 1 % of noise on every value, gives its
// findings and no others; what the values cannot tell gives none.
#include <gtest/gtest.h>

#include <cmath>

#include "device/wiring_check.h"
#include "sim/wiring.h"

namespace {

// The findings as "code:phases", sorted as found.
std::string check(const std::string& faults, double pf, const double current[3], int noise) {
    sim::Wiring wiring;
    std::string error;
    EXPECT_TRUE(faults.empty() || sim::ParseWiring(faults, wiring, error)) << error;
    const double v[3] = {230, 231, 229}, pfs[3] = {pf, pf, pf};
    double n[30];
    sim::WiredNetwork(v, current, pfs, 50, wiring, n);
    float values[30];
    for (int k = 0; k < 30; ++k) values[k] = static_cast<float>(n[k] * (1 + 0.01 * std::sin(1.7 * k + noise)));
    const WiringCheck c = CheckWiring(WiringValuesOf(values, wiring.ctPrimary > 0 ? wiring.ctPrimary : 300));
    std::string out;
    for (const WiringFinding& f : c.findings) {
        out += (out.empty() ? "" : " ") + f.code + ":";
        for (int p : f.phases) out += std::to_string(p);
    }
    return out;
}

TEST(WiringCheck, EachFaultGivesItsFindingsAndNoOthers) {
    const double balanced[3] = {150, 150, 150}, unbalanced[3] = {150, 90, 200};
    const struct {
        std::string faults;
        const double* current;
        const char* atPf[3]; // at 1.0, 0.9 and 0.5 lagging
    } rows[] = {
        {"", balanced, {"", "", ""}},
        {"", unbalanced, {"", "", ""}},
        // A site that delivers power is no fault; at 0.5 it looks like a rotation, and is said as one.
        {"export", balanced, {"", "", "ct_rotated:123"}},
        {"voltage_missing:1", balanced, {"voltage_missing:1", "voltage_missing:1", "voltage_missing:1"}},
        {"voltage_missing:3", balanced, {"voltage_missing:3", "voltage_missing:3", "voltage_missing:3"}},
        {"vt_reversed:1", balanced, {"vt_reversed:1", "vt_reversed:1", "vt_reversed:1"}},
        {"vt_reversed:2", balanced, {"vt_reversed:2", "vt_reversed:2", "vt_reversed:2"}},
        {"vt_reversed:3", balanced, {"vt_reversed:3", "vt_reversed:3", "vt_reversed:3"}},
        {"ct_reversed:1", balanced, {"ct_reversed:1 neutral_high:", "ct_reversed:1 neutral_high:", "ct_reversed:1 neutral_high:"}},
        {"ct_reversed:2", balanced, {"ct_reversed:2 neutral_high:", "ct_reversed:2 neutral_high:", "ct_reversed:2 neutral_high:"}},
        {"ct_reversed:3", unbalanced, {"ct_reversed:3", "ct_reversed:3", "ct_reversed:3"}},
        {"export,ct_reversed:2", balanced, {"ct_reversed:2 neutral_high:", "ct_reversed:2 neutral_high:", "ct_reversed:2 neutral_high:"}},
        {"ct_swapped:1", balanced, {"ct_swapped:12", "ct_swapped:12", "ct_swapped:12"}},
        {"ct_swapped:2", unbalanced, {"ct_swapped:23", "ct_swapped:23", "ct_swapped:23"}},
        // Two CTs exchanged and reversed; at 0.5 the same angles fit a load at 1.0 with other faults.
        {"ct_swapped:2,ct_reversed:2,ct_reversed:3", balanced,
         {"ct_swapped_reversed:23 neutral_high:", "ct_swapped_reversed:23 neutral_high:",
          "ct_swapped:3 ct_swapped_reversed:1 neutral_high:"}},
        // At 0.5 lagging a rotation cannot be told from an export (+120°) or a leading load (-120°).
        {"ct_rotated:2", balanced, {"ct_rotated:123", "ct_rotated:123", ""}},
        {"ct_rotated:3", balanced, {"ct_rotated:123", "ct_rotated:123", ""}},
        {"no_load", balanced, {"no_load:", "no_load:", "no_load:"}},
        {"ct_ratio", balanced, {"ct_ratio_implausible:1 ct_ratio_implausible:2 ct_ratio_implausible:3",
                                "ct_ratio_implausible:1 ct_ratio_implausible:2 ct_ratio_implausible:3",
                                "ct_ratio_implausible:1 ct_ratio_implausible:2 ct_ratio_implausible:3"}},
    };
    const double pfs[3] = {1.0, 0.9, 0.5};
    for (const auto& row : rows)
        for (int j = 0; j < 3; ++j)
            for (int noise : {0, 5})
                EXPECT_EQ(check(row.faults, pfs[j], row.current, noise), row.atPf[j])
                    << row.faults << " at a power factor of " << pfs[j] << ", noise " << noise;
}

} // namespace
