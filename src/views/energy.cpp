#include "views/energy.h"

#include "device/register_map.h"
#include "device/value_table.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_energia = 0;
int panel_contrasena_ener = 0;

namespace {

constexpr int kCounters = 9; // indexes 0 to 8 are energies in kilo units; 9 and 10 are counts

constexpr RangedField kCounterFields[kCounters] = {
    {ENERGIA_ACTIVA_IMP, ENERGIA_UNIDAD_ACTIVA_IMP},
    {ENERGIA_ACTIVA_EXP, ENERGIA_UNIDAD_ACTIVA_EXP},
    {ENERGIA_REACTIVA_IND, ENERGIA_UNIDAD_REACTIVA_IND},
    {ENERGIA_REACTIVA_CAP, ENERGIA_UNIDAD_REACTIVA_CAP},
    {ENERGIA_APARENTE, ENERGIA_UNIDAD_APARENTE},
    {ENERGIA_Q1, ENERGIA_UNIDAD_Q1},
    {ENERGIA_Q2, ENERGIA_UNIDAD_Q2},
    {ENERGIA_Q3, ENERGIA_UNIDAD_Q3},
    {ENERGIA_Q4, ENERGIA_UNIDAD_Q4},
};

constexpr int kOperatingHours = 9;
constexpr int kEnergyResets = 10;

} // namespace

int RQ55_Energia(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_energia = OpenView(panel, panel_retorno, ENERGIA, RQ55_Poner_Etiquetas_ENERGIA, {ENERGIA_TIMER},
                             PanelKind::LiveView);
    int fields[kEnergyCount] = {};
    for (int i = 0; i < kCounters; ++i) fields[i] = kCounterFields[i].field;
    fields[kOperatingHours] = ENERGIA_HORAS;
    fields[kEnergyResets] = ENERGIA_BORRADOS;
    if (panel_energia > 0) NameValueFields(panel_energia, EnergyValues(), fields);
    return 0;
}

int RQ55_energia_timeloop(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    float record[kEnergyCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_Energia, record) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    // The unit is chosen afresh at every tick, so a counter back under 1000 after a reset shows the
    // kilo unit again.
    for (int i = 0; i < kCounters; ++i) {
        const RangedField& c = kCounterFields[i];
        ShowRangedUnit(panel, c, record[i], EnergyValues().values[static_cast<size_t>(i)].unit);
    }
    for (int i = 0; i < kCounters; ++i)
        SetCtrlVal(panel, kCounterFields[i].field, static_cast<double>(record[i]));
    // Whole-number fields: the value is truncated toward zero.
    SetCtrlVal(panel, ENERGIA_HORAS, static_cast<double>(record[kOperatingHours]));
    SetCtrlVal(panel, ENERGIA_BORRADOS, static_cast<double>(record[kEnergyResets]));
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Terminar_Energia(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_energia, panel_retorno);
    return 0;
}

int RQ55_Reset_Energia(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_contrasena_ener = LoadPanel(0, "RQ55.uir", CONTRASENA_ENER);
    if (panel_contrasena_ener < 0) return 0;
    LabelEnergyPasswordPopup(panel_contrasena_ener, etiqueta);
    InstallPopup(panel_contrasena_ener);
    return 0;
}

int RQ55_reset_ener_cont(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (RefuseUnfit(panel, {{CONTRASENA_ENER_CLAVE}})) return -1;
    int typed = 0;
    GetCtrlVal(panel, CONTRASENA_ENER_CLAVE, typed);
    const unsigned password = static_cast<unsigned>(typed) & 0xFFFF;
    const unsigned char passwordBytes[kPasswordWriteBytes] = {static_cast<unsigned char>(password >> 8),
                                                              static_cast<unsigned char>(password & 0xFF)};
    // The analyser accepts the reset command only right after its password.
    if (WriteWithLinkSettings(RQ55_Ulvo_Escribir_Contrasena, passwordBytes) != 1) {
        MessagePopup(etiqueta[325], etiqueta[326]);
        return -1;
    }
    const unsigned char resetCommand[kEnergyResetWriteBytes] = {0, 0};
    if (WriteWithLinkSettings(RQ55_Reset_Cont_Energias, resetCommand) != 1) {
        MessagePopup("", "Borrado Fallido");
        return -1;
    }
    MessagePopup("", "Energy reset");
    RemovePopup(panel);
    DiscardPanel(panel);
    panel_contrasena_ener = 0;
    return 0;
}

int RQ55_Terminar_Contrasena_Ener(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    RemovePopup(panel);
    DiscardPanel(panel);
    panel_contrasena_ener = 0;
    return 0;
}
