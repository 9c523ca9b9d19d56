#include "views/demand.h"

#include "device/register_map.h"
#include "device/value_table.h"
#include "lang/labels.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_demanda = 0;

namespace {

// Present demand of P, Q, S, I1, I2, I3, then the maximum demand of each.
constexpr int kFields[kDemandCount] = {
    DEMANDA_P_ACTUAL,  DEMANDA_Q_ACTUAL,  DEMANDA_S_ACTUAL,  DEMANDA_I1_ACTUAL,
    DEMANDA_I2_ACTUAL, DEMANDA_I3_ACTUAL, DEMANDA_P_MAXIMA,  DEMANDA_Q_MAXIMA,
    DEMANDA_S_MAXIMA,  DEMANDA_I1_MAXIMA, DEMANDA_I2_MAXIMA, DEMANDA_I3_MAXIMA,
};

} // namespace

int RQ55_max_demanda(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_demanda = OpenView(panel, panel_retorno, DEMANDA, RQ55_Poner_Etiquetas_DEMANDA, {DEMANDA_TIMER},
                             PanelKind::LiveView);
    if (panel_demanda > 0) NameValueFields(panel_demanda, DemandValues(), kFields);
    return 0;
}

int RQ55_timeloop_Demenda(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    float record[kDemandCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_demanda, record) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    for (int i = 0; i < kDemandCount; ++i) SetCtrlVal(panel, kFields[i], static_cast<double>(record[i]));
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Terminar_max_demanda(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_demanda, panel_retorno);
    return 0;
}

int RQ55_Reset_Demanda(int, int, int, void*, int, int) { return 0; }
