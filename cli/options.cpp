#include "options.h"

#include <CLI/App.hpp>
#include <CLI/Config.hpp>
#include <CLI/Formatter.hpp>

#include "link/link_settings.h"
#include "option_table.h"

namespace {

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

const std::span<const OptionRow> kOptions = OptionTable();

// The commands, as --help lists them.
const char* const kCommands =
    "Commands:\n"
    "  identify                 model code, serial number, model/version texts\n"
    "  read BLOCK               network, energy, maxmin, demand, inout, analog1..analog4, config, status\n"
    "  backup FILE              the output configuration to a file of 170 numbers; with several addresses\n"
    "                           FILE must hold %a, replaced by the address\n"
    "  restore FILE             writes a configuration file (--verify reads it back and compares)\n"
    "  diff FILE                lists each register whose file value differs from the analyser's\n"
    "  scan                     finds analysers on the addresses (and baud rates and framings) given\n"
    "  report FILE              a commissioning report; FILE may hold %a\n"
    "  check                    is it wired right? the wiring faults one read of the network block shows\n"
    "                           (--format text or json)\n"
    "  serve                    polls the addresses' blocks every interval until Ctrl-C or SIGTERM, for\n"
    "                           Prometheus (--metrics) and MQTT (--mqtt)\n"
    "\n"
    "Exit status: 0 success; 1 an analyser did not answer, refused a write, or the link could not be\n"
    "opened; 2 a usage error or a bad file; 3 diff found differences, restore --verify found a\n"
    "register that did not take, or check found a wiring fault. scan: 0 when it found an analyser, 1 when\n"
    "it found none.\n";

struct Parsed {
    std::vector<std::vector<std::string>> values = std::vector<std::vector<std::string>>(kOptions.size());
    std::vector<int> flags = std::vector<int>(kOptions.size());
    std::vector<std::string> words;
    bool help = false, version = false;
};

// --help's descriptions, wrapped beside their options' column.
class WrappedHelp : public CLI::Formatter {
  public:
    std::string make_option_desc(const CLI::Option* option) const override {
        constexpr size_t kWidth = 72;
        std::string text = CLI::Formatter::make_option_desc(option), out;
        while (text.size() > kWidth) {
            size_t cut = text.rfind(' ', kWidth);
            if (cut == std::string::npos) cut = kWidth;
            out += text.substr(0, cut) + "\n";
            text = text.substr(cut + 1);
        }
        return out + text;
    }
};

// The parser, built from the table.
std::unique_ptr<CLI::App> parserFor(Parsed& parsed) {
    auto app = std::make_unique<CLI::App>("rq55ctl: an RQ55 analyser from the command line", "rq55ctl");
    app->set_help_flag();
    app->add_flag("-h,--help", parsed.help, "this text");
    app->add_flag("--version", parsed.version, "the version");
    for (size_t i = 0; i < kOptions.size(); ++i) {
        const OptionRow& row = kOptions[i];
        if (!*row.value) {
            app->add_flag(row.name, parsed.flags[i], row.help)->group(row.heading);
            continue;
        }
        app->add_option(row.name, parsed.values[i], row.help)
            ->group(row.heading)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->allow_extra_args(false)
            ->type_name(row.value)
            ->expected(1);
    }
    app->add_option("command", parsed.words, "the command and its argument")->type_name("COMMAND [ARG]");
    app->allow_extras();
    app->positionals_at_end(false);
    app->footer(kCommands);
    app->formatter(std::make_shared<WrappedHelp>());
    app->get_formatter()->column_width(28);
    return app;
}

} // namespace

std::string UsageText() {
    Parsed parsed;
    return parserFor(parsed)->help("", CLI::AppFormatMode::All);
}

bool ParseCommandLine(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
    // Longer than any path the system takes: refused with its length, never echoed whole.
    constexpr size_t kLongestArgument = 4096;
    for (const std::string& a : args)
        if (a.size() > kLongestArgument)
            return fail(error, "an argument of " + std::to_string(a.size()) +
                                   " characters is longer than any this tool takes (" +
                                   std::to_string(kLongestArgument) + ")");
    Parsed parsed;
    const std::unique_ptr<CLI::App> app = parserFor(parsed);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app->parse(reversed);
    } catch (const CLI::ParseError&) {
        // The one thing the parser refuses itself: an option that takes a value, last and without it.
        return fail(error, (args.empty() ? std::string("an option") : args.back()) + " needs a value");
    }
    if (parsed.help || parsed.version) {
        o.command = parsed.help ? "help" : "version";
        return true;
    }
    for (const std::string& extra : app->remaining())
        if (extra.rfind("-", 0) == 0) return fail(error, "unknown option " + extra);
    bool serveOption = false;
    for (size_t i = 0; i < kOptions.size(); ++i) {
        for (int n = 0; n < parsed.flags[i]; ++n) parsed.values[i].push_back("");
        for (const std::string& value : parsed.values[i]) {
            if (!kOptions[i].take(o, kOptions[i].name, value, error)) return false;
            serveOption = serveOption || kOptions[i].serveOnly;
        }
    }
    for (const std::string& word : parsed.words) {
        if (!o.command.empty()) {
            o.arguments.push_back(word);
            continue;
        }
        if (!IsCommand(word)) return fail(error, "unknown command \"" + word + "\"");
        o.command = word;
    }
    if (o.command.empty()) return fail(error, "no command given");
    if (o.links != 1)
        return fail(error, o.links == 0 ? "no link given: --tcp HOST[:PORT], --serial DEVICE or --com N"
                                        : "give one link only: --tcp, --serial or --com");
    const bool tls = !o.tlsCert.empty() || !o.tlsKey.empty() || !o.tlsCa.empty();
    if (tls && (o.tlsCert.empty() || o.tlsKey.empty() || o.tlsCa.empty()))
        return fail(error, "--tls-cert, --tls-key and --tls-ca go together");
    if (tls && o.host.empty()) return fail(error, "--tls-cert, --tls-key and --tls-ca are for a --tcp link");
    if (tls && o.protocol == Protocol::RtuOverTcp)
        return fail(error, "Modbus/TCP Security is Modbus/TCP over TLS: --rtu-over-tcp does not go with --tls-cert");
    // Modbus/TCP Security speaks Modbus/TCP on any port.
    if (tls) o.protocol = Protocol::ModbusTcp;
    if (o.tcpPort == 0) o.tcpPort = tls ? kModbusTlsPort : kModbusTcpPort;
    const size_t wanted = o.command == "read" || o.command == "backup" || o.command == "restore" ||
                          o.command == "diff" || o.command == "report";
    if (o.arguments.size() != wanted) return fail(error, o.command + (wanted ? " takes one argument" : " takes no argument"));
    if (o.command != "scan" && (o.scanBauds.size() > 1 || o.scanFramings.size() > 1))
        return fail(error, "lists of baud rates and framings are for scan only");
    const bool reportFormat = o.format == Format::Pdf || o.format == Format::Html;
    if (o.format != Format::ByName && reportFormat != (o.command == "report"))
        return fail(error, o.command == "report" ? "--format of report: pdf or html" : "--format pdf and html are for report only");
    if (o.command == "check" && o.format == Format::Csv) return fail(error, "--format of check: text or json");
    if (serveOption && o.command != "serve")
        return fail(error, "--interval, --blocks, --max-age, --instance, --state-dir, --metrics, --web-config, --mqtt, --ha "
                           "and --gateway options are for serve only");
    if (!o.title.empty() && o.command != "report") return fail(error, "--title is for report only");
    if (!o.mqtt.host.empty() && o.mqtt.port == 0) o.mqtt.port = o.mqttTls ? kMqttTlsPort : kMqttPort;
    if (o.count > 0 && o.watchSeconds <= 0) return fail(error, "--count goes with --watch");
    return true;
}
