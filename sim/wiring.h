// How the simulated analyser is wired: right, or with the faults a commissioning engineer meets
// (--wiring FAULT[:PHASE],...). The network block is computed from phasors as the analyser
// computes it: each phase's P and Q (signed, inductive positive) from its voltage and current as
// they reach its inputs, the line voltages from the phase voltages, the neutral current as the sum
// of the three phase currents as measured.
#pragma once

#include <string>

namespace sim {

struct Wiring {
    int voltageFrom[3] = {0, 1, 2}; // the true phase each voltage input sees
    int voltageSign[3] = {1, 1, 1}; // -1: its VT reversed
    bool voltageMissing[3] = {};
    int currentFrom[3] = {0, 1, 2}; // the true phase each CT sits on
    int currentSign[3] = {1, 1, 1}; // -1: that CT reversed (all: the site exports)
    double currentScale = 1;        // no_load: a thousandth
    int ctPrimary = 0;              // ct_ratio: the CT primary set too low (A); 0 keeps the setting
};

// "ct_reversed:2,vt_reversed:1": voltage_missing, vt_reversed, ct_reversed and ct_swapped (PHASE
// and the next one exchanged) take PHASE (1-3, default 1); ct_rotated:2 puts L1's CT on L2 (each CT
// on the next phase: every angle +120°), ct_rotated:3 on L3 (-120°); export (the site delivers
// power), no_load and ct_ratio take none. False with the reason when the text is none of these.
bool ParseWiring(const std::string& text, Wiring& wiring, std::string& error);

// The 30 values of the network block for a load of these phase voltages (V), currents (A) and
// power factors (lagging, 0-1) seen through the wiring; the frequency at index 26.
void WiredNetwork(const double v[3], const double i[3], const double pf[3], double frequency, const Wiring& wiring,
                  double out[30]);

} // namespace sim
