// The table of panels and controls, and the callbacks registered by name.
#include "platform/panel_table.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <cmath>

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
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (c.data == NumData::Double) {
        // A value ranged into a larger unit keeps its digits, but no more than the seven a float
        // from the analyser carries: anything beyond would be noise.
        constexpr int kFloatDigits = 7;
        int decimals = c.precision + c.moreDigits;
        if (c.moreDigits > 0 && v != 0) {
            const int whole = std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1);
            decimals = std::max(c.precision, std::min(decimals, kFloatDigits - whole));
        }
        return QString::number(v, 'f', decimals);
    }
    // A float far beyond any integer shows as what it is, not as an undefined conversion.
    if (std::fabs(v) < 9.0e18) return QString::number(static_cast<long long>(v));
    return QString::number(v, 'g', 6);
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
