// The network view's trend chart and the history behind it.
#include <cmath>

#include "panels/freshness.h"
#include "view_fixture.h"
#include "views/trend.h"
#include "views/trend_history.h"

namespace {

using namespace viewtest;

std::vector<float> recordOf(float v1) {
    std::vector<float> record(kNetworkParameterCount, 0.0f);
    record[0] = v1;
    return record;
}

// Samples a second apart: what a span shows, what is kept, and what is never drawn.
TEST(TrendHistory, KeepsTheRecentSamplesAndGivesTheSpanAsked) {
    TrendHistory history(10'000, 8);
    std::vector<double> x, y;
    for (int s = 0; s < 6; ++s) history.add(1000.0 * s, recordOf(static_cast<float>(s)).data());
    history.points(0, 2'000, x, y);
    EXPECT_EQ(x, (std::vector<double>{3000, 4000, 5000}));
    EXPECT_EQ(y, (std::vector<double>{3, 4, 5}));

    for (int s = 6; s < 30; ++s) history.add(1000.0 * s, recordOf(static_cast<float>(s)).data());
    EXPECT_EQ(history.size(), 8u) << "the sample cap bounds the history";
    history.points(0, 60'000, x, y);
    EXPECT_EQ(x.front(), 22000);

    TrendHistory byTime(5'000, 100);
    for (int s = 0; s < 30; ++s) byTime.add(1000.0 * s, recordOf(1).data());
    EXPECT_EQ(byTime.size(), 6u) << "samples older than the time kept are dropped";

    byTime.add(29'500, recordOf(NAN).data());
    byTime.add(3'000, recordOf(7).data()); // the clock was set back
    byTime.points(0, 60'000, x, y);
    EXPECT_EQ(x, (std::vector<double>{3000}));
    byTime.add(4'000, recordOf(NAN).data());
    byTime.points(0, 60'000, x, y);
    EXPECT_EQ(y, (std::vector<double>{7})) << "a value that is not a number is not drawn";
    byTime.points(kNetworkParameterCount, 60'000, x, y);
    EXPECT_TRUE(x.empty());

    // The smallest and largest value of a window that moves on.
    MovingRange range;
    double low = INFINITY, high = -INFINITY;
    const double values[] = {5, 1, 3, NAN, 4, 2}; // a second apart, from 1 s
    for (int i = 0; i < 6; ++i) range.add(1000.0 * (i + 1), values[i]);
    range.dropBefore(3000); // 5 and 1 gone
    EXPECT_TRUE(range.widen(low, high));
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(2.0, 4.0));
    range.dropBefore(10'000);
    EXPECT_FALSE(range.widen(low, high));
}

std::vector<size_t> pointCounts(int chart) {
    std::vector<size_t> counts;
    for (const auto& plot : GraphPlots(chart, TENDENCIA_GRAFICO)) counts.push_back(plot.size());
    return counts;
}

// One point per refresh of the view, its values as read, no read of its own; the notice of a
// failed read; closed with the view.
TEST_F(LiveView, TrendDrawsEachRefreshOfTheNetworkView) {
    const int view = open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    analyser.setBlockFloat(6, 1, 231.25f);
    ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    SimulateCommit(view, TOMADATOS_TENDENCIA);
    const int chart = FindPanelByTitle("Trend");
    ASSERT_GT(chart, 0);
    EXPECT_EQ(GraphPlotNames(chart, TENDENCIA_GRAFICO),
              (std::vector<std::string>{"V1 (V)", "V2 (V)", "V3 (V)"}));
    EXPECT_EQ(pointCounts(chart), (std::vector<size_t>{1, 1, 1}))
        << "what the view read before the chart opened";
    for (int refresh = 0; refresh < 2; ++refresh) ASSERT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    EXPECT_EQ(pointCounts(chart), (std::vector<size_t>{3, 3, 3}));
    EXPECT_EQ(GraphPlots(chart, TENDENCIA_GRAFICO)[1].back().second, 231.25);
    EXPECT_EQ(requestsFor(6), 3) << "the chart reads nothing itself";

    testsupport::PickInList(chart, TENDENCIA_GRUPO, 2);
    EXPECT_EQ(GraphPlotNames(chart, TENDENCIA_GRAFICO),
              (std::vector<std::string>{"PΣ (kW)", "QΣ (kVar)", "SΣ (kVA)"}));
    EXPECT_EQ(pointCounts(chart), (std::vector<size_t>{3, 3, 3}));
    EXPECT_EQ(GraphPlots(chart, TENDENCIA_GRAFICO)[0].back().second, analyser.getFloat(6 + 2 * 13));

    refuse(3, 6);
    EXPECT_EQ(SimulateTimerTick(view, TOMADATOS_TIMER), 1);
    EXPECT_NE(PanelNotice(chart).find("the analyser refused the request (exception 04). "), std::string::npos)
        << PanelNotice(chart);
    EXPECT_NE(PanelNotice(chart).find("The chart ends at the last values read"), std::string::npos);
    EXPECT_EQ(pointCounts(chart), (std::vector<size_t>{3, 3, 3}));

    SimulateCommit(view, TOMADATOS_CERRAR);
    EXPECT_EQ(FindPanelByTitle("Trend"), 0) << "the chart closes with its view";
}

// Reads a second apart, over more than the span: the lines move on point by point, and after each
// change of span or quantities and each move of the time axis they hold exactly the points of the
// history that fall on it, none twice and none missing at the joins, each named once in the legend;
// a value axis that cannot go negative starts at 0.
TEST_F(LiveView, TrendHoldsExactlyThePointsOfItsWindow) {
    const int view = open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    SimulateCommit(view, TOMADATOS_TENDENCIA);
    const int chart = FindPanelByTitle("Trend");
    ASSERT_GT(chart, 0);
    TrendRestart();
    double step = 1000; // ms between two reads
    const auto add = [&step](int from, int to) {
        for (int s = from; s < to; ++s) {
            std::vector<float> record(kNetworkParameterCount, static_cast<float>(s % 1000));
            TrendAdd(record.data(), step * s);
        }
    };
    // Whether every line holds exactly the reads from `oldest` (the history's) to `last` that fall
    // on its time axis, the axis showing at least the chosen span, and the legend naming each line
    // once.
    const auto held = [chart, &step](int oldest, int last) {
        int span = 0, mode = 0;
        double start = 0, end = 0;
        GetCtrlVal(chart, TENDENCIA_INTERVALO, span);
        GetAxisScalingMode(chart, TENDENCIA_GRAFICO, VAL_BOTTOM_XAXIS, mode, start, end);
        if (start > step * last - 1000.0 * span || GraphPlotNames(chart, TENDENCIA_GRAFICO).size() != 3) return false;
        std::vector<std::pair<double, double>> expected;
        for (int s = std::max(oldest, static_cast<int>(std::ceil(start / step))); s <= last; ++s)
            expected.emplace_back(step * s, s % 1000);
        for (const auto& plot : GraphPlots(chart, TENDENCIA_GRAFICO))
            if (plot != expected) return false;
        return true;
    };
    const auto choose = [chart](int control, int value) {
        testsupport::PickInList(chart, control, value);
        int picked = -1;
        GetCtrlVal(chart, control, picked);
        EXPECT_EQ(picked, value);
    };
    choose(TENDENCIA_INTERVALO, 60);
    add(0, 150);
    EXPECT_TRUE(held(0, 149)) << "moved on with the last minute";
    choose(TENDENCIA_INTERVALO, 300);
    EXPECT_TRUE(held(0, 149));
    add(150, 320);
    EXPECT_TRUE(held(0, 319));
    choose(TENDENCIA_GRUPO, 1);
    EXPECT_TRUE(held(0, 319));
    EXPECT_EQ(GraphAxisLabels(chart, TENDENCIA_GRAFICO, true).front(), "0") << "currents start at 0";
    add(320, 1000);
    EXPECT_TRUE(held(0, 999)) << "the axis moved on, and the lines with it";
    // Reads faster than one a second: the history keeps its last 4000, and so do the lines.
    step = 100;
    choose(TENDENCIA_INTERVALO, 1800);
    add(4000, 8100);
    EXPECT_TRUE(held(4100, 8099));
}

} // namespace
