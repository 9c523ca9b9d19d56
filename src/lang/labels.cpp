#include "lang/labels.h"

#include "platform/ui.h"
#include "rq55_uir.h"

namespace {
// For the program's own additions: a text the language file lacks leaves the panel file's text.
void labelIfAny(int panel, int control, const std::string& text) {
    if (!text.empty()) SetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, text);
}
void itemIfAny(int bar, int item, const std::string& text) {
    if (!text.empty()) SetMenuBarAttribute(bar, item, ATTR_ITEM_NAME, text);
}
} // namespace

void RQ55_Poner_Etiquetas_PRINCIPAL(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, "RQ55");
    SetCtrlAttribute(panel, PRINCIPAL_PUERTO, ATTR_LABEL_TEXT, labels[17]);
    SetCtrlAttribute(panel, PRINCIPAL_IDENTIDAD, ATTR_LABEL_TEXT, labels[7]);
    SetCtrlAttribute(panel, PRINCIPAL_IP, ATTR_LABEL_TEXT, labels[280]);
    SetCtrlAttribute(panel, PRINCIPAL_TCP_PUERTO, ATTR_LABEL_TEXT, labels[393]);
    SetCtrlAttribute(panel, PRINCIPAL_VELOCIDAD, ATTR_LABEL_TEXT, labels[225]);
    SetCtrlAttribute(panel, PRINCIPAL_MODO, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, PRINCIPAL_PARAMETROS, ATTR_LABEL_TEXT, labels[3]);
    SetCtrlAttribute(panel, PRINCIPAL_ENERGIA, ATTR_LABEL_TEXT, labels[15]);
    SetCtrlAttribute(panel, PRINCIPAL_ESTADO, ATTR_LABEL_TEXT, labels[300]);
    SetCtrlAttribute(panel, PRINCIPAL_CONF_EQUIPO, ATTR_LABEL_TEXT, labels[1]);
    SetCtrlAttribute(panel, PRINCIPAL_IN_OUT, ATTR_LABEL_TEXT, labels[159]);

    const int bar = GetPanelMenuBar(panel);
    SetMenuBarAttribute(bar, MENU_IDIOMA, ATTR_MENU_NAME, labels[341]);
    SetMenuBarAttribute(bar, MENU_INFO, ATTR_MENU_NAME, labels[18]);
    SetMenuBarAttribute(bar, MENU_CONF, ATTR_MENU_NAME, labels[289]);
    SetMenuBarAttribute(bar, MENU_CONF_CARGAR, ATTR_ITEM_NAME, labels[287]);
    SetMenuBarAttribute(bar, MENU_CONF_GUARDAR, ATTR_ITEM_NAME, labels[288]);

    // Beyond the texts above, the program's own additions: group headings, the buttons whose
    // captions the panel file would otherwise give in both languages at once, and two items.
    labelIfAny(panel, PRINCIPAL_SUBTITULO, labels[20]);
    labelIfAny(panel, PRINCIPAL_DEMO, labels[6]);
    labelIfAny(panel, PRINCIPAL_GRUPO_COM, labels[299]);
    labelIfAny(panel, PRINCIPAL_GRUPO_VISTAS, labels[8]);
    labelIfAny(panel, PRINCIPAL_GRUPO_AJUSTES, labels[9]);
    labelIfAny(panel, PRINCIPAL_MAXMIN, labels[2]);
    labelIfAny(panel, PRINCIPAL_DEMANDA, labels[320]);
    labelIfAny(panel, PRINCIPAL_VERSION, labels[4]);
    labelIfAny(panel, PRINCIPAL_SALIR, labels[5]);
    itemIfAny(bar, MENU_INFO_ACERCA, labels[19]);
    itemIfAny(bar, MENU_CONF_CONTRASENA, labels[211]);
}
