// What the tests of the communication switch and the live views share: the English texts, the
// main panel on screen, and a simulated analyser the operator switches on to through that panel.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/simulator.h"
#include "test_support.h"

namespace viewtest {

// The pseudo-terminal link is COM 7.
constexpr int kPtyComPort = 7;

class LiveView : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // An analyser of the given model whose values stay as set, on RTU frames over TCP.
    static sim::Options frozen(int modelCode = 59);
    // Starts the analyser and presets the main panel's link settings for it.
    void startAnalyser(const sim::Options& options);
    void startAnalyser() { startAnalyser(frozen()); }
    // Flips the communication switch as the operator does; true when it stays on.
    bool flipSwitch();
    bool switchedOn() const;
    // Presses a button of the main panel (or another panel) and returns the view it opened.
    int press(int panel, int button, const int& viewHandle);

    // Requests the analyser received for a block (function 3 reads and 16 writes alike).
    int requestsFor(int start) const;
    std::vector<sim::ReceivedRequest> writesTo(int start) const;
    // Messages shown since the last clear, as "title|text".
    std::vector<std::string> messages() const;

    sim::Simulator analyser;
    testsupport::ScopedSettings settings;
    int mainPanel = 0;
};

// Reading the panels as the operator sees them.
double number(int panel, int control);
std::string text(int panel, int control);
bool dimmed(int panel, int control);
bool timerOn(int panel, int timer);
bool onScreen(int panel);
bool loaded(int panel);

} // namespace viewtest
