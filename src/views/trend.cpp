#include "views/trend.h"

#include <array>
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

// The quantities shown together, by their index in the network record; one axis, so one kind.
struct TrendGroup {
    int text;
    int count;
    std::array<int, 3> quantities;
    std::array<const char*, 3> symbols;
};
constexpr TrendGroup kGroups[] = {
    {443, 3, {0, 1, 2}, {"V1", "V2", "V3"}}, {444, 3, {6, 7, 8}, {"I1", "I2", "I3"}},
    {445, 3, {13, 17, 21}, {"P", "Q", "S"}}, {446, 1, {25, 0, 0}, {"PF", "", ""}},
    {447, 1, {26, 0, 0}, {"f", "", ""}},
};
constexpr int kColors[3] = {0x1f5fa8, 0xc0392b, 0x2e8b57};

// The longest span offered is half an hour; a read a second keeps 1800 samples.
constexpr double kKeptMs = 30 * 60 * 1000.0;
constexpr std::size_t kMostSamples = 4000;

TrendHistory g_history(kKeptMs, kMostSamples);
int g_chart = 0;
std::string g_failedAt; // what made the view's read fail, and when ("" while it reads)

double nowMs() {
    using namespace std::chrono;
    return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

const char* unitOf(int quantity) { return NetworkValues().values[static_cast<std::size_t>(quantity)].unit; }

void draw() {
    if (!g_chart) return;
    int group = 0, spanSeconds = 600;
    GetCtrlVal(g_chart, TENDENCIA_GRUPO, group);
    GetCtrlVal(g_chart, TENDENCIA_INTERVALO, spanSeconds);
    if (group < 0 || group >= static_cast<int>(std::size(kGroups))) group = 0;
    const TrendGroup& g = kGroups[group];
    DeleteGraphPlot(g_chart, TENDENCIA_GRAFICO, -1);
    std::string units;
    std::vector<double> x, y;
    for (int i = 0; i < g.count; ++i) {
        const int quantity = g.quantities[static_cast<std::size_t>(i)];
        const std::string unit = unitOf(quantity);
        std::string name = g.symbols[static_cast<std::size_t>(i)];
        if (!unit.empty()) {
            name += " (" + unit + ")";
            if (units.find(unit) == std::string::npos) units += (units.empty() ? "" : " · ") + unit;
        }
        g_history.points(quantity, spanSeconds * 1000.0, x, y);
        const int plot =
            PlotXY(g_chart, TENDENCIA_GRAFICO, x.data(), y.data(), static_cast<int>(x.size()), kColors[i]);
        SetPlotAttribute(g_chart, TENDENCIA_GRAFICO, plot, ATTR_PLOT_LG_TEXT, name);
    }
    SetCtrlAttribute(g_chart, TENDENCIA_GRAFICO, ATTR_YNAME, units);
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
    g_failedAt.clear();
}

void TrendAdd(const float* record) {
    g_history.add(nowMs(), record);
    draw();
}

void TrendReadFailed() {
    g_failedAt = ReadFailureNow();
    if (g_chart) ShowReadFailed(g_chart, g_failedAt);
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
        if (!g_failedAt.empty()) ShowReadFailed(g_chart, g_failedAt);
        draw();
    }
    DisplayPanel(g_chart);
    return 0;
}

int RQ55_Tendencia_Elegir(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) draw();
    return 0;
}

int RQ55_Tendencia_Cerrar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !g_chart) return 0;
    DiscardPanel(g_chart);
    g_chart = 0;
    return 0;
}
