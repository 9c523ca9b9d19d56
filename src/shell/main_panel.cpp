#include "shell/main_panel.h"

#include <cstdio>
#include <optional>

#include "lang/label_table.h"
#include "lang/labels.h"
#include "lang/language.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/comm_switch.h"
#include "shell/link_memory.h"

int panel_principal = 0;

namespace {

MainPanelPreset g_preset;

void applyPreset(int panel) {
    if (g_preset.port != 0) {
        SetCtrlVal(panel, PRINCIPAL_PUERTO, g_preset.port);
        SetCtrlVal(panel, PRINCIPAL_IDENTIDAD, g_preset.address);
        SetCtrlVal(panel, PRINCIPAL_IP, g_preset.host);
        SetCtrlVal(panel, PRINCIPAL_TCP_PUERTO, g_preset.tcpPort);
    }
    SetCtrlAttribute(panel, PRINCIPAL_DEMO, ATTR_VISIBLE, g_preset.demo ? 1 : 0);
}

// The panel in the language in force: its labels, the find button and the traffic monitor's menu
// item, the tick on the language whose texts are shown, and the status line.
void labelMainPanel(int panel) {
    constexpr int kTextFind = 423;
    constexpr int kTextTraffic = 436;
    RQ55_Poner_Etiquetas_PRINCIPAL(panel, etiqueta);
    SetCtrlAttribute(panel, PRINCIPAL_BUSCAR, ATTR_LABEL_TEXT, etiqueta[kTextFind] + "...");
    const int bar = GetPanelMenuBar(panel);
    SetMenuBarAttribute(bar, MENU_INFO_TRAFICO, ATTR_ITEM_NAME, etiqueta[kTextTraffic]);
    SetMenuBarAttribute(bar, MENU_IDIOMA_ESP, ATTR_CHECKED, LanguageInForce() == 1 ? 1 : 0);
    SetMenuBarAttribute(bar, MENU_IDIOMA_ENG, ATTR_CHECKED, LanguageInForce() == 2 ? 1 : 0);
    ShowLinkStatus(panel);
}

// A rebuilt panel must show the link as it is: the switch and the settings in use travel over.
void copyLinkState(int from, int to) {
    for (int control : kLinkSettingControls) {
        if (control == PRINCIPAL_IP) {
            std::string text;
            GetCtrlVal(from, control, text);
            SetCtrlVal(to, control, text);
        } else {
            double value = 0;
            GetCtrlVal(from, control, value);
            SetCtrlVal(to, control, value);
        }
    }
    int on = 0;
    GetCtrlVal(from, PRINCIPAL_COMUNICACION, on);
    SetCtrlVal(to, PRINCIPAL_COMUNICACION, on);
    DimLinkSettings(to, on);
}

// Before any language is loaded there is no text table: the message is in both languages.
void reportBrokenPanelFile(int code) {
    const char* es = "no se puede leer";
    const char* en = "cannot be read";
    if (code == UIE_BadResourceFile)
        es = "no es un archivo de paneles válido", en = "is not a valid panel file";
    if (code == UIE_NoSuchPanelResource) es = "no contiene el panel principal", en = "lacks the main panel";
    if (code == UIE_UnknownCallback) es = "nombra una función desconocida", en = "names an unknown callback";
    const std::string file = GetProjectDir() + "/RQ55.uir";
    MessagePopup("RQ55", strfmt("%s\n\nPanel principal (%d): el archivo %s.\nMain panel (%d): the file %s.",
                                file.c_str(), PRINCIPAL, es, PRINCIPAL, en));
}

} // namespace

void SetMainPanelPreset(const MainPanelPreset& preset) { g_preset = preset; }

bool DemoMode() { return g_preset.demo; }

int Hace_nada_con_el_icono_de_tareas(int, int, int) { return 0; }

int Ulvo_GEN_Presenta_iconos_comunicaciones_solo_semaforo() {
    return WT_InstallSysTrayIcon("trffc_a.ico", "RQ55", Hace_nada_con_el_icono_de_tareas,
                                 &icono_comunicaciones_barra_tareas);
}

int QUIT(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) QuitUserInterface(0);
    return 0;
}

int RQ55_main(int argc, char** argv) {
    if (InitRunTime(argc, argv) == 0) return 0;
    panel_principal = LoadPanel(0, "RQ55.uir", PRINCIPAL);
    if (panel_principal < 0) {
        // A start that cannot show its main panel has failed, and says so.
        reportBrokenPanelFile(panel_principal);
        return -1;
    }
    SetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, 0);
    std::optional<LabelTable> table = Ulvo_AsignarIdioma();
    if (!table) return -1;
    etiqueta = std::move(*table);
    labelMainPanel(panel_principal);
    RestoreLinkSettings(panel_principal);
    applyPreset(panel_principal);
    Ulvo_GEN_Presenta_iconos_comunicaciones_solo_semaforo();
    if (DisplayPanel(panel_principal) < 0) return 0;
    if (g_preset.quitOnceShown) {
        ProcessSystemEvents();
        WT_RemoveSysTrayIcon(icono_comunicaciones_barra_tareas);
        // A language file that lacks texts is a faulty installation, though the program can run.
        if (!LanguageFileIncomplete().empty()) return 1;
        std::printf("rq55: %s/RQ55.uir and language.ini read; the main panel opened.\n",
                    GetProjectDir().c_str());
        return 0;
    }
    if (RunUserInterface() < 0) return 0;
    WT_RemoveSysTrayIcon(icono_comunicaciones_barra_tareas);
    return 0;
}

void RebuildMainPanel(int oldPanel) {
    const int panel = LoadPanel(0, "RQ55.uir", PRINCIPAL);
    if (panel < 0) return; // the old panel stays in use
    copyLinkState(oldPanel, panel);
    SetCtrlAttribute(panel, PRINCIPAL_DEMO, ATTR_VISIBLE, g_preset.demo ? 1 : 0);
    DiscardPanel(oldPanel);
    labelMainPanel(panel);
    DisplayPanel(panel);
    panel_principal = panel;
}

void RQ55_Cambia_Idioma_ESP(int, int, void*, int panel) {
    RQ55_Selecciona_Idioma_ESP();
    RebuildMainPanel(panel);
}

void RQ55_Cambia_Idioma_ENG(int, int, void*, int panel) {
    RQ55_Selecciona_Idioma_ENG();
    RebuildMainPanel(panel);
}
