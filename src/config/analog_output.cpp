#include "config/analog_output.h"

#include <cstdint>

#include "device/register_map.h"
#include "device/setting_modes.h"
#include "lang/label_table.h"
#include "lang/labels.h"
#include "panels/config_fields.h"
#include "panels/freshness.h"
#include "panels/navigation.h"
#include "panels/view_support.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

int panel_out_anal = 0;
int salida_analogica = 0;

namespace {

constexpr int kTextOutputNotSaved = 70;

constexpr BlockRead kReads[4] = {RQ55_Ulvo_Leer_Out_Anal_1, RQ55_Ulvo_Leer_Out_Anal_2,
                                 RQ55_Ulvo_Leer_Out_Anal_3, RQ55_Ulvo_Leer_Out_Anal_4};
constexpr BlockWrite kWrites[4] = {RQ55_Ulvo_Escribir_Out_Anal_1, RQ55_Ulvo_Escribir_Out_Anal_2,
                                   RQ55_Ulvo_Escribir_Out_Anal_3, RQ55_Ulvo_Escribir_Out_Anal_4};

// AnalogOutputBlock entries.
enum { kSelector = 0, kPointsMode = 1, kOutputType = 2, kFullScale = 3, kFirstPoint = 4, kPresentValue = 10 };

// X1, Y1, X2, Y2, X3, Y3: the order of the block and of the save.
constexpr int kPoints[6] = {OUT_ANAL_X1, OUT_ANAL_Y1, OUT_ANAL_X2, OUT_ANAL_Y2, OUT_ANAL_X3, OUT_ANAL_Y3};
KeptFloat g_kept[6];
int g_returnTo = 0;

int openOutput(int output, int caller) {
    for (KeptFloat& kept : g_kept) kept = KeptFloat{};
    salida_analogica = output;
    panel_out_anal = OpenView(caller, g_returnTo, OUT_ANAL, RQ55_Poner_Etiquetas_Out_Anal_1,
                              {OUT_ANAL_TIMER, OUT_ANAL_TIMER_GRAFICO}, PanelKind::Settings);
    if (panel_out_anal > 0)
        SetCtrlVal(panel_out_anal, OUT_ANAL_TITULO, strfmt("%s %d", etiqueta[61].c_str(), output));
    return 0;
}

int visibleFullScale(int panel) {
    return IntField(panel, IntField(panel, OUT_ANAL_TIPO) == 0 ? OUT_ANAL_ESCALA_0 : OUT_ANAL_ESCALA);
}

} // namespace

int RQ55_Conf_Anal_Out_1(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? openOutput(1, panel) : 0;
}
int RQ55_Conf_Anal_Out_2(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? openOutput(2, panel) : 0;
}
int RQ55_Conf_Anal_Out_3(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? openOutput(3, panel) : 0;
}
int RQ55_Conf_Anal_Out_4(int panel, int, int event, void*, int, int) {
    return event == EVENT_COMMIT ? openOutput(4, panel) : 0;
}

int RQ55_Timeloop_Out_anal_1(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK || salida_analogica < 1) return 0;
    HoldRefresh(panel, control); // one read per opening, whatever it gives
    float block[kAnalogOutputCount] = {};
    if (ReadWithLinkSettings(kReads[salida_analogica - 1], block) != 1) {
        ShowReadFailed(panel);
        return 0;
    }
    SetCtrlVal(panel, OUT_ANAL_VALOR, static_cast<double>(block[kPresentValue]));
    const int type = static_cast<int>(block[kOutputType]);
    ShowInSelector(panel, OUT_ANAL_TIPO, type);
    SetCtrlVal(panel, OUT_ANAL_SELECTOR, static_cast<int>(block[kSelector]));
    for (int i = 0; i < 6; ++i) ShowFloat(panel, kPoints[i], block[kFirstPoint + i], g_kept[i]);
    ShowInSelector(panel, OUT_ANAL_PUNTOS, static_cast<int>(block[kPointsMode]));
    ShowInSelector(panel, type == 0 ? OUT_ANAL_ESCALA_0 : OUT_ANAL_ESCALA,
                   static_cast<int>(block[kFullScale]));
    RQ55_Anal_Out_Modo_1(panel, OUT_ANAL_PUNTOS, EVENT_COMMIT, nullptr, 0, 0);
    RQ55_Salida_Anal_1(panel, OUT_ANAL_TIPO, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int Grafico_1(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    HoldRefresh(panel, control);
    float xy[6] = {};
    for (int i = 0; i < 6; ++i) xy[i] = static_cast<float>(DoubleField(panel, kPoints[i]));
    PlotCharacteristic(panel, OUT_ANAL_GRAFICO, xy, IntField(panel, OUT_ANAL_PUNTOS));
    ResumeRefresh(panel, control);
    return 0;
}

int RQ55_Anal_Out_Modo_1(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int dimmed = CharacteristicUsesPoint(IntField(panel, OUT_ANAL_PUNTOS), 2) ? 0 : 1;
    SetCtrlAttribute(panel, OUT_ANAL_X2, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panel, OUT_ANAL_Y2, ATTR_DIMMED, dimmed);
    return 0;
}

int RQ55_Salida_Anal_1(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int typeZero = IntField(panel, OUT_ANAL_TIPO) == 0 ? 1 : 0;
    SetCtrlAttribute(panel, OUT_ANAL_ESCALA_0, ATTR_VISIBLE, typeZero);
    SetCtrlAttribute(panel, OUT_ANAL_ESCALA, ATTR_VISIBLE, 1 - typeZero);
    return RQ55_Fondo_Escala_OUT_1(panel, typeZero ? OUT_ANAL_ESCALA_0 : OUT_ANAL_ESCALA, EVENT_COMMIT,
                                   nullptr, 0, 0);
}

int RQ55_Fondo_Escala_OUT_1(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT)
        SetCtrlAttribute(panel, OUT_ANAL_VALOR, ATTR_MAX_VALUE, static_cast<double>(visibleFullScale(panel)));
    return 0;
}

int RQ55_Guardar_Anal_Out_1(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || salida_analogica < 1) return 0;
    if (RefuseUnfit(panel, {{OUT_ANAL_SELECTOR},
                            {OUT_ANAL_X1, "X1"},
                            {OUT_ANAL_Y1, "Y1"},
                            {OUT_ANAL_X2, "X2"},
                            {OUT_ANAL_Y2, "Y2"},
                            {OUT_ANAL_X3, "X3"},
                            {OUT_ANAL_Y3, "Y3"}}) ||
        !ConfirmWriteOfDefaults(panel))
        return 0;
    if (ConfirmPopup("SAVE CHANGES", "Are you sure you want to save changes?") != 1) return 0;
    unsigned char bytes[kAnalogOutputWriteBytes] = {};
    PutBigEndian(bytes, static_cast<uint32_t>(IntField(panel, OUT_ANAL_SELECTOR)), 2);
    PutBigEndian(bytes + 2, static_cast<uint32_t>(IntField(panel, OUT_ANAL_PUNTOS)), 2);
    bytes[4] = static_cast<unsigned char>(IntField(panel, OUT_ANAL_TIPO));
    bytes[5] = static_cast<unsigned char>(visibleFullScale(panel));
    // Point 2 is written even when points mode 0 leaves it unused.
    for (int i = 0; i < 6; ++i) PutFloat(bytes + 6 + 4 * i, TakeFloat(panel, kPoints[i], g_kept[i]));
    if (WriteWithLinkSettings(kWrites[salida_analogica - 1], bytes) != 1) ReportNotSaved(kTextOutputNotSaved);
    return 0;
}

int RQ55_Terminar_Out_Anal_1(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    CloseView(panel_out_anal, g_returnTo);
    salida_analogica = 0;
    return 0;
}
