// The program's start, its main panel and its end.
#pragma once

#include <string>

// The handle of the main panel; replaced when a language change rebuilds it.
extern int panel_principal;

// Link settings the main panel starts with instead of the panel file's (the demo mode's
// simulated analyser). Kept across language changes.
struct MainPanelPreset {
    bool demo = false; // say on the panel that the analyser is simulated
    int port = 0;      // 0: keep the panel file's settings
    int address = 1;
    std::string host;
    unsigned tcpPort = 0;
    bool quitOnceShown = false; // show the main panel, then quit: checks an installation
};
void SetMainPanelPreset(const MainPanelPreset& preset);

// Whether the program talks to its built-in simulated analyser (its settings are not remembered).
bool DemoMode();

// Starts the program and runs it until the exit button; the process's exit code (-1 when the
// panel file or the language file cannot be used).
int RQ55_main(int argc, char** argv);

int QUIT(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Loads a new main panel in the language in force in place of `oldPanel`, keeping the link
// settings and the state of the communication switch, and shows it.
void RebuildMainPanel(int oldPanel);

// Menu commands of the main panel: switch language and rebuild the main panel.
void RQ55_Cambia_Idioma_ESP(int menuBar, int menuItem, void* callbackData, int panel);
void RQ55_Cambia_Idioma_ENG(int menuBar, int menuItem, void* callbackData, int panel);

int Ulvo_GEN_Presenta_iconos_comunicaciones_solo_semaforo();
int Hace_nada_con_el_icono_de_tareas(int icon, int event, int eventData);
