// Showing, hiding and discarding panels, and the attributes of a panel.
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

// The offscreen platform (tests, screenshots) cannot raise or activate windows and says so.
void platform::ShowOnScreen(Panel& p) {
    if (!p.placed) {
        p.placed = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            p.window->move(area.center() - QPoint(p.window->width() / 2, p.window->height() / 2));
        }
    }
    p.window->show();
    if (QGuiApplication::platformName() == "offscreen") return;
    p.window->raise();
    p.window->activateWindow();
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr fn, void* callbackData) {
    Control* c = findControl(panel, control);
    if (!c) return UIE_BadControl;
    c->callback = fn;
    c->callbackData = callbackData;
    return 0;
}

int DisplayPanel(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    ShowOnScreen(*p);
    return 0;
}

int HidePanel(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->hide();
    return 0;
}

int DiscardPanel(int panel) {
    auto it = g_panels.find(panel);
    if (it == g_panels.end()) return UIE_BadPanelHandle;
    std::unique_ptr<Panel> p = std::move(it->second);
    g_panels.erase(it);
    for (auto& [id, c] : p->controls)
        if (c.timer) c.timer->stop();
    if (p->menuBarHandle) g_menuBarPanel.erase(p->menuBarHandle);
    p->window->hide();
    // Deleted once control is back in the event loop: a callback of this panel may still be running.
    p->window->deleteLater();
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    switch (attribute) {
    case ATTR_WIDTH:
        p->content->resize(value, p->content->height());
        p->window->setFixedSize(value, p->content->height() + (p->menuBar ? p->menuBar->height() : 0));
        return 0;
    case ATTR_HEIGHT:
        p->content->resize(p->content->width(), value);
        p->window->setFixedSize(p->content->width(), value + (p->menuBar ? p->menuBar->height() : 0));
        return 0;
    case ATTR_TOP:
        p->window->move(p->window->x(), value);
        p->placed = true;
        return 0;
    case ATTR_LEFT:
        p->window->move(value, p->window->y());
        p->placed = true;
        return 0;
    case ATTR_CLOSE_CTRL: p->closeControl = value; return 0;
    default: return UIE_BadAttribute;
    }
}

int SetPanelAttribute(int panel, int attribute, const std::string& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    if (attribute != ATTR_TITLE) return UIE_BadAttribute;
    p->window->setWindowTitle(qs(value));
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    switch (attribute) {
    case ATTR_WIDTH: value = p->content->width(); return 0;
    case ATTR_HEIGHT: value = p->content->height(); return 0;
    case ATTR_TOP: value = p->window->y(); return 0;
    case ATTR_LEFT: value = p->window->x(); return 0;
    case ATTR_PANEL_VISIBLE: value = p->window->isVisible() ? 1 : 0; return 0;
    case ATTR_CLOSE_CTRL: value = p->closeControl; return 0;
    default: return UIE_BadAttribute;
    }
}

int GetPanelAttribute(int panel, int attribute, std::string& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    if (attribute != ATTR_TITLE) return UIE_BadAttribute;
    value = ss(p->window->windowTitle());
    return 0;
}

std::vector<int> GetValueDisplays(int panel) {
    std::vector<int> displays;
    Panel* p = findPanel(panel);
    if (!p) return displays;
    for (const auto& [id, c] : p->controls)
        if ((c.type == CTRL_NUMERIC && c.indicator) || c.type == CTRL_TEXT_BOX) displays.push_back(id);
    return displays;
}
