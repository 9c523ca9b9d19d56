#include "shell/traffic_monitor.h"

#include <cstdio>
#include <deque>

#include "device/named_values.h"
#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/frame_text.h"
#include "link/link_settings.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {

constexpr int kTextTitle = 436, kTextPause = 437, kTextClear = 438, kTextSave = 439, kTextCannotSave = 440;
constexpr int kTextClose = 431;

int g_monitor = 0;
bool g_paused = false;
std::vector<std::string> g_lines; // what the list shows, oldest first

// The clock of the day with milliseconds, from the ISO time "yyyy-MM-ddTHH:mm:ss.zzz+hh:mm".
std::string timeOfDay() { return IsoTimeNow().substr(11, 12); }

void addLine(const std::string& line) {
    if (!g_monitor || g_paused) return;
    g_lines.push_back(line);
    InsertListItem(g_monitor, TRAFICO_LISTA, -1, line, 0);
    if (static_cast<int>(g_lines.size()) > kTrafficLinesKept) {
        g_lines.erase(g_lines.begin());
        DeleteListItem(g_monitor, TRAFICO_LISTA, 0);
    }
}

void watch(bool on) {
    if (!on) {
        SetFrameTrace({});
        SetExchangeTrace({});
        return;
    }
    SetFrameTrace([](double, bool sent, const unsigned char* bytes, int length) {
        // What the frame is goes before its bytes, so a long reply never hides it.
        addLine(strfmt("%s  %s  %s  %s  |  %s", timeOfDay().c_str(), sent ? ">>" : "<<",
                       LinkPlaceAndForm().c_str(),
                       DescribeFrame(bytes, length, sent, LinkSpeaksModbusTcp()).c_str(),
                       HexBytes(bytes, length).c_str()));
    });
    SetExchangeTrace([](double, const std::string& failure) {
        addLine(strfmt("%s  --  %s  exchange %s", timeOfDay().c_str(), LinkPlaceAndForm().c_str(),
                       failure.empty() ? "accepted" : ("ended: " + failure).c_str()));
    });
}

} // namespace

const std::vector<std::string>& TrafficLines() { return g_lines; }

void RQ55_Monitor_Trafico(int, int, void*, int) {
    if (g_monitor) {
        DisplayPanel(g_monitor);
        return;
    }
    g_monitor = LoadPanel(0, "RQ55.uir", TRAFICO);
    if (g_monitor < 0) {
        g_monitor = 0;
        return;
    }
    SetPanelAttribute(g_monitor, ATTR_TITLE, etiqueta[kTextTitle]);
    SetCtrlAttribute(g_monitor, TRAFICO_PAUSA, ATTR_LABEL_TEXT, etiqueta[kTextPause]);
    SetCtrlAttribute(g_monitor, TRAFICO_BORRAR, ATTR_LABEL_TEXT, etiqueta[kTextClear]);
    SetCtrlAttribute(g_monitor, TRAFICO_GUARDAR, ATTR_LABEL_TEXT, etiqueta[kTextSave]);
    SetCtrlAttribute(g_monitor, TRAFICO_CERRAR, ATTR_LABEL_TEXT, etiqueta[kTextClose]);
    g_paused = false;
    g_lines.clear();
    watch(true);
    DisplayPanel(g_monitor);
}

int RQ55_Trafico_Pausa(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int on = 0;
    GetCtrlVal(panel, control, on);
    g_paused = on != 0;
    return 0;
}

int RQ55_Trafico_Borrar(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_lines.clear();
    ClearListCtrl(panel, TRAFICO_LISTA);
    return 0;
}

// The lines exactly as shown, one a line.
int RQ55_Trafico_Guardar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    std::string path;
    if (FileSelectPopupEx("", "*.txt", "*.txt", etiqueta[kTextSave], VAL_SAVE_BUTTON, path) < 1) return 0;
    std::string text;
    for (const std::string& line : g_lines) text += line + "\n";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = file && std::fclose(file) == 0;
    if (!written || !closed) MessagePopup(etiqueta[kTextTitle], etiqueta[kTextCannotSave] + "\n" + path);
    return 0;
}

int RQ55_Trafico_Cerrar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !g_monitor) return 0;
    watch(false);
    DiscardPanel(g_monitor);
    g_monitor = 0;
    g_lines.clear();
    return 0;
}
