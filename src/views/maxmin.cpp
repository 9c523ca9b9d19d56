#include "views/maxmin.h"

#include "device/register_map.h"
#include "device/value_table.h"
#include "lang/labels.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_maxmin = 0;

namespace {

constexpr int kQuantities = kMaxMinCount / 2; // entry k is a maximum, entry 27 + k its minimum

constexpr int kMaxima[kQuantities] = {
    MAXMIN_V1_MAX,      MAXMIN_V2_MAX,      MAXMIN_V3_MAX,       MAXMIN_V12_MAX,        MAXMIN_V23_MAX,
    MAXMIN_V31_MAX,     MAXMIN_I1_MAX,      MAXMIN_I2_MAX,       MAXMIN_I3_MAX,         MAXMIN_IN_MAX,
    MAXMIN_P1_MAX,      MAXMIN_P2_MAX,      MAXMIN_P3_MAX,       MAXMIN_P_TOTAL_MAX,    MAXMIN_Q1_MAX,
    MAXMIN_Q2_MAX,      MAXMIN_Q3_MAX,      MAXMIN_Q_TOTAL_MAX,  MAXMIN_S1_MAX,         MAXMIN_S2_MAX,
    MAXMIN_S3_MAX,      MAXMIN_S_TOTAL_MAX, MAXMIN_FP_TOTAL_MAX, MAXMIN_FRECUENCIA_MAX, MAXMIN_V_MEDIA_MAX,
    MAXMIN_U_MEDIA_MAX, MAXMIN_I_MEDIA_MAX,
};

constexpr int kMinima[kQuantities] = {
    MAXMIN_V1_MIN,      MAXMIN_V2_MIN,      MAXMIN_V3_MIN,       MAXMIN_V12_MIN,        MAXMIN_V23_MIN,
    MAXMIN_V31_MIN,     MAXMIN_I1_MIN,      MAXMIN_I2_MIN,       MAXMIN_I3_MIN,         MAXMIN_IN_MIN,
    MAXMIN_P1_MIN,      MAXMIN_P2_MIN,      MAXMIN_P3_MIN,       MAXMIN_P_TOTAL_MIN,    MAXMIN_Q1_MIN,
    MAXMIN_Q2_MIN,      MAXMIN_Q3_MIN,      MAXMIN_Q_TOTAL_MIN,  MAXMIN_S1_MIN,         MAXMIN_S2_MIN,
    MAXMIN_S3_MIN,      MAXMIN_S_TOTAL_MIN, MAXMIN_FP_TOTAL_MIN, MAXMIN_FRECUENCIA_MIN, MAXMIN_V_MEDIA_MIN,
    MAXMIN_U_MEDIA_MIN, MAXMIN_I_MEDIA_MIN,
};

// The order of the network parameters view: voltages and frequency, currents, totals and
// averages, then phase by phase.
constexpr int kWriteOrder[kQuantities] = {0,  1,  2,  3,  4,  5,  23, 6,  7,  8,  9,  13, 17, 21,
                                          22, 24, 25, 26, 10, 14, 18, 11, 15, 19, 12, 16, 20};

} // namespace

int RQ55_MaxMIn(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    panel_maxmin = OpenView(panel, panel_retorno, MAXMIN, RQ55_Poner_Etiquetas_MAXMIN, {MAXMIN_TIMER},
                            PanelKind::LiveView);
    int fields[kMaxMinCount] = {};
    for (int k = 0; k < kQuantities; ++k) fields[k] = kMaxima[k], fields[kQuantities + k] = kMinima[k];
    if (panel_maxmin > 0) NameValueFields(panel_maxmin, MaxMinValues(), fields);
    return 0;
}

int HBR21_timeloop_MaxMin(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    // While the network parameters view opened from here covers it, this view leaves the line to
    // that one: the largest read of the program would otherwise halve its refresh rate.
    if (!OnScreen(panel)) {
        ResumeRefresh(panel, control);
        return 0;
    }
    float record[kMaxMinCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_maxmin, record) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    for (int k : kWriteOrder) SetCtrlVal(panel, kMaxima[k], static_cast<double>(record[k]));
    for (int k : kWriteOrder) SetCtrlVal(panel, kMinima[k], static_cast<double>(record[kQuantities + k]));
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Terminar_MaxMin(int /*panel*/, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CloseView(panel_maxmin, panel_retorno);
    return 0;
}

int RQ55_Reset_Max_Min(int, int, int, void*, int, int) { return 0; }
