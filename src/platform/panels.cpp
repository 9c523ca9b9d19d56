// Showing, hiding and discarding panels, and the attributes of a panel.
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <algorithm>
#include <QTimer>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {

// What the window system adds round a window: known once it has been shown; before, room for a
// title bar and thin borders.
QMargins frameOf(const QWidget* window) {
    if (!window->isVisible()) return {4, 36, 4, 4};
    const QRect frame = window->frameGeometry(), inside = window->geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

QRect screenArea(const QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

void platform::FitPanelWindow(Panel& p) {
    const int bar = p.menuBar ? p.menuBar->height() : 0;
    const QSize whole(p.content->width(), p.content->height() + bar);
    QSize size = whole;
    const QRect area = screenArea(p.window);
    if (area.isValid()) {
        const QSize room = area.size().shrunkBy(frameOf(p.window));
        size = size.boundedTo(room);
        // A scroll bar one way takes room the other way: given where there is some, so that a
        // panel too tall for the screen scrolls up and down only.
        const int bars = p.scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        if (size.height() < whole.height()) size.setWidth(std::min(whole.width() + bars, room.width()));
        if (size.width() < whole.width()) size.setHeight(std::min(whole.height() + bars, room.height()));
    }
    const Qt::ScrollBarPolicy scrolled = size == whole ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    p.scroll->setHorizontalScrollBarPolicy(scrolled);
    p.scroll->setVerticalScrollBarPolicy(scrolled);
    p.window->setFixedSize(size);
    if (p.menuBar) p.menuBar->setGeometry(0, 0, size.width(), bar);
    p.scroll->setGeometry(0, bar, size.width(), size.height() - bar);
}

// The offscreen platform (tests, screenshots) cannot raise or activate windows and says so.
void platform::ShowOnScreen(Panel& p) {
    FitPanelWindow(p);
    if (!p.placed) {
        p.placed = true;
        const QRect area = screenArea(p.window);
        if (area.isValid()) {
            // Centred, the frame within the screen: a window as large as the screen starts at its top.
            const QSize outer = p.window->size().grownBy(frameOf(p.window));
            p.window->move(std::max(area.left(), area.center().x() - outer.width() / 2),
                           std::max(area.top(), area.center().y() - outer.height() / 2));
        }
    }
    p.window->show();
    // A panel opens with the keyboard on its first field, so what is typed at once reaches it; one
    // shown again keeps the control that had it.
    if (!p.window->focusWidget()) {
        QWidget* first = p.firstField && p.firstField->isEnabled() && p.firstField->isVisibleTo(p.window) ? p.firstField : nullptr;
        for (QWidget* w = p.window->nextInFocusChain(); !first && w && w != p.window; w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(p.window) && w->isEnabled()) first = w;
        if (first) first->setFocus(Qt::ActiveWindowFocusReason);
    }
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
        FitPanelWindow(*p);
        return 0;
    case ATTR_HEIGHT:
        p->content->resize(p->content->width(), value);
        FitPanelWindow(*p);
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
    case ATTR_DEFAULT_CTRL: p->defaultControl = value; return 0;
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
