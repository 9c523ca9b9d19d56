// Is it wired right? What one read of the network block and the CT primary say of how an analyser
// was wired: each finding a qualified person would draw, with the values it rests on, and what
// these values cannot tell. Pure: no link, no panel; the panel, rq55ctl check and the report show
// its result.
//
// It assumes a three-phase four-wire (star) connection, the only one the analyser's settings
// describe, the phase sequence L1-L2-L3, and values computed as the analyser computes them:
// - reactive powers and power factors are signed (positive inductive, negative capacitive): the
//   analyser counts reactive energy by quadrant and as inductive or capacitive, which it could not
//   do without the sign; so each phase's angle, current against its own voltage, is atan2(Q, P)
//   over the whole circle;
// - the line voltages are computed from the phase voltages (the analyser has three voltage inputs
//   and the neutral, no line-voltage inputs), so a reversed VT shows in the two line voltages of
//   its phase;
// - the neutral current is the sum of the three phase currents as measured (the settings have one
//   CT ratio, for the phases; no fourth CT), so one reversed CT makes it about twice a phase current.
// The simulator computes its values the same way.
#pragma once

#include <string>
#include <vector>

#include "lang/label_table.h"

// The values the check reads: one network block (V1-V3, V12-V31, I1-I3, IN, P1-P3, Q1-Q3 in V, A,
// kW and kvar) and the CT primary in A (0 when unknown).
struct WiringValues {
    double v[3] = {}, lineV[3] = {}, i[3] = {}, neutral = 0, p[3] = {}, q[3] = {};
    double ctPrimary = 0;
};

struct WiringFinding {
    std::string code;                // voltage_missing, vt_reversed, ct_reversed, ct_rotated, ct_swapped, ...
    std::vector<int> phases;         // 1-3
    std::string words;               // what it is, its candidates, and what would tell them apart
    std::vector<std::string> values; // the names of the values it rests on: "P2", "Q2", "IN"
};

struct WiringPhasor {
    int phase;           // 1-3
    double angleDegrees; // the current against its own voltage, atan2(Q, P); lagging positive
    double current;      // A
    bool judged;         // enough current to judge its angle
};

struct WiringCheck {
    std::vector<WiringFinding> findings; // none: no wiring fault found
    std::vector<WiringPhasor> phasors;
    std::vector<std::string> notes; // what was assumed and what these values cannot tell
    double loadKw = 0;              // the total active power the check saw
    bool exports = false;           // the assumption it was made under
};

// Which way the site's power flows, as the operator says: one read cannot tell it (every CT
// reversed looks like a site that exports), so each finding that rests on it is made under this
// assumption and says so in its first sentence.
struct WiringAssumption {
    bool exports = false;
    std::string otherWay; // how to check under the other assumption, as the caller offers it
};

// The assumption as the desktop program offers it: the other choice named as the wiring panel
// words it ("check again with «The site exports power» chosen").
WiringAssumption PanelWiringAssumption(bool exports, const LabelTable& labels);

// The findings, their words and the notes in the language of `words`.
WiringCheck CheckWiring(const WiringValues& values, const WiringAssumption& assumed, const LabelTable& words);

// The finding's code with its phases, as every place that lists findings heads one:
// "ct_reversed (L2)", "ct_swapped (L1, L2)", "neutral_high".
std::string FindingTitle(const WiringFinding& finding);

// The finding's heading as a person reads it, in the labels' language: "CT of L2 reversed",
// "Neutral current too high" (the code stays for JSON and small print).
std::string FindingHeading(const WiringFinding& finding, const LabelTable& labels);

// A phasor as a person reads it, lagging or leading as the diagram draws it: "I1 lags its voltage
// by 26°, 150.0 A".
std::string PhasorWords(const WiringPhasor& phasor, const LabelTable& labels);

// The load the check saw in kW, one decimal, as the words say it ("0.0", never "-0.0").
std::string LoadKwText(const WiringCheck& check);

// The values of one network block as the check takes them (30 floats in record order).
WiringValues WiringValuesOf(const float* network, double ctPrimary);
