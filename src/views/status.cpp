#include "views/status.h"

#include <string>

#include "device/identity.h"
#include "device/register_map.h"
#include "lang/labels.h"
#include "link/link_settings.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "views/clock.h"

int panel_estado = 0;

namespace {

struct RelayFields {
    int state, mode, lock, contact;
    int stateIndex, modeIndex, lockIndex, contactIndex; // in the InOutBlock
};

constexpr RelayFields kRelays[2] = {
    {ESTADO_ESTADO_RELE_1, ESTADO_MODO_RELE_1, ESTADO_BLOQUEO_RELE_1, ESTADO_CONTACTO_RELE_1, 0, 2, 5, 6},
    {ESTADO_ESTADO_RELE_2, ESTADO_MODO_RELE_2, ESTADO_BLOQUEO_RELE_2, ESTADO_CONTACTO_RELE_2, 1, 10, 13, 14},
};

struct OutputFields {
    int frame, type, present, selector, graph;
};

constexpr OutputFields kOutputs[4] = {
    {ESTADO_MARCO_SALIDA_1, ESTADO_TIPO_SALIDA_1, ESTADO_VALOR_SALIDA_1, ESTADO_MAGNITUD_SALIDA_1,
     ESTADO_GRAFICO_SALIDA_1},
    {ESTADO_MARCO_SALIDA_2, ESTADO_TIPO_SALIDA_2, ESTADO_VALOR_SALIDA_2, ESTADO_MAGNITUD_SALIDA_2,
     ESTADO_GRAFICO_SALIDA_2},
    {ESTADO_MARCO_SALIDA_3, ESTADO_TIPO_SALIDA_3, ESTADO_VALOR_SALIDA_3, ESTADO_MAGNITUD_SALIDA_3,
     ESTADO_GRAFICO_SALIDA_3},
    {ESTADO_MARCO_SALIDA_4, ESTADO_TIPO_SALIDA_4, ESTADO_VALOR_SALIDA_4, ESTADO_MAGNITUD_SALIDA_4,
     ESTADO_GRAFICO_SALIDA_4},
};

constexpr BlockRead kOutputReads[4] = {RQ55_Ulvo_Leer_Out_Anal_1, RQ55_Ulvo_Leer_Out_Anal_2,
                                       RQ55_Ulvo_Leer_Out_Anal_3, RQ55_Ulvo_Leer_Out_Anal_4};

constexpr int kFirstModel = 55;
constexpr int kLastModel = 59;

// AnalogOutputBlock entries.
enum { kSelector = 0, kPointsMode = 1, kOutputType = 2, kFullScale = 3, kFirstPoint = 4, kPresentValue = 10 };

void fillRelay(int panel, const RelayFields& relay, const float* inOut) {
    const int mode = static_cast<int>(inOut[relay.modeIndex]) & 0xFF;
    SetCtrlVal(panel, relay.state, static_cast<double>(inOut[relay.stateIndex]));
    SetCtrlVal(panel, relay.mode, mode);
    SetCtrlVal(panel, relay.lock, static_cast<double>(inOut[relay.lockIndex]));
    SetCtrlVal(panel, relay.contact, inOut[relay.contactIndex] != 0 ? 1 : 0);
    // A relay in mode 0 is not in use: its settings mean nothing.
    if (mode == 0)
        for (int field : {relay.lock, relay.state, relay.contact})
            SetCtrlAttribute(panel, field, ATTR_DIMMED, 1);
}

void fillCommunication(int panel, const float* config) {
    const unsigned address = static_cast<unsigned>(config[0]) & 0xFF;
    SetCtrlVal(panel, ESTADO_DIRECCION, address);
    SetCtrlVal(panel, ESTADO_MODO_COM, static_cast<double>(config[2]));
    SetCtrlVal(panel, ESTADO_VELOCIDAD, static_cast<double>(config[1]));
    SetCtrlVal(panel, ESTADO_PROTOCOLO, static_cast<double>(config[4]));
    SetCtrlVal(panel, ESTADO_RETARDO, static_cast<double>(config[3]));
}

void fillIdentity(int panel, const unsigned char (&serial)[kSerialNumberBytes]) {
    const Identity id = IdentityFromSerialBlock(serial);
    SetCtrlVal(panel, ESTADO_NUM_SERIE, id.serial);
    modelo_equipo = id.modelCode;
    SetCtrlVal(panel, ESTADO_MODELO, strfmt("RQ%i", modelo_equipo));
}

// Only the outputs a known model lacks are dimmed; an unknown model leaves all four as they are.
void dimMissingOutputs(int panel) {
    if (modelo_equipo < kFirstModel || modelo_equipo > kLastModel) return;
    for (int n = AnalogOutputsOfModel(modelo_equipo); n < 4; ++n) {
        const OutputFields& out = kOutputs[n];
        for (int field : {out.frame, out.type, out.present, out.selector})
            SetCtrlAttribute(panel, field, ATTR_DIMMED, 1);
    }
}

void showOutput(int panel, const OutputFields& out, const float* block) {
    PlotCharacteristic(panel, out.graph, block + kFirstPoint, block[kPointsMode] == 0 ? 0 : 1);
    SetCtrlVal(panel, out.type, static_cast<double>(block[kOutputType]));
    SetCtrlVal(panel, out.present, static_cast<double>(block[kPresentValue]));
    SetCtrlVal(panel, out.selector, static_cast<double>(block[kSelector]));
    SetCtrlAttribute(panel, out.present, ATTR_MAX_VALUE, static_cast<double>(block[kFullScale]));
}

int readFailed(int panel) {
    ShowReadFailed(panel);
    return 0;
}

} // namespace

int RQ55_Estado(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_estado = OpenView(panel, panel_retorno, ESTADO, RQ55_Poner_Etiquetas_Estado,
                            {ESTADO_TIMER, ESTADO_TIMER_HORA}, PanelKind::LiveView);
    // The clock is filled at once rather than a second later.
    if (panel_estado > 0) RQ55_Tiempo(panel_estado);
    return 0;
}

int RQ55_Timeloop_Estado(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    // Once per opening: the relays, the serial line and the identity do not change while it is open.
    HoldRefresh(panel, control);

    float inOut[kInOutCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_In_Out, inOut) != 1) return readFailed(panel);
    for (const RelayFields& relay : kRelays) fillRelay(panel, relay, inOut);

    float config[kEquipmentConfigCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_Conf_Equipo, config) != 1) return readFailed(panel);
    fillCommunication(panel, config);

    unsigned char serial[kSerialNumberBytes] = {};
    if (RQ55_Ulvo_Leer_Num_Serie(Puerto, static_cast<unsigned char>(Identidad), serial, Telefono,
                                 static_cast<unsigned short>(TCP_Puerto), IP) != 1)
        return readFailed(panel);
    fillIdentity(panel, serial);
    dimMissingOutputs(panel);
    ResumeRefresh(panel, ESTADO_TIMER_SALIDAS);
    return 0;
}

int RQ55_Timeloop_Estado_2(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    const int outputs = AnalogOutputsOfModel(modelo_equipo);
    for (int n = 0; n < outputs; ++n) {
        float block[kAnalogOutputCount] = {};
        if (ReadWithLinkSettings(kOutputReads[n], block) != 1) return readFailed(panel);
        showOutput(panel, kOutputs[n], block);
    }
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Terminar_Estado(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_estado, panel_retorno);
    return 0;
}

int StatusSwitchReadOnly(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int on = 0;
    GetCtrlVal(panel, control, on);
    SetCtrlVal(panel, control, on ? 0 : 1);
    return 0;
}
