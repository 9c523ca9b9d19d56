// The network parameters view: ranging, where each value lands, and its two openers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/navigation.h"
#include "view_fixture.h"
#include "views/maxmin.h"
#include "views/network.h"

namespace {

using namespace viewtest;

constexpr int kNetworkStart = 6;

struct Shown {
    int index; // in the record the analyser sends
    float sent;
    int field;
    double shown;
    int unitField; // 0: the value has no unit field
    const char* unit;
};

// One record carries every case, so one read checks them all.
const Shown kCases[] = {
    {0, 1000.0f, TOMADATOS_V1, 1000.0, TOMADATOS_UNIDAD_V1, "V"},
    {1, 1000.1f, TOMADATOS_V2, 1.0001, TOMADATOS_UNIDAD_V2, "kV"},
    {4, 2500000.0f, TOMADATOS_V23, 2500.0, TOMADATOS_UNIDAD_V23, "kV"},
    {13, -5000.0f, TOMADATOS_P_TOTAL, -5000.0, TOMADATOS_UNIDAD_P_TOTAL, "kW"},
    {12, 1234.5f, TOMADATOS_P3, 1.2345, TOMADATOS_UNIDAD_P3, "MW"},
    {17, 2000.0f, TOMADATOS_Q_TOTAL, 2.0, TOMADATOS_UNIDAD_Q_TOTAL, "MVar"},
    {21, 3000.0f, TOMADATOS_S_TOTAL, 3.0, TOMADATOS_UNIDAD_S_TOTAL, "MVA"},
    {24, 0.875f, TOMADATOS_FP3, 0.875, 0, nullptr},
    {25, 1500.0f, TOMADATOS_FP_TOTAL, 1500.0, 0, nullptr},
    {26, 50.02f, TOMADATOS_FRECUENCIA, 50.02, 0, nullptr},
    {27, 11000.0f, TOMADATOS_V_MEDIA, 11.0, TOMADATOS_UNIDAD_V_MEDIA, "kV"},
    {29, 1000.5f, TOMADATOS_I_MEDIA, 1.0005, TOMADATOS_UNIDAD_I_MEDIA, "kA"},
};

class NetworkView : public LiveView {};

TEST_F(NetworkView, ValuesLandInTheirFieldsWithTheUnitOfTheirRange) {
    startAnalyser();
    for (const Shown& c : kCases)
        analyser.setBlockFloat(kNetworkStart, c.index, c.sent);
    analyser.setBlockFloat(kNetworkStart, 2, std::numeric_limits<float>::quiet_NaN());
    ASSERT_TRUE(flipSwitch());
    const int view = press(mainPanel, PRINCIPAL_PARAMETROS, panel_tomadatos);
    ASSERT_GT(view, 0);
    EXPECT_FALSE(onScreen(mainPanel));

    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    for (const Shown& c : kCases) {
        EXPECT_NEAR(number(view, c.field), c.shown, 1e-4 * std::max(1.0, std::fabs(c.shown)))
            << "index " << c.index;
        if (c.unitField != 0) {
            EXPECT_EQ(text(view, c.unitField), c.unit) << "index " << c.index;
        }
    }
    EXPECT_EQ(text(view, TOMADATOS_UNIDAD_V3), "V") << "a value that is not a number keeps the small unit";
    EXPECT_EQ(text(view, TOMADATOS_V1), "1000.0") << "voltages show one decimal";
    EXPECT_EQ(text(view, TOMADATOS_FP3), "0.875");
    EXPECT_TRUE(timerOn(view, TOMADATOS_TIMER)) << "a good read keeps the refresh going";
    EXPECT_TRUE(messages().empty());
}

TEST_F(NetworkView, OpenedFromTheMaxMinViewItReturnsThereAndTheMainPanelStaysItsReturn) {
    startAnalyser();
    analyser.setBlockFloat(kNetworkStart, 0, 231.5f);
    ASSERT_TRUE(flipSwitch());
    const int maxmin = press(mainPanel, PRINCIPAL_MAXMIN, panel_maxmin);
    const int view = press(maxmin, MAXMIN_PARAMETROS, panel_tomadatos);
    ASSERT_GT(view, 0);
    EXPECT_FALSE(onScreen(maxmin));
    EXPECT_TRUE(onScreen(view));

    // The covered max/min view leaves the line to this one.
    const int maxminReads = requestsFor(130);
    SimulateTimerTick(maxmin, MAXMIN_TIMER);
    EXPECT_EQ(requestsFor(130), maxminReads);
    EXPECT_TRUE(timerOn(maxmin, MAXMIN_TIMER));

    SimulateTimerTick(view, TOMADATOS_TIMER);
    EXPECT_DOUBLE_EQ(number(view, TOMADATOS_V1), 231.5);

    SimulateCommit(view, TOMADATOS_CERRAR);
    EXPECT_TRUE(onScreen(maxmin));
    EXPECT_FALSE(onScreen(mainPanel));
    SimulateCommit(maxmin, MAXMIN_CERRAR);
    EXPECT_TRUE(onScreen(mainPanel));
    EXPECT_FALSE(loaded(maxmin));
}

} // namespace
