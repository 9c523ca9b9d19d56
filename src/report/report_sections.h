// The commissioning report's content as one HTML document: a header (the program, the time, the
// link, the analyser), the analyser's settings (equipment configuration, both relays, each analog
// output the model has with its characteristic), a snapshot of its measurements. In the language of
// the texts in force; every value as its panel shows it (read from the value table), codes said to
// be codes, and a field its mode leaves unused marked so.
#pragma once

#include <functional>
#include <string>

#include "report/report_data.h"

// How an output's characteristic goes into the document (inline SVG, or a picture for the PDF).
using ChartMarkup = std::function<std::string(const ReportBlock&)>;

std::string ReportDocumentHtml(const ReportData& data, const ReportHeader& header, const ChartMarkup& chart);

// What a block of the report is called in the language in force: "Network parameters".
std::string ReportBlockCaption(const std::string& block);
