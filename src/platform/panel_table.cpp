// The table of panels and controls, and the callbacks registered by name.
#include "platform/panel_table.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "platform/number_text.h"
#include "platform/system.h"

namespace platform {

std::map<int, std::unique_ptr<Panel>> g_panels;
std::map<int, int> g_menuBarPanel;

namespace {
std::map<std::string, CtrlCallbackPtr> g_callbacks;
std::map<std::string, MenuCallbackPtr> g_menuCallbacks;
} // namespace

Panel* findPanel(int handle) {
    auto it = g_panels.find(handle);
    return it == g_panels.end() ? nullptr : it->second.get();
}

Control* findControl(int panel, int control) {
    Panel* p = findPanel(panel);
    if (!p) return nullptr;
    auto it = p->controls.find(control);
    return it == p->controls.end() ? nullptr : &it->second;
}

int controlNamed(const Panel& p, const QString& name) {
    for (const auto& [id, c] : p.controls)
        if (!name.isEmpty() && qs(c.name) == name) return id;
    return 0;
}

int missingControl(int panel) { return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle; }

QString resolvePath(const std::string& file) {
    const QString f = qs(file);
    if (f.isEmpty() || QDir::isAbsolutePath(f)) return f;
    return qs(GetProjectDir()) + "/" + f;
}

CtrlCallbackPtr FindCallback(const std::string& name) {
    auto it = g_callbacks.find(name);
    return it == g_callbacks.end() ? nullptr : it->second;
}

MenuCallbackPtr FindMenuCallback(const std::string& name) {
    auto it = g_menuCallbacks.find(name);
    return it == g_menuCallbacks.end() ? nullptr : it->second;
}

QString FormatNumber(const Control& c, double v) {
    return qs(NumberText(v, c.data != NumData::Double, c.precision, c.moreDigits));
}

QString FitNumber(const Control& c, double v, const QFontMetrics& metrics, int width) {
    QString text = FormatNumber(c, v);
    if (width <= 0 || !std::isfinite(v) || metrics.horizontalAdvance(text) <= width) return text;
    for (int digits = 6; digits >= 1; --digits) {
        text = QString::number(v, 'g', digits);
        if (metrics.horizontalAdvance(text) <= width) return text;
    }
    return text;
}

void PlaceCaption(Control& c) {
    if (!c.caption || !c.widget) return;
    const QRect g = c.widget->geometry();
    c.caption->adjustSize();
    const QSize s = c.caption->sizeHint();
    if (c.captionLeft) {
        c.caption->setGeometry(g.left() - s.width() - 6, g.top() + (g.height() - s.height()) / 2, s.width(),
                               s.height());
    } else {
        c.caption->setGeometry(g.left(), g.top() - s.height() - 2, std::max(s.width(), g.width()),
                               s.height());
    }
}

} // namespace platform

using namespace platform;

void RegisterCallback(const std::string& name, CtrlCallbackPtr fn) { g_callbacks[name] = fn; }
void RegisterMenuCallback(const std::string& name, MenuCallbackPtr fn) { g_menuCallbacks[name] = fn; }
bool IsCallbackRegistered(const std::string& name) {
    return g_callbacks.count(name) != 0 || g_menuCallbacks.count(name) != 0;
}
