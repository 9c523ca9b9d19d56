#include "config/equipment.h"

#include <cstdint>

#include "device/register_map.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_conf_equipo = 0;

namespace {

constexpr int kTextGroup1NotSaved = 391;
constexpr int kTextGroup2NotSaved = 392;

int g_returnTo = 0;

// The fields in the order of the record the read fills.
constexpr int kFields[kEquipmentConfigCount] = {
    CONF_EQUIPO_DIRECCION,    CONF_EQUIPO_VELOCIDAD,  CONF_EQUIPO_MODO,       CONF_EQUIPO_RETARDO,
    CONF_EQUIPO_PROTOCOLO,    CONF_EQUIPO_PRIMARIO_V, CONF_EQUIPO_PRIMARIO_I, CONF_EQUIPO_SECUNDARIO_V,
    CONF_EQUIPO_SECUNDARIO_I, CONF_EQUIPO_PERIODO,
};

} // namespace

int RQ55_Conf_Equipo(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_conf_equipo = OpenView(panel, g_returnTo, CONF_EQUIPO, RQ55_Poner_Etiquetas_Conf_Eq,
                                 {CONF_EQUIPO_TIMER}, PanelKind::Settings);
    return 0;
}

int RQ55_Timeloop_Conf_Equipo(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control); // one read per opening, whatever it gives
    int32_t values[kEquipmentConfigExactCount] = {};
    if (RQ55_Ulvo_Leer_Conf_Equipo_Exacto(Puerto, static_cast<unsigned char>(Identidad), values, Telefono,
                                          static_cast<unsigned short>(TCP_Puerto), IP) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    for (int i = 0; i < kEquipmentConfigCount; ++i) SetCtrlVal(panel, kFields[i], static_cast<int>(values[i]));
    return 0;
}

int RQ55_Guardar_Conf_Equipo(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (RefuseUnfit(panel, {{CONF_EQUIPO_DIRECCION},
                            {CONF_EQUIPO_VELOCIDAD},
                            {CONF_EQUIPO_MODO},
                            {CONF_EQUIPO_RETARDO},
                            {CONF_EQUIPO_PROTOCOLO},
                            {CONF_EQUIPO_PERIODO}}) ||
        !ConfirmWriteOfDefaults(panel))
        return 0;
    if (ConfirmPopup("SAVE CHANGES", "Are you sure you want to save changes?") != 1) return 0;
    unsigned address = 0;
    GetCtrlVal(panel, CONF_EQUIPO_DIRECCION, address);
    const int period = IntField(panel, CONF_EQUIPO_PERIODO);
    const unsigned char bytes[kEquipmentConfigWriteBytes] = {
        0,
        static_cast<unsigned char>(address),
        static_cast<unsigned char>(IntField(panel, CONF_EQUIPO_VELOCIDAD)),
        static_cast<unsigned char>(IntField(panel, CONF_EQUIPO_MODO)),
        0,
        static_cast<unsigned char>(IntField(panel, CONF_EQUIPO_RETARDO)),
        0,
        static_cast<unsigned char>(IntField(panel, CONF_EQUIPO_PROTOCOLO)),
        static_cast<unsigned char>(period >> 8),
        static_cast<unsigned char>(period),
    };
    // A silent analyser must not look like a saved one.
    if (WriteWithLinkSettings(RQ55_Ulvo_Escribir_Conf_Equipo, bytes) != 1) ReportNotSaved(kTextGroup1NotSaved);
    return 0;
}

int RQ55_Guardar_Conf_Equipo_2(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (RefuseUnfit(panel, {{CONF_EQUIPO_PRIMARIO_V},
                            {CONF_EQUIPO_PRIMARIO_I},
                            {CONF_EQUIPO_SECUNDARIO_V},
                            {CONF_EQUIPO_SECUNDARIO_I}}) ||
        !ConfirmWriteOfDefaults(panel))
        return 0;
    unsigned char bytes[kEquipmentConfig2WriteBytes] = {};
    PutBigEndian(bytes, static_cast<uint32_t>(IntField(panel, CONF_EQUIPO_PRIMARIO_V)), 4);
    PutBigEndian(bytes + 4, static_cast<uint32_t>(IntField(panel, CONF_EQUIPO_PRIMARIO_I)), 4);
    PutBigEndian(bytes + 8, static_cast<uint32_t>(IntField(panel, CONF_EQUIPO_SECUNDARIO_V)), 2);
    PutBigEndian(bytes + 10, static_cast<uint32_t>(IntField(panel, CONF_EQUIPO_SECUNDARIO_I)), 2);
    if (WriteWithLinkSettings(RQ55_Ulvo_Escribir_Conf_Equipo_2, bytes) != 1) ReportNotSaved(kTextGroup2NotSaved);
    return 0;
}

int RQ55_Terminar_Conf_Equipo(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_conf_equipo, g_returnTo);
    return 0;
}
