#include "panels/freshness.h"

#include <map>

#include "lang/label_table.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

// What the panel's values are after a failed read, behind the sentence that says what happened.
constexpr int kTextLastValues = 407;
constexpr int kTextOff = 408;
constexpr int kTextDefaults = 409;
constexpr int kTextLinkLost = 410;
constexpr int kTextDefaultsOff = 414;
constexpr int kTextChartEnds = 449;

constexpr int kTextWriteDefaultsAfterFailure = 465;
constexpr int kTextWriteDefaultsOpenedOff = 466;


constexpr int kNoticeMargin = 10;
constexpr int kNoticeHeight = 58;

// Why a settings panel shows defaults, not the analyser's settings.
struct Defaults {
    bool openedOff = false;  // communication was off when it opened
    std::string readFailedAt; // or the time its read failed; both empty while it shows what it read
};

struct Watched {
    PanelKind kind;
    int notice = 0; // the notice's control, 0 until one is shown
    Defaults defaults = {};
};

std::map<int, Watched> g_watched;
std::string g_linkLostAt; // when the link in force was lost; "" while it is not

bool stillOpen(int panel) {
    int width = 0;
    return GetPanelAttribute(panel, ATTR_WIDTH, width) == 0;
}

void forgetClosedPanels() {
    for (auto it = g_watched.begin(); it != g_watched.end();)
        it = stillOpen(it->first) ? std::next(it) : g_watched.erase(it);
}

// The notice goes below everything the panel holds: the panel grows to take it, so it never
// covers a field.
void showNotice(int panel, Watched& watched, const std::string& text) {
    if (watched.notice != 0) {
        SetCtrlVal(panel, watched.notice, text);
        return;
    }
    int width = 0, height = 0;
    GetPanelAttribute(panel, ATTR_WIDTH, width);
    GetPanelAttribute(panel, ATTR_HEIGHT, height);
    watched.notice = NewCtrl(panel, CTRL_TEXT_MSG, text, height, kNoticeMargin);
    SetCtrlAttribute(panel, watched.notice, ATTR_NOTICE_STYLE, 1);
    SetCtrlAttribute(panel, watched.notice, ATTR_WIDTH, width - 2 * kNoticeMargin);
    SetCtrlAttribute(panel, watched.notice, ATTR_HEIGHT, kNoticeHeight);
    SetPanelAttribute(panel, ATTR_HEIGHT, height + kNoticeHeight + kNoticeMargin);
}

void greyValues(int panel) {
    for (int display : GetValueDisplays(panel)) SetCtrlAttribute(panel, display, ATTR_DIMMED, 1);
}

} // namespace

void WatchPanel(int panel, PanelKind kind) {
    if (panel <= 0) return;
    forgetClosedPanels();
    Watched& watched = g_watched[panel] = Watched{kind};
    if (kind == PanelKind::LiveView)
        for (int display : GetValueDisplays(panel)) SetCtrlAttribute(panel, display, ATTR_NO_VALUE, 1);
    if (!LinkIsOpen()) {
        showNotice(panel, watched, etiqueta[kind == PanelKind::Settings ? kTextDefaultsOff : kTextOff]);
        watched.defaults.openedOff = true;
    }
}

std::string ReadFailureNow() { return FailureSentence(TimeStr()); }

void ShowReadFailed(int panel) { ShowReadFailed(panel, ReadFailureNow()); }

void ShowReadFailed(int panel, const std::string& failure) {
    auto it = g_watched.find(panel);
    if (it == g_watched.end() || !stillOpen(panel)) return;
    Watched& watched = it->second;
    // A read that failed with the link it went over: the loss is what the panel says.
    if (!g_linkLostAt.empty()) {
        showNotice(panel, watched, FillIn(etiqueta[kTextLinkLost], {g_linkLostAt}));
        if (watched.kind == PanelKind::LiveView) greyValues(panel);
        return;
    }
    // With communication off the notice already says why nothing was read.
    if (!LinkIsOpen() && watched.notice != 0) return;
    watched.defaults = {false, TimeStr()};
    const int consequence = watched.kind == PanelKind::Settings  ? kTextDefaults
                            : watched.kind == PanelKind::FedView ? kTextChartEnds
                                                                 : kTextLastValues;
    showNotice(panel, watched, FillIn(etiqueta[consequence], {failure}));
    if (watched.kind == PanelKind::LiveView) greyValues(panel);
}

bool ConfirmWriteOfDefaults(int panel) {
    auto it = g_watched.find(panel);
    if (it == g_watched.end() || it->second.kind != PanelKind::Settings) return true;
    const Defaults& defaults = it->second.defaults;
    if (!defaults.openedOff && defaults.readFailedAt.empty()) return true;
    std::string title;
    GetPanelAttribute(panel, ATTR_TITLE, title);
    return ConfirmPopup(title, defaults.openedOff
                                   ? etiqueta[kTextWriteDefaultsOpenedOff]
                                   : FillIn(etiqueta[kTextWriteDefaultsAfterFailure], {defaults.readFailedAt})) == 1;
}

void ShowLinkLost(const std::string& at) {
    g_linkLostAt = at;
    forgetClosedPanels();
    for (auto& [panel, watched] : g_watched) {
        showNotice(panel, watched, FillIn(etiqueta[kTextLinkLost], {at}));
        if (watched.kind == PanelKind::LiveView) greyValues(panel);
    }
}

void ForgetLinkLoss() { g_linkLostAt.clear(); }

std::string PanelNotice(int panel) {
    auto it = g_watched.find(panel);
    if (it == g_watched.end() || it->second.notice == 0 || !stillOpen(panel)) return "";
    std::string text;
    GetCtrlVal(panel, it->second.notice, text);
    return text;
}
