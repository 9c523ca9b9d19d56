// The maximum/minimum and maximum-demand views: which value lands where, and their reset buttons.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "view_fixture.h"
#include "views/demand.h"
#include "views/maxmin.h"

namespace {

using namespace viewtest;

constexpr int kMaxMinStart = 130;
constexpr int kDemandStart = 238;

struct Placed {
    int index;
    float sent;
    int field;
    const char* shown;
};

class Extremes : public LiveView {
  protected:
    int open(int button, const int& handle) {
        startAnalyser();
        EXPECT_TRUE(flipSwitch());
        return press(mainPanel, button, handle);
    }
};

// The analyser's maxima first (0-26), then its minima (27-53); shown exactly as sent, with no
// change of unit and no reordering when a minimum exceeds its maximum.
const Placed kExtremes[] = {
    {0, 250000.0f, MAXMIN_V1_MAX, "250000.0"},    {5, 412.3f, MAXMIN_V31_MAX, "412.3"},
    {9, 31.25f, MAXMIN_IN_MAX, "31.25"},          {13, 1750.5f, MAXMIN_P_TOTAL_MAX, "1750.50"},
    {22, 0.987f, MAXMIN_FP_TOTAL_MAX, "0.987"},   {23, 50.12f, MAXMIN_FRECUENCIA_MAX, "50.12"},
    {24, 236.4f, MAXMIN_V_MEDIA_MAX, "236.4"},    {25, 409.9f, MAXMIN_U_MEDIA_MAX, "409.9"},
    {26, 180.5f, MAXMIN_I_MEDIA_MAX, "180.50"},   {6, 10.0f, MAXMIN_I1_MAX, "10.00"},
    {33, 20.0f, MAXMIN_I1_MIN, "20.00"},          {27, 221.7f, MAXMIN_V1_MIN, "221.7"},
    {40, 12.5f, MAXMIN_P_TOTAL_MIN, "12.50"},     {46, 8.75f, MAXMIN_S2_MIN, "8.75"},
    {50, 49.87f, MAXMIN_FRECUENCIA_MIN, "49.87"}, {53, 120.25f, MAXMIN_I_MEDIA_MIN, "120.25"},
};

TEST_F(Extremes, EachMaximumAndMinimumLandsInItsFieldUnchanged) {
    const int view = open(PRINCIPAL_MAXMIN, panel_maxmin);
    for (const Placed& p : kExtremes)
        analyser.setBlockFloat(kMaxMinStart, p.index, p.sent);
    ASSERT_EQ(SimulateTimerTick(view, MAXMIN_TIMER), 1);
    for (const Placed& p : kExtremes)
        EXPECT_EQ(text(view, p.field), p.shown) << "index " << p.index;
}

// Present demand of P, Q, S, I1, I2, I3 (0-5), then their maxima (6-11).
const Placed kDemand[] = {
    {0, 121.5f, DEMANDA_P_ACTUAL, "121.50"},   {1, 55.25f, DEMANDA_Q_ACTUAL, "55.25"},
    {2, 133.0f, DEMANDA_S_ACTUAL, "133.00"},   {3, 194.0f, DEMANDA_I1_ACTUAL, "194.00"},
    {4, 175.5f, DEMANDA_I2_ACTUAL, "175.50"},  {5, 211.75f, DEMANDA_I3_ACTUAL, "211.75"},
    {6, 2500.0f, DEMANDA_P_MAXIMA, "2500.00"}, {7, 68.0f, DEMANDA_Q_MAXIMA, "68.00"},
    {8, 168.25f, DEMANDA_S_MAXIMA, "168.25"},  {9, 0.0f, DEMANDA_I1_MAXIMA, "0.00"},
    {10, 219.5f, DEMANDA_I2_MAXIMA, "219.50"}, {11, 268.0f, DEMANDA_I3_MAXIMA, "268.00"},
};

TEST_F(Extremes, EachDemandValueLandsInItsField) {
    const int view = open(PRINCIPAL_DEMANDA, panel_demanda);
    for (const Placed& p : kDemand)
        analyser.setBlockFloat(kDemandStart, p.index, p.sent);
    ASSERT_EQ(SimulateTimerTick(view, DEMANDA_TIMER), 1);
    for (const Placed& p : kDemand) {
        EXPECT_EQ(text(view, p.field), p.shown) << "index " << p.index;
        EXPECT_FALSE(dimmed(view, p.field)) << "index " << p.index;
    }
}

// The analyser clears its extremes and demand only from its own keypad: the buttons say so and
// send nothing.
struct KeypadReset {
    const char* name;
    int button;
    const int* view;
    int reset;
};

// Names the case in test listings.
void PrintTo(const KeypadReset& c, std::ostream* os) {
    *os << c.name;
}

class KeypadOnly : public Extremes, public ::testing::WithParamInterface<KeypadReset> {};

TEST_P(KeypadOnly, TheResetButtonIsDimmedExplainsWhyAndSendsNothing) {
    const int view = open(GetParam().button, *GetParam().view);
    const int before = analyser.requestCount();
    EXPECT_TRUE(dimmed(view, GetParam().reset));
    std::string tip;
    GetCtrlAttribute(view, GetParam().reset, ATTR_TOOLTIP_TEXT, tip);
    EXPECT_EQ(tip, "The analyser resets these values from its own keypad.");
    SimulateCommit(view, GetParam().reset);
    EXPECT_EQ(analyser.requestCount(), before);
    EXPECT_TRUE(RecordedPopups().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Views, KeypadOnly,
    ::testing::Values(KeypadReset{"MaxMin", PRINCIPAL_MAXMIN, &panel_maxmin, MAXMIN_RESET},
                      KeypadReset{"Demand", PRINCIPAL_DEMANDA, &panel_demanda, DEMANDA_RESET}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
