// The busy cursor and the line that says what the program waits for.
#include <QApplication>
#include <QLabel>
#include <QPointer>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {

constexpr int kLineHeight = 24;

QPointer<QLabel> g_line;
std::vector<std::string> g_history;

// The window in front: the visible panel loaded last (a view is loaded after the panel it hides).
QWidget* frontWindow() {
    for (auto it = g_panels.rbegin(); it != g_panels.rend(); ++it)
        if (it->second->window && it->second->window->isVisible()) return it->second->content;
    return nullptr;
}

} // namespace

void ShowBusyLine(const std::string& text) {
    QWidget* window = frontWindow();
    if (g_line && g_line->parentWidget() != window) HideBusyLine();
    if (g_line && g_line->text() == QString::fromStdString(text)) return;
    if (!g_line) {
        if (!window) return;
        g_line = new QLabel(window);
        g_line->setObjectName("busyLine");
        g_line->setStyleSheet("QLabel#busyLine { background: #2f3b48; color: white; padding: 0px 10px; }");
        g_line->setGeometry(0, window->height() - kLineHeight, window->width(), kLineHeight);
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    g_line->setText(QString::fromStdString(text));
    g_line->show();
    g_line->raise();
    g_line->repaint();
    Remember(g_history, text);
}

void HideBusyLine() {
    if (!g_line) return;
    delete g_line;
    QApplication::restoreOverrideCursor();
}

const std::vector<std::string>& BusyLineHistory() { return g_history; }
void ClearBusyLineHistory() { g_history.clear(); }
std::string BusyLineText() { return g_line ? g_line->text().toStdString() : ""; }
