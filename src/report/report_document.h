// The commissioning report as one document: a header (the program, the time, the link, the
// analyser), the analyser's settings (equipment configuration, both relays, each analog output
// the model has with its characteristic), a snapshot of its measurements, and on every page its
// number and the serial number. In the language of the texts in force; numbers as the panels
// show them, with a decimal point.
#pragma once

#include <string>

#include "report/report_data.h"

struct ReportHeader {
    std::string title;     // the installation and the person, as typed; may be empty
    std::string link;      // the link as the status line words it
    std::string isoTime;   // when the report was made: ISO 8601
    std::string localTime; // and as the system's locale writes it
};

enum class ReportFormat { Pdf, Html };

// What a block of the report is called in the language in force: "Network parameters".
std::string ReportBlockCaption(const std::string& block);

// pdf for a name ending in .pdf (any case), html for .html or .htm; false for any other.
bool ReportFormatOf(const std::string& path, ReportFormat& format);

// The document as one self-contained HTML text; the characteristics are inline SVG.
std::string ReportHtml(const ReportData& data, const ReportHeader& header);

// Writes the report through a temporary file beside `path`, renamed over it only once whole: an
// existing file is replaced only on success. False with the system's reason in `why`.
bool WriteReport(const std::string& path, ReportFormat format, const ReportData& data, const ReportHeader& header,
                 std::string& why);
