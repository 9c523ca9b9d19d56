// The labelling family: one function per panel writes the translated texts onto a freshly
// loaded panel (title, captions, texts shown as values, switch state texts, menu names).
#pragma once

#include "lang/label_table.h"

void RQ55_Poner_Etiquetas_PRINCIPAL(int panel, const LabelTable& labels);
