#include "shell/comm_switch.h"

#include <optional>
#include <string>

#include "device/identity.h"
#include "device/register_map.h"
#include "device/scan.h"
#include "lang/label_table.h"
#include "link/error_popup.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/tcp.h"
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

// What else the status line says, one rule for all: why the last switch-on failed (until the
// next), and since when a switched-on analyser has not answered (until it answers again).
std::string g_failure;
std::string g_silentSince;
// When the exchange under way, or the last one, was asked; and when the last unanswered one was.
std::string g_askedAt, g_lastAsked;

constexpr int kTextSilentSince = 515, kTextNoConnection = 516, kTextNobodyAnswered = 517, kTextNoSerial = 518;

// The link lost: when it was noticed and why, said on the status line until the switch is on again.
struct Loss {
    std::string at;
    LinkLoss why = LinkLoss::ServerClosed;
};
std::optional<Loss> g_loss;

constexpr int kTextLost = 506;

std::string lossWords(LinkLoss why) {
    constexpr int kTextServerClosed = 507, kTextDeviceGone = 508, kTextReconnectFailed = 509;
    return etiqueta[why == LinkLoss::ServerClosed ? kTextServerClosed
                    : why == LinkLoss::DeviceGone ? kTextDeviceGone
                                                  : kTextReconnectFailed];
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
    g_failure.clear();
    g_silentSince.clear();
    if (on != 1) {
        DimLinkSettings(panel, 0);
        Ulvo_Cerrar_Puerto(Puerto);
        ShowLinkStatus(panel);
        return;
    }
    GetCtrlVal(panel, PRINCIPAL_PUERTO, Puerto);
    GetCtrlVal(panel, PRINCIPAL_VELOCIDAD, Velocidad);
    GetCtrlVal(panel, PRINCIPAL_MODO, Modo);
    if (IsTcpLink(Puerto)) {
        GetCtrlVal(panel, PRINCIPAL_IP, IP);
        unsigned tcpPort = 0;
        GetCtrlVal(panel, PRINCIPAL_TCP_PUERTO, tcpPort);
        TCP_Puerto = static_cast<int>(tcpPort & 0xFFFF);
        if (openLink() < 0) {
            // With the next step: the host, whose port it is, the port rule, or a search.
            constexpr int kTextNextStep = 584;
            g_failure = FillIn(etiqueta[kTextNoConnection], {LinkPlace(), LastTCPConnectError()}) + " " +
                        etiqueta[kTextNextStep];
            ShowLinkStatus(panel);
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
            g_failure = GetRS232ErrorString(result);
            ShowLinkStatus(panel);
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
    if (IsTcpLink(port)) settings.push_back({PRINCIPAL_TCP_PUERTO}); // a COM port leaves it unused
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
        g_loss.reset();
        ForgetLinkLoss();
        ShowLinkStatus(panel);
        if (!DemoMode()) RememberLinkSettings(panel);
        return 0;
    }
    // Said where the operator looks afterwards, with the next step: silence at an address is most
    // often a wrong address or baud rate, which the find dialog looks for.
    const ExchangeEnd end = LastExchangeEnd();
    const std::string address = std::to_string(Identidad);
    g_failure = end == ExchangeEnd::NoReply || end == ExchangeEnd::TimedOut
                    ? FillIn(etiqueta[kTextNobodyAnswered], {address, LinkDescription()})
                    : FillIn(etiqueta[kTextNoSerial], {address, LinkDescription(), LastExchangeFailure()});
    DimLinkSettings(panel, 0);
    SetCtrlVal(panel, PRINCIPAL_COMUNICACION, 0);
    Ulvo_Cerrar_Puerto(Puerto);
    ShowLinkStatus(panel);
    MessagePopup("Communication error",
                 "Unable to communicate with the device, check the communication parameters.");
    return 0;
}

std::string LinkDescription() {
    if (IsTcpLink(Puerto)) return LinkPlaceAndForm();
    return strfmt("%s, %d %s", LinkPlace().c_str(), Velocidad, FramingName(Modo));
}

void DimLinkSettings(int panel, int dimmed) {
    for (int control : kLinkSettingControls) SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panel, PRINCIPAL_BUSCAR, ATTR_DIMMED, dimmed); // finding needs the link free
}

void ShowLinkStatus(int panel) {
    if (!LinkIsOpen()) g_serial.clear();
    const std::string text =
        g_loss                  ? FillIn(etiqueta[kTextLost], {g_loss->at, lossWords(g_loss->why)})
        : !g_failure.empty()    ? g_failure
        : g_serial.empty()      ? etiqueta[kTextOff]
        : !g_silentSince.empty() ? FillIn(etiqueta[kTextSilentSince], {g_silentSince, g_lastAsked})
                                 : FillIn(etiqueta[kTextConnected], {std::to_string(modelo_equipo), g_serial, LinkDescription()});
    SetCtrlVal(panel, PRINCIPAL_ESTADO_ENLACE, text);
}

void NoteExchange(bool underWay) {
    // The time of the request, not of the end of its wait: when the analyser was last heard of.
    if (underWay) {
        g_askedAt = TimeStr();
        return;
    }
    if (g_serial.empty() || !LinkIsOpen()) return; // only the switched-on analyser's silence
    const ExchangeEnd end = LastExchangeEnd();
    const bool silent = end == ExchangeEnd::NoReply || end == ExchangeEnd::TimedOut;
    const bool answered = end == ExchangeEnd::Accepted || end == ExchangeEnd::Exception;
    if (silent) {
        if (g_silentSince.empty()) g_silentSince = g_askedAt;
        g_lastAsked = g_askedAt;
    } else if (answered && !g_silentSince.empty()) {
        g_silentSince.clear();
    } else {
        return;
    }
    if (panel_principal > 0) ShowLinkStatus(panel_principal);
}

namespace {

// The exchange that found the link lost may still be under way: the link is closed once it is
// over, and then the popup says it was lost.
void closeWhenIdle(LinkLoss why) {
    PostDeferredCall([why] {
        if (ExchangeUnderWay()) return closeWhenIdle(why);
        int on = 0;
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
        if (on == 1) return; // switched on again meanwhile: on a link of its own
        RQ55_Comunicaciones_On_Off(panel_principal); // the switch is off: the link closes
        ShowLinkStatus(panel_principal);
        ShowLinkLostPopup(why);
    });
}

} // namespace

void CloseLostLink(LinkLoss why) {
    int on = 0;
    GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
    if (on != 1) { // switched off by the operator already: nothing more to close
        ShowLinkLostPopup(why);
        return;
    }
    // Said at once, with the time it was noticed, wherever the operator looks.
    g_loss = Loss{TimeStr(), why};
    SetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, 0);
    ShowLinkStatus(panel_principal);
    ShowLinkLost(g_loss->at);
    closeWhenIdle(why);
}
