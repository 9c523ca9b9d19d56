// The wiring check panel: what each refresh says of the wiring, in words, under the direction of
// power the operator chose (remembered), and the refresh that stops at a failed read as every view's.
#include "panels/freshness.h"
#include "views/wiring.h"

#include "view_fixture.h"

namespace {

using namespace viewtest;
using testsupport::Lines;

TEST_F(LiveView, TheWiringCheckSaysTheFaultAndReadsAgainOnRequest) {
    const int view = open(PRINCIPAL_CABLEADO, panel_cableado);
    testsupport::WireNetwork(analyser, "ct_reversed:2");
    ASSERT_EQ(SimulateTimerTick(view, CABLEADO_TIMER), 1);
    const auto said = Lines(text(view, CABLEADO_HALLAZGOS));
    EXPECT_EQ(said.at(0), "I1 lags its voltage by 26\u00b0, 150.0 A; I2 leads its voltage by 154\u00b0, 150.0 A; "
                          "I3 lags its voltage by 26\u00b0, 150.0 A");
    EXPECT_EQ(said.at(2).substr(0, said.at(2).find(':')), "CT of L2 reversed") << "headed in words";
    // The other way round, chosen on the panel: remembered for the next opening.
    SetCtrlVal(view, CABLEADO_SENTIDO, 1);
    SimulateCommit(view, CABLEADO_SENTIDO);
    EXPECT_EQ(Lines(text(view, CABLEADO_HALLAZGOS)).at(2),
              "CTs of L1, L3 reversed: On a site that exports power, L1 and L3's currents are about 180\u00b0 from "
              "L2's: their CTs reversed (fitted the wrong way round, or the two secondary wires swapped), or L1 and L3 "
              "truly draw power (those phases' own load). Or the site draws power, and it is L2's CT that is reversed: "
              "check again with \u00abThe site draws power\u00bb chosen. A resistive test load (a heater on all three "
              "phases) tells them apart.");
    SimulateCommit(view, CABLEADO_CERRAR);
    SimulateCommit(mainPanel, PRINCIPAL_CABLEADO);
    EXPECT_EQ(number(panel_cableado, CABLEADO_SENTIDO), 1);
    SetCtrlVal(panel_cableado, CABLEADO_SENTIDO, 0); // and back, for the tests after this one
    SimulateCommit(panel_cableado, CABLEADO_SENTIDO);
    const int reopened = panel_cableado;
    refuse(3, 6);
    SimulateTimerTick(reopened, CABLEADO_TIMER);
    EXPECT_FALSE(timerOn(reopened, CABLEADO_TIMER)) << "a failed read stops the refresh";
    EXPECT_FALSE(PanelNotice(reopened).empty());
    analyser.clearFaults();
    SimulateCommit(reopened, CABLEADO_OTRA_VEZ);
    EXPECT_TRUE(timerOn(reopened, CABLEADO_TIMER)) << "Check again reads anew and refreshes on";
}

} // namespace
