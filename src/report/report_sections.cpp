#include "report/report_sections.h"

#include <QString>
#include <map>

#include "device/setting_modes.h"
#include "lang/label_table.h"
#include "platform/number_text.h"
#include "platform/system.h"
#include "report/report_wiring.h"

namespace {

// Texts of the report's own, and the panels' captions it shares.
enum {
    kTextEquipment = 1, kTextMaxMin = 2, kTextNetwork = 3, kTextAddress = 7, kTextEnergy = 15,
    kTextContact = 37, kTextClosedContact = 38, kTextOpenContact = 39, kTextAnalogOutput = 61,
    kTextValueA = 64, kTextValueB = 65, kTextLevel1 = 66, kTextLevel2 = 67, kTextRelay = 75,
    kTextMeasured = 58, kTextOutputType = 52, kTextFullScale = 53, kTextLock = 54, kTextPoints = 160,
    kTextMaxValues = 250, kTextMinValues = 251, kTextState = 300, kTextMaxDemand = 320,
    kTextPresentDemand = 321, kTextSerial = 405, kTextMode = 406, kTextReport = 472, kTextTitle = 473,
    kTextDateTime = 474, kTextLink = 475, kTextAnalyser = 476, kTextModelText = 478, kTextVersionText = 479,
    kTextRelays = 480, kTextAnalogOutputs = 481, kTextMeasurements = 482, kTextReadAt = 483,
    kTextNotRead = 484, kTextQuantity = 486, kTextValue = 487, kTextUnit = 488, kTextPresentValue = 494,
    kTextModel = 495, kTextProgram = 496, kTextRelayClosed = 497, kTextRelayOpen = 498, kTextLocale = 500,
    kTextCode = 503, kTextNotUsed = 504, kTextWiring = 522, kTextNoWiringFault = 523, kTextFinding = 524,
};

std::string text(int n) { return etiqueta[n]; }

std::string escaped(const std::string& raw) { return QString::fromStdString(raw).toHtmlEscaped().toStdString(); }

// A value as its panel shows it, with the unit it is shown in.
std::string shown(const NamedValue* v) {
    if (!v) return "";
    const ShownValue s = ShowValue(*v);
    return s.unit.empty() ? s.number : s.number + " " + s.unit;
}

// A setting as its field shows it, the number alone (the caption names the unit); where a panel
// shows a bare code, the report says it is one: "code 4".
std::string asShown(const NamedValue* v) {
    if (v && v->info->kind == ValueKind::Code) return FillIn(text(kTextCode), {ExactText(*v)});
    return v ? ShowValue(*v).number : "";
}

// A field the mode dims or hides still holds its value, which the analyser keeps and a
// configuration file carries: it is printed and marked.
std::string marked(const std::string& value, bool used) {
    return used ? value : value + " (" + text(kTextNotUsed) + ")";
}

int64_t integer(const ReportBlock& block, const std::string& name) {
    const NamedValue* v = FindNamed(block.values, name);
    return v ? v->integer : 0;
}

enum class Cells { Numbers, Texts };

// A row of a table: numbers align right after the first cell, texts left.
std::string row(const std::vector<std::string>& cells, Cells kind = Cells::Numbers) {
    std::string out = "<tr>";
    for (size_t i = 0; i < cells.size(); ++i)
        out += std::string(i > 0 && kind == Cells::Numbers ? "<td align=\"right\">" : "<td>") + escaped(cells[i]) +
               "</td>";
    return out + "</tr>\n";
}

// A table whose head, when there is one, is repeated on every page the table runs on to.
std::string table(const std::string& rows, const std::vector<std::string>& head = {}) {
    std::string out = "<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">\n";
    if (!head.empty()) {
        out += "<thead><tr>";
        for (const std::string& h : head) out += "<th>" + escaped(h) + "</th>";
        out += "</tr></thead>\n";
    }
    return out + rows + "</table>\n";
}

// A block's heading with the time it was read beside it, or why it was not read below it.
std::string heading(const char* level, const std::string& title, const ReportBlock& block) {
    const std::string h = std::string("<") + level + ">" + escaped(title);
    if (!block.read)
        return h + "</" + level + ">\n<p><b>" + escaped(FillIn(text(kTextNotRead), {block.failure})) + "</b></p>\n";
    return h + " <small><i>· " +
           escaped(FillIn(text(kTextReadAt), {block.time})) + "</i></small></" + level + ">\n";
}

const ReportBlock* blockOf(const ReportData& data, const std::string& name) {
    for (const ReportBlock& b : data.blocks)
        if (b.name == name) return &b;
    return nullptr;
}

// The wiring check's verdict in one line: the findings' headings, or none found at the load seen.
std::string wiringVerdict(const ReportData& data, bool exports) {
    const ReportBlock *network = blockOf(data, "network"), *config = blockOf(data, "config");
    if (!network || !network->read || !config || !config->read) return "";
    const WiringCheck c = ReportWiringCheck(*network, *config, exports);
    if (c.findings.empty()) return FillIn(text(kTextNoWiringFault), {LoadKwText(c)});
    std::string said;
    for (const WiringFinding& f : c.findings) said += (said.empty() ? "" : "; ") + FindingHeading(f, etiqueta);
    return said;
}

std::string header(const ReportData& data, const ReportHeader& h) {
    const auto line = [](int caption, const std::string& value) { return row({text(caption), value}, Cells::Texts); };
    // The language's own date and a 24-hour time, with the offset from UTC it was taken in.
    const std::string iso = IsoTime(h.when);
    std::string rows = line(kTextProgram, std::string("RQ55 ") + RQ55_VERSION) +
                       line(kTextDateTime, LongDateTime(h.when, text(kTextLocale)) + " (UTC" + iso.substr(iso.size() - 6) + ")");
    if (!h.title.empty()) rows += line(kTextTitle, h.title);
    rows += line(kTextLink, h.link) + line(kTextAddress, std::to_string(data.address)) +
            line(kTextModel, "RQ" + std::to_string(data.identity.modelCode)) + line(kTextSerial, data.identity.serial) +
            line(kTextModelText, data.identity.modelText) + line(kTextVersionText, data.identity.versionText);
    if (const std::string verdict = wiringVerdict(data, h.exports); !verdict.empty()) rows += line(kTextWiring, verdict);
    return "<h1>" + escaped(text(kTextReport)) + "</h1>\n<h2>" + escaped(text(kTextAnalyser)) + "</h2>\n" + table(rows);
}

// The equipment panel's fields under its captions.
std::string equipment(const ReportBlock& block) {
    std::string out = heading("h2", text(kTextEquipment), block);
    if (!block.read) return out;
    std::string rows;
    for (const NamedValue& v : block.values)
        if (v.info->caption) rows += row({text(v.info->caption), asShown(&v)});
    return out + table(rows);
}

// Both relays side by side, as on the inputs/outputs panel: the mode with its words, then each
// field, marked where the mode (or, for value A, the lock) leaves it unused.
std::string relays(const ReportBlock& block) {
    std::string out = heading("h2", text(kTextRelays), block);
    if (!block.read) return out;
    using Cell = std::function<std::string(const std::string& relay, int mode)>;
    std::string rows;
    const auto line = [&](int caption, const Cell& cell) {
        std::vector<std::string> cells = {text(caption)};
        for (const char* relay : {"relay1_", "relay2_"})
            cells.push_back(cell(relay, static_cast<int>(integer(block, std::string(relay) + "selector_mode") & 0xFF)));
        rows += row(cells);
    };
    const auto field = [&](const std::string& name, RelayField used, const std::function<std::string(const NamedValue*)>& show) {
        return [&block, name, used, show](const std::string& relay, int mode) {
            bool inUse = RelayModeUses(mode, used);
            if (used == RelayField::ValueA) inUse = inUse && RelayShowsValueA(static_cast<int>(integer(block, relay + "lock")));
            return marked(show(FindNamed(block.values, relay + name)), inUse);
        };
    };
    const auto hundredths = [](const NamedValue* v) {
        return v ? NumberText(static_cast<double>(v->integer) / 100.0, false, 2, 0) : "";
    };
    const auto words = [](int on, int off) {
        return [on, off](const NamedValue* v) { return v ? text(v->integer != 0 ? on : off) : ""; };
    };
    const auto plain = [](const NamedValue* v) { return shown(v); };
    line(kTextMode, [](const std::string&, int mode) { return std::to_string(mode) + " · " + text(RelayModeText(mode)); });
    line(kTextState, field("state", RelayField::State, words(kTextRelayClosed, kTextRelayOpen)));
    line(kTextMeasured, [&](const std::string& relay, int mode) {
        const int selector = static_cast<int>(integer(block, relay + "selector_mode") >> 8 & 0xFF);
        return marked(FillIn(text(kTextCode), {std::to_string(selector)}), RelayModeUses(mode, RelayField::Selector));
    });
    line(kTextValueA, field("value_a", RelayField::ValueA, hundredths));
    line(kTextValueB, field("value_b", RelayField::ValueB, hundredths));
    line(kTextLock, field("lock", RelayField::Lock, plain));
    line(kTextContact, field("switch", RelayField::Contact, words(kTextClosedContact, kTextOpenContact)));
    line(kTextLevel1, field("level1", RelayField::Level1, plain));
    line(kTextLevel2, field("level2", RelayField::Level2, plain));
    return out + table(rows, {"", text(kTextRelay) + " 1", text(kTextRelay) + " 2"});
}

// An output's settings as on its panel, and beside them the characteristic they draw.
std::string analogOutput(const ReportBlock& block, int n, const ChartMarkup& chart) {
    std::string out = heading("h3", text(kTextAnalogOutput) + " " + std::to_string(n), block);
    if (!block.read) return out;
    const auto value = [&](const std::string& name) { return FindNamed(block.values, name); };
    std::string rows = row({text(kTextMeasured), asShown(value("selector"))}) +
                       row({text(kTextOutputType), asShown(value("output_type"))}) +
                       row({text(kTextFullScale), asShown(value("full_scale"))}) +
                       row({text(kTextPoints), asShown(value("points_mode"))});
    const int pointsMode = static_cast<int>(integer(block, "points_mode"));
    for (int p = 1; p <= 3; ++p) {
        const std::string x = "X" + std::to_string(p), y = "Y" + std::to_string(p);
        rows += row({x + " · " + y,
                     marked(asShown(value(x)) + " · " + asShown(value(y)), CharacteristicUsesPoint(pointsMode, p))});
    }
    rows += row({text(kTextPresentValue), asShown(value("present_value"))});
    return out + "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\" width=\"100%\"><tr><td width=\"62%\">" +
           table(rows) + "</td><td width=\"38%\" align=\"right\">" + chart(block) + "</td></tr></table>\n";
}

std::string measurements(const ReportBlock& block, int title, const std::string& rows,
                         const std::vector<std::string>& head) {
    return heading("h3", text(title), block) + (block.read ? table(rows, head) : "");
}

// By phase and in total, as on the network parameters view: one line per caption, the phases in
// the first three columns and a total, the neutral or an average in the fourth; the frequency,
// which is none of them, on a line of its own below.
std::string network(const ReportBlock& b) {
    std::vector<std::pair<int, std::vector<const NamedValue*>>> lines;
    std::string frequency;
    for (const NamedValue& v : b.values) {
        if (v.name() == "frequency") {
            frequency = table(row({text(v.info->caption), shown(&v)}));
            continue;
        }
        if (lines.empty() || lines.back().first != v.info->caption) lines.push_back({v.info->caption, {}});
        lines.back().second.push_back(&v);
    }
    std::string rows;
    for (const auto& [caption, values] : lines) {
        std::vector<std::string> cells(5);
        cells[0] = text(caption);
        const size_t first = values.size() == 1 ? 4 : 1;
        for (size_t i = 0; i < values.size() && first + i < cells.size(); ++i) cells[first + i] = shown(values[i]);
        rows += row(cells);
    }
    return measurements(b, kTextNetwork, rows, {text(kTextQuantity), "L1", "L2", "L3", "N · Σ · x̄"}) +
           (b.read ? frequency : "");
}

std::string energy(const ReportBlock& b) {
    std::string rows;
    for (const NamedValue& v : b.values) {
        const ShownValue s = ShowValue(v);
        rows += row({text(v.info->caption) + (*v.info->symbol ? std::string(" ") + v.info->symbol : ""), s.number, s.unit});
    }
    return measurements(b, kTextEnergy, rows, {text(kTextQuantity), text(kTextValue), text(kTextUnit)});
}

// Maxima beside minima, and present beside maximum demand: each value beside its partner, found
// by name (V1_max and V1_min, P_demand and P_max_demand).
std::string paired(const ReportBlock& b, int title, int first, int second, const std::string& suffix,
                   const std::string& partnerSuffix) {
    std::string rows;
    for (const NamedValue& v : b.values) {
        const std::string name = v.name();
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
            name.find("_max_demand") != std::string::npos)
            continue;
        const NamedValue* partner = FindNamed(b.values, name.substr(0, name.size() - suffix.size()) + partnerSuffix);
        rows += row({v.info->symbol, ShowValue(v).number, partner ? ShowValue(*partner).number : "", v.info->unit});
    }
    return measurements(b, title, rows, {text(kTextQuantity), text(first), text(second), text(kTextUnit)});
}

// Is it wired right? The findings of the check over the network and equipment reads, each with its
// words, beside the phasor diagram; nothing when either was not read.
std::string wiring(const ReportBlock* network, const ReportBlock* config, bool exports, const ChartMarkup& chart) {
    if (!network || !network->read || !config || !config->read) return "";
    const WiringCheck c = ReportWiringCheck(*network, *config, exports);
    std::string rows;
    for (const WiringFinding& f : c.findings) {
        rows += row({FindingHeading(f, etiqueta), f.words + " [" + f.code + "]"}, Cells::Texts);
    }
    if (c.findings.empty()) rows = row({FillIn(text(kTextNoWiringFault), {LoadKwText(c)})}, Cells::Texts);
    std::string notes;
    for (const std::string& note : c.notes) notes += "<p><small>" + escaped(note) + "</small></p>\n";
    return heading("h3", text(kTextWiring), *network) +
           "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\" width=\"100%\"><tr><td width=\"58%\">" +
           table(rows, c.findings.empty() ? std::vector<std::string>{} : std::vector<std::string>{text(kTextFinding), ""}) +
           notes + "</td><td width=\"42%\" align=\"right\">" + chart(WiringChartBlock(*network, *config)) +
           "</td></tr></table>\n";
}

} // namespace

std::string ReportDocumentHtml(const ReportData& data, const ReportHeader& h, const ChartMarkup& chart) {
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
    body += wiring(blockOf(data, "network"), blockOf(data, "config"), h.exports, chart);
    if (const ReportBlock* b = blockOf(data, "energy")) body += energy(*b);
    if (const ReportBlock* b = blockOf(data, "maxmin")) body += paired(*b, kTextMaxMin, kTextMaxValues, kTextMinValues, "_max", "_min");
    if (const ReportBlock* b = blockOf(data, "demand"))
        body += paired(*b, kTextMaxDemand, kTextPresentDemand, kTextMaxDemand, "_demand", "_max_demand");
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(text(kTextReport)) +
           "</title>\n<style>body { font-family: sans-serif; font-size: 10pt; color: #1d2733; } h1 { color: #1f4f82; }"
           " h2 { color: #1f4f82; } th { background-color: #e8eef5; text-align: left; }</style></head>\n<body>\n" +
           body + "</body></html>\n";
}

std::string ReportBlockCaption(const std::string& block) {
    static const std::pair<const char*, int> kCaptions[] = {
        {"identity", kTextSerial}, {"config", kTextEquipment}, {"inout", kTextRelays},  {"network", kTextNetwork},
        {"energy", kTextEnergy},   {"maxmin", kTextMaxMin},    {"demand", kTextMaxDemand}};
    for (const auto& [name, caption] : kCaptions)
        if (block == name) return text(caption);
    if (block.rfind("analog", 0) == 0) return text(kTextAnalogOutput) + " " + block.substr(6);
    return block;
}
