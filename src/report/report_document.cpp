#include "report/report_document.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>

#include "lang/label_table.h"
#include "platform/system.h"

namespace {

// Texts of the report's own, and the panels' captions it shares.
enum {
    kTextEquipment = 1, kTextMaxMin = 2, kTextNetwork = 3, kTextAddress = 7, kTextEnergy = 15,
    kTextContact = 37, kTextClosedContact = 38, kTextOpenContact = 39, kTextQuadrants = 43,
    kTextOutputType = 52, kTextFullScale = 53, kTextLock = 54, kTextMeasured = 58, kTextAnalogOutput = 61,
    kTextValueA = 64, kTextValueB = 65, kTextLevel1 = 66, kTextLevel2 = 67, kTextRelay = 75,
    kTextPulseOutput = 110, kTextPoints = 160, kTextMaxValues = 250, kTextMinValues = 251, kTextState = 300,
    kTextAlarmRelay = 302, kTextMaxDemand = 320, kTextPresentDemand = 321, kTextSerial = 405, kTextMode = 406,
    kTextReport = 472, kTextTitle = 473, kTextDateTime = 474, kTextLink = 475, kTextAnalyser = 476,
    kTextModelText = 478, kTextVersionText = 479, kTextRelays = 480, kTextAnalogOutputs = 481,
    kTextMeasurements = 482, kTextReadAt = 483, kTextNotRead = 484, kTextPage = 485, kTextQuantity = 486,
    kTextValue = 487, kTextUnit = 488, kTextPresentValue = 494, kTextModel = 495, kTextProgram = 496,
    kTextRelayClosed = 497, kTextRelayOpen = 498,
};

// The equipment panel's captions, in the order of the configuration's values.
constexpr int kConfigCaptions[] = {7, 225, 406, 381, 16, 304, 306, 305, 307, 14};
// The energy panel's captions of the eleven counters; the four quadrants share one.
constexpr int kEnergyCaptions[] = {35, 36, 40, 41, 42, kTextQuadrants, kTextQuadrants, kTextQuadrants,
                                   kTextQuadrants, 44, 47};

std::string text(int n) { return etiqueta[n]; }

std::string escaped(const std::string& raw) { return QString::fromStdString(raw).toHtmlEscaped().toStdString(); }

const NamedValue* valueOf(const ReportBlock& block, const std::string& name) {
    for (const NamedValue& v : block.values)
        if (v.name == name) return &v;
    return nullptr;
}

std::string exact(const ReportBlock& block, const std::string& name) {
    const NamedValue* v = valueOf(block, name);
    return v ? ExactText(*v) : "";
}

int64_t integer(const ReportBlock& block, const std::string& name) {
    const NamedValue* v = valueOf(block, name);
    return v ? v->integer : 0;
}

// A quantity's symbol, the same in every language: V1, PΣ, f, V L-N x̄.
std::string symbol(std::string name) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"frequency", "f"}, {"V_phase_avg", "V L-N x̄"}, {"V_line_avg", "V L-L x̄"}, {"I_avg", "I x̄"}};
    for (const auto& [from, to] : kNames)
        if (name == from) return to;
    if (const size_t at = name.find("_total"); at != std::string::npos) name.replace(at, 6, "Σ");
    return name;
}

enum class Cells { Numbers, Texts, Head };

// A row of a table: numbers align right after the first cell, texts left.
std::string row(const std::vector<std::string>& cells, Cells kind = Cells::Numbers) {
    std::string out = "<tr>";
    for (size_t i = 0; i < cells.size(); ++i) {
        const bool right = i > 0 && kind == Cells::Numbers;
        out += std::string(kind == Cells::Head ? "<th" : "<td") + (right ? " align=\"right\"" : "") + ">" +
               escaped(cells[i]) + (kind == Cells::Head ? "</th>" : "</td>");
    }
    return out + "</tr>\n";
}

std::string table(const std::string& rows) {
    return "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n" + rows + "</table>\n";
}

// The time of a block's read, or why it was not read.
std::string readLine(const ReportBlock& block) {
    if (!block.read) return "<p><b>" + escaped(FillIn(text(kTextNotRead), {block.failure})) + "</b></p>\n";
    return "<p><i>" + escaped(FillIn(text(kTextReadAt), {block.time})) + "</i></p>\n";
}

const ReportBlock* blockOf(const ReportData& data, const std::string& name) {
    for (const ReportBlock& b : data.blocks)
        if (b.name == name) return &b;
    return nullptr;
}

std::string header(const ReportData& data, const ReportHeader& h) {
    const auto line = [](int caption, const std::string& value) { return row({text(caption), value}, Cells::Texts); };
    std::string rows = line(kTextProgram, std::string("RQ55 ") + RQ55_VERSION) +
                       line(kTextDateTime, h.isoTime + " (" + h.localTime + ")");
    if (!h.title.empty()) rows += line(kTextTitle, h.title);
    rows += line(kTextLink, h.link) + line(kTextAddress, std::to_string(data.address));
    if (data.identified) {
        rows += line(kTextModel, "RQ" + std::to_string(data.identity.modelCode)) +
                line(kTextSerial, data.identity.serial) + line(kTextModelText, data.identity.modelText) +
                line(kTextVersionText, data.identity.versionText);
    }
    std::string out = "<h1>" + escaped(text(kTextReport)) + "</h1>\n<h2>" + escaped(text(kTextAnalyser)) + "</h2>\n";
    if (!data.identified) out += "<p><b>" + escaped(FillIn(text(kTextNotRead), {data.identityFailure})) + "</b></p>\n";
    return out + table(rows);
}

std::string equipment(const ReportBlock& block) {
    std::string out = "<h2>" + escaped(text(kTextEquipment)) + "</h2>\n" + readLine(block);
    if (!block.read) return out;
    std::string rows;
    for (size_t i = 0; i < std::size(kConfigCaptions); ++i)
        rows += row({text(kConfigCaptions[i]), ExactText(block.values[i])});
    return out + table(rows);
}

// Both relays side by side, as on the inputs/outputs panel.
std::string relays(const ReportBlock& block) {
    std::string out = "<h2>" + escaped(text(kTextRelays)) + "</h2>\n" + readLine(block);
    if (!block.read) return out;
    const auto each = [&](const std::function<std::string(const std::string&)>& cell) {
        return std::vector<std::string>{cell("relay1_"), cell("relay2_")};
    };
    const auto line = [&](int caption, const std::function<std::string(const std::string&)>& cell) {
        std::vector<std::string> cells = {text(caption)};
        for (const std::string& c : each(cell)) cells.push_back(c);
        return row(cells);
    };
    const auto hundredths = [&](const std::string& name) {
        return strfmt("%.2f", static_cast<double>(integer(block, name)) / 100.0);
    };
    std::string rows = row({"", text(kTextRelay) + " 1", text(kTextRelay) + " 2"}, Cells::Head);
    rows += line(kTextMode, [&](const std::string& r) {
        const int mode = static_cast<int>(integer(block, r + "selector_mode") & 0xFF);
        return std::to_string(mode) + " · " + text(mode <= 2 ? kTextAlarmRelay : kTextPulseOutput);
    });
    rows += line(kTextState, [&](const std::string& r) {
        return text(integer(block, r + "state") != 0 ? kTextRelayClosed : kTextRelayOpen);
    });
    rows += line(kTextMeasured, [&](const std::string& r) {
        return std::to_string(integer(block, r + "selector_mode") >> 8 & 0xFF);
    });
    rows += line(kTextValueA, [&](const std::string& r) { return hundredths(r + "value_a"); });
    rows += line(kTextValueB, [&](const std::string& r) { return hundredths(r + "value_b"); });
    rows += line(kTextLock, [&](const std::string& r) { return exact(block, r + "lock"); });
    rows += line(kTextContact, [&](const std::string& r) {
        return text(integer(block, r + "switch") != 0 ? kTextClosedContact : kTextOpenContact);
    });
    rows += line(kTextLevel1, [&](const std::string& r) { return exact(block, r + "level1"); });
    rows += line(kTextLevel2, [&](const std::string& r) { return exact(block, r + "level2"); });
    return out + table(rows);
}

// The characteristic as on the analog output's panel: points mode 0 is a straight line from point
// 1 to point 3, any other runs through all three. Its corners in the area given, and the range.
struct Chart {
    std::vector<QPointF> points;
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
};

Chart chartOf(const ReportBlock& block, const QRectF& area) {
    float xy[6] = {};
    const char* names[6] = {"X1", "Y1", "X2", "Y2", "X3", "Y3"};
    for (int i = 0; i < 6; ++i)
        if (const NamedValue* v = valueOf(block, names[i])) xy[i] = v->number;
    std::vector<std::pair<double, double>> points = {{xy[0], xy[1]}};
    if (integer(block, "points_mode") != 0) points.emplace_back(xy[2], xy[3]);
    points.emplace_back(xy[4], xy[5]);
    Chart c{{}, INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const auto& [x, y] : points) {
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        c.x0 = std::min(c.x0, x), c.x1 = std::max(c.x1, x), c.y0 = std::min(c.y0, y), c.y1 = std::max(c.y1, y);
    }
    if (!(c.x0 <= c.x1)) c.x0 = 0, c.x1 = 1, c.y0 = 0, c.y1 = 1;
    if (c.x1 - c.x0 <= 0) c.x0 -= 1, c.x1 += 1;
    if (c.y1 - c.y0 <= 0) c.y0 -= 1, c.y1 += 1;
    for (const auto& [x, y] : points)
        if (std::isfinite(x) && std::isfinite(y))
            c.points.emplace_back(area.left() + (x - c.x0) / (c.x1 - c.x0) * area.width(),
                                  area.bottom() - (y - c.y0) / (c.y1 - c.y0) * area.height());
    return c;
}

constexpr int kChartWidth = 360, kChartHeight = 200;
const QRectF kPlotArea(50, 12, kChartWidth - 70, kChartHeight - 44);

std::string axisText(double v) { return ShortestFloat(static_cast<float>(v)); }

// Inline SVG, written as text, for the HTML document.
std::string chartSvg(const ReportBlock& block) {
    const Chart c = chartOf(block, kPlotArea);
    std::string line;
    for (const QPointF& p : c.points) line += strfmt("%.1f,%.1f ", p.x(), p.y());
    const QRectF& a = kPlotArea;
    return strfmt("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">"
                  "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"white\" stroke=\"#8a96a3\"/>"
                  "<polyline points=\"%s\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"2\"/>"
                  "<g font-family=\"sans-serif\" font-size=\"11\" fill=\"#1d2733\">"
                  "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%s</text>"
                  "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%s</text>"
                  "<text x=\"%.0f\" y=\"%.0f\">%s</text>"
                  "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%s</text></g></svg>",
                  kChartWidth, kChartHeight, kChartWidth, kChartHeight, a.left(), a.top(), a.width(), a.height(),
                  line.c_str(), a.left() - 4, a.top() + 10, axisText(c.y1).c_str(), a.left() - 4, a.bottom(),
                  axisText(c.y0).c_str(), a.left(), a.bottom() + 16, axisText(c.x0).c_str(), a.right(),
                  a.bottom() + 16, axisText(c.x1).c_str());
}

// The same drawing as a picture, for the PDF (its text layout takes no SVG).
QImage chartImage(const ReportBlock& block) {
    constexpr int kScale = 3;
    QImage image(kChartWidth * kScale, kChartHeight * kScale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    const Chart c = chartOf(block, kPlotArea);
    p.setPen(QColor(0x8a, 0x96, 0xa3));
    p.drawRect(kPlotArea);
    p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 2));
    if (!c.points.empty()) p.drawPolyline(c.points.data(), static_cast<int>(c.points.size()));
    QFont font("sans-serif");
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(0x1d, 0x27, 0x33));
    const QRectF& a = kPlotArea;
    const auto put = [&p](const QRectF& r, int align, double v) {
        p.drawText(r, align, QString::fromStdString(axisText(v)));
    };
    put(QRectF(0, a.top() - 2, a.left() - 4, 14), Qt::AlignRight | Qt::AlignTop, c.y1);
    put(QRectF(0, a.bottom() - 12, a.left() - 4, 14), Qt::AlignRight | Qt::AlignBottom, c.y0);
    put(QRectF(a.left(), a.bottom() + 2, a.width() / 2, 16), Qt::AlignLeft | Qt::AlignTop, c.x0);
    put(QRectF(a.center().x(), a.bottom() + 2, a.width() / 2, 16), Qt::AlignRight | Qt::AlignTop, c.x1);
    return image;
}

using ChartMarkup = std::function<std::string(const ReportBlock&)>;

std::string analogOutput(const ReportBlock& block, int n, const ChartMarkup& chart) {
    std::string out = "<h3>" + escaped(text(kTextAnalogOutput)) + " " + std::to_string(n) + "</h3>\n" + readLine(block);
    if (!block.read) return out;
    std::string points = exact(block, "points_mode") + " ·";
    for (int p = 1; p <= 3; ++p)
        points += " (" + exact(block, "X" + std::to_string(p)) + ", " + exact(block, "Y" + std::to_string(p)) + ")";
    const std::string rows = row({text(kTextMeasured), exact(block, "selector")}) +
                             row({text(kTextOutputType), exact(block, "output_type")}) +
                             row({text(kTextFullScale), exact(block, "full_scale")}) +
                             row({text(kTextPoints), points}) +
                             row({text(kTextPresentValue), exact(block, "present_value")});
    // The settings and the characteristic they draw, side by side.
    return out + "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\" width=\"100%\"><tr><td width=\"55%\">" +
           table(rows) + "</td><td width=\"45%\" align=\"right\">" + chart(block) + "</td></tr></table>\n";
}

std::string measurements(const ReportBlock& block, int title, const std::string& rows) {
    return "<h3>" + escaped(text(title)) + "</h3>\n" + readLine(block) + (block.read ? table(rows) : "");
}

// By phase and in total, as on the network parameters view; an empty name leaves its cell empty.
std::string network(const ReportBlock& b) {
    struct Line {
        int caption;
        const char* phases[4];
    };
    static const Line kLines[] = {
        {30, {"V1", "V2", "V3", ""}},          {31, {"V12", "V23", "V31", ""}},
        {32, {"I1", "I2", "I3", "IN"}},        {12, {"P1", "P2", "P3", "P_total"}},
        {13, {"Q1", "Q2", "Q3", "Q_total"}},   {11, {"S1", "S2", "S3", "S_total"}},
        {33, {"PF1", "PF2", "PF3", "PF_total"}}, {34, {"", "", "", "frequency"}},
        {27, {"", "", "", "V_phase_avg"}},     {29, {"", "", "", "V_line_avg"}},
        {28, {"", "", "", "I_avg"}},
    };
    std::string rows = row({text(kTextQuantity), "L1", "L2", "L3", "N · Σ · x̄", text(kTextUnit)}, Cells::Head);
    for (const Line& l : kLines) {
        std::vector<std::string> cells = {text(l.caption)};
        std::string unit;
        for (const char* name : l.phases) {
            const NamedValue* v = *name ? valueOf(b, name) : nullptr;
            cells.push_back(v ? ExactText(*v) : "");
            if (v) unit = v->unit;
        }
        cells.push_back(unit);
        rows += row(cells);
    }
    return measurements(b, kTextNetwork, rows);
}

std::string energy(const ReportBlock& b) {
    std::string rows = row({text(kTextQuantity), text(kTextValue), text(kTextUnit)}, Cells::Head);
    for (size_t i = 0; i < b.values.size() && i < std::size(kEnergyCaptions); ++i) {
        const std::string quadrant = i >= 5 && i <= 8 ? " Q" + std::to_string(i - 4) : "";
        rows += row({text(kEnergyCaptions[i]) + quadrant, ExactText(b.values[i]), b.values[i].unit});
    }
    return measurements(b, kTextEnergy, rows);
}

// Maxima beside minima, and present beside maximum demand: the halves of one record.
std::string paired(const ReportBlock& b, int title, int first, int second, const char* suffix) {
    std::string rows = row({text(kTextQuantity), text(first), text(second), text(kTextUnit)}, Cells::Head);
    const size_t half = b.values.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        std::string name = b.values[i].name;
        if (const size_t at = name.rfind(suffix); at != std::string::npos) name.erase(at);
        rows += row({symbol(name), ExactText(b.values[i]), ExactText(b.values[half + i]), b.values[i].unit});
    }
    return measurements(b, title, rows);
}

std::string documentHtml(const ReportData& data, const ReportHeader& h, const ChartMarkup& chart) {
    std::string body = header(data, h);
    if (const ReportBlock* b = blockOf(data, "config")) body += equipment(*b);
    if (const ReportBlock* b = blockOf(data, "inout")) body += relays(*b);
    std::string outputs;
    for (int n = 1; n <= 4; ++n)
        if (const ReportBlock* b = blockOf(data, "analog" + std::to_string(n))) outputs += analogOutput(*b, n, chart);
    // The outputs and the measurements each begin a page of their own: no heading is left alone at
    // the foot of one.
    const std::string newPage = "<h2 style=\"page-break-before: always\">";
    if (!outputs.empty()) body += newPage + escaped(text(kTextAnalogOutputs)) + "</h2>\n" + outputs;
    body += newPage + escaped(text(kTextMeasurements)) + "</h2>\n";
    if (const ReportBlock* b = blockOf(data, "network")) body += network(*b);
    if (const ReportBlock* b = blockOf(data, "energy")) body += energy(*b);
    if (const ReportBlock* b = blockOf(data, "maxmin")) body += paired(*b, kTextMaxMin, kTextMaxValues, kTextMinValues, "_max");
    if (const ReportBlock* b = blockOf(data, "demand"))
        body += paired(*b, kTextMaxDemand, kTextPresentDemand, kTextMaxDemand, "_demand");
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(text(kTextReport)) +
           "</title>\n<style>body { font-family: sans-serif; font-size: 10pt; color: #1d2733; } h1 { color: #1f4f82; }"
           " h2 { color: #1f4f82; } th { background-color: #e8eef5; text-align: left; }</style></head>\n<body>\n" +
           body + "</body></html>\n";
}

std::string footer(int page, int pages, const ReportData& data) {
    return FillIn(text(kTextPage), {std::to_string(page), std::to_string(pages)}) +
           (data.identified ? " · " + text(kTextSerial) + " " + data.identity.serial : "");
}

// A4, or Letter where the system measures in inches.
QPageSize pageSize() {
    return QPageSize(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                         : QPageSize::A4);
}

void writePdf(QIODevice* device, const ReportData& data, const ReportHeader& h) {
    QPdfWriter writer(device);
    writer.setPageSize(pageSize());
    writer.setPageMargins(QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QString::fromStdString(text(kTextReport)));
    writer.setCreator(QString("RQ55 ") + RQ55_VERSION);
    QPainter painter(&writer);
    const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    QFont font("sans-serif");
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    int charts = 0;
    const std::string html = documentHtml(data, h, [&](const ReportBlock& block) {
        const QString name = QString("chart%1").arg(++charts);
        doc.addResource(QTextDocument::ImageResource, QUrl(name), chartImage(block));
        // The text layout counts an image's size in pixels of a 96 dpi screen.
        const double width = page.width() * 0.40 * 96.0 / writer.resolution();
        return strfmt("<img src=\"%s\" width=\"%.0f\" height=\"%.0f\">", name.toUtf8().constData(), width,
                      width * kChartHeight / kChartWidth);
    });
    const double footerHeight = QFontMetricsF(font, &writer).height() * 2;
    const double bodyHeight = page.height() - footerHeight;
    doc.setPageSize(QSizeF(page.width(), bodyHeight));
    doc.setHtml(QString::fromStdString(html));
    const int pages = doc.pageCount();
    painter.setFont(font);
    for (int p = 0; p < pages; ++p) {
        if (p > 0) writer.newPage();
        painter.save();
        painter.translate(0, -p * bodyHeight);
        doc.drawContents(&painter, QRectF(0, p * bodyHeight, page.width(), bodyHeight));
        painter.restore();
        painter.setPen(QColor(0x56, 0x61, 0x6d));
        painter.drawText(QRectF(0, bodyHeight, page.width(), footerHeight), Qt::AlignRight | Qt::AlignBottom,
                         QString::fromStdString(footer(p + 1, pages, data)));
    }
}

} // namespace

std::string ReportBlockCaption(const std::string& block) {
    static const std::pair<const char*, int> kCaptions[] = {
        {"identity", kTextSerial}, {"config", kTextEquipment}, {"inout", kTextRelays},  {"network", kTextNetwork},
        {"energy", kTextEnergy},   {"maxmin", kTextMaxMin},    {"demand", kTextMaxDemand}};
    for (const auto& [name, caption] : kCaptions)
        if (block == name) return text(caption);
    if (block.rfind("analog", 0) == 0) return text(kTextAnalogOutput) + " " + block.substr(6);
    return block;
}

bool ReportFormatOf(const std::string& path, ReportFormat& format) {
    const QString name = QString::fromStdString(path).toLower();
    if (name.endsWith(".pdf")) format = ReportFormat::Pdf;
    else if (name.endsWith(".html") || name.endsWith(".htm")) format = ReportFormat::Html;
    else return false;
    return true;
}

std::string ReportHtml(const ReportData& data, const ReportHeader& header) {
    return documentHtml(data, header, chartSvg);
}

bool WriteReport(const std::string& path, ReportFormat format, const ReportData& data, const ReportHeader& header,
                 std::string& why) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString().toStdString();
        return false;
    }
    if (format == ReportFormat::Html) {
        const std::string html = ReportHtml(data, header);
        file.write(html.data(), static_cast<qint64>(html.size()));
    } else {
        writePdf(&file, data, header);
    }
    if (!file.commit()) {
        why = file.errorString().toStdString();
        return false;
    }
    return true;
}
