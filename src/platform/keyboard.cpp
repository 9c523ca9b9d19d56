// The keyboard on every panel, as on any desktop: Tab goes through the controls in the panel's
// reading order, Enter presses the focused button (and, in a field of a panel that has one, its
// default button), Escape its cancel button, F10 or Alt alone open the menu bar, and a control or
// menu item with a shortcut answers it.
#include <QAbstractButton>
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
            // A field of a panel with a default button: the field takes its Enter first (its value
            // is then the operator's), then the button is pressed.
            const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget);
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

// The controls that take the focus, rows top to bottom (a control whose top lies within half the
// height of the row's first control is in its row), left to right within a row.
// Positions are the panel's, whatever widget holds a control and its label.
std::vector<QWidget*> readingOrder(const Panel& p) {
    struct Placed {
        QWidget* widget;
        QRect at;
    };
    std::vector<Placed> focusable;
    for (const auto& [id, c] : p.controls)
        if (c.widget && (c.widget->focusPolicy() & Qt::TabFocus))
            focusable.push_back({c.widget, QRect(c.widget->mapTo(p.window, QPoint(0, 0)), c.widget->size())});
    std::stable_sort(focusable.begin(), focusable.end(), [](const Placed& a, const Placed& b) { return a.at.y() < b.at.y(); });
    std::vector<std::vector<Placed>> rows;
    for (const Placed& c : focusable) {
        if (rows.empty() || c.at.y() - rows.back().front().at.y() > rows.back().front().at.height() / 2) rows.emplace_back();
        rows.back().push_back(c);
    }
    std::vector<QWidget*> order;
    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const Placed& a, const Placed& b) { return a.at.x() < b.at.x(); });
        for (const Placed& c : row) order.push_back(c.widget);
    }
    return order;
}

} // namespace

void EnableKeyboard(Panel& p, const QJsonObject& def) {
    static Keys* keys = [] {
        auto* filter = new Keys;
        qApp->installEventFilter(filter);
        return filter;
    }();
    (void)keys;
    p.defaultControl = controlNamed(p, def.value("default_control").toString());
    // Escape is the close box's button unless the panel says otherwise (the main panel's is the
    // exit button, no cancel).
    p.cancelControl = def.contains("cancel_control") ? controlNamed(p, def.value("cancel_control").toString())
                                                     : p.closeControl;
    const std::vector<QWidget*> order = readingOrder(p);
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
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
