// rq55ctl's command line: the link, the addresses, the command and its arguments.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host_port.h"

// Where an MQTT broker listens unless told otherwise, and where the Prometheus endpoint listens
// when only its port is given.
constexpr int kMqttPort = 1883, kMqttTlsPort = 8883;
// Modbus/TCP Security's port.
constexpr int kModbusTlsPort = 802;
inline constexpr const char* kMetricsHost = "127.0.0.1";

enum class Protocol { ByPort, ModbusTcp, RtuOverTcp };
// A door of serve's Modbus gateway: where it listens, and whether it speaks Modbus/TCP (else RTU
// frames over TCP).
struct GatewayPlace {
    HostPort place;
    bool modbusTcp = false;
    bool tls = false; // Modbus/TCP Security: Modbus/TCP over TLS, clients by certificate
};

enum class Format { Text, Csv, Json, Pdf, Html, ByName };

struct CliOptions {
    // The link: a TCP host, a serial device, or a COM port number.
    std::string host;
    int tcpPort = 0; // 0 until read: Modbus/TCP's 502, or Modbus/TCP Security's 802
    Protocol protocol = Protocol::ByPort;
    std::string serialDevice;
    int comPort = 0;
    int baud = 19200;
    int framing = 0; // 8N1
    std::string tlsCert, tlsKey, tlsCa; // Modbus/TCP Security to the --tcp host

    int links = 0;              // links given: one is right
    std::vector<int> addresses; // empty: the command's default
    std::string command;        // identify, read, backup, restore, diff, scan, report, serve, check, help, version
    std::vector<std::string> arguments;

    Format format = Format::ByName; // read: text; report: by the file's name, else pdf
    std::string title;              // report: the installation and the person
    double watchSeconds = 0; // read: 0 reads once
    long count = 0;          // read --watch: 0 for ever
    bool verify = false;     // restore
    bool exports = false;    // check, report: the site delivers power
    std::vector<int> scanBauds;
    std::vector<int> scanFramings;
    int timeoutMs = 0; // scan: 0 derives it from the baud rate; serve: 0 is 1 s
    int pauseMs = 150; // the rest between two exchanges

    // serve
    double interval = 5;                  // seconds from the start of one round to the next
    std::vector<std::string> serveBlocks; // empty: network, energy, demand
    HostPort metrics;                     // the Prometheus endpoint ([HOST:]PORT); no host: none
    std::string webConfig;                // the endpoint's TLS and users (exporter toolkit format)
    HostPort mqtt;                        // the MQTT broker (HOST[:PORT]); no host: none
    bool mqttTls = false;                 // mqtts://, or any of the TLS files given
    std::string mqttCafile, mqttCapath, mqttCert, mqttKey;
    bool mqttTls13 = false;               // --mqtt-tls-version tlsv1.3
    std::string mqttPasswordFile;
    std::string mqttTopic = "rq55";
    std::string mqttUser;
    bool haDiscovery = false;              // Home Assistant's MQTT discovery
    std::string haPrefix = "homeassistant"; // its discovery prefix
    std::string instance; // the name this serve goes by; "" makes one of the host and the link
    std::string stateDir; // where serve remembers the meters it announced; "": nowhere
    double maxAge = 0;    // seconds a value may be old and still exported; 0: 3 intervals and a reply wait
    int counterConfirm = 5; // polls in a row a lower counter reading must hold before it is exported
    std::vector<GatewayPlace> gateways; // other Modbus masters reach the link through these
    bool gatewayWrites = false;         // their writes pass (else refused)
    std::map<int, int> gatewayUnits;    // a client's unit id: the bus address it stands for (0: broadcast)
    std::string gatewayAllow;           // the networks the doors admit (loopback always); "" anyone
    std::string gatewayTlsConfig;       // the Modbus/TCP Security door's certificates and roles
    double maintenanceHold = 60;        // seconds a gateway client's request marks its analyser in maintenance
    double gatewayIdle = 60;            // seconds a gateway client may send nothing before it is closed
    double gatewayFresh = 1;            // seconds a poll's read answers gateway clients' reads; 0: never
};

// Options may stand before or after the command. False with the reason when the command line is
// not one rq55ctl takes; nothing has been opened or sent then.
bool ParseCommandLine(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// "1,3,5-9": each address 1-247 once, in the order given.
bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error);

// What --help prints: every option of the one table, by heading, and the commands.
std::string UsageText();
