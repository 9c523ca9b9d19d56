#include "shell/report_dialog.h"

#include <string>

#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/link_settings.h"
#include "panels/navigation.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "report/report_document.h"
#include "report/report_sections.h"
#include "rq55_uir.h"
#include "shell/comm_switch.h"
#include "views/wiring.h"

namespace {

constexpr int kTextReport = 489, kTextReading = 490, kTextCannotWrite = 491, kTextWritten = 492;
constexpr int kTextOff = 493, kTextTitle = 473, kTextWrite = 499, kTextCancel = 49, kTextClose = 431;
constexpr int kTextCancelled = 505;

int g_dialog = 0;
bool g_reading = false;
bool g_cancelled = false;

void open() {
    if (g_dialog) return;
    g_dialog = LoadLabelledWindow(INFORME, kTextReport,
                                  {{INFORME_TITULO, kTextTitle}, {INFORME_ESCRIBIR, kTextWrite},
                                   {INFORME_CANCELAR, kTextCancel}, {INFORME_CERRAR, kTextClose}});
    if (!g_dialog) return;
    SetCtrlAttribute(g_dialog, INFORME_PROGRESO, ATTR_ACCESSIBLE_NAME, etiqueta[kTextReport]);
    InstallPopup(g_dialog);
}

void whileReading(int dialog, bool reading) {
    g_reading = reading;
    for (int control : {INFORME_ESCRIBIR, INFORME_TITULO}) SetCtrlAttribute(dialog, control, ATTR_DIMMED, reading);
    SetCtrlAttribute(dialog, INFORME_CANCELAR, ATTR_DIMMED, !reading);
}

// Between two blocks: the dialog shows which is read and lets a press of Cancel through.
bool showProgress(int dialog, const std::string& block, int done, int total) {
    SetCtrlVal(dialog, INFORME_PROGRESO, total > 0 ? 100.0 * done / total : 0.0);
    if (!block.empty())
        SetCtrlVal(dialog, INFORME_ESTADO,
                   FillIn(etiqueta[kTextReading],
                          {ReportBlockCaption(block), std::to_string(done + 1), std::to_string(total)}));
    ProcessSystemEvents();
    return !g_cancelled;
}

} // namespace

int RQ55_Informe(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) open();
    return 0;
}

void RQ55_Informe_Menu(int, int, void*, int) { open(); }

int RQ55_Informe_Escribir(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || g_reading) return 0;
    // A report records what the analyser holds: with no link there is nothing to record.
    if (!LinkIsOpen()) {
        MessagePopup(etiqueta[kTextReport], etiqueta[kTextOff]);
        return 0;
    }
    std::string path;
    if (FileSelectPopupEx("", "*.pdf", "*.html", etiqueta[kTextReport], VAL_SAVE_BUTTON, path) < 1) return 0;
    ReportFormat format = ReportFormat::Pdf;
    if (!ReportFormatOf(path, format)) path += ".pdf";
    ReportHeader header;
    GetCtrlVal(panel, INFORME_TITULO, header.title);
    header.link = LinkDescription();
    header.exports = SiteExports();
    GetCurrentDateTime(&header.when);

    g_cancelled = false;
    whileReading(panel, true);
    ReportData data;
    const LinkTarget link{Puerto, static_cast<unsigned char>(Identidad), Telefono,
                          static_cast<unsigned short>(TCP_Puerto), IP};
    const bool whole = ReadReport(
        link, [panel](const std::string& block, int done, int total) { return showProgress(panel, block, done, total); },
        data);
    if (g_dialog != panel) return 0; // closed while reading
    whileReading(panel, false);
    // Cancelled: no file is written, and one already there stays as it was.
    if (!whole) {
        SetCtrlVal(panel, INFORME_PROGRESO, 0.0);
        SetCtrlVal(panel, INFORME_ESTADO, etiqueta[kTextCancelled]);
        return 0;
    }
    std::string why;
    if (!WriteReport(path, format, data, header, why)) {
        MessagePopup(etiqueta[kTextReport], etiqueta[kTextCannotWrite] + "\n" + path + ": " + why);
        return 0;
    }
    SetCtrlVal(panel, INFORME_ESTADO, FillIn(etiqueta[kTextWritten], {path}));
    return 0;
}

int RQ55_Informe_Cancelar(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) g_cancelled = true;
    return 0;
}

int RQ55_Informe_Cerrar(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // Closing while the blocks are read ends the reading after the block under way.
    if (g_reading) {
        g_cancelled = true;
        return 0;
    }
    RemovePopup(panel);
    DiscardPanel(panel);
    g_dialog = 0;
    return 0;
}
