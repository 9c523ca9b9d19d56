#include "shell/comm_switch.h"

#include <string>

#include "device/identity.h"
#include "device/register_map.h"
#include "device/scan.h"
#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/link_memory.h"
#include "shell/main_panel.h"

namespace {

constexpr int kTextConnected = 411;
constexpr int kTextOff = 412;
constexpr int kTextPortsHere = 415;
constexpr int kTextNoPorts = 416;
constexpr int kTextPortWithCom = 417;
constexpr int kTextPortWithoutCom = 418;
constexpr int kTextChoosePort = 419;

std::string g_serial; // of the analyser that answered at switch-on; empty while off

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

// The serial devices the system has, each with the COM number that reaches it, and how to choose one.
std::string serialPortAdvice() {
    std::string text = etiqueta[kTextPortsHere];
    const std::vector<SerialDevice> devices = ListSerialDevices();
    if (devices.empty()) text += " " + etiqueta[kTextNoPorts];
    for (const SerialDevice& d : devices) {
        const std::string description = d.description.empty() ? "-" : d.description;
        text += "\n  " +
                (d.com > 0 ? FillIn(etiqueta[kTextPortWithCom], {d.name, description, std::to_string(d.com)})
                           : FillIn(etiqueta[kTextPortWithoutCom], {d.name, description}));
    }
    return text + "\n\n" + etiqueta[kTextChoosePort];
}

} // namespace

void RQ55_Comunicaciones_On_Off(int panel) {
    GetCtrlVal(panel, PRINCIPAL_IDENTIDAD, Identidad);
    int on = 0;
    GetCtrlVal(panel, PRINCIPAL_COMUNICACION, on);
    if (on != 1) {
        DimLinkSettings(panel, 0);
        Ulvo_Cerrar_Puerto(Puerto);
        ShowLinkStatus(panel);
        return;
    }
    GetCtrlVal(panel, PRINCIPAL_PUERTO, Puerto);
    GetCtrlVal(panel, PRINCIPAL_VELOCIDAD, Velocidad);
    GetCtrlVal(panel, PRINCIPAL_MODO, Modo);
    if (Puerto == kTcpLinkPort) {
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
            MessagePopup("Apertura del Puerto", GetRS232ErrorString(result) + "\n\n" + serialPortAdvice());
            SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
            return;
        }
    }
    DimLinkSettings(panel, 1);
}

int RQ55_Abrir_Puerto(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int switchedOn = 0, port = 0;
    GetCtrlVal(panel, PRINCIPAL_COMUNICACION, switchedOn);
    GetCtrlVal(panel, PRINCIPAL_PUERTO, port);
    std::vector<SentField> settings = {{PRINCIPAL_PUERTO}, {PRINCIPAL_IDENTIDAD}};
    if (port == kTcpLinkPort) settings.push_back({PRINCIPAL_TCP_PUERTO}); // a COM port leaves it unused
    if (switchedOn == 1 && RefuseUnfit(panel, settings)) {
        SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
        return 0;
    }
    RQ55_Comunicaciones_On_Off(panel);
    int on = 0;
    GetCtrlVal(panel, PRINCIPAL_COMUNICACION, on);
    if (on != 1) return 0;

    // An open port proves nothing about the analyser: only its answer does.
    unsigned char serial[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(Puerto, static_cast<unsigned char>(Identidad), serial, Telefono,
                                 static_cast<unsigned short>(TCP_Puerto), IP) == 1) {
        const Identity id = IdentityFromSerialBlock(serial);
        modelo_equipo = id.modelCode;
        g_serial = id.serial;
        ShowLinkStatus(panel);
        if (!DemoMode()) RememberLinkSettings(panel);
        return 0;
    }
    DimLinkSettings(panel, 0);
    SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
    Ulvo_Cerrar_Puerto(Puerto);
    MessagePopup("Communication error",
                 "Unable to communicate with the device, check the communication parameters.");
    return 0;
}

std::string LinkDescription() {
    if (Puerto == kTcpLinkPort) return LinkPlaceAndForm();
    return strfmt("%s, %d %s", LinkPlace().c_str(), Velocidad, FramingName(Modo));
}

void DimLinkSettings(int panel, int dimmed) {
    for (int control : kLinkSettingControls) SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panel, PRINCIPAL_BUSCAR, ATTR_DIMMED, dimmed); // finding needs the link free
}

void ShowLinkStatus(int panel) {
    if (!LinkIsOpen()) g_serial.clear();
    const std::string text =
        g_serial.empty()
            ? etiqueta[kTextOff]
            : FillIn(etiqueta[kTextConnected], {std::to_string(modelo_equipo), g_serial, LinkDescription()});
    SetCtrlVal(panel, PRINCIPAL_ESTADO_ENLACE, text);
}

// The exchange that found the link lost is still under way: the link is closed once it is over.
void CloseLostLink() {
    PostDeferredCall([] {
        if (ExchangeUnderWay()) {
            CloseLostLink();
            return;
        }
        // Already switched off by the operator; a link that closed itself (a connection it could not
        // make again) is switched off all the same.
        int on = 0;
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
        if (on != 1) return;
        SetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, 0);
        RQ55_Comunicaciones_On_Off(panel_principal);
        ShowLinkStatus(panel_principal);
        ShowLinkLost();
    });
}
