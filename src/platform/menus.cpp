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

int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, const std::string& value) {
    auto owner = g_menuBarPanel.find(menuBar);
    if (owner == g_menuBarPanel.end()) return UIE_BadPanelHandle;
    Panel* p = findPanel(owner->second);
    auto it = p->menu.find(menuOrItem);
    if (it == p->menu.end()) return UIE_BadControl;
    if (attribute == ATTR_MENU_NAME && it->second.menu)
        it->second.menu->setTitle(qs(value));
    else if (attribute == ATTR_ITEM_NAME && it->second.action)
        it->second.action->setText(qs(value));
    else
        return UIE_BadAttribute;
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, std::string& value) {
    auto owner = g_menuBarPanel.find(menuBar);
    if (owner == g_menuBarPanel.end()) return UIE_BadPanelHandle;
    Panel* p = findPanel(owner->second);
    auto it = p->menu.find(menuOrItem);
    if (it == p->menu.end()) return UIE_BadControl;
    if (attribute == ATTR_MENU_NAME && it->second.menu)
        value = ss(it->second.menu->title());
    else if (attribute == ATTR_ITEM_NAME && it->second.action)
        value = ss(it->second.action->text());
    else
        return UIE_BadAttribute;
    return 0;
}
