#include "shell/info.h"

#include "lang/label_table.h"
#include "panels/navigation.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

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
    SetCtrlVal(
        info, INFO_TEXTO_2,
        strfmt("Version %s (%s)\nModbus RTU · Modbus/TCP · RTU over TCP", RQ55_VERSION, RQ55_BUILD_DATE));
    InstallPopup(info);
}

int RQ55_Terminar_Programa_Info(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    ClosePopup(panel, panel_retorno);
    return 0;
}
