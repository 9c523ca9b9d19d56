#include "device/wiring_check.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "platform/system.h"

namespace {

constexpr double kDegrees = 180.0 / 3.14159265358979323846;
// A phase voltage under a fifth of the two others' is missing (a tap that is off reads a few volts
// of crosstalk at most), when the others are present (above 50 V).
constexpr double kMissingVoltageShare = 0.2;
constexpr double kPresentVoltage = 50;
// A healthy line voltage is √3 (1.73) times the phase voltage; the two line voltages of a phase
// whose VT is reversed are about 1.0 times it. The boundary lies between, at 1.37.
constexpr double kReversedLineRatio = 1.37;
// A phase's angle is judged from 2 % of the CT primary on (0.05 A when the primary is unknown):
// below, it is mostly the analyser's noise.
constexpr double kJudgedCurrentShare = 0.02;
constexpr double kJudgedCurrentLeast = 0.05;
// Wiring faults shift a phase's angle by multiples of 60°; the phases of a healthy load differ by
// the spread of their power factors (0.9 beside 0.8 is 11°). Within 30° of a multiple it is one.
constexpr double kAgreeDegrees = 30;
// A load drawing power has its angle within 62° (a power factor of 0.47 or better, either way);
// every phase within 30° of 180° is a site that exports (a power factor of 0.87 or better).
constexpr double kImportDegrees = 62;
constexpr double kExportDegrees = 30;
// One reversed CT makes the computed neutral current twice a phase current; a healthy balanced
// load keeps it near zero. It is judged on phase currents within 30 % of each other, above 1.5
// times their mean.
constexpr double kBalancedCurrents = 1.3;
constexpr double kNeutralShare = 1.5;
// A current above 120 % of the CT primary: the ratio set too low, or the CTs overloaded.
constexpr double kCtOverload = 1.2;

double wrap(double degrees) {
    while (degrees > 180) degrees -= 360;
    while (degrees <= -180) degrees += 360;
    return degrees;
}

std::string phase(int k) { return "L" + std::to_string(k + 1); }

// A number as a sentence shows it, whole whatever its size; one that rounds to zero has no sign.
std::string number(const char* format, double value) {
    std::string text = strfmt(format, value);
    const size_t minus = text.find('-');
    if (minus != std::string::npos && text.find_first_of("123456789", minus) == std::string::npos) text.erase(minus, 1);
    return text;
}

// The texts of the findings' words, in the language they are said in.
enum {
    kTextAnd = 548, kTextVoltageMissing, kTextVtReversed, kTextCtRatio, kTextNoLoad, kTextAnglesUnclear,
    kTextOtherFaults, kTextTestLoad, kTextSiteDraws, kTextSiteExports, kTextReversedOne, kTextReversedMany,
    kTextDeliversOne, kTextDeliversMany, kTextDrawsOne, kTextDrawsMany, kTextGeneratorOne, kTextGeneratorMany,
    kTextOwnLoadOne, kTextOwnLoadMany, kTextOtherReadingOne, kTextOtherReadingMany, kTextExportsOne,
    kTextSwappedPair, kTextSwappedOne, kTextSixthOne, kTextSixthMany, kTextAllReversed, kTextRotated, kTextNext,
    kTextPrevious, kTextNeutralUnnamed, kTextNeutralOne, kTextNeutralMany, kTextNoteStar, kTextNoteRatio
};
static_assert(kTextNoteRatio == 583);
// A reversed current with no phase flowing as assumed beside it: against its own voltage.
enum { kTextReversedAloneOne = 585, kTextReversedAloneMany };

// "L1", "L1 and L3", "L1, L2 and L3".
std::string named(const std::vector<int>& phases, const LabelTable& t) {
    std::string out;
    for (size_t n = 0; n < phases.size(); ++n)
        out = n == 0 ? phase(phases[n] - 1)
                     : n + 1 == phases.size() ? FillIn(t[kTextAnd], {out, phase(phases[n] - 1)})
                                              : out + ", " + phase(phases[n] - 1);
    return out;
}

void find(WiringCheck& c, const std::string& code, std::vector<int> phases, const std::string& words,
          std::vector<std::string> values) {
    c.findings.push_back({code, std::move(phases), words, std::move(values)});
}

std::vector<std::string> powers(const std::vector<int>& phases) {
    std::vector<std::string> out;
    for (int k : phases)
        for (const char* quantity : {"P", "Q"}) out.push_back(quantity + std::to_string(k));
    return out;
}

// The angles of the judged phases against each other: each a multiple of 60° from a reference
// group. The reference is a group whose power flows the way the site's is assumed to (angles given
// here against that flow: 0° is a load drawing power as assumed), then the group with the most
// phases in it. False when no reference fits every phase within kAgreeDegrees.
bool shifts(const std::vector<int>& judged, const double* angle, std::vector<int>& sixths, double& reference,
            bool& ambiguous) {
    double best = -1;
    ambiguous = false;
    for (int r : judged) {
        std::vector<int> m;
        bool fits = true;
        for (int k : judged) {
            const double d = wrap(angle[k] - angle[r]);
            const int n = static_cast<int>(std::lround(d / 60));
            fits = fits && std::abs(d - 60 * n) <= kAgreeDegrees;
            m.push_back(n == -3 ? 3 : n);
        }
        if (!fits) continue;
        std::complex<double> sum;
        for (size_t j = 0; j < judged.size(); ++j)
            if (m[j] == 0) sum += std::polar(1.0, angle[judged[j]] / kDegrees);
        const double mean = std::arg(sum) * kDegrees;
        // Two reversed CTs leave one phase that draws power beside two that deliver: the one that
        // draws is the reference on a site that draws power, however many stand against it.
        const double score = static_cast<double>(std::count(m.begin(), m.end(), 0)) +
                             (std::abs(mean) <= kImportDegrees ? 10 : 0);
        // Between equals, the load nearer a power factor of 1, and between loads as near, a lagging
        // one: the commoner (at a power factor near 0.5 the angles fit a lagging and a leading load
        // alike, and the findings say so).
        const double nearer = std::abs(reference) - std::abs(mean);
        if (score == best && m != sixths) ambiguous = true;
        if (score > best) ambiguous = false;
        if (score > best || (score == best && (nearer > 10 || (nearer > -10 && mean > reference))))
            best = score, sixths = m, reference = mean;
    }
    if (best >= 10) return true;
    // No phase draws power as the site is assumed to (a CT reversed and two exchanged, say): the
    // assumption itself is the reference, where every phase lies near a multiple of 60° from it and
    // they do not all lie together (a rotation, or every CT reversed, is said as such).
    std::vector<int> m;
    for (int k : judged) {
        const int n = static_cast<int>(std::lround(angle[k] / 60));
        if (std::abs(angle[k] - 60 * n) > kAgreeDegrees) return best >= 0;
        m.push_back(n == -3 ? 3 : n);
    }
    if (std::all_of(m.begin(), m.end(), [&](int n) { return n == m.front(); })) return best >= 0;
    sixths = m, reference = 0, ambiguous = false;
    return true;
}

// Which way the site's power is assumed to flow, in the words of the findings that rest on it.
struct Direction {
    const LabelTable& t;
    std::string site;                    // "On a site that draws power"
    int againstOne, againstMany;         // what a phase against it does: "delivers", "deliver"
    int whyOne, whyMany;                 // and why it may: "a generator on that phase"
    int otherSite;                       // the site's other way: "exports"
    std::string otherWay;                // how to check again under the other assumption
};

Direction directionOf(const WiringAssumption& a, const LabelTable& t) {
    if (a.exports)
        return {t, t[kTextSiteExports], kTextDrawsOne, kTextDrawsMany, kTextOwnLoadOne, kTextOwnLoadMany, kTextDrawsOne, a.otherWay};
    return {t, t[kTextSiteDraws], kTextDeliversOne, kTextDeliversMany, kTextGeneratorOne, kTextGeneratorMany, kTextExportsOne,
            a.otherWay};
}

// The text for one phase or for several.
const std::string& plural(const LabelTable& t, const std::vector<int>& phases, int one, int many) {
    return t[phases.size() == 1 ? one : many];
}

// The angles given against the assumed flow of power: 0° is a phase drawing power on a site that
// draws it, or delivering power on a site that exports.
void angleFindings(WiringCheck& c, const std::vector<int>& judged, const double* angle, const Direction& d) {
    const LabelTable& t = d.t;
    std::vector<int> m;
    double load = 0;
    bool ambiguous = false;
    if (!shifts(judged, angle, m, load, ambiguous)) {
        std::string list;
        for (int k : judged) list += (list.empty() ? "" : ", ") + phase(k) + number(" %.0f°", c.phasors[k].angleDegrees);
        std::vector<int> phases;
        for (int k : judged) phases.push_back(k + 1);
        find(c, "angles_unclear", phases, FillIn(t[kTextAnglesUnclear], {list}), powers(phases));
        return;
    }
    // A load far from a power factor of 1, or angles that fit two references alike: other faults fit too.
    const std::string test = (ambiguous || std::abs(load) > 45 ? " " + t[kTextOtherFaults] : std::string()) + " " +
                             t[kTextTestLoad];
    std::vector<int> reversed, kept, ahead, behind, sixth;
    for (size_t j = 0; j < judged.size(); ++j) {
        const int k = judged[j] + 1;
        if (m[j] == 0) kept.push_back(k);
        if (m[j] == 3) reversed.push_back(k);
        if (m[j] == 2) ahead.push_back(k);
        if (m[j] == -2) behind.push_back(k);
        if (m[j] == 1 || m[j] == -1) sixth.push_back(k);
    }
    const bool asAssumed = std::abs(load) <= kImportDegrees;
    const size_t before = c.findings.size();
    if (!reversed.empty()) {
        // The same angles read the other way round: the phases that stand apart are the right ones.
        const std::string otherReading =
            asAssumed && !kept.empty() ? " " + FillIn(plural(t, kept, kTextOtherReadingOne, kTextOtherReadingMany),
                                     {t[d.otherSite], named(kept, t), d.otherWay})
                      : "";
        const std::string& verb = plural(t, reversed, d.againstOne, d.againstMany);
        const std::string& why = plural(t, reversed, d.whyOne, d.whyMany);
        find(c, "ct_reversed", reversed,
             (kept.empty() ? FillIn(plural(t, reversed, kTextReversedAloneOne, kTextReversedAloneMany),
                                    {d.site, named(reversed, t), named(reversed, t), verb, why})
                           : FillIn(plural(t, reversed, kTextReversedOne, kTextReversedMany),
                                    {d.site, named(reversed, t), named(kept, t), named(reversed, t), verb, why}) +
                                 otherReading) +
                 test,
             powers(reversed));
    }
    if (!ahead.empty() || !behind.empty()) {
        std::vector<int> both = ahead;
        both.insert(both.end(), behind.begin(), behind.end());
        std::sort(both.begin(), both.end());
        const bool pair = !ahead.empty() && !behind.empty();
        find(c, "ct_swapped", both,
             (pair ? FillIn(t[kTextSwappedPair], {d.site, named(both, t)})
                   : FillIn(t[kTextSwappedOne], {d.site, named(both, t), ahead.empty() ? "-120°" : "+120°"})) + test,
             powers(both));
    }
    if (!sixth.empty())
        find(c, "ct_swapped_reversed", sixth,
             FillIn(plural(t, sixth, kTextSixthOne, kTextSixthMany), {d.site, named(sixth, t)}) + test, powers(sixth));
    if (c.findings.size() > before || asAssumed) return;
    std::vector<int> all;
    for (int k : judged) all.push_back(k + 1);
    if (std::abs(wrap(load - 180)) <= kExportDegrees) {
        find(c, "ct_reversed", all, FillIn(t[kTextAllReversed], {d.site, t[d.otherSite], d.otherWay}), powers(all));
        return;
    }
    const bool plus = load > 0;
    find(c, "ct_rotated", all,
         FillIn(t[kTextRotated], {d.site, plus ? "+120°" : "-120°", number("%.0f", load), t[plus ? kTextNext : kTextPrevious],
                                  t[d.otherSite], number("%.2f", std::abs(std::cos(wrap(load - 180) / kDegrees)))}) +
             test,
         powers(all));
}

} // namespace

std::string FindingTitle(const WiringFinding& f) {
    std::string phases;
    for (int p : f.phases) phases += (phases.empty() ? " (L" : ", L") + std::to_string(p);
    return f.code + (phases.empty() ? "" : phases + ")");
}

std::string FindingHeading(const WiringFinding& f, const LabelTable& labels) {
    // The heading's text for one phase and for several, by code.
    struct Heading {
        const char* code;
        int one, many;
    };
    static const Heading kHeadings[] = {
        {"voltage_missing", 533, 533},     {"vt_reversed", 534, 534},  {"ct_reversed", 535, 536},
        {"ct_swapped", 537, 538},          {"ct_swapped_reversed", 539, 540}, {"ct_rotated", 541, 541},
        {"angles_unclear", 542, 542},      {"ct_ratio_implausible", 543, 543}, {"no_load", 544, 544},
        {"neutral_high", 545, 545},
    };
    std::string phases;
    for (int p : f.phases) phases += (phases.empty() ? "L" : ", L") + std::to_string(p);
    for (const Heading& h : kHeadings)
        if (f.code == h.code && !labels[f.phases.size() > 1 ? h.many : h.one].empty())
            return FillIn(labels[f.phases.size() > 1 ? h.many : h.one], {phases});
    return FindingTitle(f);
}

std::string PhasorWords(const WiringPhasor& p, const LabelTable& labels) {
    constexpr int kTextLags = 546, kTextLeads = 547;
    const std::string degrees = number("%.0f", std::abs(p.angleDegrees));
    return FillIn(labels[p.angleDegrees >= 0 || degrees == "0" ? kTextLags : kTextLeads],
                  {std::to_string(p.phase), degrees, number("%.1f", p.current)});
}

WiringAssumption PanelWiringAssumption(bool exports, const LabelTable& labels) {
    constexpr int kTextDraws = 530, kTextExports = 531, kTextChoose = 532;
    return {exports, FillIn(labels[kTextChoose], {labels[exports ? kTextDraws : kTextExports]})};
}

std::string LoadKwText(const WiringCheck& c) { return number("%.1f", c.loadKw); }

WiringValues WiringValuesOf(const float* n, double ctPrimary) {
    WiringValues w;
    for (int k = 0; k < 3; ++k) {
        w.v[k] = n[k];
        w.lineV[k] = n[3 + k];
        w.i[k] = n[6 + k];
        w.p[k] = n[10 + k];
        w.q[k] = n[14 + k];
    }
    w.neutral = n[9];
    w.ctPrimary = ctPrimary;
    return w;
}

WiringCheck CheckWiring(const WiringValues& w, const WiringAssumption& assumed, const LabelTable& t) {
    WiringCheck c;
    c.exports = assumed.exports;
    c.loadKw = w.p[0] + w.p[1] + w.p[2];
    c.notes.push_back(t[kTextNoteStar]);
    bool missing[3] = {};
    for (int k = 0; k < 3; ++k) {
        const double others = std::min(w.v[(k + 1) % 3], w.v[(k + 2) % 3]);
        missing[k] = others > kPresentVoltage && w.v[k] < kMissingVoltageShare * others;
        if (missing[k])
            find(c, "voltage_missing", {k + 1}, FillIn(t[kTextVoltageMissing], {phase(k), number("%.1f", w.v[k])}),
                 {"V" + std::to_string(k + 1)});
    }
    const bool anyMissing = missing[0] || missing[1] || missing[2];
    const double phaseV = (w.v[0] + w.v[1] + w.v[2]) / 3;
    bool vtReversed[3] = {};
    for (int k = 0; k < 3 && !anyMissing && phaseV > kPresentVoltage; ++k) {
        // V12 touches L1 and L2, V23 L2 and L3, V31 L3 and L1.
        const double mine = std::max(w.lineV[k], w.lineV[(k + 2) % 3]), other = w.lineV[(k + 1) % 3];
        vtReversed[k] = mine < kReversedLineRatio * phaseV && other > kReversedLineRatio * phaseV;
        if (vtReversed[k]) {
            static const char* const lines[] = {"V12", "V23", "V31"};
            const int a = k, b = (k + 2) % 3;
            find(c, "vt_reversed", {k + 1},
                 FillIn(t[kTextVtReversed], {lines[a], lines[b], number("%.0f", w.lineV[a]), number("%.0f", w.lineV[b]),
                                             number("%.0f", phaseV), phase(k)}),
                 {lines[a], lines[b], "P" + std::to_string(k + 1), "Q" + std::to_string(k + 1)});
        }
    }
    const double judgedFrom = w.ctPrimary > 0 ? kJudgedCurrentShare * w.ctPrimary : kJudgedCurrentLeast;
    std::vector<int> judged;
    double angle[3] = {};
    for (int k = 0; k < 3; ++k) {
        const double a = std::atan2(w.q[k], w.p[k]) * kDegrees;
        const bool j = !missing[k] && w.i[k] >= std::max(judgedFrom, kJudgedCurrentLeast);
        c.phasors.push_back({k + 1, a, w.i[k], j});
        // A reversed VT turns the phase's powers: its CT is judged as if the VT were right.
        angle[k] = wrap(a - (vtReversed[k] ? 180 : 0) - (assumed.exports ? 180 : 0));
        if (j) judged.push_back(k);
        if (w.ctPrimary > 0 && w.i[k] > kCtOverload * w.ctPrimary)
            find(c, "ct_ratio_implausible", {k + 1},
                 FillIn(t[kTextCtRatio], {phase(k), number("%.1f", w.i[k]), number("%.0f", w.ctPrimary)}),
                 {"I" + std::to_string(k + 1)});
    }
    if (judged.size() < 2) {
        find(c, "no_load", {}, FillIn(t[kTextNoLoad], {number("%.2f", std::max(judgedFrom, kJudgedCurrentLeast))}),
             {"I1", "I2", "I3"});
    } else {
        angleFindings(c, judged, angle, directionOf(assumed, t));
    }
    const double mean = (w.i[0] + w.i[1] + w.i[2]) / 3;
    const double low = std::min({w.i[0], w.i[1], w.i[2]}), high = std::max({w.i[0], w.i[1], w.i[2]});
    if (judged.size() == 3 && high < kBalancedCurrents * low && w.neutral > kNeutralShare * mean) {
        // The sum is twice a phase current whichever one or two CTs are turned: it names what the
        // angles found.
        std::vector<int> turned;
        for (const WiringFinding& f : c.findings)
            if (f.code == "ct_reversed" || f.code == "ct_swapped_reversed") turned.insert(turned.end(), f.phases.begin(), f.phases.end());
        std::sort(turned.begin(), turned.end());
        const int said = turned.empty() ? kTextNeutralUnnamed : turned.size() == 1 ? kTextNeutralOne : kTextNeutralMany;
        find(c, "neutral_high", {}, FillIn(t[said], {number("%.1f", w.neutral), number("%.1f", mean), named(turned, t)}),
             {"IN", "I1", "I2", "I3"});
    }
    c.notes.push_back(t[kTextNoteRatio]);
    return c;
}
