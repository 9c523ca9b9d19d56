// Graphs: lines through points, with the free axes fitted to what is drawn.
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "platform/panel_table.h"

using namespace platform;

void platform::RescaleGraph(Control& c) {
    auto* view = static_cast<QChartView*>(c.widget);
    QChart* chart = view->chart();
    const auto axesX = chart->axes(Qt::Horizontal);
    const auto axesY = chart->axes(Qt::Vertical);
    if (axesX.isEmpty() || axesY.isEmpty()) return;
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (auto& [handle, series] : c.plots) {
        for (const QPointF& pt : series->points()) {
            if (!std::isfinite(pt.x()) || !std::isfinite(pt.y())) continue;
            x0 = std::min(x0, pt.x());
            x1 = std::max(x1, pt.x());
            y0 = std::min(y0, pt.y());
            y1 = std::max(y1, pt.y());
        }
    }
    if (!std::isfinite(x0)) return;
    auto pad = [](double& lo, double& hi) {
        double span = hi - lo;
        if (span <= 0) span = std::max(1.0, std::fabs(hi));
        lo -= span * 0.08;
        hi += span * 0.08;
    };
    pad(x0, x1);
    pad(y0, y1);
    auto* ax = static_cast<QValueAxis*>(axesX.first());
    auto* ay = static_cast<QValueAxis*>(axesY.first());
    if (!c.fixedX) ax->setRange(x0, x1), ax->applyNiceNumbers();
    if (!c.fixedY) ay->setRange(y0, y1), ay->applyNiceNumbers();
}

int PlotXY(int panel, int control, const float* x, const float* y, int count, int color) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = static_cast<QChartView*>(c->widget)->chart();
    auto* series = new QLineSeries();
    for (int i = 0; i < count; ++i) series->append(x[i], y[i]);
    QPen pen(QColor::fromRgb(static_cast<QRgb>(color)));
    pen.setWidthF(2);
    series->setPen(pen);
    series->setPointsVisible(true);
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
    const int handle = c->nextPlot++;
    c->plots[handle] = series;
    RescaleGraph(*c);
    return handle;
}

int DeleteGraphPlot(int panel, int control, int plot) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = static_cast<QChartView*>(c->widget)->chart();
    for (auto it = c->plots.begin(); it != c->plots.end();) {
        if (plot == -1 || it->first == plot) {
            chart->removeSeries(it->second);
            delete it->second;
            it = c->plots.erase(it);
        } else {
            ++it;
        }
    }
    return 0;
}
