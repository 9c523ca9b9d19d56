#include "serve/exposition.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>

namespace {

// A quantity: its family's name without the unit, the unit's suffix, what it is, and how its
// value becomes the base unit.
struct Quantity {
    const char* family;
    const char* unit;
    const char* help;
    double scale;
};

constexpr Quantity kVoltage{"rq55_voltage", "_volts", "Voltage, phase to neutral or between phases", 1};
constexpr Quantity kCurrent{"rq55_current", "_amperes", "Current of a phase or of the neutral", 1};
constexpr Quantity kActive{"rq55_active_power", "_watts", "Active power, of a phase or in total", 1000};
constexpr Quantity kReactive{"rq55_reactive_power", "_var", "Reactive power, of a phase or in total", 1000};
constexpr Quantity kApparent{"rq55_apparent_power", "_volt_amperes", "Apparent power, of a phase or in total", 1000};
constexpr Quantity kPowerFactor{"rq55_power_factor", "", "Power factor, of a phase or in total", 1};
constexpr Quantity kFrequency{"rq55_frequency", "_hertz", "Frequency of the network", 1};
constexpr Quantity kPhaseAverage{"rq55_voltage_phase_average", "_volts", "Average of the phase voltages", 1};
constexpr Quantity kLineAverage{"rq55_voltage_line_average", "_volts", "Average of the voltages between phases", 1};
constexpr Quantity kCurrentAverage{"rq55_current_average", "_amperes", "Average of the phase currents", 1};

// A value of the network block (and of the maxima and minima, which follow its names) as a
// quantity and its phase ("" for a total).
struct Measured {
    const char* name;
    const Quantity* quantity;
    const char* phase;
};
constexpr Measured kMeasured[] = {
    {"V1", &kVoltage, "L1"},          {"V2", &kVoltage, "L2"},           {"V3", &kVoltage, "L3"},
    {"V12", &kVoltage, "L1-L2"},      {"V23", &kVoltage, "L2-L3"},       {"V31", &kVoltage, "L3-L1"},
    {"I1", &kCurrent, "L1"},          {"I2", &kCurrent, "L2"},           {"I3", &kCurrent, "L3"},
    {"IN", &kCurrent, "N"},           {"P1", &kActive, "L1"},            {"P2", &kActive, "L2"},
    {"P3", &kActive, "L3"},           {"P_total", &kActive, ""},         {"Q1", &kReactive, "L1"},
    {"Q2", &kReactive, "L2"},         {"Q3", &kReactive, "L3"},          {"Q_total", &kReactive, ""},
    {"S1", &kApparent, "L1"},         {"S2", &kApparent, "L2"},          {"S3", &kApparent, "L3"},
    {"S_total", &kApparent, ""},      {"PF1", &kPowerFactor, "L1"},      {"PF2", &kPowerFactor, "L2"},
    {"PF3", &kPowerFactor, "L3"},     {"PF_total", &kPowerFactor, ""},   {"frequency", &kFrequency, ""},
    {"V_phase_avg", &kPhaseAverage, ""}, {"V_line_avg", &kLineAverage, ""}, {"I_avg", &kCurrentAverage, ""},
};

// A value of the demand block: the quantity, whether it is the maximum demand, and its phase.
struct Demanded {
    const char* name;
    const Quantity* quantity;
    bool maximum;
    const char* phase;
};
constexpr Demanded kDemanded[] = {
    {"P_demand", &kActive, false, ""},       {"Q_demand", &kReactive, false, ""},
    {"S_demand", &kApparent, false, ""},     {"I1_demand", &kCurrent, false, "L1"},
    {"I2_demand", &kCurrent, false, "L2"},   {"I3_demand", &kCurrent, false, "L3"},
    {"P_max_demand", &kActive, true, ""},    {"Q_max_demand", &kReactive, true, ""},
    {"S_max_demand", &kApparent, true, ""},  {"I1_max_demand", &kCurrent, true, "L1"},
    {"I2_max_demand", &kCurrent, true, "L2"}, {"I3_max_demand", &kCurrent, true, "L3"},
};

// The energy counters: family, help, the scale from kWh, kVArh, kVAh or h, and a label.
struct Counted {
    const char* name;
    const char* family;
    const char* help;
    double scale;
    const char* quadrant;
};
constexpr double kPerKiloHour = 3.6e6;
constexpr Counted kCounted[] = {
    {"active_imported", "rq55_active_energy_imported_joules_total", "Active energy imported", kPerKiloHour, ""},
    {"active_exported", "rq55_active_energy_exported_joules_total", "Active energy exported", kPerKiloHour, ""},
    {"reactive_inductive", "rq55_reactive_energy_inductive_var_seconds_total", "Reactive energy, inductive",
     kPerKiloHour, ""},
    {"reactive_capacitive", "rq55_reactive_energy_capacitive_var_seconds_total", "Reactive energy, capacitive",
     kPerKiloHour, ""},
    {"apparent", "rq55_apparent_energy_volt_ampere_seconds_total", "Apparent energy", kPerKiloHour, ""},
    {"reactive_Q1", "rq55_reactive_energy_quadrant_var_seconds_total", "Reactive energy by quadrant", kPerKiloHour, "1"},
    {"reactive_Q2", "rq55_reactive_energy_quadrant_var_seconds_total", "Reactive energy by quadrant", kPerKiloHour, "2"},
    {"reactive_Q3", "rq55_reactive_energy_quadrant_var_seconds_total", "Reactive energy by quadrant", kPerKiloHour, "3"},
    {"reactive_Q4", "rq55_reactive_energy_quadrant_var_seconds_total", "Reactive energy by quadrant", kPerKiloHour, "4"},
    {"operating_hours", "rq55_operating_seconds_total", "Time the analyser has been measuring", 3600, ""},
    {"resets", "rq55_energy_resets_total", "Resets of the energy counters", 1, ""},
};

// One sample of a family, before it is written.
struct Sample {
    std::string labels; // after the address and serial number: ,phase="L1"
    double value;
};

struct Family {
    std::string name, help, type;
    bool withSerial; // the analyser's own families name its serial number beside its address
    std::vector<std::pair<const AnalyserPoll*, Sample>> samples;
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
    Family& operator()(const std::string& name, const std::string& help, const char* type, bool withSerial = true) {
        for (Family& f : list_)
            if (f.name == name) return f;
        return list_.emplace_back(Family{name, help, type, withSerial, {}});
    }
    std::string text() const {
        std::string out;
        for (const Family& f : list_) {
            out += "# HELP " + f.name + " " + f.help + "\n# TYPE " + f.name + " " + f.type + "\n";
            for (const auto& [poll, s] : f.samples) {
                out += f.name + "{address=\"" + std::to_string(poll->address) + "\"";
                if (f.withSerial && !poll->serial.empty()) out += ",serial=\"" + escaped(poll->serial) + "\"";
                out += s.labels + "} " + number(s.value) + "\n";
            }
        }
        return out;
    }

  private:
    std::deque<Family> list_;
};

std::string phaseLabel(const char* phase) { return *phase ? std::string(",phase=\"") + phase + "\"" : ""; }

// Every family a block gives, with the samples of one analyser's values (none to only declare them).
void addBlock(Families& families, const std::string& block, const AnalyserPoll* poll,
              const std::vector<NamedValue>& values) {
    const auto valueOf = [&](const std::string& name) -> const NamedValue* {
        for (const NamedValue& v : values)
            if (v.name == name) return &v;
        return nullptr;
    };
    const auto add = [&](const std::string& name, const std::string& help, const char* type, const NamedValue* v,
                         double scale, const std::string& labels) {
        Family& f = families(name, help, type);
        if (poll && v) f.samples.push_back({poll, {labels, decimal(v->number) * scale}});
    };
    if (block == "network" || block == "maxmin") {
        for (const char* extreme : block == "network" ? std::vector<const char*>{""} : std::vector<const char*>{"_max", "_min"})
            for (const Measured& m : kMeasured) {
                const std::string kind = !*extreme ? "" : std::strcmp(extreme, "_max") == 0 ? "_maximum" : "_minimum";
                add(std::string(m.quantity->family) + kind + m.quantity->unit,
                    std::string(m.quantity->help) + (kind.empty() ? "" : kind == "_maximum" ? ", highest recorded" : ", lowest recorded"),
                    "gauge", valueOf(std::string(m.name) + extreme), m.quantity->scale, phaseLabel(m.phase));
            }
    } else if (block == "demand") {
        for (const Demanded& d : kDemanded)
            add(std::string(d.quantity->family) + (d.maximum ? "_maximum_demand" : "_demand") + d.quantity->unit,
                std::string(d.quantity->help) + (d.maximum ? ", maximum demand" : ", present demand"), "gauge",
                valueOf(d.name), d.quantity->scale, phaseLabel(d.phase));
    } else if (block == "energy") {
        for (const Counted& c : kCounted)
            add(c.family, c.help, "counter", valueOf(c.name), c.scale,
                *c.quadrant ? std::string(",quadrant=\"") + c.quadrant + "\"" : "");
    } else if (block == "status") {
        for (const char* relay : {"1", "2"}) {
            const NamedValue* state = valueOf(std::string("relay") + relay + "_state");
            Family& f = families("rq55_relay_closed", "Whether the relay is closed (1) or open (0)", "gauge");
            if (poll && state) f.samples.push_back({poll, {std::string(",relay=\"") + relay + "\"", state->integer != 0 ? 1.0 : 0.0}});
        }
        for (const char* output : {"1", "2", "3", "4"})
            add("rq55_analog_output_present_value", "Present value of an analog output, in its own unit", "gauge",
                valueOf(std::string("analog") + output + "_present_value"), 1, std::string(",output=\"") + output + "\"");
    }
}

} // namespace

bool IsServedBlock(const std::string& block) {
    for (const char* b : {"network", "energy", "demand", "maxmin", "status"})
        if (block == b) return true;
    return false;
}

std::string Exposition(const std::vector<AnalyserPoll>& polls, const std::vector<std::string>& blocks) {
    Families families;
    Family& up = families("rq55_up", "Whether the analyser answered the last poll whole (1) or not (0)", "gauge", false);
    Family& success =
        families("rq55_last_success_timestamp_seconds", "When the analyser last answered a poll whole", "gauge", false);
    Family& duration = families("rq55_poll_duration_seconds", "How long the last poll of the analyser took", "gauge", false);
    Family& failures = families("rq55_read_failures_total", "Reads of the analyser that failed, by reason", "counter", false);
    for (const AnalyserPoll& p : polls) {
        up.samples.push_back({&p, {"", p.up ? 1.0 : 0.0}});
        if (p.lastSuccess > 0) success.samples.push_back({&p, {"", p.lastSuccess}});
        duration.samples.push_back({&p, {"", p.pollSeconds}});
        for (const auto& [reason, count] : p.failures)
            failures.samples.push_back({&p, {",reason=\"" + escaped(reason) + "\"", static_cast<double>(count)}});
    }
    for (const std::string& block : blocks) {
        addBlock(families, block, nullptr, {});
        for (const AnalyserPoll& p : polls) {
            const auto found = p.blocks.find(block);
            if (p.up && found != p.blocks.end()) addBlock(families, block, &p, found->second);
        }
    }
    return families.text();
}
