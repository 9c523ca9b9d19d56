#include "lang/labels.h"

#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {
// For the program's own additions: a text the language file lacks leaves the panel file's text.
void labelIfAny(int panel, int control, const std::string& text) {
    if (!text.empty()) SetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, text);
}
// The name a screen reader gives a control that shows no caption of its own.
void nameIfAny(int panel, int control, const std::string& text) {
    if (!text.empty()) SetCtrlAttribute(panel, control, ATTR_ACCESSIBLE_NAME, text);
}
void itemIfAny(int bar, int item, const std::string& text) {
    if (!text.empty()) SetMenuBarAttribute(bar, item, ATTR_ITEM_NAME, text);
}
// Text numbers the program added, named so that each labelling reads as what the panel shows.
enum {
    kTextClose = 10,
    kTextActivePower = 12,
    kTextReactivePower = 13,
    kTextApparentPower = 11,
    kTextVoltageLN = 30,
    kTextVoltageLL = 31,
    kTextCurrent = 32,
    kTextPowerFactor = 33,
    kTextFrequency = 34,
    kTextActiveImported = 35,
    kTextActiveExported = 36,
    kTextReactiveInductive = 40,
    kTextReactiveCapacitive = 41,
    kTextApparentEnergy = 42,
    kTextByQuadrant = 43,
    kTextOperatingHours = 44,
    kTextEnergyResets = 47,
    kTextEnterPassword = 48,
    kTextCancel = 49,
    kTextReset = 50,
    kTextResetOnKeypad = 51,
    kTextLock = 54,
    kTextSave = 56,
    kTextRelayModes = 62,
    kTextPointsModes = 63,
    kTextValueA = 64,
    kTextValueB = 65,
    kTextCommunication = 299,
    kTextNewPassword = 213,
    kTextCurrentPassword = 215,
    kTextRecord = 420,
    kTextTrend = 441,
    kTextLevel1 = 66,
    kTextLevel2 = 67,
    kTextAnalyserOnly = 400,
    kTextPortNumbers = 514,
    kTextAnalogOutput = 60,
    kTextCharacteristic = 160,
};

std::string equalsCaption(const std::string& text) { return strfmt("%s =", text.c_str()); }
std::string numberedCaption(const std::string& text, int n) { return strfmt("%s %d", text.c_str(), n); }

void textIfAny(int panel, int control, const std::string& text) {
    if (!text.empty()) SetCtrlVal(panel, control, text);
}

// A reset the analyser does not offer over the line: the button says why it cannot be pressed.
void keypadOnlyReset(int panel, int control, const LabelTable& labels) {
    labelIfAny(panel, control, labels[kTextReset]);
    if (!labels[kTextResetOnKeypad].empty())
        SetCtrlAttribute(panel, control, ATTR_TOOLTIP_TEXT, labels[kTextResetOnKeypad]);
}
// The two relays' contact switches: caption 37, state texts 38 and 39.
// The name a screen reader gives a control within a group that has twins: "Relay 1: Mode".
void nameWithin(int panel, int control, const std::string& group) {
    std::string caption;
    GetCtrlAttribute(panel, control, ATTR_ACCESSIBLE_NAME, caption);
    if (caption.empty()) GetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, caption);
    if (caption.rfind(group + ": ", 0) == 0) return; // named already
    if (!caption.empty()) SetCtrlAttribute(panel, control, ATTR_ACCESSIBLE_NAME, group + ": " + caption);
}

void labelContacts(int panel, int relay1, int relay2, const LabelTable& labels) {
    for (int contact : {relay1, relay2}) {
        SetCtrlAttribute(panel, contact, ATTR_LABEL_TEXT, labels[37]);
        SetCtrlAttribute(panel, contact, ATTR_ON_TEXT, labels[38]);
        SetCtrlAttribute(panel, contact, ATTR_OFF_TEXT, labels[39]);
    }
}
} // namespace

void RQ55_Poner_Etiquetas_PRINCIPAL(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, "RQ55");
    SetCtrlAttribute(panel, PRINCIPAL_PUERTO, ATTR_LABEL_TEXT, labels[17]);
    if (!labels[kTextPortNumbers].empty()) SetCtrlAttribute(panel, PRINCIPAL_PUERTO, ATTR_TOOLTIP_TEXT, labels[kTextPortNumbers]);
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
    labelIfAny(panel, PRINCIPAL_GRUPO_COM, labels[kTextCommunication]);
    nameIfAny(panel, PRINCIPAL_COMUNICACION, labels[kTextCommunication]);
    labelIfAny(panel, PRINCIPAL_GRUPO_VISTAS, labels[8]);
    labelIfAny(panel, PRINCIPAL_GRUPO_AJUSTES, labels[9]);
    labelIfAny(panel, PRINCIPAL_MAXMIN, labels[2]);
    labelIfAny(panel, PRINCIPAL_DEMANDA, labels[320]);
    labelIfAny(panel, PRINCIPAL_VERSION, labels[4]);
    labelIfAny(panel, PRINCIPAL_INFORME, labels[489]);
    labelIfAny(panel, PRINCIPAL_CABLEADO, labels[528]);
    itemIfAny(bar, MENU_CONF_INFORME, labels[489]);
    labelIfAny(panel, PRINCIPAL_SALIR, labels[5]);
    itemIfAny(bar, MENU_INFO_ACERCA, labels[19]);
    itemIfAny(bar, MENU_CONF_CONTRASENA, labels[211]);
}

void RQ55_Poner_Etiquetas_TOMADATOS(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[3]);
    SetCtrlVal(panel, TOMADATOS_TITULO_P, labels[kTextActivePower]);
    SetCtrlVal(panel, TOMADATOS_TITULO_Q, labels[kTextReactivePower]);
    SetCtrlVal(panel, TOMADATOS_TITULO_S, labels[kTextApparentPower]);
    SetCtrlAttribute(panel, TOMADATOS_V_MEDIA, ATTR_LABEL_TEXT, equalsCaption(labels[27]));
    SetCtrlAttribute(panel, TOMADATOS_I_MEDIA, ATTR_LABEL_TEXT, equalsCaption(labels[28]));
    SetCtrlAttribute(panel, TOMADATOS_U_MEDIA, ATTR_LABEL_TEXT, equalsCaption(labels[29]));

    textIfAny(panel, TOMADATOS_TITULO_V, labels[kTextVoltageLN]);
    textIfAny(panel, TOMADATOS_TITULO_U, labels[kTextVoltageLL]);
    textIfAny(panel, TOMADATOS_TITULO_I, labels[kTextCurrent]);
    textIfAny(panel, TOMADATOS_TITULO_FP, labels[kTextPowerFactor]);
    labelIfAny(panel, TOMADATOS_FRECUENCIA, labels[kTextFrequency]);
    labelIfAny(panel, TOMADATOS_GRABAR, labels[kTextRecord]);
    labelIfAny(panel, TOMADATOS_TENDENCIA, labels[kTextTrend]);
    labelIfAny(panel, TOMADATOS_CERRAR, labels[kTextClose]);
}

void RQ55_Poner_Etiquetas_ENERGIA(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[15]);
    SetCtrlAttribute(panel, ENERGIA_RESET, ATTR_LABEL_TEXT, labels[322]);

    labelIfAny(panel, ENERGIA_ACTIVA_IMP, labels[kTextActiveImported]);
    labelIfAny(panel, ENERGIA_ACTIVA_EXP, labels[kTextActiveExported]);
    labelIfAny(panel, ENERGIA_REACTIVA_IND, labels[kTextReactiveInductive]);
    labelIfAny(panel, ENERGIA_REACTIVA_CAP, labels[kTextReactiveCapacitive]);
    labelIfAny(panel, ENERGIA_APARENTE, labels[kTextApparentEnergy]);
    textIfAny(panel, ENERGIA_TITULO_CUADRANTES, labels[kTextByQuadrant]);
    labelIfAny(panel, ENERGIA_HORAS, labels[kTextOperatingHours]);
    labelIfAny(panel, ENERGIA_BORRADOS, labels[kTextEnergyResets]);
    labelIfAny(panel, ENERGIA_CERRAR, labels[kTextClose]);
}

void LabelEnergyPasswordPopup(int panel, const LabelTable& labels) {
    if (!labels[325].empty()) SetPanelAttribute(panel, ATTR_TITLE, labels[325]);
    textIfAny(panel, CONTRASENA_ENER_TEXTO, labels[kTextEnterPassword]);
    labelIfAny(panel, CONTRASENA_ENER_CLAVE, labels[325]);
    labelIfAny(panel, CONTRASENA_ENER_CANCELAR, labels[kTextCancel]);
}

void RQ55_Poner_Etiquetas_MAXMIN(int panel, const LabelTable& labels) {
    struct Half {
        int heading, headingText, p, q, s, vAverage, uAverage, iAverage, v, u, i, pf, frequency;
    };
    const Half halves[2] = {
        {MAXMIN_TITULO_MAX, 250, MAXMIN_TITULO_P_MAX, MAXMIN_TITULO_Q_MAX, MAXMIN_TITULO_S_MAX,
         MAXMIN_V_MEDIA_MAX, MAXMIN_U_MEDIA_MAX, MAXMIN_I_MEDIA_MAX, MAXMIN_TITULO_V_MAX, MAXMIN_TITULO_U_MAX,
         MAXMIN_TITULO_I_MAX, MAXMIN_FP_TOTAL_MAX, MAXMIN_FRECUENCIA_MAX},
        {MAXMIN_TITULO_MIN, 251, MAXMIN_TITULO_P_MIN, MAXMIN_TITULO_Q_MIN, MAXMIN_TITULO_S_MIN,
         MAXMIN_V_MEDIA_MIN, MAXMIN_U_MEDIA_MIN, MAXMIN_I_MEDIA_MIN, MAXMIN_TITULO_V_MIN, MAXMIN_TITULO_U_MIN,
         MAXMIN_TITULO_I_MIN, MAXMIN_FP_TOTAL_MIN, MAXMIN_FRECUENCIA_MIN},
    };
    for (const Half& h : halves) SetCtrlVal(panel, h.heading, labels[h.headingText]);
    for (const Half& h : halves) {
        SetCtrlVal(panel, h.p, labels[kTextActivePower]);
        SetCtrlVal(panel, h.q, labels[kTextReactivePower]);
        SetCtrlVal(panel, h.s, labels[kTextApparentPower]);
    }
    for (const Half& h : halves) {
        SetCtrlAttribute(panel, h.vAverage, ATTR_LABEL_TEXT, equalsCaption(labels[27]));
        SetCtrlAttribute(panel, h.uAverage, ATTR_LABEL_TEXT, equalsCaption(labels[29]));
        SetCtrlAttribute(panel, h.iAverage, ATTR_LABEL_TEXT, equalsCaption(labels[28]));
    }

    if (!labels[2].empty()) SetPanelAttribute(panel, ATTR_TITLE, labels[2]);
    for (const Half& h : halves) {
        textIfAny(panel, h.v, labels[kTextVoltageLN]);
        textIfAny(panel, h.u, labels[kTextVoltageLL]);
        textIfAny(panel, h.i, labels[kTextCurrent]);
        labelIfAny(panel, h.pf, labels[kTextPowerFactor]);
        labelIfAny(panel, h.frequency, labels[kTextFrequency]);
    }
    keypadOnlyReset(panel, MAXMIN_RESET, labels);
    labelIfAny(panel, MAXMIN_PARAMETROS, labels[3]);
    labelIfAny(panel, MAXMIN_CERRAR, labels[kTextClose]);
}

void RQ55_Poner_Etiquetas_DEMANDA(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[320]);
    SetCtrlVal(panel, DEMANDA_TITULO_MAXIMA, labels[320]);
    SetCtrlVal(panel, DEMANDA_TITULO_ACTUAL, labels[321]);

    textIfAny(panel, DEMANDA_TITULO_P, labels[kTextActivePower]);
    textIfAny(panel, DEMANDA_TITULO_Q, labels[kTextReactivePower]);
    textIfAny(panel, DEMANDA_TITULO_S, labels[kTextApparentPower]);
    if (!labels[kTextCurrent].empty()) {
        SetCtrlVal(panel, DEMANDA_TITULO_I1, labels[kTextCurrent] + " L1");
        SetCtrlVal(panel, DEMANDA_TITULO_I2, labels[kTextCurrent] + " L2");
        SetCtrlVal(panel, DEMANDA_TITULO_I3, labels[kTextCurrent] + " L3");
    }
    keypadOnlyReset(panel, DEMANDA_RESET, labels);
    labelIfAny(panel, DEMANDA_CERRAR, labels[kTextClose]);
}

void RQ55_Poner_Etiquetas_Estado(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[300]);
    SetCtrlAttribute(panel, ESTADO_MODO_RELE_1, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, ESTADO_MODO_RELE_2, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, ESTADO_ESTADO_RELE_1, ATTR_LABEL_TEXT, labels[300]);
    SetCtrlAttribute(panel, ESTADO_ESTADO_RELE_2, ATTR_LABEL_TEXT, labels[300]);
    SetCtrlAttribute(panel, ESTADO_DIRECCION, ATTR_LABEL_TEXT, labels[7]);
    SetCtrlAttribute(panel, ESTADO_VELOCIDAD, ATTR_LABEL_TEXT, labels[225]);
    SetCtrlAttribute(panel, ESTADO_MODO_COM, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, ESTADO_PROTOCOLO, ATTR_LABEL_TEXT, labels[16]);
    SetCtrlAttribute(panel, ESTADO_FECHA, ATTR_LABEL_TEXT, labels[45]);
    SetCtrlAttribute(panel, ESTADO_HORA, ATTR_LABEL_TEXT, labels[46]);
    SetCtrlAttribute(panel, ESTADO_MODELO, ATTR_LABEL_TEXT, labels[231]);
    SetCtrlAttribute(panel, ESTADO_NUM_SERIE, ATTR_LABEL_TEXT, labels[405]);
    const int gauges[4] = {ESTADO_VALOR_SALIDA_1, ESTADO_VALOR_SALIDA_2, ESTADO_VALOR_SALIDA_3,
                           ESTADO_VALOR_SALIDA_4};
    for (int n = 1; n <= 4; ++n) {
        SetCtrlAttribute(panel, gauges[n - 1], ATTR_LABEL_TEXT, numberedCaption(labels[61], n));
        SetCtrlAttribute(panel, gauges[n - 1], ATTR_UNIT, labels[53]);
    }
    SetCtrlAttribute(panel, ESTADO_RETARDO, ATTR_LABEL_TEXT, labels[381]);
    // Numbered, so the two relay groups can be told apart at a glance.
    SetCtrlVal(panel, ESTADO_TITULO_RELE_1, numberedCaption(labels[75], 1));
    SetCtrlVal(panel, ESTADO_TITULO_RELE_2, numberedCaption(labels[75], 2));
    labelContacts(panel, ESTADO_CONTACTO_RELE_1, ESTADO_CONTACTO_RELE_2, labels);

    textIfAny(panel, ESTADO_TITULO_COM, labels[299]);
    labelIfAny(panel, ESTADO_BLOQUEO_RELE_1, labels[kTextLock]);
    labelIfAny(panel, ESTADO_BLOQUEO_RELE_2, labels[kTextLock]);
    const int types[4] = {ESTADO_TIPO_SALIDA_1, ESTADO_TIPO_SALIDA_2, ESTADO_TIPO_SALIDA_3,
                          ESTADO_TIPO_SALIDA_4};
    const int selectors[4] = {ESTADO_MAGNITUD_SALIDA_1, ESTADO_MAGNITUD_SALIDA_2, ESTADO_MAGNITUD_SALIDA_3,
                              ESTADO_MAGNITUD_SALIDA_4};
    for (int n = 0; n < 4; ++n) {
        labelIfAny(panel, types[n], labels[52]);
        labelIfAny(panel, selectors[n], labels[58]);
    }
    labelIfAny(panel, ESTADO_CERRAR, labels[kTextClose]);

    // A screen reader tells the relays and the outputs apart: "Relay 2: Mode", "Analog output 3: ..."
    const int relayFields[2][4] = {
        {ESTADO_ESTADO_RELE_1, ESTADO_MODO_RELE_1, ESTADO_BLOQUEO_RELE_1, ESTADO_CONTACTO_RELE_1},
        {ESTADO_ESTADO_RELE_2, ESTADO_MODO_RELE_2, ESTADO_BLOQUEO_RELE_2, ESTADO_CONTACTO_RELE_2}};
    for (int r = 0; r < 2; ++r)
        for (int field : relayFields[r]) nameWithin(panel, field, numberedCaption(labels[75], r + 1));
    const int graphs[4] = {ESTADO_GRAFICO_SALIDA_1, ESTADO_GRAFICO_SALIDA_2, ESTADO_GRAFICO_SALIDA_3,
                           ESTADO_GRAFICO_SALIDA_4};
    for (int n = 0; n < 4; ++n) {
        const std::string output = numberedCaption(labels[kTextAnalogOutput], n + 1);
        nameWithin(panel, types[n], output);
        nameWithin(panel, selectors[n], output);
        nameIfAny(panel, graphs[n], output + ": " + labels[kTextCharacteristic]);
    }
}

void RQ55_Poner_Etiquetas_Conf_Eq(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[1]);
    SetCtrlAttribute(panel, CONF_EQUIPO_DIRECCION, ATTR_LABEL_TEXT, labels[7]);
    SetCtrlAttribute(panel, CONF_EQUIPO_VELOCIDAD, ATTR_LABEL_TEXT, labels[225]);
    SetCtrlAttribute(panel, CONF_EQUIPO_MODO, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, CONF_EQUIPO_PRIMARIO_V, ATTR_LABEL_TEXT, labels[304]);
    SetCtrlAttribute(panel, CONF_EQUIPO_SECUNDARIO_V, ATTR_LABEL_TEXT, labels[305]);
    SetCtrlAttribute(panel, CONF_EQUIPO_PRIMARIO_I, ATTR_LABEL_TEXT, labels[306]);
    SetCtrlAttribute(panel, CONF_EQUIPO_SECUNDARIO_I, ATTR_LABEL_TEXT, labels[307]);
    SetCtrlAttribute(panel, CONF_EQUIPO_PERIODO, ATTR_LABEL_TEXT, labels[14]);
    SetCtrlAttribute(panel, CONF_EQUIPO_PROTOCOLO, ATTR_LABEL_TEXT, labels[16]);
    SetCtrlAttribute(panel, CONF_EQUIPO_RETARDO, ATTR_LABEL_TEXT, labels[381]);
    SetCtrlVal(panel, CONF_EQUIPO_TITULO_COM, labels[299]);
    SetCtrlVal(panel, CONF_EQUIPO_TITULO_RELACIONES, labels[298]);

    textIfAny(panel, CONF_EQUIPO_AVISO, labels[kTextAnalyserOnly]);
    labelIfAny(panel, CONF_EQUIPO_GUARDAR, labels[kTextSave]);
    labelIfAny(panel, CONF_EQUIPO_GUARDAR_2, labels[kTextSave]);
    labelIfAny(panel, CONF_EQUIPO_CERRAR, labels[kTextClose]);
}

void RQ55_Poner_Etiquetas_Camb_Contr(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[211]);
    labelIfAny(panel, CONTRASENA_NUEVA, labels[kTextNewPassword]);
    labelIfAny(panel, CONTRASENA_ACTUAL, labels[kTextCurrentPassword]);
}

void RQ55_Poner_Etiquetas_In_Out(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[159]);
    SetCtrlAttribute(panel, IN_OUT_MODO_1, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, IN_OUT_MODO_2, ATTR_LABEL_TEXT, labels[406]);
    SetCtrlAttribute(panel, IN_OUT_ESTADO_1, ATTR_LABEL_TEXT, labels[300]);
    SetCtrlAttribute(panel, IN_OUT_ESTADO_2, ATTR_LABEL_TEXT, labels[300]);
    const int outputs[4] = {IN_OUT_SALIDA_1, IN_OUT_SALIDA_2, IN_OUT_SALIDA_3, IN_OUT_SALIDA_4};
    for (int n = 1; n <= 4; ++n)
        SetCtrlAttribute(panel, outputs[n - 1], ATTR_LABEL_TEXT, numberedCaption(labels[60], n));
    SetCtrlVal(panel, IN_OUT_TEXTO_MODO_2, labels[302]);
    // Numbered, so the two relay groups can be told apart at a glance.
    SetCtrlVal(panel, IN_OUT_TITULO_1, numberedCaption(labels[75], 1));
    SetCtrlVal(panel, IN_OUT_TITULO_2, numberedCaption(labels[75], 2));
    // The figure of the relay's kind, until its mode is read and names it.
    nameIfAny(panel, IN_OUT_INDICADOR_1, numberedCaption(labels[75], 1));
    nameIfAny(panel, IN_OUT_INDICADOR_2, numberedCaption(labels[75], 2));
    SetCtrlVal(panel, IN_OUT_NIVELES_1, labels[219]);
    SetCtrlVal(panel, IN_OUT_NIVELES_2, labels[219]);
    labelContacts(panel, IN_OUT_CONTACTO_1, IN_OUT_CONTACTO_2, labels);

    struct Group {
        int mode, selector, valueA, valueB, lock, level1, level2;
    };
    const Group groups[2] = {
        {IN_OUT_MODO_1, IN_OUT_SELECTOR_1, IN_OUT_VALOR_A_TEXTO_1, IN_OUT_VALOR_B_1, IN_OUT_BLOQUEO_1,
         IN_OUT_NIVEL_1_1, IN_OUT_NIVEL_2_1},
        {IN_OUT_MODO_2, IN_OUT_SELECTOR_2, IN_OUT_VALOR_A_TEXTO_2, IN_OUT_VALOR_B_2, IN_OUT_BLOQUEO_2,
         IN_OUT_NIVEL_1_2, IN_OUT_NIVEL_2_2},
    };
    for (const Group& g : groups) {
        if (!labels[kTextRelayModes].empty())
            SetCtrlAttribute(panel, g.mode, ATTR_TOOLTIP_TEXT, labels[kTextRelayModes]);
        labelIfAny(panel, g.selector, labels[58]);
        textIfAny(panel, g.valueA, labels[kTextValueA]);
        labelIfAny(panel, g.valueB, labels[kTextValueB]);
        labelIfAny(panel, g.lock, labels[kTextLock]);
        labelIfAny(panel, g.level1, labels[kTextLevel1]);
        labelIfAny(panel, g.level2, labels[kTextLevel2]);
    }
    nameIfAny(panel, IN_OUT_VALOR_A_1, labels[kTextValueA]);
    nameIfAny(panel, IN_OUT_VALOR_A_2, labels[kTextValueA]);
    // A screen reader tells the two relays apart: "Relay 1: Mode", "Relay 2: Value A".
    const int relayFields[2][9] = {
        {IN_OUT_MODO_1, IN_OUT_ESTADO_1, IN_OUT_SELECTOR_1, IN_OUT_VALOR_A_1, IN_OUT_VALOR_B_1, IN_OUT_BLOQUEO_1,
         IN_OUT_CONTACTO_1, IN_OUT_NIVEL_1_1, IN_OUT_NIVEL_2_1},
        {IN_OUT_MODO_2, IN_OUT_ESTADO_2, IN_OUT_SELECTOR_2, IN_OUT_VALOR_A_2, IN_OUT_VALOR_B_2, IN_OUT_BLOQUEO_2,
         IN_OUT_CONTACTO_2, IN_OUT_NIVEL_1_2, IN_OUT_NIVEL_2_2}};
    for (int r = 0; r < 2; ++r)
        for (int field : relayFields[r]) nameWithin(panel, field, numberedCaption(labels[75], r + 1));
    labelIfAny(panel, IN_OUT_GUARDAR, labels[kTextSave]);
    labelIfAny(panel, IN_OUT_CERRAR, labels[kTextClose]);
}

void RQ55_Poner_Etiquetas_Out_Anal_1(int panel, const LabelTable& labels) {
    SetPanelAttribute(panel, ATTR_TITLE, labels[61]);
    SetCtrlAttribute(panel, OUT_ANAL_VALOR, ATTR_LABEL_TEXT, labels[61]);
    SetCtrlAttribute(panel, OUT_ANAL_VALOR, ATTR_UNIT, labels[53]);
    SetCtrlAttribute(panel, OUT_ANAL_PUNTOS, ATTR_LABEL_TEXT, labels[160]);
    SetCtrlAttribute(panel, OUT_ANAL_SELECTOR, ATTR_LABEL_TEXT, labels[58]);
    SetCtrlAttribute(panel, OUT_ANAL_TIPO, ATTR_LABEL_TEXT, labels[52]);
    SetCtrlAttribute(panel, OUT_ANAL_ESCALA_0, ATTR_LABEL_TEXT, labels[53]);
    SetCtrlAttribute(panel, OUT_ANAL_ESCALA, ATTR_LABEL_TEXT, labels[53]);

    if (!labels[kTextPointsModes].empty())
        SetCtrlAttribute(panel, OUT_ANAL_PUNTOS, ATTR_TOOLTIP_TEXT, labels[kTextPointsModes]);
    labelIfAny(panel, OUT_ANAL_GUARDAR, labels[kTextSave]);
    labelIfAny(panel, OUT_ANAL_CERRAR, labels[kTextClose]);
    nameIfAny(panel, OUT_ANAL_GRAFICO, labels[kTextCharacteristic]);
}
