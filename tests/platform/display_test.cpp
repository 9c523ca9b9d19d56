// Values as the operator reads them: no number is ever cut, whatever the analyser sends, and a
// graph's axes show numbers for any points.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "test_support.h"

namespace {

// The shown text keeps the value's sign and magnitude: a shorter notation, never lost digits.
bool keepsMagnitude(const std::string& shown, double value) {
    if (std::isnan(value)) return shown == "NaN";
    const double read = std::stod(shown);
    return std::signbit(read) == std::signbit(value) &&
           std::fabs(std::log10(std::fabs(read)) - std::log10(std::fabs(value))) < 0.5;
}

// Every panel of the resource file loads (its callbacks are all known) and shows any value whole.
TEST(ValueDisplays, EveryPanelLoadsAndShowsEveryValueWhole) {
    QFile file(QString::fromStdString(testsupport::ResourceDir() + "/RQ55.uir"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray panels = QJsonDocument::fromJson(file.readAll()).object().value("panels").toArray();
    int checked = 0;
    for (const QJsonValue& p : panels) {
        const int resource = p.toObject().value("resource").toInt();
        const int panel = LoadPanel(0, "RQ55.uir", resource);
        EXPECT_GT(panel, 0) << "panel " << resource;
        for (int display : GetValueDisplays(panel)) {
            // The relay numbers beside the in/out panel's titles are the program's own, 1 or 2.
            if (resource == IN_OUT && (display == IN_OUT_INDICADOR_1 || display == IN_OUT_INDICADOR_2))
                continue;
            for (double value : {3.4e38, -3.4e38, 250000.0, -5000.0, double(NAN)}) {
                if (SetCtrlVal(panel, display, value) != 0) break; // a text box takes no number
                std::string shown;
                GetCtrlVal(panel, display, shown);
                EXPECT_TRUE(ShownWhole(panel, display) && keepsMagnitude(shown, value))
                    << "panel " << resource << " control " << display << ": " << value << " shows " << shown;
                ++checked;
            }
        }
        DiscardPanel(panel);
    }
    EXPECT_GT(checked, 500);
}

TEST(Graphs, AxesShowNumbersForAnyPoints) {
    const int panel = LoadPanel(0, "RQ55.uir", ESTADO);
    DisplayPanel(panel);
    struct Points {
        const char* name;
        std::vector<float> x, y;
    };
    const std::vector<Points> cases = {
        {"one point", {4}, {12}},
        {"equal points", {0, 10, 20}, {5, 5, 5}},
        {"negative", {-20, -10, 0}, {-4, -12, -20}},
        {"a million", {0, 20}, {0, 1e6f}},
        {"a millionth", {0, 20}, {0, 1e-6f}},
    };
    for (const Points& c : cases) {
        DeleteGraphPlot(panel, ESTADO_GRAFICO_SALIDA_1, -1);
        PlotXY(panel, ESTADO_GRAFICO_SALIDA_1, c.x.data(), c.y.data(), static_cast<int>(c.x.size()), VAL_RED);
        ProcessSystemEvents();
        for (bool y : {false, true}) {
            const auto labels = GraphAxisLabels(panel, ESTADO_GRAFICO_SALIDA_1, y);
            ASSERT_GE(labels.size(), 2u) << c.name;
            // Numbers, rising, that span every point.
            const auto& points = y ? c.y : c.x;
            EXPECT_LE(std::stod(labels.front()), *std::min_element(points.begin(), points.end())) << c.name;
            EXPECT_GE(std::stod(labels.back()), *std::max_element(points.begin(), points.end())) << c.name;
            for (size_t i = 1; i < labels.size(); ++i)
                EXPECT_LT(std::stod(labels[i - 1]), std::stod(labels[i])) << c.name;
            EXPECT_TRUE(GraphAxisLabelsWhole(panel, ESTADO_GRAFICO_SALIDA_1, y)) << c.name;
        }
    }
    DiscardPanel(panel);
}

} // namespace
