#include "shell/traffic_monitor.h"

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/frame_text.h"
#include "panels/navigation.h"
#include "platform/system.h"
#include "platform/whole_file.h"
#include "platform/ui.h"
#include "rq55_uir.h"

namespace {

constexpr int kTextTitle = 436, kTextPause = 437, kTextClear = 438, kTextSave = 439, kTextCannotSave = 440;
constexpr int kTextClose = 431;

int g_monitor = 0;
bool g_paused = false;
std::deque<std::string> g_lines; // what the list shows, oldest first

// What the link traced, noted as it happens and put into words by the monitor's timer between
// exchanges, so neither the wording nor the drawing of the list lengthens an exchange.
struct Traced {
    std::chrono::system_clock::time_point at;
    char direction; // '>' sent, '<' received, 'x' discarded, '-' the exchange's outcome, '*' a link event
    std::string link;
    bool modbusTcp = false;
    std::vector<unsigned char> bytes;
    std::string text; // the outcome's failure ("" accepted) or the event
};
std::deque<Traced> g_pending;

void note(Traced traced) {
    if (!g_monitor || g_paused) return;
    g_pending.push_back(std::move(traced));
    if (static_cast<int>(g_pending.size()) > kTrafficLinesKept) g_pending.pop_front();
}

// The clock of the day with milliseconds.
std::string timeOfDay(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    const qint64 ms = duration_cast<milliseconds>(at.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss.zzz").toStdString();
}

std::string lineOf(const Traced& t) {
    const std::string time = timeOfDay(t.at);
    if (t.direction == '-')
        return strfmt("%s  --  %s  exchange %s", time.c_str(), t.link.c_str(),
                      t.text.empty() ? "accepted" : ("ended: " + t.text).c_str());
    if (t.direction == '*') return strfmt("%s  **  %s  %s", time.c_str(), t.link.c_str(), t.text.c_str());
    // What the frame is goes before its bytes, so a long reply never hides it.
    const int length = static_cast<int>(t.bytes.size());
    if (t.direction == 'x')
        return strfmt("%s  xx  %s  %d byte%s found waiting and thrown away  |  %s", time.c_str(), t.link.c_str(),
                      length, length == 1 ? "" : "s", HexBytes(t.bytes.data(), length).c_str());
    return strfmt("%s  %s  %s  %s  |  %s", time.c_str(), t.direction == '>' ? ">>" : "<<", t.link.c_str(),
                  DescribeFrame(t.bytes.data(), length, t.direction == '>', t.modbusTcp).c_str(),
                  HexBytes(t.bytes.data(), length).c_str());
}

void showPending() {
    if (!g_monitor || g_pending.empty()) return;
    if (static_cast<int>(g_pending.size()) == kTrafficLinesKept) {
        g_lines.clear();
        ClearListCtrl(g_monitor, TRAFICO_LISTA);
    }
    for (const Traced& traced : g_pending) {
        g_lines.push_back(lineOf(traced));
        InsertListItem(g_monitor, TRAFICO_LISTA, -1, g_lines.back(), 0);
    }
    g_pending.clear();
    const int surplus = static_cast<int>(g_lines.size()) - kTrafficLinesKept;
    for (int i = 0; i < surplus; ++i) {
        g_lines.pop_front();
        DeleteListItem(g_monitor, TRAFICO_LISTA, 0);
    }
}

void watch(bool on) {
    if (!on) {
        SetFrameTrace({});
        SetExchangeTrace({});
        SetLinkEventTrace({});
        return;
    }
    // Each line names where its exchange went: the find dialog probes other ports than the main
    // panel's.
    SetFrameTrace([](double, FrameKind kind, const unsigned char* bytes, int length) {
        const char direction = kind == FrameKind::Sent ? '>' : kind == FrameKind::Received ? '<' : 'x';
        note({std::chrono::system_clock::now(),
              direction,
              ExchangePlace(),
              ExchangeSpeaksModbusTcp(),
              std::vector<unsigned char>(bytes, bytes + std::max(0, length)),
              {}});
    });
    SetExchangeTrace([](double, const std::string& failure) {
        note({std::chrono::system_clock::now(), '-', ExchangePlace(), false, {}, failure});
    });
    SetLinkEventTrace([](double, const std::string& event) {
        note({std::chrono::system_clock::now(), '*', ExchangePlace(), false, {}, event});
    });
}

} // namespace

const std::deque<std::string>& TrafficLines() { return g_lines; }

void RQ55_Monitor_Trafico(int, int, void*, int) {
    if (g_monitor) {
        DisplayPanel(g_monitor);
        return;
    }
    g_monitor = LoadLabelledWindow(TRAFICO, kTextTitle,
                                   {{TRAFICO_PAUSA, kTextPause}, {TRAFICO_BORRAR, kTextClear},
                                    {TRAFICO_GUARDAR, kTextSave}, {TRAFICO_CERRAR, kTextClose}});
    if (!g_monitor) return;
    SetCtrlAttribute(g_monitor, TRAFICO_LISTA, ATTR_ACCESSIBLE_NAME, etiqueta[kTextTitle]);
    g_paused = false;
    g_lines.clear();
    g_pending.clear();
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
    g_pending.clear();
    ClearListCtrl(panel, TRAFICO_LISTA);
    return 0;
}

// The lines exactly as shown, one a line.
int RQ55_Trafico_Guardar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    std::string path;
    showPending();
    if (FileSelectPopupEx("", "*.txt", "*.txt", etiqueta[kTextSave], VAL_SAVE_BUTTON, path) < 1) return 0;
    std::string text, why;
    for (const std::string& line : g_lines) text += line + "\n";
    if (!WriteWholeFile(path, text, why))
        MessagePopup(etiqueta[kTextTitle], etiqueta[kTextCannotSave] + "\n" + path + ": " + why);
    return 0;
}

int RQ55_Trafico_Cerrar(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !g_monitor) return 0;
    watch(false);
    DiscardPanel(g_monitor);
    g_monitor = 0;
    g_lines.clear();
    g_pending.clear();
    return 0;
}

int RQ55_Trafico_Mostrar(int, int, int event, void*, int, int) {
    if (event == EVENT_TIMER_TICK) showPending();
    return 0;
}
