#include "shell/info.h"

#include "lang/label_table.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/navigation.h"

void RQ55_info(int /*menuBar*/, int /*menuItem*/, void*, int panel) {
    panel_retorno = panel;
    HidePanel(panel);
    RQ55_Visualiza_Pantalla_Info(0, 0);
}

void RQ55_Visualiza_Pantalla_Info(int /*menuBar*/, int /*panel*/) {
    const int info = LoadMenuPopup(INFO);
    if (info < 0) return;
    SetPanelAttribute(info, ATTR_TITLE, etiqueta[18]);
    SetCtrlVal(info, INFO_PRODUCTO, "RQ55");
    SetCtrlVal(info, INFO_TEXTO_1, "Network analyser set-up and monitoring");
    SetCtrlVal(info, INFO_TEXTO_2, "Modbus RTU · Modbus/TCP · RTU over TCP");
    InstallPopup(info);
}

int RQ55_Terminar_Programa_Info(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    ClosePopup(panel, panel_retorno);
    return 0;
}

int timer_hora(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    // Stopped while the texts are written, so a slow update never overlaps the next tick.
    ResetTimer(panel, control);
    SetCtrlAttribute(panel, control, ATTR_ENABLED, 0);
    RQ55_Tiempo(panel);
    ResetTimer(panel, control);
    SetCtrlAttribute(panel, control, ATTR_ENABLED, 1);
    return 0;
}

void RQ55_Tiempo(int panel) {
    double now = 0;
    GetCurrentDateTime(&now);
    SetCtrlVal(panel, ESTADO_FECHA, FormatDateTimeString(now, "%x"));
    SetCtrlVal(panel, ESTADO_HORA, FormatDateTimeString(now, "%H:%M:%S"));
}
