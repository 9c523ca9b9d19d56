#include "panels/navigation.h"

#include "platform/system.h"
#include "platform/ui.h"

int panel_retorno = 0;

namespace {
// A panel missing from RQ55.uir is a broken installation; say so instead of leaving the
// operator without any window.
void reportLoadFailure(int resource, int code) {
    MessagePopup("RQ55.uir", strfmt("Panel %d cannot be loaded from RQ55.uir (error %d).", resource, code));
}
} // namespace

int OpenView(int caller, int& returnTo, int resource, PanelLabeller labeller,
             std::initializer_list<int> timers, PanelKind kind) {
    returnTo = caller;
    const int view = LoadPanel(0, "RQ55.uir", resource);
    if (view < 0) {
        reportLoadFailure(resource, view);
        return view;
    }
    HidePanel(caller);
    if (labeller) labeller(view, etiqueta);
    for (int timer : timers) {
        ResetTimer(view, timer);
        SetCtrlAttribute(view, timer, ATTR_ENABLED, 1);
    }
    DisplayPanel(view);
    WatchPanel(view, kind);
    return view;
}

void CloseView(int view, int returnTo) {
    DiscardPanel(view);
    DisplayPanel(returnTo);
}

int LoadMenuPopup(int resource) {
    const int popup = LoadPanel(0, "RQ55.uir", resource);
    if (popup < 0) {
        reportLoadFailure(resource, popup);
        DisplayPanel(panel_retorno);
    }
    return popup;
}

int LoadLabelledWindow(int resource, int titleText, std::initializer_list<std::pair<int, int>> captions) {
    const int window = LoadPanel(0, "RQ55.uir", resource);
    if (window < 0) {
        reportLoadFailure(resource, window);
        return 0;
    }
    SetPanelAttribute(window, ATTR_TITLE, etiqueta[titleText]);
    for (const auto& [control, text] : captions) SetCtrlAttribute(window, control, ATTR_LABEL_TEXT, etiqueta[text]);
    return window;
}

void ClosePopup(int popup, int returnTo) {
    RemovePopup(popup);
    DiscardPanel(popup);
    DisplayPanel(returnTo);
}
