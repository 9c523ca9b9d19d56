#include "report/report_chart.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "device/setting_modes.h"
#include "platform/system.h"
#include "report/report_wiring.h"

namespace {

// The area the line is drawn in, with room for the ranges and the axis titles around it.
const QRectF kPlotArea(58, 12, kChartWidth - 78, kChartHeight - 52);
// As the analog output's graph titles its axes.
constexpr const char* kXTitle = "X";
constexpr const char* kYTitle = "Y";

struct Chart {
    std::vector<QPointF> points;
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
};

// The corners of the characteristic in the plot area, and the ranges of its axes.
Chart chartOf(const ReportBlock& block) {
    const auto number = [&](const std::string& name) {
        const NamedValue* v = FindNamed(block.values, name);
        return v ? static_cast<double>(v->number) : 0.0;
    };
    const NamedValue* mode = FindNamed(block.values, "points_mode");
    std::vector<std::pair<double, double>> points;
    for (int p = 1; p <= 3; ++p)
        if (CharacteristicUsesPoint(mode ? static_cast<int>(mode->integer) : 0, p))
            points.emplace_back(number("X" + std::to_string(p)), number("Y" + std::to_string(p)));
    Chart c{{}, INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const auto& [x, y] : points) {
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        c.x0 = std::min(c.x0, x), c.x1 = std::max(c.x1, x), c.y0 = std::min(c.y0, y), c.y1 = std::max(c.y1, y);
    }
    if (!(c.x0 <= c.x1)) c.x0 = 0, c.x1 = 1, c.y0 = 0, c.y1 = 1;
    if (c.x1 - c.x0 <= 0) c.x0 -= 1, c.x1 += 1;
    if (c.y1 - c.y0 <= 0) c.y0 -= 1, c.y1 += 1;
    const QRectF& a = kPlotArea;
    for (const auto& [x, y] : points)
        if (std::isfinite(x) && std::isfinite(y))
            c.points.emplace_back(a.left() + (x - c.x0) / (c.x1 - c.x0) * a.width(),
                                  a.bottom() - (y - c.y0) / (c.y1 - c.y0) * a.height());
    return c;
}

std::string axisText(double v) { return ShortestFloat(static_cast<float>(v)); }

// Where each of the six texts goes: the ranges at the ends of their axes, the titles at the middle.
struct Label {
    QRectF box;
    int align;
    std::string text;
};
std::vector<Label> labelsOf(const Chart& c) {
    const QRectF& a = kPlotArea;
    return {
        {QRectF(0, a.top() - 2, a.left() - 6, 14), Qt::AlignRight | Qt::AlignTop, axisText(c.y1)},
        {QRectF(0, a.bottom() - 12, a.left() - 6, 14), Qt::AlignRight | Qt::AlignBottom, axisText(c.y0)},
        {QRectF(0, a.center().y() - 7, a.left() - 6, 14), Qt::AlignRight | Qt::AlignVCenter, kYTitle},
        {QRectF(a.left(), a.bottom() + 2, a.width() / 2, 16), Qt::AlignLeft | Qt::AlignTop, axisText(c.x0)},
        {QRectF(a.center().x(), a.bottom() + 2, a.width() / 2, 16), Qt::AlignRight | Qt::AlignTop, axisText(c.x1)},
        {QRectF(a.left(), a.bottom() + 20, a.width(), 16), Qt::AlignHCenter | Qt::AlignTop, kXTitle},
    };
}

} // namespace

std::string ChartSvg(const ReportBlock& block) {
    if (block.name == "wiring") return PhasorSvg(block);
    const Chart c = chartOf(block);
    std::string line;
    for (const QPointF& p : c.points) line += strfmt("%.1f,%.1f ", p.x(), p.y());
    const QRectF& a = kPlotArea;
    std::string texts;
    for (const Label& l : labelsOf(c)) {
        const bool right = l.align & Qt::AlignRight, centre = l.align & Qt::AlignHCenter;
        const double x = right ? l.box.right() : centre ? l.box.center().x() : l.box.left();
        texts += strfmt("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"%s\">%s</text>", x, l.box.top() + 11,
                        right ? "end" : centre ? "middle" : "start", l.text.c_str());
    }
    return strfmt("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">"
                  "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"white\" stroke=\"#8a96a3\"/>"
                  "<polyline points=\"%s\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"2\"/>"
                  "<g font-family=\"sans-serif\" font-size=\"11\" fill=\"#1d2733\">%s</g></svg>",
                  kChartWidth, kChartHeight, kChartWidth, kChartHeight, a.left(), a.top(), a.width(), a.height(),
                  line.c_str(), texts.c_str());
}

ChartCanvas::ChartCanvas() : image(kChartWidth * 3, kChartHeight * 3, QImage::Format_RGB32) {
    image.fill(Qt::white);
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(3, 3);
}

QImage ChartImage(const ReportBlock& block) {
    if (block.name == "wiring") return PhasorImage(block);
    ChartCanvas canvas;
    QPainter& p = canvas.painter;
    const Chart c = chartOf(block);
    p.setPen(QColor(0x8a, 0x96, 0xa3));
    p.drawRect(kPlotArea);
    p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 2));
    if (!c.points.empty()) p.drawPolyline(c.points.data(), static_cast<int>(c.points.size()));
    QFont font("sans-serif");
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(0x1d, 0x27, 0x33));
    for (const Label& l : labelsOf(c)) p.drawText(l.box, l.align, QString::fromStdString(l.text));
    p.end();
    return canvas.image;
}
