// rq55ctl's report: read through the open link, laid out with Qt Gui; only rq55ctl-report links it.
#include "report_command.h"

#include <cstdlib>

#include "device/scan.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "report/report_document.h"

namespace {

// The report's format: as asked, else by the file's name, else PDF.
ReportFormat reportFormatOf(const CliOptions& o, const std::string& path) {
    ReportFormat format = ReportFormat::Pdf;
    if (o.format == Format::Html) return ReportFormat::Html;
    if (o.format == Format::ByName) ReportFormatOf(path, format);
    return format;
}

// The link as the program's status line words it: "127.0.0.1:5021 RTU over TCP", "/dev/ttyUSB0, 19200 8N1".
std::string linkWords(const CliOptions& o) {
    if (!OverTcp(o)) return LinkName(o) + strfmt(", %d %s", o.baud, FramingName(o.framing));
    return LinkPlaceAndForm(kTcpLinkPort, o.host, o.tcpPort, SpeaksModbusTcp(LinkPortOf(o), static_cast<unsigned short>(o.tcpPort)));
}

} // namespace

// A line on stderr per block read; the report is written whatever blocks could not be read, and
// each of those makes the status 1. An analyser that did not give even its identity gets no report.
int ReportCommand(const CliOptions& o, const LinkTarget& link) {
    const std::string path = FileNameFor(o.arguments[0], link.address);
    ReportData data;
    ReadReport(link, [&](const std::string& block, int done, int total) {
        if (!block.empty()) Say(strfmt("address %d: reading %s (%d of %d)", link.address, block.c_str(), done + 1, total));
        return true;
    }, data);
    if (!data.identified) {
        Say(strfmt("address %d: no report written to %s: %s", link.address, path.c_str(), data.identityFailure.c_str()));
        return kFailed;
    }
    ReportHeader header{o.title, linkWords(o), 0, o.exports};
    GetCurrentDateTime(&header.when);
    std::string why;
    if (!WriteReport(path, reportFormatOf(o, path), data, header, why)) {
        Say(path + ": the report cannot be written: " + why);
        return kFailed;
    }
    Print(strfmt("address %d: report written to %s\n", link.address, path.c_str()));
    bool whole = true;
    for (const ReportBlock& b : data.blocks) whole = whole && b.read;
    return whole ? kOk : kFailed;
}
