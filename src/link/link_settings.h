// The link settings in force: read from the main panel when communication is switched on and
// passed by every caller of the register map. All start at 0 or empty.
#pragma once

#include <string>

extern int Puerto;           // COM port number, or 99 for the TCP link
extern int Velocidad;        // baud rate
extern int Modo;             // framing selector 0..3: 8N1, 8O1, 8E1, 8N2
extern int Bits;             // data bits, from Modo
extern int Paridad;          // 0 none, 1 odd, 2 even, from Modo
extern int Stops;            // stop bits, from Modo
extern int Identidad;        // the analyser's Modbus address (one byte)
extern std::string IP;       // host of the TCP link, used whole however long
extern int TCP_Puerto;       // TCP port of the TCP link (16 bits)
extern std::string Telefono; // passed through to every register-map operation, never used
extern int modelo_equipo;    // model code of the connected analyser (register 816)

// The port number that stands for the TCP link; TCP port 502 speaks Modbus/TCP, any other RTU frames.
// The port numbers above it are the TCP link too, with its form forced (link/exchange.h): 100
// speaks Modbus/TCP on any TCP port.
constexpr int kTcpLinkPort = 99;
constexpr int kModbusTcpPort = 502;
inline bool IsTcpLink(int port) { return port >= kTcpLinkPort; }

// Where the link in force goes: "COM3", or "127.0.0.1:5021" for the TCP link; or where a link
// with the given settings would go.
std::string LinkPlace();
std::string LinkPlace(int port, const std::string& host, int tcpPort);
// The TCP link's form in the language in force: "RTU over TCP", "Modbus/TCP"; English when no
// texts are loaded.
std::string LinkFormWords(bool modbusTcp);
// The place with the TCP link's form: "COM3", "127.0.0.1:502 Modbus/TCP", "host:5021 RTU over TCP";
// of the link in force, or of the given one (any port number from 99 up is the TCP link).
std::string LinkPlaceAndForm();
std::string LinkPlaceAndForm(int port, const std::string& host, int tcpPort, bool modbusTcp);

// Where the settings store remembers the link settings (and what goes with them, such as which way
// the site's power flows).
inline constexpr const char* kLinkSettingsKey = "SOFTWARE\\RQ55\\Link";

// Handle of the communications icon in the taskbar; the shell installs the icon, the exchange
// animates it.
extern int icono_comunicaciones_barra_tareas;
