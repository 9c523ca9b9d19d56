#include "views/trend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <chrono>
#include <string>
#include <vector>

#include "device/value_table.h"
#include "lang/label_table.h"
#include "panels/freshness.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "views/trend_history.h"

namespace {

constexpr int kTextTrend = 441, kTextQuantities = 442, kTextSpan = 448, kTextClose = 431;

// The quantities of the network block shown together; one axis, so one kind. Voltages, currents
// and the frequency cannot be negative: their axis starts at 0.
struct TrendGroup {
    int text;
    std::array<const char*, 3> names; // null past the last
    bool fromZero;
};
constexpr TrendGroup kGroups[] = {
    {443, {"V1", "V2", "V3"}, true},           {444, {"I1", "I2", "I3"}, true},
    {445, {"P_total", "Q_total", "S_total"}, false}, {446, {"PF_total", nullptr, nullptr}, false},
    {447, {"frequency", nullptr, nullptr}, true},
};
constexpr int kColors[3] = {0x1f5fa8, 0xc0392b, 0x2e8b57};

// The longest span offered is half an hour, and its time axis may start up to ten minutes before
// it; a read a second keeps 2400 samples.
constexpr double kKeptMs = 40 * 60 * 1000.0;
constexpr std::size_t kMostSamples = 4000;

TrendHistory g_history(kKeptMs, kMostSamples);
int g_chart = 0;
// What the chart's lines were built for, and the lines themselves.
int g_drawnGroup = -1, g_drawnSpan = -1;
double g_drawnFrom = 0; // the oldest time the lines may hold
int g_plots[3] = {};
MovingRange g_ranges[3]; // what each line holds, for the value axis
std::string g_failureSentence; // what made the view's read fail, and when ("" while it reads)

int lineCount(const TrendGroup& g) {
    int count = 0;
    while (count < 3 && g.names[static_cast<std::size_t>(count)]) ++count;
    return count;
}

// Line i of the group: its quantity's index in the network record and its row of the value table.
int quantityOf(const TrendGroup& g, int i) { return ValueIndex(NetworkValues(), g.names[static_cast<std::size_t>(i)]); }
const ValueInfo& infoOf(const TrendGroup& g, int i) { return NetworkValues().values[static_cast<std::size_t>(quantityOf(g, i))]; }

// The chart's choices, as the operator left them.
const TrendGroup& chosenGroup(int& spanSeconds) {
    int group = 0;
    spanSeconds = 600;
    GetCtrlVal(g_chart, TENDENCIA_GRUPO, group);
    GetCtrlVal(g_chart, TENDENCIA_INTERVALO, spanSeconds);
    if (group < 0 || group >= static_cast<int>(std::size(kGroups))) group = 0;
    g_drawnGroup = group;
    g_drawnSpan = spanSeconds;
    return kGroups[group];
}

// The time axis ends at the newest read and spans at least the chosen minutes, between round times
// of day; the lines hold what the history has of the time it shows. Its start moves on only every
// few minutes, so the lines are seldom trimmed at the front. The first time drawn is returned.
double moveTimeAxis(int spanSeconds) {
    const double newest = g_history.newestMs();
    SetAxisScalingMode(g_chart, TENDENCIA_GRAFICO, VAL_BOTTOM_XAXIS, VAL_MANUAL, newest - spanSeconds * 1000.0,
                       newest);
    int mode = 0;
    double start = 0, end = 0;
    GetAxisScalingMode(g_chart, TENDENCIA_GRAFICO, VAL_BOTTOM_XAXIS, mode, start, end);
    return std::max(start, g_history.oldestMs());
}

// The value axis takes in what the lines hold (from 0 for a quantity that cannot be negative),
// widened by a margin.
void moveValueAxis(const TrendGroup& g) {
    double low = INFINITY, high = -INFINITY;
    bool any = false;
    for (int i = 0; i < lineCount(g); ++i) any = g_ranges[i].widen(low, high) || any;
    if (!any) return;
    const double margin = std::max(high - low, std::max(1.0, std::fabs(high)) * 0.05) * 0.08;
    low = g.fromZero && low >= 0 ? 0 : low - margin;
    SetAxisScalingMode(g_chart, TENDENCIA_GRAFICO, VAL_LEFT_YAXIS, VAL_MANUAL, low, high + margin);
}

// The lines built afresh from the history: when the chart opens, and when the quantities or the
// span change (the legend with them).
void rebuild() {
    if (!g_chart) return;
    int spanSeconds = 0;
    const TrendGroup& g = chosenGroup(spanSeconds);
    // Named by what it shows, for a screen reader: "Trend: Phase voltages".
    SetCtrlAttribute(g_chart, TENDENCIA_GRAFICO, ATTR_ACCESSIBLE_NAME, etiqueta[kTextTrend] + ": " + etiqueta[g.text]);
    DeleteGraphPlot(g_chart, TENDENCIA_GRAFICO, -1);
    g_drawnFrom = moveTimeAxis(spanSeconds);
    const double shownMs = g_history.newestMs() - g_drawnFrom;
    std::string units;
    std::vector<double> x, y;
    for (int i = 0; i < lineCount(g); ++i) {
        const int quantity = quantityOf(g, i);
        const std::string unit = infoOf(g, i).unit;
        std::string name = infoOf(g, i).symbol;
        if (!unit.empty()) {
            name += " (" + unit + ")";
            if (units.find(unit) == std::string::npos) units += (units.empty() ? "" : " · ") + unit;
        }
        g_history.points(quantity, shownMs, x, y);
        g_ranges[i].clear();
        for (std::size_t p = 0; p < x.size(); ++p) g_ranges[i].add(x[p], y[p]);
        g_plots[i] = PlotXY(g_chart, TENDENCIA_GRAFICO, x.data(), y.data(), static_cast<int>(x.size()), kColors[i]);
        SetPlotAttribute(g_chart, TENDENCIA_GRAFICO, g_plots[i], ATTR_PLOT_LG_TEXT, name);
    }
    SetCtrlAttribute(g_chart, TENDENCIA_GRAFICO, ATTR_YNAME, units);
    moveValueAxis(g);
}

// A new read moves the lines on: its point added to each, the points that left the time axis
// dropped, the axes moved. Nothing is drawn again from the history, so a refresh costs the same
// with a minute of it as with half an hour.
void moveOn(const float* record) {
    int group = 0, spanSeconds = 0;
    GetCtrlVal(g_chart, TENDENCIA_GRUPO, group);
    GetCtrlVal(g_chart, TENDENCIA_INTERVALO, spanSeconds);
    if (group != g_drawnGroup || spanSeconds != g_drawnSpan) return rebuild();
    const TrendGroup& g = kGroups[group];
    const double newest = g_history.newestMs();
    const double from = moveTimeAxis(spanSeconds);
    // An axis that moved to a coarser step may start earlier than before: what it shows again is
    // drawn afresh from the history.
    if (from < g_drawnFrom) return rebuild();
    g_drawnFrom = from;
    for (int i = 0; i < lineCount(g); ++i) {
        const float value = record[quantityOf(g, i)];
        if (std::isfinite(value)) AppendPlotPoint(g_chart, TENDENCIA_GRAFICO, g_plots[i], newest, value);
        DropPlotPointsBefore(g_chart, TENDENCIA_GRAFICO, g_plots[i], from);
        g_ranges[i].add(newest, value);
        g_ranges[i].dropBefore(from);
    }
    moveValueAxis(g);
}

void labelChart() {
    SetPanelAttribute(g_chart, ATTR_TITLE, etiqueta[kTextTrend]);
    SetCtrlAttribute(g_chart, TENDENCIA_GRUPO, ATTR_LABEL_TEXT, etiqueta[kTextQuantities]);
    SetCtrlAttribute(g_chart, TENDENCIA_INTERVALO, ATTR_LABEL_TEXT, etiqueta[kTextSpan]);
    SetCtrlAttribute(g_chart, TENDENCIA_CERRAR, ATTR_LABEL_TEXT, etiqueta[kTextClose]);
    ClearListCtrl(g_chart, TENDENCIA_GRUPO);
    for (int i = 0; i < static_cast<int>(std::size(kGroups)); ++i)
        InsertListItem(g_chart, TENDENCIA_GRUPO, -1, etiqueta[kGroups[i].text], i);
    SetCtrlVal(g_chart, TENDENCIA_GRUPO, 0);
}

} // namespace

void TrendRestart() {
    g_history.clear();
    g_failureSentence.clear();
}

void TrendAdd(const float* record, double atMs) {
    const bool goesOn = g_history.add(atMs, record);
    if (!g_chart) return;
    if (goesOn)
        moveOn(record);
    else
        rebuild(); // the clock went back: the lines start afresh with the history
}

void TrendReadFailed() {
    g_failureSentence = ReadFailureNow();
    if (g_chart) ShowReadFailed(g_chart, g_failureSentence);
}

void TrendEnd() {
    if (g_chart) DiscardPanel(g_chart);
    g_chart = 0;
    TrendRestart();
}

int RQ55_Tendencia_Red(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (!g_chart) {
        g_chart = LoadPanel(0, "RQ55.uir", TENDENCIA);
        if (g_chart < 0) {
            g_chart = 0;
            return 0;
        }
        labelChart();
        WatchPanel(g_chart, PanelKind::FedView);
        if (!g_failureSentence.empty()) ShowReadFailed(g_chart, g_failureSentence);
        rebuild();
    }
    DisplayPanel(g_chart);
    return 0;
}

int RQ55_Tendencia_Elegir(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) rebuild();
    return 0;
}

int RQ55_Tendencia_Cerrar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !g_chart) return 0;
    DiscardPanel(g_chart);
    g_chart = 0;
    return 0;
}
