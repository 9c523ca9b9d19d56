// The labelling family: one function per panel writes the translated texts onto a freshly
// loaded panel (title, captions, texts shown as values, switch state texts, menu names).
#pragma once

#include "lang/label_table.h"

void RQ55_Poner_Etiquetas_PRINCIPAL(int panel, const LabelTable& labels);

// The live views.
void RQ55_Poner_Etiquetas_TOMADATOS(int panel, const LabelTable& labels);
void RQ55_Poner_Etiquetas_ENERGIA(int panel, const LabelTable& labels);
void RQ55_Poner_Etiquetas_MAXMIN(int panel, const LabelTable& labels);
void RQ55_Poner_Etiquetas_DEMANDA(int panel, const LabelTable& labels);
void RQ55_Poner_Etiquetas_Estado(int panel, const LabelTable& labels);
// The set-up panels.
void RQ55_Poner_Etiquetas_Conf_Eq(int panel, const LabelTable& labels);
void RQ55_Poner_Etiquetas_In_Out(int panel, const LabelTable& labels);
// The four analog outputs share one panel layout, so this one labelling serves all four.
void RQ55_Poner_Etiquetas_Out_Anal_1(int panel, const LabelTable& labels);
// The energy-reset password popup, so that it speaks the language in force like every other panel.
void LabelEnergyPasswordPopup(int panel, const LabelTable& labels);
// The password-change popup: its title and captions are set as it opens, so this writes nothing.
void RQ55_Poner_Etiquetas_Camb_Contr(int panel, const LabelTable& labels);
