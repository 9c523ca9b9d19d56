// The report states the values the panels show, value for value: whole numbers whole, a denormal
// float as the 0.00 its field shows, a value ranged into kilo units as the view ranges it; and the
// settings a mode leaves unused marked, codes said to be codes. The panels are read in the same
// test, from their value displays; the report is made by the code the dialog and rq55ctl use.
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>

#include "report/report_document.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;

// The numbers a text states, sorted: "230.9 V ... 0.00" gives 0.00, 230.9. Markup, the time of a
// read and the digits of a name (L1, Q1) are not numbers stated.
std::vector<std::string> numbers(const std::string& text) {
    std::vector<std::string> out;
    QString plain = QString::fromStdString(text);
    plain.replace(QRegularExpression("<[^>]*>"), " ").replace(QRegularExpression(R"(\d\d:\d\d:\d\d)"), " ");
    plain.replace(QRegularExpression(R"(Page \d+ of \d+)"), " ");
    const QRegularExpression number(R"((?<![\w.])-?\d+(\.\d+)?(?![\w.]))");
    for (auto it = number.globalMatch(plain); it.hasNext();)
        out.push_back(it.next().captured(0).toStdString());
    std::sort(out.begin(), out.end());
    return out;
}

// What a view's value displays show, read off the screen once it has read.
std::vector<std::string> shownOn(int view) {
    std::string all;
    for (int display : GetValueDisplays(view))
        if (auto* label = qobject_cast<QLabel*>(ControlWidget(view, display))) all += label->text().toStdString() + " ";
    return numbers(all);
}

// The part of a document from one heading to the next ("" for the end).
std::string section(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const size_t end = to.empty() ? std::string::npos : text.find(to, start + from.size());
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST_F(LiveView, TheReportStatesWhatThePanelsShow) {
    startAnalyser(57);
    analyser.setBlockFloat(66, 9, 7.9f);              // operating hours
    analyser.setBlockFloat(66, 10, -7.9f);            // energy resets
    analyser.setBlockFloat(6, 0, 1000.1f);            // V1: 1.0001 kV on the view
    analyser.setBlockFloat(130, 33, 2.3512045e-38f);  // the minimum of I1
    analyser.setBlockFloat(130, 0, 250000.0f);        // the maximum of V1: 250000 in its field
    analyser.setBlockFloat(238, 0, 9.1837e-41f);      // present demand of P
    analyser.setBlockFloat(238, 3, 4.1676692e-08f);   // and of I1
    analyser.setReg(211, 0x0500);                     // relay 2 in mode 0, measuring quantity 5
    ASSERT_TRUE(flipSwitch());

    ReportData data;
    ASSERT_TRUE(ReadReport({99, 1, "", static_cast<unsigned short>(analyser.tcpPort()), "127.0.0.1"}, {}, data));
    const std::string html = ReportHtml(data, {"", "link", 0});
    testsupport::TempDir dir;
    std::string why;
    ASSERT_TRUE(WriteReport(dir.file("r.pdf"), ReportFormat::Pdf, data, {"", "link", 0}, why)) << why;
    QProcess pdftotext;
    pdftotext.start("pdftotext", {QString::fromStdString(dir.file("r.pdf")), "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(60000));
    const std::string pdf = pdftotext.readAllStandardOutput().toStdString();

    // Each view's section holds its numbers, no more and no fewer.
    const struct {
        int button;
        const int* view;
        int timer, close;
        const char* heading;
        const char* next;
    } views[] = {
        {PRINCIPAL_PARAMETROS, &panel_tomadatos, TOMADATOS_TIMER, TOMADATOS_CERRAR, "Network parameters",
         "Wiring check"},
        {PRINCIPAL_ENERGIA, &panel_energia, ENERGIA_TIMER, ENERGIA_CERRAR, "Energy counters", "Maxima and minima"},
        {PRINCIPAL_MAXMIN, &panel_maxmin, MAXMIN_TIMER, MAXMIN_CERRAR, "Maxima and minima", "Maximum demand"},
        {PRINCIPAL_DEMANDA, &panel_demanda, DEMANDA_TIMER, DEMANDA_CERRAR, "Maximum demand", ""},
    };
    for (const auto& v : views) {
        SCOPED_TRACE(v.heading);
        SimulateCommit(mainPanel, v.button);
        ASSERT_EQ(SimulateTimerTick(*v.view, v.timer), 1);
        const std::vector<std::string> shown = shownOn(*v.view);
        EXPECT_EQ(numbers(section(html, std::string(">") + v.heading, v.next)), shown);
        EXPECT_EQ(numbers(section(pdf, v.heading, v.next)), shown);
        SimulateCommit(*v.view, v.close);
    }
    for (std::string document : {html, pdf}) {
        document = QString::fromStdString(document).simplified().toStdString(); // as one line
        EXPECT_NE(document.find("1.0001 kV"), std::string::npos);
        EXPECT_FALSE(QString::fromStdString(document).contains(QRegularExpression(R"(:\d\d\.\d\d\d|[AP]M)")))
            << "24-hour times without milliseconds";
        EXPECT_EQ(document.find("7.9"), std::string::npos) << "whole numbers whole";
        EXPECT_FALSE(QString::fromStdString(document).contains(QRegularExpression(R"(\de-\d)"))) << "no exponents";
        EXPECT_NE(document.find("code 5 (not used in this mode)"), std::string::npos) << "relay 2's quantity";
        EXPECT_TRUE(QString::fromStdString(document).contains(QRegularExpression(R"(Wiring check(</td><td>| )No wiring fault found at a load of \d+\.\d kW)"))) << document
            << "the wiring verdict on the first page";
        EXPECT_NE(document.find("150.000 · 5.000 (not used in this mode)"), std::string::npos) << "output 2's point 2";
    }
}

} // namespace
