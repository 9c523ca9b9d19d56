// The commissioning report as one file: PDF (A4, or Letter where the system measures in inches,
// with the page number and the serial number at the foot of every page) or HTML.
#pragma once

#include <string>

#include "report/report_data.h"

enum class ReportFormat { Pdf, Html };

// pdf for a name ending in .pdf (any case), html for .html or .htm; false for any other.
bool ReportFormatOf(const std::string& path, ReportFormat& format);

// The document as one self-contained HTML text; the characteristics are inline SVG.
std::string ReportHtml(const ReportData& data, const ReportHeader& header);

// Writes the report whole or not at all: an existing file is replaced only by a whole report, and
// only for an analyser that gave its identity. False with the reason in `why` (the file's, or
// what the analyser did not give).
bool WriteReport(const std::string& path, ReportFormat format, const ReportData& data, const ReportHeader& header,
                 std::string& why);
