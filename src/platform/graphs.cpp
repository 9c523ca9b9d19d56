// Graphs: lines through points, with the free axes fitted to what is drawn.
#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "platform/panel_table.h"

using namespace platform;

namespace {

// A time axis spans at least a minute, between round times of day with at most six steps; true
// when it moved.
bool fitTimeAxis(QDateTimeAxis* time, double x0, double x1) {
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
    // A moving line leaves the axis alone mostly; the range is compared as asked, as a time of day
    // costs a look at the time zone.
    const QPointF range(from, to);
    if (time->property("range").toPointF() == range) return false;
    time->setProperty("range", range);
    time->setTickCount(static_cast<int>(std::lround((to - from) / step)) + 1);
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to)));
    return true;
}

// The most points of one piece of a line: small, as every point added or dropped lays its piece
// out again.
constexpr int kPiecePoints = 32;

Plot* plotOf(int panel, int control, int plot) {
    Control* c = findControl(panel, control);
    if (!c || c->type != CTRL_GRAPH) return nullptr;
    auto it = c->plots.find(plot);
    return it == c->plots.end() ? nullptr : &it->second;
}

QChart* chartOf(const Control& c) { return static_cast<QChartView*>(c.widget)->chart(); }

// A piece of a line, drawn as its first piece is, with no entry of its own in the legend.
QLineSeries* newPiece(QChart* chart, const Plot& plot) {
    auto* piece = new QLineSeries();
    if (!plot.pieces.empty()) {
        piece->setPen(plot.pieces.front()->pen());
        piece->setName(plot.pieces.front()->name());
    }
    chart->addSeries(piece);
    for (QAbstractAxis* axis : chart->axes()) piece->attachAxis(axis);
    if (!plot.pieces.empty())
        for (QLegendMarker* marker : chart->legend()->markers(piece)) marker->setVisible(false);
    return piece;
}

// The next piece of a line: a spare one when there is one.
QLineSeries* addPiece(QChart* chart, Plot& plot, const QList<QPointF>& points) {
    QLineSeries* piece = nullptr;
    if (plot.spare.empty()) {
        piece = newPiece(chart, plot);
    } else {
        piece = plot.spare.back();
        plot.spare.pop_back();
    }
    piece->replace(points);
    plot.pieces.push_back(piece);
    return piece;
}

// A series added to a chart lays the whole chart out again, and it is drawn again whole. So a line
// over time gets, when the chart is laid out anyway (the line drawn, the axis moved), the pieces it
// needs to fill its time axis at the pace it has kept: a point added at a refresh never adds a
// series, and the chart holds as many of them with a minute drawn as with half an hour.
void reserveRoom(QChart* chart, Plot& plot, double from, double until) {
    constexpr std::size_t kMostSpare = 128;
    qsizetype points = 1;
    for (const QLineSeries* piece : plot.pieces) points += std::max<qsizetype>(0, piece->count() - 1);
    const QLineSeries* first = plot.pieces.front();
    const QLineSeries* last = plot.pieces.back();
    if (points < 2 || first->count() == 0) return;
    const double x0 = first->at(0).x(), x1 = last->at(last->count() - 1).x();
    if (!(x1 > x0)) return;
    const double pace = (x1 - x0) / static_cast<double>(points - 1);
    const double needed = std::ceil((until - from) / pace / (kPiecePoints - 1)) + 1;
    while (static_cast<double>(plot.pieces.size() + plot.spare.size()) < needed && plot.spare.size() < kMostSpare)
        plot.spare.push_back(newPiece(chart, plot));
}

double msOf(const QDateTime& time) { return static_cast<double>(time.toMSecsSinceEpoch()); }

// The time axis fitted to x0..x1, and the lines given room up to its new end when it moved.
void moveTimeAxis(Control& c, QDateTimeAxis* time, double x0, double x1) {
    if (!fitTimeAxis(time, x0, x1)) return;
    for (auto& [handle, plot] : c.plots) reserveRoom(chartOf(c), plot, msOf(time->min()), msOf(time->max()));
}

} // namespace

QList<QPointF> platform::Plot::points() const {
    QList<QPointF> all;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const QList<QPointF> own = pieces[i]->points();
        all.append(i == 0 ? own : own.mid(1));
    }
    return all;
}

void platform::RescaleGraph(Control& c) {
    QChart* chart = chartOf(c);
    const auto axesX = chart->axes(Qt::Horizontal);
    const auto axesY = chart->axes(Qt::Vertical);
    if (axesX.isEmpty() || axesY.isEmpty()) return;
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (auto& [handle, plot] : c.plots) {
        for (const QPointF& pt : plot.points()) {
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
        if (!c.fixedX) moveTimeAxis(c, time, x0, x1);
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
    QChart* chart = chartOf(*c);
    auto* time = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0));
    const int handle = c->nextPlot++;
    Plot& plot = c->plots[handle];
    QList<QPointF> points;
    for (int i = 0; i < count; ++i) {
        points.append(QPointF(x[i], y[i]));
        if (points.size() == kPiecePoints && i + 1 < count) {
            addPiece(chart, plot, points);
            points = {points.back()};
        }
    }
    QLineSeries* last = addPiece(chart, plot, points);
    QPen pen(QColor::fromRgb(static_cast<QRgb>(color)));
    pen.setWidthF(2);
    for (QLineSeries* piece : plot.pieces) piece->setPen(pen);
    // A few points are marked; a line over time is a line, but its first point is still seen.
    last->setPointsVisible(!time || count == 1);
    RescaleGraph(*c);
    if (time) reserveRoom(chart, plot, msOf(time->min()), msOf(time->max()));
    return handle;
}

int SetPlotAttribute(int panel, int control, int plot, int attribute, const std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    auto it = c->plots.find(plot);
    if (it == c->plots.end()) return UIE_Failure;
    if (attribute != ATTR_PLOT_LG_TEXT) return UIE_BadAttribute;
    for (QLineSeries* piece : it->second.pieces) piece->setName(qs(value));
    for (QLineSeries* piece : it->second.spare) piece->setName(qs(value));
    return 0;
}

int SetPlotAttribute(int panel, int control, int plot, int attribute, int value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    auto it = c->plots.find(plot);
    if (it == c->plots.end()) return UIE_Failure;
    if (attribute != ATTR_PLOT_THICKNESS && attribute != ATTR_PLOT_DASHED) return UIE_BadAttribute;
    for (QLineSeries* piece : it->second.pieces) {
        QPen pen = piece->pen();
        if (attribute == ATTR_PLOT_THICKNESS) pen.setWidthF(std::clamp(value, 1, 8));
        if (attribute == ATTR_PLOT_DASHED) pen.setStyle(value ? Qt::DashLine : Qt::SolidLine);
        piece->setPen(pen);
    }
    return 0;
}

int DeleteGraphPlot(int panel, int control, int plot) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = chartOf(*c);
    for (auto it = c->plots.begin(); it != c->plots.end();) {
        if (plot == -1 || it->first == plot) {
            const auto remove = [chart](QLineSeries* piece) {
                chart->removeSeries(piece);
                delete piece;
            };
            std::for_each(it->second.pieces.begin(), it->second.pieces.end(), remove);
            std::for_each(it->second.spare.begin(), it->second.spare.end(), remove);
            it = c->plots.erase(it);
        } else {
            ++it;
        }
    }
    return 0;
}

// The name of the vertical axis reads across, above the axis, rather than turned on its side.
void platform::SetGraphYName(Control& c, const QString& name) {
    QChart* chart = chartOf(c);
    const bool first = !c.yName;
    if (first) {
        c.yName = new QGraphicsSimpleTextItem(chart);
        QFont font = chart->axes(Qt::Vertical).value(0)->labelsFont();
        font.setBold(true);
        c.yName->setFont(font);
        QMargins margins = chart->margins();
        margins.setTop(margins.top() + QFontMetrics(font).height() + 4);
        chart->setMargins(margins);
    }
    QGraphicsSimpleTextItem* label = c.yName;
    const auto place = [label](const QRectF& area) {
        label->setPos(std::max(2.0, area.left() - label->boundingRect().width() / 2),
                      area.top() - label->boundingRect().height() - 6);
    };
    if (first) QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    label->setText(name);
    place(chart->plotArea());
}

int AppendPlotPoint(int panel, int control, int plot, double x, double y) {
    Plot* p = plotOf(panel, control, plot);
    if (!p) return UIE_Failure;
    QLineSeries* last = p->pieces.back();
    if (last->count() < kPiecePoints) {
        last->append(x, y);
        if (last->count() == 2 && p->pieces.size() == 1) last->setPointsVisible(false); // a line now
    } else {
        addPiece(chartOf(*findControl(panel, control)), *p, {last->at(last->count() - 1), QPointF(x, y)});
    }
    return 0;
}

int DropPlotPointsBefore(int panel, int control, int plot, double x) {
    Plot* p = plotOf(panel, control, plot);
    if (!p) return UIE_Failure;
    // Whole pieces go at once, emptied and kept; the copy that began the next one goes with its
    // trimming.
    while (p->pieces.size() > 1 && (p->pieces.front()->count() == 0 || p->pieces.front()->points().back().x() < x)) {
        QLineSeries* gone = p->pieces.front();
        p->pieces.pop_front();
        gone->clear();
        p->spare.push_back(gone);
    }
    QLineSeries* front = p->pieces.front();
    int count = 0;
    while (count < front->count() && front->at(count).x() < x) ++count;
    if (count > 0) front->removePoints(0, count);
    return 0;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    const bool x = axis == VAL_BOTTOM_XAXIS;
    (x ? c->fixedX : c->fixedY) = mode == VAL_MANUAL;
    if (mode != VAL_MANUAL) {
        RescaleGraph(*c);
        return 0;
    }
    const auto axes = chartOf(*c)->axes(x ? Qt::Horizontal : Qt::Vertical);
    if (axes.isEmpty() || !(min < max)) return UIE_Failure;
    if (auto* time = qobject_cast<QDateTimeAxis*>(axes.first())) {
        moveTimeAxis(*c, time, min, max);
    } else if (auto* value = qobject_cast<QValueAxis*>(axes.first())) {
        // The same range asked again changes nothing: a refresh whose values stay within it costs
        // no relayout of the axis.
        const QPointF asked(min, max);
        if (value->property("asked").toPointF() == asked) return 0;
        value->setProperty("asked", asked);
        value->setRange(min, max);
        value->applyNiceNumbers();
    }
    return 0;
}

int GetAxisScalingMode(int panel, int control, int axis, int& mode, double& min, double& max) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    const bool x = axis == VAL_BOTTOM_XAXIS;
    const auto axes = chartOf(*c)->axes(x ? Qt::Horizontal : Qt::Vertical);
    if (axes.isEmpty()) return UIE_Failure;
    mode = (x ? c->fixedX : c->fixedY) ? VAL_MANUAL : VAL_AUTOSCALE;
    if (auto* time = qobject_cast<QDateTimeAxis*>(axes.first())) {
        min = msOf(time->min());
        max = msOf(time->max());
    } else if (auto* value = qobject_cast<QValueAxis*>(axes.first())) {
        min = value->min();
        max = value->max();
    }
    return 0;
}
