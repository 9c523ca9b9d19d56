// The menu bar of a panel: built from RQ55.uir, its names changed by the labelling.
#include <QJsonArray>
#include <QJsonObject>
#include <QKeySequence>
#include <QMenuBar>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {

int g_nextMenuBar = 1;

// A text with the letter Alt reaches it by marked ("&Configuration"), one no sibling has: the
// first letter of a word where one is free, else any letter. An '&' of the text itself is shown as
// it is. A text with no free letter gets none.
QString withMnemonic(const QString& text, QString& used) {
    QString shown = text;
    shown.replace('&', "&&");
    const auto take = [&](bool wordStart) -> int {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i].toLower();
            if (!c.isLetter() || used.contains(c)) continue;
            if (wordStart && i > 0 && text[i - 1].isLetterOrNumber()) continue;
            used += c;
            return static_cast<int>(i);
        }
        return -1;
    };
    int at = take(true);
    if (at < 0) at = take(false);
    if (at < 0) return shown;
    // Its place in the shown text, after the '&'s doubled before it.
    const int doubled = static_cast<int>(text.left(at).count('&'));
    return shown.insert(at + doubled, '&');
}

// The letters of the menus' titles, and of each menu's items: given afresh whenever a name
// changes, so they follow the language and never clash.
void assignMnemonics(Panel& p) {
    QString titles;
    QString items;
    QMenu* current = nullptr;
    for (auto& [number, e] : p.menu) {
        if (e.menu) {
            e.menu->setTitle(withMnemonic(e.text, titles));
            current = e.menu;
            items.clear();
        } else if (e.action && current) {
            e.action->setText(withMnemonic(e.text, items));
        }
    }
}

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
        p.menu[number].menu = menu;
        p.menu[number++].text = m.value("label").toString();
        for (const QJsonValue& iv : m.value("items").toArray()) {
            const QJsonObject it = iv.toObject();
            QAction* action = menu->addAction(it.value("label").toString());
            const int item = number++;
            MenuEntry& e = p.menu[item];
            e.action = action;
            e.text = it.value("label").toString();
            if (it.contains("shortcut")) action->setShortcut(QKeySequence(it.value("shortcut").toString()));
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
    assignMnemonics(p);
    p.menuBar->resize(p.content->width(), p.menuBar->sizeHint().height());
    FitPanelWindow(p);
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
    if ((attribute != ATTR_MENU_NAME || !e->menu) && (attribute != ATTR_ITEM_NAME || !e->action)) return UIE_BadAttribute;
    e->text = qs(value);
    assignMnemonics(*findPanel(g_menuBarPanel[menuBar]));
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, std::string& value) {
    MenuEntry* e = nullptr;
    if (const int r = findEntry(menuBar, menuOrItem, e); r < 0) return r;
    if ((attribute != ATTR_MENU_NAME || !e->menu) && (attribute != ATTR_ITEM_NAME || !e->action)) return UIE_BadAttribute;
    value = ss(e->text);
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
