#include "link/link_settings.h"

#include "lang/label_table.h"
#include "link/exchange.h"
#include "platform/system.h"

int Puerto = 0;
int Velocidad = 0;
int Modo = 0;
int Bits = 0;
int Paridad = 0;
int Stops = 0;
int Identidad = 0;
std::string IP;
int TCP_Puerto = 0;
std::string Telefono;
int modelo_equipo = 0;

int icono_comunicaciones_barra_tareas = 0;

std::string LinkPlace(int port, const std::string& host, int tcpPort) {
    if (!IsTcpLink(port)) return strfmt("COM%d", port);
    return strfmt("%s:%d", host.c_str(), tcpPort);
}

std::string LinkPlace() { return LinkPlace(Puerto, IP, TCP_Puerto); }

std::string LinkFormWords(bool modbusTcp) {
    constexpr int kTextRtuOverTcp = 501, kTextModbusTcp = 502;
    const std::string& words = etiqueta[modbusTcp ? kTextModbusTcp : kTextRtuOverTcp];
    return !words.empty() ? words : modbusTcp ? "Modbus/TCP" : "RTU over TCP";
}

std::string LinkPlaceAndForm(int port, const std::string& host, int tcpPort, bool modbusTcp) {
    if (port < kTcpLinkPort) return LinkPlace(port, host, tcpPort);
    return LinkPlace(kTcpLinkPort, host, tcpPort) + " " + LinkFormWords(modbusTcp);
}

std::string LinkPlaceAndForm() {
    return LinkPlaceAndForm(Puerto, IP, TCP_Puerto, SpeaksModbusTcp(Puerto, static_cast<unsigned short>(TCP_Puerto)));
}
