#include "lang/language.h"

#include <QFileInfo>
#include <cstdlib>
#include <new>

#include "lang/ini.h"
#include "lang/language_table.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

int g_inForce = 0; // the language whose table was last loaded

const char* const kFontValues[] = {"MessageBoxFontName", "AppFontName", "DialogFontName", "MenuFontName",
                                   "EditorFontName"};

// The language dialog while it is open.
int g_dialog = 0;
int g_dialogList = 0;

bool fileExists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

// A set dialog font needs a restart before texts of another script show properly; the program
// clears every font value and asks for one. True when that happened.
bool fontCheckFires() {
    std::string dialogFont;
    if (RegReadString(REGKEY_HKLM, kRuntimeFontKey, "DialogFontName", dialogFont) < 0 || dialogFont.empty())
        return false;
    for (const char* value : kFontValues) RegWriteString(REGKEY_HKLM, kRuntimeFontKey, value, "");
    MessagePopup("Restart", "You must restart your software\nto apply language configuration");
    return true;
}

void showFileNotFound() { MessagePopup("Error", strfmt("File not found : %s", LanguageFilePath().c_str())); }

void showSectionNotFound() {
    MessagePopup("Error",
                 strfmt("Language section not found at : %s\\language.ini", GetProjectDir().c_str()));
}

std::string g_incomplete; // what the last table read lacked, in words; "" when it was whole

// Reads the section at the language's position into a new table, completed where it ends early
// (and the operator told so). Nothing when the section is missing or memory runs out; the reason
// has been shown.
std::optional<LabelTable> loadTable(int language) {
    std::string why;
    std::optional<LabelTable> table = ReadLanguageTable(language, g_incomplete, why);
    if (!table) {
        if (why == kNoSection)
            showSectionNotFound();
        else
            MessagePopup("Error", why);
        return std::nullopt;
    }
    if (!g_incomplete.empty()) MessagePopup("RQ55", g_incomplete);
    return table;
}

void selectLanguage(int language) {
    if (fontCheckFires()) return;
    if (!fileExists(LanguageFilePath())) {
        showFileNotFound();
        return;
    }
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, strfmt("%i", language));
    if (std::optional<LabelTable> table = loadTable(language)) {
        etiqueta = std::move(*table);
        g_inForce = language;
    }
}

} // namespace

int Ulvo_NumeroDeIdiomas(int* count) {
    IniText ini = Ini_New(0);
    int n = 0;
    if (ini && Ini_ReadFromFile(ini, LanguageFilePath()) == 0) n = Ini_NumberOfSections(ini);
    Ini_Dispose(ini);
    if (count) *count = n;
    return 0;
}

int Ulvo_ObtenerIdiomas(std::vector<std::string>& names) {
    names.clear();
    IniText ini = Ini_New(0);
    if (!ini) return 0;
    Ini_ReadFromFile(ini, LanguageFilePath());
    const int count = std::min(Ini_NumberOfSections(ini), kMaxLanguages);
    for (int n = 1; n <= count; ++n) {
        std::string name;
        Ini_NthSectionName(ini, n, name);
        names.push_back(name.substr(0, kMaxLanguageName));
    }
    Ini_Dispose(ini);
    return 0;
}

int Ulvo_SeleccionarIdioma(int* language) {
    // Nobody is there to choose: the first language is taken, and not remembered.
    if (PopupsOnConsole()) {
        if (language) *language = 1;
        return 1;
    }
    std::vector<std::string> names;
    Ulvo_ObtenerIdiomas(names);
    g_dialog = NewPanel(0, "Idioma / Language", VAL_AUTO_CENTER, VAL_AUTO_CENTER, 120, 220);
    g_dialogList = NewCtrl(g_dialog, CTRL_LIST_BOX, "", 25, 35);
    SetCtrlAttribute(g_dialogList ? g_dialog : 0, g_dialogList, ATTR_WIDTH, 150);
    SetCtrlAttribute(g_dialog, g_dialogList, ATTR_HEIGHT, 48);
    const int ok = NewCtrl(g_dialog, CTRL_COMMAND_BUTTON, "OK", 80, 25);
    const int quit = NewCtrl(g_dialog, CTRL_COMMAND_BUTTON, "Quit", 80, 120);
    SetCtrlAttribute(g_dialog, ok, ATTR_WIDTH, 75);
    SetCtrlAttribute(g_dialog, quit, ATTR_WIDTH, 75);
    InstallCtrlCallback(g_dialog, ok, AceptarIdioma, nullptr);
    InstallCtrlCallback(g_dialog, quit, Salir_de_Instalacion, nullptr);
    SetPanelAttribute(g_dialog, ATTR_CLOSE_CTRL, quit);
    // Enter takes the language chosen in the list; Escape does nothing, as the dialog has no
    // cancel: its Quit ends the program.
    SetPanelAttribute(g_dialog, ATTR_DEFAULT_CTRL, ok);
    for (size_t i = 0; i < names.size(); ++i)
        InsertListItem(g_dialog, g_dialogList, -1, names[i], static_cast<int>(i) + 1);
    DisplayPanel(g_dialog);
    const int chosen = RunUserInterface();
    if (language && chosen > 0) *language = chosen;
    return chosen;
}

int AceptarIdioma(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int language = 1;
    GetCtrlVal(panel, g_dialogList, language);
    DiscardPanel(panel);
    g_dialog = 0;
    QuitUserInterface(language);
    return 0;
}

int Salir_de_Instalacion(int panel, int /*control*/, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // The program ends right after; the dialog goes with it rather than lingering on screen.
    DiscardPanel(panel);
    g_dialog = 0;
    QuitUserInterface(-1);
    return 0;
}

std::optional<LabelTable> Ulvo_AsignarIdioma() {
    if (fontCheckFires()) return std::nullopt;
    if (!fileExists(LanguageFilePath())) {
        showFileNotFound();
        return std::nullopt;
    }
    int sections = 0;
    Ulvo_NumeroDeIdiomas(&sections);
    std::string stored;
    const bool remembered = RegReadString(REGKEY_HKLM, kLanguageKey, kLanguageValue, stored) == 0;
    int language = std::atoi(stored.c_str());
    if (!remembered || language < 1 || language > sections) {
        if (Ulvo_SeleccionarIdioma(&language) == -1) return std::nullopt;
        if (!PopupsOnConsole()) RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, strfmt("%i", language));
    }
    std::optional<LabelTable> table = loadTable(language);
    if (table) g_inForce = language;
    return table;
}

int LanguageInForce() { return g_inForce; }

const std::string& LanguageFileIncomplete() { return g_incomplete; }

void RQ55_Selecciona_Idioma_ESP() { selectLanguage(1); }
void RQ55_Selecciona_Idioma_ENG() { selectLanguage(2); }
