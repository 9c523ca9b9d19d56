#include "report/report_document.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include "lang/label_table.h"
#include "platform/system.h"
#include "platform/whole_file.h"
#include "report/report_chart.h"
#include "report/report_sections.h"

namespace {

constexpr int kTextReport = 472, kTextPage = 485, kTextSerial = 405;

std::string footer(int page, int pages, const ReportData& data) {
    return FillIn(etiqueta[kTextPage], {std::to_string(page), std::to_string(pages)}) + " · " + etiqueta[kTextSerial] +
           " " + data.identity.serial;
}

// A4, or Letter where the system measures in inches.
QPageSize pageSize() {
    return QPageSize(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                         : QPageSize::A4);
}

// The document laid out on pages by Qt's text layout, which repeats a table's head on every page
// the table runs on to; the footer drawn on each page.
void writePdf(QIODevice& device, const ReportData& data, const ReportHeader& h) {
    QPdfWriter writer(&device);
    writer.setPageSize(pageSize());
    writer.setPageMargins(QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QString::fromStdString(etiqueta[kTextReport]));
    writer.setCreator(QString("RQ55 ") + RQ55_VERSION);
    QPainter painter(&writer);
    const QRectF page = writer.pageLayout().paintRectPixels(writer.resolution());
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    QFont font("sans-serif");
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    int charts = 0;
    const std::string html = ReportDocumentHtml(data, h, [&](const ReportBlock& block) {
        const QString name = QString("chart%1").arg(++charts);
        doc.addResource(QTextDocument::ImageResource, QUrl(name), ChartImage(block));
        // The text layout counts an image's size in pixels of a 96 dpi screen.
        const double width = page.width() * 0.32 * 96.0 / writer.resolution();
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

bool ReportFormatOf(const std::string& path, ReportFormat& format) {
    const QString name = QString::fromStdString(path).toLower();
    if (name.endsWith(".pdf")) format = ReportFormat::Pdf;
    else if (name.endsWith(".html") || name.endsWith(".htm")) format = ReportFormat::Html;
    else return false;
    return true;
}

std::string ReportHtml(const ReportData& data, const ReportHeader& header) {
    return ReportDocumentHtml(data, header, ChartSvg);
}

bool WriteReport(const std::string& path, ReportFormat format, const ReportData& data, const ReportHeader& header,
                 std::string& why) {
    // A report of nothing would replace a good one with a page of "not read".
    if (!data.identified) {
        why = data.identityFailure;
        return false;
    }
    if (format == ReportFormat::Html) return WriteWholeFile(path, ReportHtml(data, header), why);
    return WriteWholeFile(path, [&](QIODevice& out) { writePdf(out, data, header); }, why);
}
