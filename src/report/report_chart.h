// A block named "wiring" is drawn as its phasors (report_wiring.h).
// An analog output's characteristic as the report draws it, as its panel does: points mode 0 a
// straight line from point 1 to point 3, any other through all three, with the axes' ranges
// written at their ends and titled as the panel's graph titles them.
#pragma once

#include <QImage>
#include <QPainter>
#include <string>

#include "report/report_data.h"

// Inline SVG, for the HTML document.
std::string ChartSvg(const ReportBlock& output);

// The same drawing as a picture, for the PDF (its text layout takes no SVG).
QImage ChartImage(const ReportBlock& output);

// The picture's size in points of a 96 dpi screen, width by height.
constexpr int kChartWidth = 360, kChartHeight = 200;

// A white picture of a chart's size at three times its resolution, and the painter that draws on it
// in points, smoothed.
struct ChartCanvas {
    QImage image;
    QPainter painter;
    ChartCanvas();
};
