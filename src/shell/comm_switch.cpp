#include "shell/comm_switch.h"

#include <string>

#include "device/register_map.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {

constexpr int kTcpLink = 99;

void dimSettings(int panel, int dimmed) {
    for (int control : kLinkSettingControls) SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
}

// An unknown framing leaves the previous one in place.
void setFraming(int mode) {
    switch (mode) {
    case 0: Bits = 8, Paridad = 0, Stops = 1; break;
    case 1: Bits = 8, Paridad = 1, Stops = 1; break;
    case 2: Bits = 8, Paridad = 2, Stops = 1; break;
    case 3: Bits = 8, Paridad = 0, Stops = 2; break;
    default: break;
    }
}

int openLink() {
    return Ulvo_Abrir_Puerto(Puerto, Velocidad, Bits, Paridad, Stops, static_cast<unsigned short>(TCP_Puerto),
                             IP);
}

} // namespace

void RQ55_Comunicaciones_On_Off(int panel) {
    GetCtrlVal(panel, PRINCIPAL_IDENTIDAD, Identidad);
    int on = 0;
    GetCtrlVal(panel, PRINCIPAL_COMUNICACION, on);
    if (on != 1) {
        dimSettings(panel, 0);
        Ulvo_Cerrar_Puerto(Puerto);
        return;
    }
    GetCtrlVal(panel, PRINCIPAL_PUERTO, Puerto);
    GetCtrlVal(panel, PRINCIPAL_VELOCIDAD, Velocidad);
    GetCtrlVal(panel, PRINCIPAL_MODO, Modo);
    if (Puerto == kTcpLink) {
        GetCtrlVal(panel, PRINCIPAL_IP, IP);
        unsigned tcpPort = 0;
        GetCtrlVal(panel, PRINCIPAL_TCP_PUERTO, tcpPort);
        TCP_Puerto = static_cast<int>(tcpPort & 0xFFFF);
        if (openLink() < 0) {
            MessagePopup("TCP Client", "Connection to server failed !");
            SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
            return;
        }
    } else {
        setFraming(Modo);
        TCP_Puerto = 0;
        IP.clear();
        const int result = openLink();
        if (result < 0) {
            MessagePopup("Apertura del Puerto", GetRS232ErrorString(result));
            SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
            return;
        }
    }
    dimSettings(panel, 1);
}

int RQ55_Abrir_Puerto(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    RQ55_Comunicaciones_On_Off(panel);
    int on = 0;
    GetCtrlVal(panel, PRINCIPAL_COMUNICACION, on);
    if (on != 1) return 0;

    // An open port proves nothing about the analyser: only its answer does.
    unsigned char serial[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(Puerto, static_cast<unsigned char>(Identidad), serial, Telefono,
                                 static_cast<unsigned short>(TCP_Puerto), IP) == 1) {
        modelo_equipo = serial[10] * 256 + serial[11];
        return 0;
    }
    dimSettings(panel, 0);
    SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
    Ulvo_Cerrar_Puerto(Puerto);
    MessagePopup("Communication error",
                 "Unable to communicate with the device, check the communication parameters.");
    return 0;
}
