#include "option_table.h"

#include <algorithm>
#include <charconv>

#include "device/scan.h"
#include "link/link_settings.h"

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

std::vector<std::string> items(const std::string& text) {
    std::vector<std::string> out;
    for (size_t from = 0; from <= text.size();) {
        const size_t comma = std::min(text.find(',', from), text.size());
        out.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return out;
}

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// A serve option that takes a text: where it goes, and whether it asks for TLS to the broker.
template <std::string CliOptions::*target, bool tls = false>
bool text(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    if (value.empty()) return fail(error, option + " needs a value");
    o.*target = value;
    if (tls) o.mqttTls = true;
    return true;
}

bool linkName(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    ++o.links;
    if (IsCommand(value) || value.rfind('-', 0) == 0)
        return fail(error, option + (option == "--tcp" ? " needs a host name before \"" : " needs a device before \"") +
                               value + "\"");
    if (option == "--serial") {
        o.serialDevice = value;
        return true;
    }
    HostPort place;
    if (!ParseHostPort(value, 0, "", place, error)) return fail(error, "--tcp: " + error);
    o.host = place.host;
    o.tcpPort = place.port;
    return true;
}

bool comPort(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    long n = 0;
    ++o.links;
    if (!toInt(value, 1, 98, n)) return fail(error, "--com: \"" + value + "\" is not a COM port 1-98");
    o.comPort = static_cast<int>(n);
    return true;
}

// scan takes lists of baud rates and framings; every other command one of each.
bool bauds(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    o.scanBauds.clear();
    for (const std::string& item : items(value)) {
        long n = 0;
        if (!toInt(item, 50, 4000000, n)) return fail(error, "--baud: \"" + value + "\" is not a baud rate or a list of them");
        o.scanBauds.push_back(static_cast<int>(n));
    }
    o.baud = o.scanBauds.front();
    return true;
}

bool framings(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    o.scanFramings.clear();
    for (const std::string& item : items(value)) {
        const int mode = FramingFromName(item);
        if (mode < 0) return fail(error, "--framing: \"" + item + "\" is none of 8N1, 8O1, 8E1, 8N2");
        o.scanFramings.push_back(mode);
    }
    o.framing = o.scanFramings.front();
    return true;
}

bool addresses(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    return ParseAddressList(value, o.addresses, error);
}

bool format(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    const std::pair<const char*, Format> formats[] = {{"text", Format::Text}, {"csv", Format::Csv}, {"json", Format::Json},
                                                       {"pdf", Format::Pdf},   {"html", Format::Html}};
    for (const auto& [name, f] : formats)
        if (value == name) {
            o.format = f;
            return true;
        }
    return fail(error, "--format: \"" + value + "\" is none of text, csv, json (read), pdf, html (report)");
}

template <double CliOptions::*target, int low, int high>
bool seconds(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    if (toSeconds(value, low == 0 ? 0.2 : low, high, o.*target)) return true;
    return fail(error, option + ": \"" + value + "\" is not " + (option == "--max-age" ? "an age" : "a period") +
                           " of 0.2 to " + std::to_string(high) + " seconds");
}

// --gateway-fresh: 0 turns the answers from serve's polls off.
bool fresh(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    if (toSeconds(value, 0, 86400, o.gatewayFresh)) return true;
    return fail(error, "--gateway-fresh: \"" + value + "\" is not an age of 0 to 86400 seconds");
}

bool place(CliOptions& o, const std::string& option, const std::string& given, std::string& error) {
    // A listening port is never guessed; a broker's is the usual one (for plain MQTT or TLS, known
    // once every option is read) unless given.
    const bool metrics = option == "--metrics";
    std::string value = given;
    if (!metrics && value.rfind("mqtts://", 0) == 0) o.mqttTls = true;
    if (!metrics && (value.rfind("mqtts://", 0) == 0 || value.rfind("mqtt://", 0) == 0)) value = value.substr(value.find("//") + 2);
    HostPort& target = metrics ? o.metrics : o.mqtt;
    if (!ParseHostPort(value, 0, metrics ? kMetricsHost : "", target, error) ||
        (metrics && target.port == 0 && (error = "\"" + value + "\" has no port", true)))
        return fail(error, option + ": " + error);
    return true;
}

// --gateway: port 502 speaks Modbus/TCP and any other RTU frames, as the link's --tcp chooses.
bool gateway(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    GatewayPlace door;
    if (!ParseHostPort(value, 0, kMetricsHost, door.place, error) ||
        (door.place.port == 0 && (error = "\"" + value + "\" has no port", true)))
        return fail(error, option + ": " + error);
    door.tls = option == "--gateway-tls";
    door.modbusTcp = option == "--gateway" ? door.place.port == kModbusTcpPort : option != "--gateway-rtu-over-tcp";
    o.gateways.push_back(door);
    return true;
}

bool gatewayWrites(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    if (value != "deny" && value != "allow")
        return fail(error, "--gateway-writes: \"" + value + "\" is neither deny nor allow");
    o.gatewayWrites = value == "allow";
    return true;
}

bool gatewayUnit(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    const size_t equals = value.find('=');
    long from = 0, to = 0;
    // 0=broadcast, named: the one way a client's request reaches every device at once.
    const bool broadcast = value == "0=broadcast";
    if (!broadcast && (equals == std::string::npos || !toInt(value.substr(0, equals), 0, 255, from) ||
                       !toInt(value.substr(equals + 1), 1, 247, to)))
        return fail(error, "--gateway-unit: \"" + value + "\" is not FROM=TO, a unit id 0-255 and an address 1-247, "
                           "or 0=broadcast");
    if (!o.gatewayUnits.emplace(from, to).second)
        return fail(error, "--gateway-unit: unit " + std::to_string(from) + " is mapped twice");
    return true;
}

bool tlsVersion(CliOptions& o, const std::string&, const std::string& value, std::string& error) {
    if (value != "tlsv1.2" && value != "tlsv1.3")
        return fail(error, "--mqtt-tls-version: \"" + value + "\" is neither tlsv1.2 nor tlsv1.3");
    o.mqttTls13 = value == "tlsv1.3";
    o.mqttTls = true;
    return true;
}

template <int CliOptions::*target, int low, int high>
bool whole(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    long n = 0;
    if (!toInt(value, low, high, n)) {
        const std::string what = option == "--pause"   ? "a rest of 0 to 1000 ms"
                                 : option == "--count" ? "a count of 1 or more"
                                                       : "a time of 1 to 60000 ms";
        return fail(error, option + ": \"" + value + "\" is not " + what);
    }
    o.*target = static_cast<int>(n);
    return true;
}

bool count(CliOptions& o, const std::string& option, const std::string& value, std::string& error) {
    long n = 0;
    if (!toInt(value, 1, 1000000000, n)) return fail(error, option + ": \"" + value + "\" is not a count of 1 or more");
    o.count = n;
    return true;
}

template <bool CliOptions::*target>
bool flag(CliOptions& o, const std::string&, const std::string&, std::string&) {
    o.*target = true;
    return true;
}
bool modbusTcp(CliOptions& o, const std::string&, const std::string&, std::string&) {
    o.protocol = Protocol::ModbusTcp;
    return true;
}
bool rtuOverTcp(CliOptions& o, const std::string&, const std::string&, std::string&) {
    o.protocol = Protocol::RtuOverTcp;
    return true;
}
bool blocks(CliOptions& o, const std::string&, const std::string& value, std::string&) {
    o.serveBlocks = items(value);
    return true;
}
bool title(CliOptions& o, const std::string&, const std::string& value, std::string&) {
    o.title = value;
    return true;
}

const OptionRow kOptions[] = {
    {"--tcp", "HOST[:PORT]", "Link (one of)",
     "port 502 (the default) speaks Modbus/TCP, any other port RTU over TCP; an IPv6 address in brackets", linkName},
    {"--serial", "DEVICE", "Link (one of)", "a serial device", linkName},
    {"--com", "N", "Link (one of)", "COM port N", comPort},
    {"--modbus-tcp", "", "Link (one of)", "Modbus/TCP whatever the TCP port", modbusTcp},
    {"--rtu-over-tcp", "", "Link (one of)", "RTU frames over TCP whatever the TCP port", rtuOverTcp},
    {"--tls-cert", "FILE", "Link (one of)",
     "Modbus/TCP Security to the --tcp host (port 802 unless given): this client's certificate, whose role "
     "decides what it may write; with --tls-key and --tls-ca",
     text<&CliOptions::tlsCert>},
    {"--tls-key", "FILE", "Link (one of)", "the key of --tls-cert", text<&CliOptions::tlsKey>},
    {"--tls-ca", "FILE", "Link (one of)", "the authority the server's certificate must come from",
     text<&CliOptions::tlsCa>},
    {"--baud", "N", "Link (one of)", "default 19200 (scan: a list)", bauds},
    {"--framing", "8N1|8O1|8E1|8N2", "Link (one of)", "default 8N1 (scan: a list)", framings},
    {"--address", "LIST", "Link (one of)", "default 1 (scan: 1-247); a list such as 1,3,5-9 runs the command for each",
     addresses},
    {"--timeout", "MS", "Link (one of)",
     "the wait for each reply (scan: from the baud rate; serve: 1 s; otherwise 2 s on a serial line, 10 s for "
     "Modbus/TCP, 15 s for RTU over TCP)",
     whole<&CliOptions::timeoutMs, 1, 60000>},
    {"--pause", "MS", "Link (one of)",
     "the rest before a request that follows another, 0 to 1000 (150): the analyser's own need on its own line; "
     "less for a Modbus/TCP meter or a gateway that paces its bus itself",
     whole<&CliOptions::pauseMs, 0, 1000>},
    {"--format", "FORMAT", "Options of read, restore and report", "read: text, csv or json; check: text or json; report: pdf or html (by the file's name, else pdf)",
     format},
    {"--watch", "SECONDS", "Options of read, restore and report",
     "read every SECONDS (0.2 to 86400) until --count reads or Ctrl-C; a round that fails is said on stderr, the "
     "link opened again for the next and the exit status is 1",
     seconds<&CliOptions::watchSeconds, 0, 86400>},
    {"--count", "N", "Options of read, restore and report", "the reads of --watch", count},
    {"--verify", "", "Options of read, restore and report", "restore: read the registers back and compare", flag<&CliOptions::verify>},
    {"--title", "TEXT", "Options of read, restore and report", "report: the installation and the person", title},
    {"--exports", "", "Options of read, restore and report",
     "check and report: the site delivers power to the grid (the wiring is judged as if it draws power otherwise)",
     flag<&CliOptions::exports>},
    {"--interval", "SECONDS", "serve", "from the start of one round to the next (5)",
     seconds<&CliOptions::interval, 0, 86400>, true},
    {"--blocks", "LIST", "serve", "network, energy, demand (the default); maxmin, status", blocks, true},
    {"--max-age", "SECONDS", "serve", "a value older than this is never exported (3 intervals and a reply wait)",
     seconds<&CliOptions::maxAge, 0, 345600>, true},
    {"--counter-confirm", "N", "serve",
     "a counter reading lower than the one exported is exported once it has held on N polls in a row (5)",
     whole<&CliOptions::counterConfirm, 1, 1000>, true},
    {"--instance", "NAME", "serve", "the name this serve goes by (this host and the link)",
     text<&CliOptions::instance>, true},
    {"--state-dir", "DIR", "serve", "remember there the meter at each address, across restarts",
     text<&CliOptions::stateDir>, true},
    {"--metrics", "[HOST:]PORT", "serve", "GET /metrics for Prometheus (host 127.0.0.1 unless given)", place, true},
    {"--web-config", "FILE", "serve", "TLS and passwords for /metrics (Prometheus' exporter format)",
     text<&CliOptions::webConfig>, true},
    {"--mqtt", "[mqtts://]HOST[:PORT]", "serve", "PREFIX/<serial>/<block> on an MQTT broker (port 1883, TLS 8883)",
     place, true},
    {"--mqtt-topic", "PREFIX", "serve", "the topics' prefix (rq55)", text<&CliOptions::mqttTopic>, true},
    {"--mqtt-user", "USER", "serve", "the broker's user; the password from --mqtt-password-file or RQ55_MQTT_PASSWORD",
     text<&CliOptions::mqttUser>, true},
    {"--mqtt-password-file", "FILE", "serve", "the broker's password (readable by its owner only)",
     text<&CliOptions::mqttPasswordFile>, true},
    {"--mqtt-cafile", "FILE", "serve", "TLS to the broker, trusting this authority", text<&CliOptions::mqttCafile, true>,
     true},
    {"--mqtt-capath", "DIR", "serve", "TLS to the broker, trusting the authorities of this folder",
     text<&CliOptions::mqttCapath, true>, true},
    {"--mqtt-cert", "FILE", "serve", "TLS to the broker with a client certificate", text<&CliOptions::mqttCert, true>,
     true},
    {"--mqtt-key", "FILE", "serve", "the client certificate's key", text<&CliOptions::mqttKey, true>, true},
    {"--mqtt-tls-version", "tlsv1.2|tlsv1.3", "serve", "the least TLS version to the broker", tlsVersion, true},
    {"--ha-discovery", "", "serve", "announce each analyser to Home Assistant", flag<&CliOptions::haDiscovery>, true},
    {"--ha-prefix", "PREFIX", "serve", "Home Assistant's discovery prefix (homeassistant)",
     text<&CliOptions::haPrefix>, true},
    {"--gateway", "[HOST:]PORT", "serve",
     "other Modbus masters reach the link through here (host 127.0.0.1 unless given): port 502 speaks Modbus/TCP, "
     "any other RTU frames over TCP; again for another door",
     gateway, true},
    {"--gateway-modbus-tcp", "[HOST:]PORT", "serve", "a gateway door speaking Modbus/TCP whatever the port", gateway,
     true},
    {"--gateway-rtu-over-tcp", "[HOST:]PORT", "serve", "a gateway door speaking RTU frames whatever the port",
     gateway, true},
    {"--gateway-tls", "[HOST:]PORT", "serve",
     "a door for Modbus/TCP Security: Modbus/TCP over TLS, each client by its certificate, its writes by its role",
     gateway, true},
    {"--gateway-tls-config", "FILE", "serve", "the TLS door's certificate, key, client authority and roles",
     text<&CliOptions::gatewayTlsConfig>, true},
    {"--gateway-writes", "deny|allow", "serve", "whether the gateway passes writes (deny)", gatewayWrites, true},
    {"--gateway-unit", "FROM=TO", "serve",
     "a client's unit id FROM (0-255) reaches the analyser at address TO (255=1, 0=1: what many Modbus/TCP "
     "clients send to mean the device itself), or 0=broadcast: a write to unit 0 reaches every device; again "
     "for another",
     gatewayUnit, true},
    {"--gateway-allow", "CIDR[,CIDR...]", "serve",
     "the gateway admits masters from these networks only, and from this machine (10.0.0.0/8,192.168.1.20)",
     text<&CliOptions::gatewayAllow>, true},
    {"--gateway-idle", "SECONDS", "serve",
     "a gateway client that sent nothing for this long is closed (60); at the limit of clients the one idle "
     "longest gives way to a new one",
     seconds<&CliOptions::gatewayIdle, 0, 86400>, true},
    {"--gateway-fresh", "SECONDS", "serve",
     "a gateway client's read within a block serve polls is answered from serve's last read of it while that "
     "is younger than this (1; 0: every read goes to the bus)",
     fresh, true},
    {"--maintenance-hold", "SECONDS", "serve",
     "an analyser a gateway client asked within this time is in maintenance while the client stays (60)",
     seconds<&CliOptions::maintenanceHold, 0, 86400>, true},
};

} // namespace

std::span<const OptionRow> OptionTable() { return kOptions; }

bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error) {
    addresses.clear();
    for (const std::string& item : items(text)) {
        const size_t dash = item.find('-');
        long first = 0, last = 0;
        const bool ok = dash == std::string::npos
                            ? toInt(item, 1, 247, first) && (last = first, true)
                            : toInt(item.substr(0, dash), 1, 247, first) &&
                                  toInt(item.substr(dash + 1), 1, 247, last) && first <= last;
        if (!ok) return fail(error, "--address: \"" + item + "\" is not an address 1-247 or a range such as 5-9");
        for (long a = first; a <= last; ++a)
            if (std::find(addresses.begin(), addresses.end(), a) == addresses.end()) addresses.push_back(static_cast<int>(a));
    }
    return true;
}

bool IsCommand(const std::string& word) {
    for (const char* c : {"identify", "read", "backup", "restore", "diff", "scan", "report", "serve", "check"})
        if (word == c) return true;
    return false;
}
