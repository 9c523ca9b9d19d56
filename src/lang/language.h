// Which language is in force: the language file, the remembered choice, the language dialog and
// the two language switches the main panel's menu commands use.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lang/label_table.h"
#include "lang/language_table.h"

// The run-time's own font settings, which the program keeps empty.
inline constexpr const char* kRuntimeFontKey = "SOFTWARE\\RQ55\\Runtime";
// The language dialog lists at most this many languages, with names of at most 99 characters.
inline constexpr int kMaxLanguages = 20;
inline constexpr int kMaxLanguageName = 99;

// Builds the table of the remembered language (asking for one when none is valid). Nothing when
// no table could be built; the operator has then been told why.
std::optional<LabelTable> Ulvo_AsignarIdioma();

int Ulvo_NumeroDeIdiomas(int* count);
int Ulvo_ObtenerIdiomas(std::vector<std::string>& names);
// Shows the language dialog; the language chosen, or -1 when the operator pressed "Quit".
int Ulvo_SeleccionarIdioma(int* language);

int AceptarIdioma(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Salir_de_Instalacion(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);

// Make language 1 / 2 the one in force: remembered at once, then loaded when the file has it.
void RQ55_Selecciona_Idioma_ESP();
void RQ55_Selecciona_Idioma_ENG();

// The language whose texts are in force (1, 2, ...), 0 before any was loaded.
int LanguageInForce();

// What the last table read lacked, as told to the operator ("" when its section was whole).
const std::string& LanguageFileIncomplete();


