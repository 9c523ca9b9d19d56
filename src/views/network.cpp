#include "views/network.h"

#include "device/named_values.h"
#include "device/register_map.h"
#include "device/value_table.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "link/link_settings.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "views/recording.h"
#include "views/trend.h"

int panel_tomadatos = 0;
int panel_origen_tomadatos = 0;

namespace {

constexpr int kTextRecord = 420;
constexpr int kTextRecording = 421;
constexpr int kTextCannotRecord = 422;

Recording g_recording;

// The recording ends and the switch says so; the view goes on refreshing.
void stopRecording(int panel, const std::string& path, const std::string& why) {
    g_recording.stop();
    SetCtrlVal(panel, TOMADATOS_GRABAR, 0);
    MessagePopup(etiqueta[kTextRecording], etiqueta[kTextCannotRecord] + "\n" + path + ": " + why);
}

// Exactly as read, before any value is ranged for the screen.
void recordRow(int panel, const float* values) {
    if (!g_recording.on()) return;
    std::vector<NamedValue> named;
    AddNamedValues(NetworkValues(), values, named);
    std::string why;
    if (!g_recording.append(Identidad, named, why)) stopRecording(panel, g_recording.path(), why);
}

// Index i of the record: its value field and, for the quantities that are ranged, its unit field
// with the two units it can show.
constexpr RangedField kQuantities[kNetworkParameterCount] = {
    {TOMADATOS_V1, TOMADATOS_UNIDAD_V1},
    {TOMADATOS_V2, TOMADATOS_UNIDAD_V2},
    {TOMADATOS_V3, TOMADATOS_UNIDAD_V3},
    {TOMADATOS_V12, TOMADATOS_UNIDAD_V12},
    {TOMADATOS_V23, TOMADATOS_UNIDAD_V23},
    {TOMADATOS_V31, TOMADATOS_UNIDAD_V31},
    {TOMADATOS_I1, TOMADATOS_UNIDAD_I1},
    {TOMADATOS_I2, TOMADATOS_UNIDAD_I2},
    {TOMADATOS_I3, TOMADATOS_UNIDAD_I3},
    {TOMADATOS_IN, TOMADATOS_UNIDAD_IN},
    {TOMADATOS_P1, TOMADATOS_UNIDAD_P1},
    {TOMADATOS_P2, TOMADATOS_UNIDAD_P2},
    {TOMADATOS_P3, TOMADATOS_UNIDAD_P3},
    {TOMADATOS_P_TOTAL, TOMADATOS_UNIDAD_P_TOTAL},
    {TOMADATOS_Q1, TOMADATOS_UNIDAD_Q1},
    {TOMADATOS_Q2, TOMADATOS_UNIDAD_Q2},
    {TOMADATOS_Q3, TOMADATOS_UNIDAD_Q3},
    {TOMADATOS_Q_TOTAL, TOMADATOS_UNIDAD_Q_TOTAL},
    {TOMADATOS_S1, TOMADATOS_UNIDAD_S1},
    {TOMADATOS_S2, TOMADATOS_UNIDAD_S2},
    {TOMADATOS_S3, TOMADATOS_UNIDAD_S3},
    {TOMADATOS_S_TOTAL, TOMADATOS_UNIDAD_S_TOTAL},
    {TOMADATOS_FP1, 0},
    {TOMADATOS_FP2, 0},
    {TOMADATOS_FP3, 0},
    {TOMADATOS_FP_TOTAL, 0},
    {TOMADATOS_FRECUENCIA, 0},
    {TOMADATOS_V_MEDIA, TOMADATOS_UNIDAD_V_MEDIA},
    {TOMADATOS_U_MEDIA, TOMADATOS_UNIDAD_U_MEDIA},
    {TOMADATOS_I_MEDIA, TOMADATOS_UNIDAD_I_MEDIA},
};

// Voltages and frequency; currents; totals and averages; then phase by phase.
constexpr int kWriteOrder[kNetworkParameterCount] = {0,  1,  2,  3,  4,  5,  26, 6,  7,  8,
                                                     9,  13, 17, 21, 25, 27, 28, 29, 10, 14,
                                                     18, 22, 11, 15, 19, 23, 12, 16, 20, 24};

// Ranged in index order: 0 to 21, then 27 to 29 (22 to 26 have no unit to change).
void rangeUnits(int panel, float* record) {
    for (int i = 0; i < kNetworkParameterCount; ++i) {
        const RangedField& q = kQuantities[i];
        if (q.unitField != 0)
            ShowRangedUnit(panel, q, record[i], NetworkValues().values[static_cast<size_t>(i)].unit);
    }
}

void openFrom(int caller) {
    g_recording.stop();
    TrendRestart();
    panel_tomadatos = OpenView(caller, panel_origen_tomadatos, TOMADATOS, RQ55_Poner_Etiquetas_TOMADATOS,
                               {TOMADATOS_TIMER}, PanelKind::LiveView);
    int fields[kNetworkParameterCount] = {};
    for (int i = 0; i < kNetworkParameterCount; ++i) fields[i] = kQuantities[i].field;
    if (panel_tomadatos > 0) NameValueFields(panel_tomadatos, NetworkValues(), fields);
}

} // namespace

int RQ55_parametros_red(int panel, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) openFrom(panel);
    return 0;
}

int RQ55_toma_datos(int panel, int /*control*/, int event, void*, int, int) {
    if (event == EVENT_COMMIT) openFrom(panel);
    return 0;
}

int RQ55_datos_timeloop(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    float record[kNetworkParameterCount] = {};
    if (ReadWithLinkSettings(RQ55_Ulvo_Leer_Prametros_Red, record) != 1) {
        ShowReadFailed(panel);
        TrendReadFailed();
        return 0;
    }
    recordRow(panel, record);
    double now = 0;
    GetCurrentDateTime(&now);
    TrendAdd(record, now * 1000.0);
    rangeUnits(panel, record);
    for (int i : kWriteOrder) SetCtrlVal(panel, kQuantities[i].field, static_cast<double>(record[i]));
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Terminar_tomadatos(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_recording.stop();
    TrendEnd();
    CloseView(panel, panel_origen_tomadatos);
    return 0;
}

int RQ55_Grabar_Red(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int on = 0;
    GetCtrlVal(panel, control, on);
    if (!on) {
        g_recording.stop();
        return 0;
    }
    std::string path;
    if (FileSelectPopupEx("", "*.csv", "*.csv", etiqueta[kTextRecord], VAL_SAVE_BUTTON, path) < 1) {
        SetCtrlVal(panel, control, 0);
        return 0;
    }
    std::string why;
    if (!g_recording.start(path, why)) stopRecording(panel, path, why);
    return 0;
}
