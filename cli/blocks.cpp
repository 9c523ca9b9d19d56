#include "blocks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "platform/system.h"

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }


// Text output ranges into kilo and mega the values the panels range.
std::string shownText(const NamedValue& v) {
    const ValueInfo& info = *v.info;
    if (!info.ranged)
        return ExactText(v) + (*info.unit ? std::string(" ") + info.unit : "") +
               (*info.note ? std::string(" (") + info.note + ")" : "");
    float value = v.number;
    const char* unit = RangeKiloMega(value, info.unit);
    return ShortestFloat(value) + " " + unit;
}

} // namespace

QJsonValue JsonValueOf(const NamedValue& v) {
    if (v.info->kind == ValueKind::Text) return q(v.text);
    if (!IsFinite(v)) return QJsonValue();
    if (IsInteger(v.info->kind)) return static_cast<qint64>(v.integer);
    return std::stod(ShortestFloat(v.number));
}

std::string BlockPrinter::print(const std::string& time, int address, const std::string& block,
                                const std::vector<NamedValue>& values) {
    std::string out;
    switch (format_) {
    default: // text, when no other format is asked for
    case Format::Text: {
        out = strfmt("address %d, %s, %s\n", address, block.c_str(), time.c_str());
        size_t width = 0;
        for (const NamedValue& v : values) width = std::max(width, v.name().size());
        for (const NamedValue& v : values)
            out += strfmt("  %-*s  %s\n", static_cast<int>(width), v.name().c_str(), shownText(v).c_str());
        break;
    }
    case Format::Csv:
        if (!headerDone_) out = CsvHeader(values);
        headerDone_ = true;
        out += CsvRow(time, address, values);
        break;
    case Format::Json: {
        QJsonArray array;
        for (const NamedValue& v : values)
            array.append(QJsonObject{{"name", q(v.name())}, {"unit", v.info->unit}, {"value", JsonValueOf(v)}});
        const QJsonObject line{{"time", q(time)}, {"address", address}, {"block", q(block)}, {"values", array}};
        out = QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() + "\n";
        break;
    }
    }
    return out;
}
