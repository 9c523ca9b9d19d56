// The wiring check over the simulator's own wiring faults, single and double: each on each phase,
// at power factors 1.0, 0.9 and 0.5 lagging, on a site that draws power and on one that exports,
// with 1 % of noise on every value, gives its findings and no others; what the values cannot tell
// gives none. The words a person reads are whole sentences.
#include <gtest/gtest.h>

#include <cmath>

#include "device/wiring_check.h"
#include "lang/language_table.h"
#include "sim/wiring.h"
#include "test_support.h"

namespace {

// The findings in English and in Spanish, from the shipped language file.
const LabelTable& texts(int language) {
    static const auto read = [](int n) {
        testsupport::ProgramDir dir;
        std::string incomplete, why;
        return ReadLanguageTable(n, incomplete, why).value_or(LabelTable{});
    };
    static const LabelTable spanish = read(1), english = read(2);
    return language == 1 ? spanish : english;
}

WiringCheck run(const std::string& faults, double pf, const double current[3], int noise, bool exports,
                double ctPrimary = 0, int language = 2) {
    sim::Wiring wiring;
    std::string error;
    EXPECT_TRUE(faults.empty() || sim::ParseWiring(faults, wiring, error)) << error;
    const double v[3] = {230, 231, 229}, pfs[3] = {pf, pf, pf};
    double n[30];
    sim::WiredNetwork(v, current, pfs, 50, wiring, n);
    float values[30];
    for (int k = 0; k < 30; ++k) values[k] = static_cast<float>(n[k] * (1 + 0.01 * std::sin(1.7 * k + noise)));
    if (ctPrimary == 0) ctPrimary = wiring.ctPrimary > 0 ? wiring.ctPrimary : 300;
    // As the wiring panel offers the other choice.
    return CheckWiring(WiringValuesOf(values, ctPrimary), PanelWiringAssumption(exports, texts(language)), texts(language));
}

// The findings as "code:phases", sorted as found.
std::string check(const std::string& faults, double pf, const double current[3], int noise, bool exports) {
    std::string out;
    for (const WiringFinding& f : run(faults, pf, current, noise, exports).findings) {
        EXPECT_EQ(f.words.find(" 's"), std::string::npos) << "a phase named by nothing: " << f.words;
        out += (out.empty() ? "" : " ") + f.code + ":";
        for (int p : f.phases) out += std::to_string(p);
    }
    return out;
}

const double kBalanced[3] = {150, 150, 150}, kUnbalanced[3] = {150, 90, 200};

TEST(WiringCheck, EachFaultGivesItsFindingsAndNoOthers) {
    const bool draws = false, exports = true;
    const struct {
        std::string faults;
        const double* current;
        bool exports;
        const char* atPf[3]; // at 1.0, 0.9 and 0.5 lagging; one for all three
    } rows[] = {
        {"", kBalanced, draws, {""}},
        {"", kUnbalanced, draws, {""}},
        // Every current at 180° is a site that exports, or three reversed CTs on one that draws: the
        // operator's word decides. At 0.5 it looks like a rotation, and is said as one.
        {"export", kBalanced, draws, {"ct_reversed:123", "ct_reversed:123", "ct_rotated:123"}},
        {"export", kBalanced, exports, {""}},
        {"voltage_missing:1", kBalanced, draws, {"voltage_missing:1"}},
        {"voltage_missing:3", kBalanced, draws, {"voltage_missing:3"}},
        {"vt_reversed:1", kBalanced, draws, {"vt_reversed:1"}},
        {"vt_reversed:2", kBalanced, draws, {"vt_reversed:2"}},
        {"vt_reversed:3", kBalanced, draws, {"vt_reversed:3"}},
        {"ct_reversed:1", kBalanced, draws, {"ct_reversed:1 neutral_high:"}},
        {"ct_reversed:2", kBalanced, draws, {"ct_reversed:2 neutral_high:"}},
        {"ct_reversed:3", kUnbalanced, draws, {"ct_reversed:3"}},
        // Two reversed CTs: on a site that draws power the one phase that draws is the right one.
        {"ct_reversed:1,ct_reversed:2", kBalanced, draws, {"ct_reversed:12 neutral_high:"}},
        {"ct_reversed:1,ct_reversed:3", kBalanced, draws, {"ct_reversed:13 neutral_high:"}},
        {"ct_reversed:2,ct_reversed:3", kUnbalanced, draws, {"ct_reversed:23"}},
        {"export,ct_reversed:2", kBalanced, exports, {"ct_reversed:2 neutral_high:"}},
        {"export,ct_reversed:2", kBalanced, draws, {"ct_reversed:13 neutral_high:"}},
        {"ct_swapped:1", kBalanced, draws, {"ct_swapped:12"}},
        {"ct_swapped:2", kUnbalanced, draws, {"ct_swapped:23"}},
        // Two CTs exchanged and reversed; at 0.5 the same angles fit a load at 1.0 with other faults.
        {"ct_swapped:2,ct_reversed:2,ct_reversed:3", kBalanced, draws,
         {"ct_swapped_reversed:23 neutral_high:", "ct_swapped_reversed:23 neutral_high:",
          "ct_swapped:3 ct_swapped_reversed:1 neutral_high:"}},
        // No phase draws power: the site's own direction is the reference.
        {"ct_swapped:1,ct_reversed:3", kBalanced, draws,
         {"ct_reversed:3 ct_swapped:12 neutral_high:", "ct_reversed:3 ct_swapped:12 neutral_high:",
          "ct_swapped:1 ct_swapped_reversed:3 neutral_high:"}},
        // A reversed VT turns its phase's powers: its CT is judged as if the VT were right.
        {"vt_reversed:1,ct_reversed:1", kBalanced, draws, {"vt_reversed:1 ct_reversed:1 neutral_high:"}},
        {"vt_reversed:1,ct_reversed:2", kBalanced, draws, {"vt_reversed:1 ct_reversed:2 neutral_high:"}},
        // At 0.5 lagging a rotation cannot be told from a leading load (-120°), nor (+120°) from
        // three reversed CTs.
        {"ct_rotated:2", kBalanced, draws, {"ct_rotated:123", "ct_rotated:123", "ct_reversed:123"}},
        {"ct_rotated:3", kBalanced, draws, {"ct_rotated:123", "ct_rotated:123", ""}},
        {"no_load", kBalanced, draws, {"no_load:"}},
        {"ct_ratio", kBalanced, draws, {"ct_ratio_implausible:1 ct_ratio_implausible:2 ct_ratio_implausible:3"}},
    };
    const double pfs[3] = {1.0, 0.9, 0.5};
    for (const auto& row : rows)
        for (int j = 0; j < 3; ++j)
            for (int noise : {0, 5})
                EXPECT_EQ(check(row.faults, pfs[j], row.current, noise, row.exports), row.atPf[row.atPf[j] ? j : 0])
                    << row.faults << (row.exports ? " exporting" : "") << " at a power factor of " << pfs[j] << ", noise " << noise;
}

TEST(WiringCheck, SaysEachFindingInWholeSentences) {
    const struct {
        std::string faults;
        bool exports;
        double ctPrimary;
        std::vector<std::string> words;
        int language = 2; // English; 1 Spanish
    } rows[] = {
        {"ct_reversed:1,ct_reversed:3", false, 300,
         {"ct_reversed (L1, L3): On a site that draws power, L1 and L3's currents are about 180° from L2's: their CTs "
          "reversed (fitted the wrong way round, or the two secondary wires swapped), or L1 and L3 truly deliver power "
          "(a generator on those phases). Or the site exports power, and it is L2's CT that is reversed: check again "
          "with «The site exports power» chosen. A resistive test load (a heater on all three phases) tells them apart.",
          "neutral_high: The neutral current (301.2 A) is about twice the phase currents (149.8 A) though they are "
          "balanced: it is their sum as measured, so L1 and L3's CTs are reversed, as their angles say."}},
        {"export", false, 300,
         {"ct_reversed (L1, L2, L3): On a site that draws power, every phase's current is about 180° from its voltage: "
          "all their CTs reversed, or the site exports power: check again with «The site exports power» chosen."}},
        {"ct_reversed:2", false, 300,
         {"ct_reversed (L2): En una instalación que consume energía, la corriente de L2 está a unos 180° respecto a "
          "L1 y L3: su TI está invertido (montado al revés, o con los dos hilos del secundario cruzados), o L2 "
          "realmente entrega energía (un generador en esa fase). O la instalación exporta energía, y son los TI de L1 "
          "y L3 los que están invertidos: compruebe de nuevo eligiendo «La instalación exporta energía». Una carga de "
          "prueba resistiva (un calefactor en las tres fases) permite distinguirlos.",
          "neutral_high: La corriente de neutro (301.2 A) es casi el doble de las corrientes de fase (149.8 A) aunque "
          "están equilibradas: es su suma tal como se mide, así que el TI de L2 está invertido, como dice su ángulo."},
         1},
        {"", false, 5,
         {"ct_ratio_implausible (L1): L1's current (149.0 A) is above 120 % of the CT primary (5 A): the ratio set too "
          "low, or the CTs overloaded.",
          "ct_ratio_implausible (L2): L2's current (149.1 A) is above 120 % of the CT primary (5 A): the ratio set too "
          "low, or the CTs overloaded.",
          "ct_ratio_implausible (L3): L3's current (151.3 A) is above 120 % of the CT primary (5 A): the ratio set too "
          "low, or the CTs overloaded."}},
        {"no_load", false, 100000,
         {"no_load: The currents are too small to judge the CTs (under 2000.00 A): switch on a known load, a "
          "resistive one best, and check again."}},
    };
    for (const auto& row : rows) {
        const WiringCheck c = run(row.faults, 1.0, kBalanced, 0, row.exports, row.ctPrimary, row.language);
        std::vector<std::string> words;
        for (const WiringFinding& f : c.findings) words.push_back(FindingTitle(f) + ": " + f.words);
        EXPECT_EQ(words, row.words) << row.faults << " at a CT primary of " << row.ctPrimary;
    }
}

} // namespace
