// Graphs: lines through points, with the free axes fitted to what is drawn.
#include <QDateTime>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
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
    pad(y0, y1);
    auto* ay = static_cast<QValueAxis*>(axesY.first());
    if (!c.fixedY) ay->setRange(y0, y1), ay->applyNiceNumbers();
    if (auto* time = qobject_cast<QDateTimeAxis*>(axesX.first())) {
        // A time axis spans what is drawn, at least a minute, between round times of day with at
        // most six steps.
        constexpr double kSteps[] = {10e3, 15e3, 30e3, 60e3, 120e3, 300e3, 600e3, 900e3, 1800e3, 3600e3};
        x0 = std::min(x0, x1 - 60e3);
        double step = kSteps[std::size(kSteps) - 1];
        for (double s : kSteps) {
            if (std::ceil(x1 / s) - std::floor(x0 / s) <= 6) {
                step = s;
                break;
            }
        }
        const double from = std::floor(x0 / step) * step, to = std::ceil(x1 / step) * step;
        time->setTickCount(static_cast<int>(std::lround((to - from) / step)) + 1);
        time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from)),
                       QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to)));
        return;
    }
    pad(x0, x1);
    auto* ax = static_cast<QValueAxis*>(axesX.first());
    if (!c.fixedX) ax->setRange(x0, x1), ax->applyNiceNumbers();
}

int PlotXY(int panel, int control, const float* x, const float* y, int count, int color) {
    std::vector<double> wide(static_cast<size_t>(std::max(0, count)) * 2);
    for (int i = 0; i < count; ++i)
        wide[static_cast<size_t>(i)] = x[i], wide[static_cast<size_t>(count + i)] = y[i];
    return PlotXY(panel, control, wide.data(), wide.data() + count, count, color);
}

int PlotXY(int panel, int control, const double* x, const double* y, int count, int color) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = static_cast<QChartView*>(c->widget)->chart();
    const bool overTime = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0)) != nullptr;
    auto* series = new QLineSeries();
    QList<QPointF> points;
    points.reserve(std::max(0, count));
    for (int i = 0; i < count; ++i) points.append(QPointF(x[i], y[i]));
    series->replace(points);
    QPen pen(QColor::fromRgb(static_cast<QRgb>(color)));
    pen.setWidthF(2);
    series->setPen(pen);
    // A few points are marked; a line over time is a line, but its first point is still seen.
    series->setPointsVisible(!overTime || count == 1);
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
    const int handle = c->nextPlot++;
    c->plots[handle] = series;
    RescaleGraph(*c);
    return handle;
}

int SetPlotAttribute(int panel, int control, int plot, int attribute, const std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    auto it = c->plots.find(plot);
    if (it == c->plots.end()) return UIE_Failure;
    if (attribute != ATTR_PLOT_LG_TEXT) return UIE_BadAttribute;
    it->second->setName(qs(value));
    return 0;
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
