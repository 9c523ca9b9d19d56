#include "shell/find_analyser.h"

#include <algorithm>
#include <string>
#include <vector>

#include "device/scan.h"
#include "lang/label_table.h"
#include "link/link_settings.h"
#include "panels/config_fields.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"

namespace {

constexpr int kTextTitle = 423, kTextSearchOn = 424, kTextFrom = 425, kTextTo = 426, kTextEvery = 427;
constexpr int kTextSearch = 428, kTextCancel = 429, kTextUse = 430, kTextClose = 431;
constexpr int kTextAsking = 432, kTextFound = 433, kTextHit = 434, kTextCannotOpen = 435, kTextFoundList = 510;

int g_dialog = 0;
bool g_searching = false;
bool g_cancelled = false;
std::vector<ScanHit> g_hits;

int mainInt(int control) {
    int value = 0;
    GetCtrlVal(panel_principal, control, value);
    return value;
}

bool tcpLink() { return IsTcpLink(mainInt(PRINCIPAL_PUERTO)); }

// Where the main panel's settings go; the link is not open while the dialog is.
std::string linkName() {
    std::string host;
    GetCtrlVal(panel_principal, PRINCIPAL_IP, host);
    return LinkPlace(mainInt(PRINCIPAL_PUERTO), host, mainInt(PRINCIPAL_TCP_PUERTO));
}

std::string hitText(const ScanHit& hit) {
    const std::string setting = tcpLink() ? linkName() : strfmt("%d %s", hit.baud, FramingName(hit.framing));
    return FillIn(etiqueta[kTextHit], {std::to_string(hit.address), setting,
                                       std::to_string(hit.identity.modelCode), hit.identity.serial});
}

// The search from the dialog's fields and the main panel's link: the main panel's baud rate and
// framing, or every one its selectors offer.
ScanPlan planOf(int dialog) {
    ScanPlan plan;
    plan.port = mainInt(PRINCIPAL_PUERTO);
    GetCtrlVal(panel_principal, PRINCIPAL_IP, plan.host);
    plan.tcpPort = static_cast<unsigned short>(mainInt(PRINCIPAL_TCP_PUERTO));
    int from = 1, to = 247, every = 0;
    GetCtrlVal(dialog, BUSCAR_DESDE, from);
    GetCtrlVal(dialog, BUSCAR_HASTA, to);
    GetCtrlVal(dialog, BUSCAR_TODAS, every);
    for (int address = std::min(from, to); address <= std::max(from, to); ++address)
        plan.addresses.push_back(address);
    if (every) {
        int count = 0;
        GetNumListItems(panel_principal, PRINCIPAL_VELOCIDAD, count);
        for (int i = 0; i < count; ++i) {
            int baud = 0;
            GetValueFromIndex(panel_principal, PRINCIPAL_VELOCIDAD, i, baud);
            plan.bauds.push_back(baud);
        }
        plan.framings = {0, 1, 2, 3};
    } else {
        plan.bauds = {mainInt(PRINCIPAL_VELOCIDAD)};
        plan.framings = {mainInt(PRINCIPAL_MODO)};
    }
    return plan;
}

void dimWhileSearching(int dialog, bool searching) {
    for (int control : {BUSCAR_BUSCAR, BUSCAR_USAR, BUSCAR_DESDE, BUSCAR_HASTA, BUSCAR_TODAS})
        SetCtrlAttribute(dialog, control, ATTR_DIMMED, searching ? 1 : 0);
    SetCtrlAttribute(dialog, BUSCAR_CANCELAR, ATTR_DIMMED, searching ? 0 : 1);
}

// Between two probes: the dialog shows where the search is and each analyser as soon as it has
// answered, and lets a press of Cancel through.
bool showProgress(int dialog, const ScanProgress& at) {
    int listed = 0;
    GetNumListItems(dialog, BUSCAR_LISTA, listed);
    for (size_t i = static_cast<size_t>(listed); at.found && i < at.found->size(); ++i)
        InsertListItem(dialog, BUSCAR_LISTA, -1, hitText((*at.found)[i]), static_cast<int>(i));
    SetCtrlVal(dialog, BUSCAR_PROGRESO, at.total > 0 ? 100.0 * at.done / at.total : 0.0);
    SetCtrlVal(dialog, BUSCAR_ESTADO,
               FillIn(etiqueta[kTextAsking],
                      {std::to_string(at.address), std::to_string(at.done + 1), std::to_string(at.total)}));
    ProcessSystemEvents();
    return !g_cancelled;
}

} // namespace

void LabelFindDialog(int dialog) {
    SetPanelAttribute(dialog, ATTR_TITLE, etiqueta[kTextTitle]);
    SetCtrlVal(dialog, BUSCAR_TEXTO, FillIn(etiqueta[kTextSearchOn], {linkName()}));
    SetCtrlAttribute(dialog, BUSCAR_DESDE, ATTR_LABEL_TEXT, etiqueta[kTextFrom]);
    SetCtrlAttribute(dialog, BUSCAR_HASTA, ATTR_LABEL_TEXT, etiqueta[kTextTo]);
    SetCtrlAttribute(dialog, BUSCAR_TODAS, ATTR_LABEL_TEXT, etiqueta[kTextEvery]);
    SetCtrlAttribute(dialog, BUSCAR_TODAS, ATTR_VISIBLE, tcpLink() ? 0 : 1);
    SetCtrlAttribute(dialog, BUSCAR_BUSCAR, ATTR_LABEL_TEXT, etiqueta[kTextSearch]);
    SetCtrlAttribute(dialog, BUSCAR_CANCELAR, ATTR_LABEL_TEXT, etiqueta[kTextCancel]);
    SetCtrlAttribute(dialog, BUSCAR_USAR, ATTR_LABEL_TEXT, etiqueta[kTextUse]);
    SetCtrlAttribute(dialog, BUSCAR_CERRAR, ATTR_LABEL_TEXT, etiqueta[kTextClose]);
    SetCtrlAttribute(dialog, BUSCAR_LISTA, ATTR_ACCESSIBLE_NAME, etiqueta[kTextFoundList]);
    SetCtrlAttribute(dialog, BUSCAR_PROGRESO, ATTR_ACCESSIBLE_NAME, etiqueta[kTextTitle]);
}

namespace {

void closeDialog() {
    RemovePopup(g_dialog);
    DiscardPanel(g_dialog);
    g_dialog = 0;
    g_hits.clear();
}

} // namespace

int RQ55_Buscar_Analizador(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || g_dialog != 0) return 0;
    g_dialog = LoadPanel(0, "RQ55.uir", BUSCAR);
    if (g_dialog < 0) {
        g_dialog = 0;
        return 0;
    }
    LabelFindDialog(g_dialog);
    InstallPopup(g_dialog);
    return 0;
}

int RQ55_Buscar_Iniciar(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || g_searching) return 0;
    if (RefuseUnfit(panel, {{BUSCAR_DESDE}, {BUSCAR_HASTA}})) return 0;
    g_searching = true;
    g_cancelled = false;
    ClearListCtrl(panel, BUSCAR_LISTA);
    dimWhileSearching(panel, true);
    std::string error;
    g_hits = ScanForAnalysers(
        planOf(panel), [panel](const ScanProgress& at) { return showProgress(panel, at); }, &error);
    g_searching = false;
    if (g_dialog != panel) return 0; // closed while searching
    // The final list: a device that answers every unit id alike is one analyser, not many.
    ClearListCtrl(panel, BUSCAR_LISTA);
    for (size_t i = 0; i < g_hits.size(); ++i)
        InsertListItem(panel, BUSCAR_LISTA, -1, hitText(g_hits[i]), static_cast<int>(i));
    SetCtrlVal(panel, BUSCAR_PROGRESO, g_cancelled ? 0.0 : 100.0);
    SetCtrlVal(panel, BUSCAR_ESTADO,
               g_hits.empty() && !error.empty()
                   ? FillIn(etiqueta[kTextCannotOpen], {error})
                   : FillIn(etiqueta[kTextFound], {std::to_string(g_hits.size())}));
    dimWhileSearching(panel, false);
    return 0;
}

int RQ55_Buscar_Cancelar(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) g_cancelled = true;
    return 0;
}

// The analyser chosen goes onto the main panel; the operator then switches on as usual.
int RQ55_Buscar_Usar(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || g_searching) return 0;
    int chosen = -1, count = 0;
    GetNumListItems(panel, BUSCAR_LISTA, count);
    if (count == 0 || GetCtrlVal(panel, BUSCAR_LISTA, chosen) < 0 || chosen < 0 ||
        chosen >= static_cast<int>(g_hits.size()))
        return 0;
    const ScanHit& hit = g_hits[static_cast<size_t>(chosen)];
    SetCtrlVal(panel_principal, PRINCIPAL_IDENTIDAD, hit.address);
    if (!tcpLink()) {
        SetCtrlVal(panel_principal, PRINCIPAL_VELOCIDAD, hit.baud);
        SetCtrlVal(panel_principal, PRINCIPAL_MODO, hit.framing);
    }
    closeDialog();
    return 0;
}

int RQ55_Buscar_Cerrar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // Closing while a search runs ends the search after the probe under way.
    if (g_searching) {
        g_cancelled = true;
        return 0;
    }
    closeDialog();
    return 0;
}
