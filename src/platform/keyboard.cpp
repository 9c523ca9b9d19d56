// The keyboard on every panel, as on any desktop: Tab goes through the controls in the panel's
// reading order, Enter presses the focused button (and, in a field of a panel that has one, its
// default button), Escape its cancel button, F10 or Alt alone open the menu bar, and a control or
// menu item with a shortcut answers it.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <QTimer>
#include <algorithm>

#include "platform/panel_table.h"
#include "platform/widgets.h"

namespace platform {

namespace {

Panel* panelOf(const QWidget* widget) {
    const QWidget* window = widget ? widget->window() : nullptr;
    for (auto& [handle, p] : g_panels)
        if (p->window == window) return p.get();
    return nullptr;
}

bool isEnter(const QKeyEvent* key) { return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter; }

// Seen before any widget has the key: it acts only for the widget with the focus, once.
class Keys : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || watched != QApplication::focusWidget()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        Panel* p = panelOf(widget);
        if (!p || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        if (isEnter(key)) {
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                if (button->isEnabled()) button->click();
                return true;
            }
            // A field or list of a panel with a default button: the field takes its Enter first (its
            // value is then the operator's), then the button is pressed.
            const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
                               qobject_cast<QAbstractItemView*>(widget);
            if (field && p->defaultControl)
                QTimer::singleShot(0, widget, [handle = p->handle, control = p->defaultControl] {
                    DispatchCommit(handle, control);
                });
            return false;
        }
        if (key->key() == Qt::Key_Escape && p->cancelControl) {
            DispatchCommit(p->handle, p->cancelControl);
            return true;
        }
        if (key->key() == Qt::Key_F10 && p->menuBar && !p->menuBar->actions().isEmpty()) {
            p->menuBar->setActiveAction(p->menuBar->actions().first());
            return true;
        }
        return false;
    }
};

// Where a widget stands on its panel, whatever widget holds it.
QRect placeOf(const Panel& p, const QWidget* w) { return QRect(w->mapTo(p.window, QPoint(0, 0)), w->size()); }

// Rows top to bottom (a box whose top lies within half the height of the row's first box is in
// its row), left to right within a row.
template <typename T, typename Place>
std::vector<T> inRows(std::vector<T> items, Place place) {
    std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) { return place(a).y() < place(b).y(); });
    std::vector<std::vector<T>> rows;
    for (const T& item : items) {
        if (rows.empty() || place(item).y() - place(rows.back().front()).y() > place(rows.back().front()).height() / 2)
            rows.emplace_back();
        rows.back().push_back(item);
    }
    std::vector<T> order;
    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [&](const T& a, const T& b) { return place(a).x() < place(b).x(); });
        order.insert(order.end(), row.begin(), row.end());
    }
    return order;
}

// The controls that take the focus in reading order: a framed group is read whole before the next
// (rows within it), and the groups, with the controls outside every frame each a group of its
// own, in rows across the panel. So Tab goes down the link settings before the view buttons, and
// through one relay before the other.
std::vector<QWidget*> readingOrder(const Panel& p) {
    struct Group {
        QRect at;
        std::vector<QWidget*> members;
    };
    std::vector<QRect> frames;
    for (const auto& [id, c] : p.controls)
        if (c.type == CTRL_DECORATION && c.widget) frames.push_back(placeOf(p, c.widget));
    std::vector<Group> groups(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) groups[i].at = frames[i];
    for (const auto& [id, c] : p.controls) {
        if (!c.widget || c.type == CTRL_DECORATION || !(c.widget->focusPolicy() & Qt::TabFocus)) continue;
        const QRect at = placeOf(p, c.widget);
        // The smallest frame round the control's centre holds it.
        Group* holder = nullptr;
        for (Group& g : groups)
            if (g.at.contains(at.center()) && (!holder || g.at.width() * g.at.height() < holder->at.width() * holder->at.height()))
                holder = &g;
        if (holder)
            holder->members.push_back(c.widget);
        else
            groups.push_back({at, {c.widget}});
    }
    std::vector<QWidget*> order;
    for (Group& g : inRows(groups, [](const Group& group) { return group.at; }))
        for (QWidget* w : inRows(g.members, [&](QWidget* member) { return placeOf(p, member); })) order.push_back(w);
    return order;
}

} // namespace

void InstallKeys() { qApp->installEventFilter(new Keys); }

void EnableKeyboard(Panel& p, const QJsonObject& def) {
    p.defaultControl = controlNamed(p, def.value("default_control").toString());
    // Escape is the close box's button unless the panel says otherwise (the main panel's is the
    // exit button, no cancel).
    p.cancelControl = def.contains("cancel_control") ? controlNamed(p, def.value("cancel_control").toString())
                                                     : p.closeControl;
    const std::vector<QWidget*> order = readingOrder(p);
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    if (!order.empty()) p.firstField = order.front();
    // A control's shortcut works wherever the focus is on its window, as a press of the control.
    for (auto& [id, c] : p.controls)
        if (!c.shortcut.isEmpty()) {
            auto* shortcut = new QShortcut(QKeySequence(c.shortcut), p.window);
            QObject::connect(shortcut, &QShortcut::activated, p.window, [handle = p.handle, control = id] {
                DispatchCommit(handle, control);
            });
        }
}

} // namespace platform
