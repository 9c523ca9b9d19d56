#include "serve/http/exposition.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>

#include "device/named_blocks.h"

namespace {

// One sample of a family, before it is written.
struct Sample {
    const AnalyserPoll* poll;
    std::string labels; // after the address and serial number: ,phase="L1"
    double value;
};

struct Family {
    std::string name, help, type;
    bool withSerial; // the analyser's own families name its serial number beside its address
    std::vector<Sample> samples;
};

// The float as the decimal it was sent as (its shortest exact form), not its binary expansion:
// 230.9711, not 230.97109985351562.
double decimal(float v) {
    const std::string text = ShortestFloat(v);
    double out = 0;
    std::from_chars(text.data(), text.data() + text.size(), out);
    return std::isfinite(v) ? out : static_cast<double>(v);
}

// 15 significant digits: a scaled value's last-bit noise (26520.391000000003) goes, the float's
// own digits stay.
std::string number(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
    return std::string(buffer, r.ptr);
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

// The families in the order they are first named, each with its samples. A family, once named,
// stays where it is while others are added.
class Families {
  public:
    Family& findOrAdd(const std::string& name, const std::string& help, const char* type, bool withSerial = true) {
        for (Family& f : list_)
            if (f.name == name) return f;
        return list_.emplace_back(Family{name, help, type, withSerial, {}});
    }
    void appendTo(std::string& out) const {
        for (const Family& f : list_) {
            out += "# HELP " + f.name + " " + f.help + "\n# TYPE " + f.name + " " + f.type + "\n";
            for (const Sample& s : f.samples) {
                out += f.name + "{address=\"" + std::to_string(s.poll->address) + "\"";
                if (f.withSerial && !s.poll->serial.empty()) out += ",serial=\"" + escaped(s.poll->serial) + "\"";
                out += s.labels + "} " + number(s.value) + "\n";
            }
        }
    }

  private:
    std::deque<Family> list_;
};

Family& familyOf(Families& families, const ValueInfo& row) {
    return families.findOrAdd(MetricName(row), row.family->help,
                              row.family->metric == Metric::Counter ? "counter" : "gauge");
}

// In its base unit: 1.2 kW is 1200 W, a relay's state 1 or 0.
double exported(const NamedValue& v) {
    const Metric metric = v.info->family->metric;
    if (metric == Metric::State) return v.integer != 0 ? 1.0 : 0.0;
    if (IsInteger(v.info->kind)) return static_cast<double>(v.integer);
    return decimal(v.number) * UnitOf(v.info->unit).scale;
}

// What tells the sample apart within its family: the row's own label, the analog output it belongs
// to, and for a value without a known unit the output type that decides it.
std::string labelsOf(const NamedValue& v, const std::vector<NamedValue>& values) {
    std::string labels = *v.info->label ? std::string(",") + v.info->label : "";
    if (v.output == 0) return labels;
    const std::string output = std::to_string(v.output);
    labels += ",output=\"" + output + "\"";
    if (v.info->family->metric == Metric::UnitFree)
        if (const NamedValue* type = FindNamed(values, "analog" + output + "_output_type"))
            labels += ",output_type=\"" + ExactText(*type) + "\"";
    return labels;
}

// Every family a block gives, with the samples of one analyser's values (none to only declare them).
void addBlock(Families& families, const std::string& block, const AnalyserPoll* poll,
              const std::vector<NamedValue>& values) {
    for (const BlockInfo* table : ValueTablesOf(block))
        for (const ValueInfo& row : table->values)
            if (row.family) familyOf(families, row);
    if (!poll) return;
    for (const NamedValue& v : values)
        if (v.info->family && !poll->withheld.count(v.name()))
            familyOf(families, *v.info).samples.push_back({poll, labelsOf(v, values), exported(v)});
}

} // namespace

bool IsServedBlock(const std::string& block) {
    for (const char* b : {"network", "energy", "demand", "maxmin", "status"})
        if (block == b) return true;
    return false;
}

void Exposition(std::string& out, const std::vector<AnalyserPoll>& polls, const std::vector<std::string>& blocks,
                double now, double maxAge, double roundSeconds) {
    Families families;
    Family& up = families.findOrAdd(
        "rq55_up", "Whether the analyser's last poll was read whole and is fresh (1) or not (0)", "gauge", false);
    Family& success = families.findOrAdd("rq55_last_success_timestamp_seconds",
                                         "When the analyser last answered a poll whole", "gauge", false);
    Family& polled = families.findOrAdd("rq55_last_poll_timestamp_seconds",
                                        "When the analyser's last poll ended, whole or not", "gauge", false);
    Family& duration =
        families.findOrAdd("rq55_poll_duration_seconds", "How long the last poll of the analyser took", "gauge", false);
    Family& failures =
        families.findOrAdd("rq55_read_failures_total", "Reads of the analyser that failed, by reason", "counter", false);
    for (const AnalyserPoll& p : polls) {
        // An address where no meter ever answered is no analyser that went down; nor is one
        // remembered from an earlier run before it is asked in this one.
        if (p.everAnswered && p.lastPoll > 0) up.samples.push_back({&p, "", IsFresh(p, now, maxAge) ? 1.0 : 0.0});
        if (p.lastSuccess > 0) success.samples.push_back({&p, "", p.lastSuccess});
        // An address not asked yet has had no poll to time.
        if (p.lastPoll > 0) polled.samples.push_back({&p, "", p.lastPoll});
        if (p.lastPoll > 0) duration.samples.push_back({&p, "", p.pollSeconds});
        for (const auto& [reason, count] : p.failures)
            failures.samples.push_back({&p, ",reason=\"" + escaped(reason) + "\"", static_cast<double>(count)});
    }
    for (const std::string& block : blocks) {
        addBlock(families, block, nullptr, {});
        for (const AnalyserPoll& p : polls) {
            const auto found = p.blocks.find(block);
            if (IsFresh(p, now, maxAge) && found != p.blocks.end()) addBlock(families, block, &p, found->second);
        }
    }
    families.appendTo(out);
    if (roundSeconds > 0)
        out += "# HELP rq55_round_duration_seconds How long the last round over every address took\n"
               "# TYPE rq55_round_duration_seconds gauge\nrq55_round_duration_seconds " +
               number(roundSeconds) + "\n";
}
