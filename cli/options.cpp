#include "options.h"

#include <algorithm>
#include <charconv>

#include "device/scan.h"
#include "link/link_settings.h"

const char* const kUsage =
    "Usage: rq55ctl [OPTIONS] COMMAND [ARGS]     (options may stand before or after COMMAND)\n"
    "\n"
    "Link (one of):\n"
    "  --tcp HOST[:PORT]        port 502 (the default) speaks Modbus/TCP, any other port RTU over TCP;\n"
    "                           --modbus-tcp / --rtu-over-tcp force either; an IPv6 address in brackets\n"
    "  --serial DEVICE          a serial device, or --com N for COM port N\n"
    "  --baud N                 default 19200\n"
    "  --framing 8N1|8O1|8E1|8N2  default 8N1\n"
    "  --address LIST           default 1 (scan: 1-247); a list such as 1,3,5-9 runs the command for each\n"
    "  --timeout MS             the wait for each reply (scan: derived from the baud rate; serve: 1 s;\n"
    "                           otherwise 2 s on a serial line, 10 s for Modbus/TCP, 15 s for RTU over TCP)\n"
    "  --pause MS               the rest before a request that follows another, 0 to 1000 (150): the\n"
    "                           analyser's own need on its own line; less for a Modbus/TCP meter or a\n"
    "                           gateway that paces its bus itself\n"
    "\n"
    "Commands:\n"
    "  identify                 model code, serial number, model/version texts\n"
    "  read BLOCK [--format text|csv|json] [--watch SECONDS [--count N]]\n"
    "                           BLOCK: network, energy, maxmin, demand, inout, analog1..analog4, config, "
    "status\n"
    "                           --watch: every SECONDS (0.2 to 86400) until --count reads or Ctrl-C; a\n"
    "                           round that fails is said on stderr, the link opened again for the next\n"
    "                           and the exit status is 1\n"
    "  backup FILE              the output configuration to a file of 170 numbers; with several addresses\n"
    "                           FILE must hold %a, replaced by the address\n"
    "  restore FILE [--verify]  writes a configuration file; --verify reads it back and compares\n"
    "  diff FILE                lists each register whose file value differs from the analyser's\n"
    "  scan [--baud LIST] [--framing LIST] [--timeout MS]\n"
    "                           finds analysers on the addresses (and baud rates and framings) given\n"
    "  report FILE [--format pdf|html] [--title TEXT]\n"
    "                           a commissioning report: the analyser, its settings and its measurements\n"
    "                           read once (pdf or html by the file's name, else pdf); FILE may hold %a\n"
    "  serve [--interval SECONDS] [--blocks LIST] [--max-age SECONDS] [--instance NAME]\n"
    "        [--metrics [HOST:]PORT [--web-config FILE]] [--mqtt [mqtts://]HOST[:PORT] [--mqtt-topic PREFIX]\n"
    "        [--mqtt-user USER [--mqtt-password-file FILE]] [--mqtt-cafile FILE] [--mqtt-capath DIR]\n"
    "        [--mqtt-cert FILE --mqtt-key FILE] [--mqtt-tls-version tlsv1.2|tlsv1.3]\n"
    "        [--ha-discovery [--ha-prefix PREFIX]]]\n"
    "                           polls the addresses' blocks (network, energy, demand; maxmin, status)\n"
    "                           every SECONDS (5) until Ctrl-C or SIGTERM: GET /metrics for Prometheus\n"
    "                           (host 127.0.0.1 by default), and/or PREFIX/<serial>/<block> on an MQTT\n"
    "                           broker (password from RQ55_MQTT_PASSWORD). A value older than --max-age\n"
    "                           (3 intervals and a reply wait) is never exported. --web-config: TLS and\n"
    "                           passwords for /metrics (Prometheus' exporter format). mqtts:// or a CA\n"
    "                           option: TLS to the broker (port 8883). --ha-discovery announces each\n"
    "                           analyser to Home Assistant (prefix homeassistant)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 success; 1 an analyser did not answer, refused a write, or the link could not be\n"
    "opened; 2 a usage error or a bad file; 3 diff found differences or restore --verify found a\n"
    "register that did not take. scan: 0 when it found an analyser, 1 when it found none.\n";

namespace {

bool toInt(const std::string& text, long low, long high, long& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end && !text.empty() && value >= low && value <= high;
}

bool toSeconds(const std::string& text, double low, double high, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return ec == std::errc{} && ptr == end && !text.empty() && value >= low && value <= high;
}

bool toIntList(const std::string& text, long low, long high, std::vector<int>& values) {
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        long value = 0;
        if (!toInt(text.substr(from, comma - from), low, high, value)) return false;
        values.push_back(static_cast<int>(value));
        from = comma + 1;
    }
    return !values.empty();
}

// serve's options that take a text: where it goes, what it names, and whether it asks for TLS to
// the broker (a CA, a client certificate or key).
struct TextOption {
    const char* name;
    std::string CliOptions::*target;
    const char* what;
    bool tls;
};
constexpr TextOption kServeTextOptions[] = {
    {"--web-config", &CliOptions::webConfig, "a file", false},
    {"--mqtt-password-file", &CliOptions::mqttPasswordFile, "a file", false},
    {"--mqtt-cafile", &CliOptions::mqttCafile, "a file", true},
    {"--mqtt-capath", &CliOptions::mqttCapath, "a file", true},
    {"--mqtt-cert", &CliOptions::mqttCert, "a file", true},
    {"--mqtt-key", &CliOptions::mqttKey, "a file", true},
    {"--mqtt-topic", &CliOptions::mqttTopic, "a value", false},
    {"--mqtt-user", &CliOptions::mqttUser, "a value", false},
    {"--instance", &CliOptions::instance, "a value", false},
    {"--ha-prefix", &CliOptions::haPrefix, "a value", false},
};

const TextOption* serveTextOption(const std::string& name) {
    for (const TextOption& t : kServeTextOptions)
        if (name == t.name) return &t;
    return nullptr;
}

bool isCommand(const std::string& word) {
    for (const char* c : {"identify", "read", "backup", "restore", "diff", "scan", "report", "serve"})
        if (word == c) return true;
    return false;
}

} // namespace

bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error) {
    addresses.clear();
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const std::string item = text.substr(from, comma - from);
        const size_t dash = item.find('-');
        long first = 0, last = 0;
        const bool ok = dash == std::string::npos
                            ? toInt(item, 1, 247, first) && (last = first, true)
                            : toInt(item.substr(0, dash), 1, 247, first) &&
                                  toInt(item.substr(dash + 1), 1, 247, last) && first <= last;
        if (!ok) {
            error = "--address: \"" + item + "\" is not an address 1-247 or a range such as 5-9";
            return false;
        }
        for (long a = first; a <= last; ++a)
            if (std::find(addresses.begin(), addresses.end(), a) == addresses.end())
                addresses.push_back(static_cast<int>(a));
        from = comma + 1;
    }
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
    bool serveOption = false;
    // Longer than any path the system takes: refused with its length, never echoed whole.
    constexpr size_t kLongestArgument = 4096;
    for (const std::string& a : args)
        if (a.size() > kLongestArgument) {
            error = "an argument of " + std::to_string(a.size()) + " characters is longer than any this tool takes (" +
                    std::to_string(kLongestArgument) + ")";
            return false;
        }
    int links = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // An option that takes a value: the next word, which must be there.
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            o.command = "help";
            return true;
        } else if (a == "--version") {
            o.command = "version";
            return true;
        } else if (a == "--tcp") {
            if (!value(v)) return false;
            ++links;
            if (isCommand(v) || v.rfind('-', 0) == 0) {
                error = "--tcp needs a host name before \"" + v + "\"";
                return false;
            }
            HostPort place;
            if (!ParseHostPort(v, kModbusTcpPort, "", place, error)) {
                error = "--tcp: " + error;
                return false;
            }
            o.host = place.host;
            o.tcpPort = place.port;
        } else if (a == "--modbus-tcp") {
            o.protocol = Protocol::ModbusTcp;
        } else if (a == "--rtu-over-tcp") {
            o.protocol = Protocol::RtuOverTcp;
        } else if (a == "--serial") {
            if (!value(o.serialDevice)) return false;
            ++links;
            if (isCommand(o.serialDevice) || o.serialDevice.rfind('-', 0) == 0) {
                error = "--serial needs a device before \"" + o.serialDevice + "\"";
                return false;
            }
        } else if (a == "--com") {
            if (!value(v)) return false;
            if (!toInt(v, 1, 98, n)) {
                error = "--com: \"" + v + "\" is not a COM port 1-98";
                return false;
            }
            o.comPort = static_cast<int>(n);
            ++links;
        } else if (a == "--baud") {
            // scan takes a list; every other command one rate.
            o.scanBauds.clear();
            if (!value(v)) return false;
            if (!toIntList(v, 50, 4000000, o.scanBauds)) {
                error = "--baud: \"" + v + "\" is not a baud rate or a list of them";
                return false;
            }
            o.baud = o.scanBauds.front();
        } else if (a == "--framing") {
            o.scanFramings.clear();
            if (!value(v)) return false;
            for (size_t from = 0; from <= v.size();) {
                const size_t comma = std::min(v.find(',', from), v.size());
                const int mode = FramingFromName(v.substr(from, comma - from));
                if (mode < 0) {
                    error =
                        "--framing: \"" + v.substr(from, comma - from) + "\" is none of 8N1, 8O1, 8E1, 8N2";
                    return false;
                }
                o.scanFramings.push_back(mode);
                from = comma + 1;
            }
            o.framing = o.scanFramings.front();
        } else if (a == "--address") {
            if (!value(v) || !ParseAddressList(v, o.addresses, error)) return false;
        } else if (a == "--format") {
            if (!value(v)) return false;
            const std::pair<const char*, Format> formats[] = {{"text", Format::Text}, {"csv", Format::Csv},
                                                               {"json", Format::Json}, {"pdf", Format::Pdf},
                                                               {"html", Format::Html}};
            o.format = Format::ByName;
            for (const auto& [name, format] : formats)
                if (v == name) o.format = format;
            if (o.format == Format::ByName) {
                error = "--format: \"" + v + "\" is none of text, csv, json (read), pdf, html (report)";
                return false;
            }
        } else if (a == "--title") {
            if (!value(o.title)) return false;
        } else if (a == "--interval") {
            if (!value(v)) return false;
            if (!toSeconds(v, 0.2, 86400, o.interval)) {
                error = "--interval: \"" + v + "\" is not a period of 0.2 to 86400 seconds";
                return false;
            }
            serveOption = true;
        } else if (a == "--blocks") {
            if (!value(v)) return false;
            o.serveBlocks.clear();
            for (size_t from = 0; from <= v.size();) {
                const size_t comma = std::min(v.find(',', from), v.size());
                o.serveBlocks.push_back(v.substr(from, comma - from));
                from = comma + 1;
            }
            serveOption = true;
        } else if (a == "--metrics" || a == "--mqtt") {
            // A listening port is never guessed; a broker's is the usual one (for plain MQTT or
            // TLS, known once every option is read) unless given.
            const bool metrics = a == "--metrics";
            HostPort& place = metrics ? o.metrics : o.mqtt;
            if (!value(v)) return false;
            if (!metrics && v.rfind("mqtts://", 0) == 0) o.mqttTls = true;
            if (!metrics && (v.rfind("mqtts://", 0) == 0 || v.rfind("mqtt://", 0) == 0)) v = v.substr(v.find("//") + 2);
            if (!ParseHostPort(v, 0, metrics ? kMetricsHost : "", place, error) ||
                (metrics && place.port == 0 && (error = "\"" + v + "\" has no port", true))) {
                error = a + ": " + error;
                return false;
            }
            serveOption = true;
        } else if (const TextOption* text = serveTextOption(a)) {
            std::string& target = o.*(text->target);
            if (!value(target)) return false;
            if (target.empty()) {
                error = a + " needs " + text->what;
                return false;
            }
            if (text->tls) o.mqttTls = true;
            serveOption = true;
        } else if (a == "--mqtt-tls-version") {
            if (!value(v)) return false;
            if (v != "tlsv1.2" && v != "tlsv1.3") {
                error = "--mqtt-tls-version: \"" + v + "\" is neither tlsv1.2 nor tlsv1.3";
                return false;
            }
            o.mqttTls13 = v == "tlsv1.3";
            o.mqttTls = true;
            serveOption = true;
        } else if (a == "--max-age") {
            if (!value(v)) return false;
            if (!toSeconds(v, 0.2, 4 * 86400, o.maxAge)) {
                error = "--max-age: \"" + v + "\" is not an age of 0.2 to 345600 seconds";
                return false;
            }
            serveOption = true;
        } else if (a == "--pause") {
            if (!value(v)) return false;
            if (!toInt(v, 0, 1000, n)) {
                error = "--pause: \"" + v + "\" is not a rest of 0 to 1000 ms";
                return false;
            }
            o.pauseMs = static_cast<int>(n);
        } else if (a == "--ha-discovery") {
            o.haDiscovery = true;
            serveOption = true;
        } else if (a == "--watch") {
            if (!value(v)) return false;
            if (!toSeconds(v, 0.2, 86400, o.watchSeconds)) {
                error = "--watch: \"" + v + "\" is not a period of 0.2 to 86400 seconds";
                return false;
            }
        } else if (a == "--count") {
            if (!value(v)) return false;
            if (!toInt(v, 1, 1000000000, n)) {
                error = "--count: \"" + v + "\" is not a count of 1 or more";
                return false;
            }
            o.count = n;
        } else if (a == "--verify") {
            o.verify = true;
        } else if (a == "--timeout") {
            if (!value(v)) return false;
            if (!toInt(v, 1, 60000, n)) {
                error = "--timeout: \"" + v + "\" is not a time of 1 to 60000 ms";
                return false;
            }
            o.timeoutMs = static_cast<int>(n);
        } else if (a.rfind("--", 0) == 0) {
            error = "unknown option " + a;
            return false;
        } else if (o.command.empty()) {
            if (!isCommand(a)) {
                error = "unknown command \"" + a + "\"";
                return false;
            }
            o.command = a;
        } else {
            o.arguments.push_back(a);
        }
    }
    if (o.command.empty()) {
        error = "no command given";
        return false;
    }
    if (links != 1) {
        error = links == 0 ? "no link given: --tcp HOST[:PORT], --serial DEVICE or --com N"
                           : "give one link only: --tcp, --serial or --com";
        return false;
    }
    const size_t wanted = o.command == "read" || o.command == "backup" || o.command == "restore" ||
                          o.command == "diff" || o.command == "report";
    if (o.arguments.size() != wanted) {
        error = o.command + (wanted ? " takes one argument" : " takes no argument");
        return false;
    }
    if (o.command != "scan" && (o.scanBauds.size() > 1 || o.scanFramings.size() > 1)) {
        error = "lists of baud rates and framings are for scan only";
        return false;
    }
    const bool reportFormat = o.format == Format::Pdf || o.format == Format::Html;
    if (o.format != Format::ByName && reportFormat != (o.command == "report")) {
        error = o.command == "report" ? "--format of report: pdf or html" : "--format pdf and html are for report only";
        return false;
    }
    if (serveOption && o.command != "serve") {
        error = "--interval, --blocks, --max-age, --instance, --metrics, --web-config, --mqtt and --ha options are for serve "
                "only";
        return false;
    }
    if (!o.title.empty() && o.command != "report") {
        error = "--title is for report only";
        return false;
    }
    if (!o.mqtt.host.empty() && o.mqtt.port == 0) o.mqtt.port = o.mqttTls ? kMqttTlsPort : kMqttPort;
    if (o.count > 0 && o.watchSeconds <= 0) {
        error = "--count goes with --watch";
        return false;
    }
    return true;
}
