// The menu bar of a panel: built from RQ55.uir, its names changed by the labelling.
#include <QJsonArray>
#include <QJsonObject>
#include <QMenuBar>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {
int g_nextMenuBar = 1;
} // namespace

void platform::AddMenuBar(Panel& p, const QJsonArray& menus) {
    p.menuBar = new QMenuBar(p.window);
    p.menuBarHandle = g_nextMenuBar++;
    g_menuBarPanel[p.menuBarHandle] = p.handle;
    int number = 1;
    const int panel = p.handle, bar = p.menuBarHandle;
    for (const QJsonValue& mv : menus) {
        const QJsonObject m = mv.toObject();
        QMenu* menu = p.menuBar->addMenu(m.value("label").toString());
        p.menu[number++].menu = menu;
        for (const QJsonValue& iv : m.value("items").toArray()) {
            const QJsonObject it = iv.toObject();
            QAction* action = menu->addAction(it.value("label").toString());
            const int item = number++;
            MenuEntry& e = p.menu[item];
            e.action = action;
            action->setEnabled(!it.value("dimmed").toBool(false));
            const std::string cb = ss(it.value("callback").toString());
            if (!cb.empty()) e.callback = FindMenuCallback(cb);
            QObject::connect(action, &QAction::triggered, [panel, bar, item]() {
                Panel* owner = findPanel(panel);
                if (!owner) return;
                MenuCallbackPtr fn = owner->menu[item].callback;
                if (fn) fn(bar, item, nullptr, panel);
            });
        }
    }
    const int barHeight = p.menuBar->sizeHint().height();
    p.menuBar->setGeometry(0, 0, p.content->width(), barHeight);
    p.content->move(0, barHeight);
    p.window->setFixedSize(p.content->width(), p.content->height() + barHeight);
}

int GetPanelMenuBar(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    return p->menuBarHandle;
}

namespace {

// The menu or item of a menu bar; a negative code when there is none.
int findEntry(int menuBar, int menuOrItem, MenuEntry*& entry) {
    auto owner = g_menuBarPanel.find(menuBar);
    if (owner == g_menuBarPanel.end()) return UIE_BadPanelHandle;
    Panel* p = findPanel(owner->second);
    auto it = p->menu.find(menuOrItem);
    if (it == p->menu.end()) return UIE_BadControl;
    entry = &it->second;
    return 0;
}

} // namespace

int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, const std::string& value) {
    MenuEntry* e = nullptr;
    if (const int r = findEntry(menuBar, menuOrItem, e); r < 0) return r;
    if (attribute == ATTR_MENU_NAME && e->menu)
        e->menu->setTitle(qs(value));
    else if (attribute == ATTR_ITEM_NAME && e->action)
        e->action->setText(qs(value));
    else
        return UIE_BadAttribute;
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, std::string& value) {
    MenuEntry* e = nullptr;
    if (const int r = findEntry(menuBar, menuOrItem, e); r < 0) return r;
    if (attribute == ATTR_MENU_NAME && e->menu)
        value = ss(e->menu->title());
    else if (attribute == ATTR_ITEM_NAME && e->action)
        value = ss(e->action->text());
    else
        return UIE_BadAttribute;
    return 0;
}

int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, int value) {
    MenuEntry* e = nullptr;
    if (const int r = findEntry(menuBar, menuOrItem, e); r < 0) return r;
    if (attribute != ATTR_CHECKED || !e->action) return UIE_BadAttribute;
    e->action->setCheckable(true);
    e->action->setChecked(value != 0);
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, int& value) {
    MenuEntry* e = nullptr;
    if (const int r = findEntry(menuBar, menuOrItem, e); r < 0) return r;
    if (attribute != ATTR_CHECKED || !e->action) return UIE_BadAttribute;
    value = e->action->isChecked() ? 1 : 0;
    return 0;
}
