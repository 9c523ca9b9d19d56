#include "report/report_wiring.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/system.h"
#include "report/report_chart.h"

namespace {

constexpr double kRadians = 3.14159265358979323846 / 180.0;
const QPointF kCentre(92, 100);
constexpr double kRadius = 78;
// The legend, right of the circle.
constexpr double kLegend = 196;
// The conductors' colours: L1 brown, L2 black, L3 grey.
const QColor kPhaseColour[3] = {QColor(0x8b, 0x45, 0x13), QColor(0x1d, 0x27, 0x33), QColor(0x7f, 0x8c, 0x8d)};

struct Line {
    QPointF from, to;
    QColor colour;
    double width;
    bool dashed;
};
struct Label {
    QPointF at;
    QColor colour;
    std::string text;
};
struct Drawing {
    std::vector<Line> lines;
    std::vector<Label> labels;
};

QPointF towards(double degrees, double length) {
    return kCentre + QPointF(length * std::cos(degrees * kRadians), -length * std::sin(degrees * kRadians));
}

// The check in the language in force, on a site that draws power or exports it; a reading that
// rests on it names the choice that turns it, in the desktop program's words.
WiringCheck checkOf(const ReportBlock& wiring, bool exports) {
    float network[30] = {};
    for (size_t k = 0; k < 30 && k < wiring.values.size(); ++k) network[k] = wiring.values[k].number;
    const NamedValue* ct = FindNamed(wiring.values, "ct_primary");
    return CheckWiring(WiringValuesOf(network, ct ? static_cast<double>(ct->integer) : 0),
                       PanelWiringAssumption(exports, etiqueta), etiqueta);
}

Drawing drawingOf(const ReportBlock& wiring) {
    const WiringCheck c = checkOf(wiring, false); // its phasors alone, whatever the site does
    Drawing d;
    double largest = 0;
    for (const WiringPhasor& p : c.phasors) largest = std::max(largest, p.current);
    for (const WiringPhasor& p : c.phasors) {
        const int k = p.phase - 1;
        const double voltage = -120.0 * k, current = voltage - p.angleDegrees;
        const double length = largest > 0 ? 0.85 * kRadius * p.current / largest : 0;
        d.lines.push_back({kCentre, towards(voltage, kRadius), kPhaseColour[k], 1.2, true});
        d.lines.push_back({kCentre, towards(current, length), kPhaseColour[k], 2.6, false});
        d.labels.push_back({towards(voltage, kRadius + 9), kPhaseColour[k], "V" + std::to_string(p.phase)});
        d.labels.push_back({towards(current, length + 9), kPhaseColour[k], "I" + std::to_string(p.phase)});
        d.labels.push_back({QPointF(kLegend, 46 + 22 * k), kPhaseColour[k],
                            strfmt("I%d %+.0f° %.1f A", p.phase, p.angleDegrees, p.current)});
    }
    d.labels.push_back({QPointF(kLegend, 128), QColor(0x56, 0x61, 0x6d), "L1-L2-L3"});
    d.labels.push_back({QPointF(kLegend, 144), QColor(0x56, 0x61, 0x6d), "(assumed)"});
    return d;
}

} // namespace

WiringCheck ReportWiringCheck(const ReportBlock& network, const ReportBlock& config, bool exports) {
    return checkOf(WiringChartBlock(network, config), exports);
}

ReportBlock WiringChartBlock(const ReportBlock& network, const ReportBlock& config) {
    ReportBlock b = network;
    b.name = "wiring";
    if (const NamedValue* ct = FindNamed(config.values, "ct_primary")) b.values.push_back(*ct);
    return b;
}

std::string PhasorSvg(const ReportBlock& wiring) {
    const Drawing d = drawingOf(wiring);
    std::string body = strfmt("<circle cx=\"%.0f\" cy=\"%.0f\" r=\"%.0f\" fill=\"white\" stroke=\"#c8d0d8\"/>",
                              kCentre.x(), kCentre.y(), kRadius);
    for (const Line& l : d.lines)
        body += strfmt("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"%.1f\"%s/>",
                       l.from.x(), l.from.y(), l.to.x(), l.to.y(), l.colour.name().toUtf8().constData(), l.width,
                       l.dashed ? " stroke-dasharray=\"4 3\"" : "");
    for (const Label& l : d.labels)
        body += strfmt("<text x=\"%.0f\" y=\"%.0f\" fill=\"%s\" text-anchor=\"%s\">%s</text>", l.at.x(), l.at.y() + 4,
                       l.colour.name().toUtf8().constData(), l.at.x() >= kLegend ? "start" : "middle", l.text.c_str());
    return strfmt("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">"
                  "<g font-family=\"sans-serif\" font-size=\"11\">%s</g></svg>",
                  kChartWidth, kChartHeight, kChartWidth, kChartHeight, body.c_str());
}

QImage PhasorImage(const ReportBlock& wiring) {
    ChartCanvas canvas;
    QPainter& p = canvas.painter;
    p.setPen(QColor(0xc8, 0xd0, 0xd8));
    p.drawEllipse(kCentre, kRadius, kRadius);
    const Drawing d = drawingOf(wiring);
    for (const Line& l : d.lines) {
        QPen pen(l.colour, l.width);
        if (l.dashed) pen.setDashPattern({4 / l.width, 3 / l.width});
        p.setPen(pen);
        p.drawLine(l.from, l.to);
    }
    QFont font("sans-serif");
    font.setPixelSize(11);
    p.setFont(font);
    for (const Label& l : d.labels) {
        p.setPen(l.colour);
        const bool legend = l.at.x() >= kLegend;
        const QRectF box = legend ? QRectF(l.at.x(), l.at.y() - 8, kChartWidth - kLegend, 16) : QRectF(l.at.x() - 20, l.at.y() - 8, 40, 16);
        p.drawText(box, (legend ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter, QString::fromStdString(l.text));
    }
    p.end();
    return canvas.image;
}
