#include "check_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "blocks.h"
#include "commands.h"
#include "device/named_values.h"
#include "device/wiring_check.h"
#include "lang/language_table.h"
#include "link/exchange_words.h"
#include "platform/system.h"

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

std::string phaseName(int phase) { return "L" + std::to_string(phase); }

std::string text(const WiringCheck& c, const std::vector<NamedValue>& values, int address, const std::string& time,
                 const LabelTable& english) {
    std::string out = strfmt("address %d, wiring check, %s: ", address, time.c_str());
    out += c.findings.empty() ? strfmt("no wiring fault found at a load of %s kW\n", LoadKwText(c).c_str())
                              : strfmt("%zu finding%s at a load of %s kW\n", c.findings.size(),
                                       c.findings.size() == 1 ? "" : "s", LoadKwText(c).c_str());
    for (const WiringFinding& f : c.findings) {
        out += "  " + FindingTitle(f) + ": " + f.words + "\n";
        std::string shown;
        for (const std::string& name : f.values)
            if (const NamedValue* v = FindNamed(values, name))
                shown += "  " + name + " " + ExactText(*v) + (*v->info->unit ? std::string(" ") + v->info->unit : "");
        if (!shown.empty()) out += "  " + shown + "\n";
    }
    out += "  phasors:";
    for (const WiringPhasor& p : c.phasors)
        out += " " + PhasorWords(p, english) + (p.judged ? "" : " (too small to judge)") + ";";
    out.back() = '\n';
    for (const std::string& note : c.notes) out += "  note: " + note + "\n";
    return out;
}

std::string json(const WiringCheck& c, const std::vector<NamedValue>& values, int address, const std::string& time) {
    QJsonArray findings, phasors, notes;
    for (const WiringFinding& f : c.findings) {
        QJsonArray phases, shown;
        for (int p : f.phases) phases.append(q(phaseName(p)));
        for (const std::string& name : f.values)
            if (const NamedValue* v = FindNamed(values, name))
                shown.append(QJsonObject{{"name", q(name)}, {"unit", v->info->unit}, {"value", JsonValueOf(*v)}});
        findings.append(QJsonObject{{"code", q(f.code)}, {"phases", phases}, {"words", q(f.words)}, {"values", shown}});
    }
    for (const WiringPhasor& p : c.phasors)
        phasors.append(QJsonObject{{"phase", q(phaseName(p.phase))}, {"angle_degrees", p.angleDegrees},
                                   {"current_amperes", p.current}, {"judged", p.judged}});
    for (const std::string& note : c.notes) notes.append(q(note));
    const QJsonObject line{{"time", q(time)},       {"address", address},   {"load_kw", c.loadKw},
                           {"findings", findings}, {"phasors", phasors}, {"notes", notes}};
    return QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

} // namespace

WiringAssumption CliWiringAssumption(bool exports) {
    return {exports, exports ? "check again without --exports" : "check again with --exports"};
}

int CheckWiringAt(const CliOptions& o, const LinkTarget& link) {
    const std::string time = IsoTimeNow();
    float network[kNetworkParameterCount] = {};
    int32_t config[kEquipmentConfigExactCount] = {};
    const char* what = "network (registers 6-65)";
    bool read = RQ55_Ulvo_Leer_Prametros_Red(link.port, link.address, network, link.spare, link.tcpPort, link.host) == 1;
    if (read) {
        what = "config (registers 800-810)";
        read = RQ55_Ulvo_Leer_Conf_Equipo_Exacto(link.port, link.address, config, link.spare, link.tcpPort, link.host) == 1;
    }
    if (!read) {
        Say(strfmt("address %d, %s: %s", link.address, what, LastExchangeFailure().c_str()));
        return kFailed;
    }
    // rq55ctl says its findings in English, from the program's own language file.
    constexpr int kEnglish = 2;
    std::string incomplete, why;
    const std::optional<LabelTable> english = ReadLanguageTable(kEnglish, incomplete, why);
    if (!english) {
        Say(LanguageFilePath() + ": " + why);
        return kFailed;
    }
    std::vector<NamedValue> values;
    AddNamedValues(NetworkValues(), network, values);
    // The CT primary is index 6 of the equipment configuration read exactly.
    const WiringCheck c = CheckWiring(WiringValuesOf(network, config[6]), CliWiringAssumption(o.exports), *english);
    Print(o.format == Format::Json ? json(c, values, link.address, time) : text(c, values, link.address, time, *english));
    return c.findings.empty() ? kOk : kDifferent;
}
