// Hooks for the test suite and the screenshot tool: simulated user actions, the loaded panels,
// and rendering a panel to a file.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include "platform/panel_table.h"
#include "platform/system.h"
#include "platform/widgets.h"

using namespace platform;

int SimulateCommit(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type == CTRL_PICTURE_TOGGLE || c->type == CTRL_BINARY_SWITCH) {
        auto* b = static_cast<QAbstractButton*>(c->widget);
        const QSignalBlocker block(b);
        b->setChecked(!b->isChecked());
    }
    return DispatchCommit(panel, control);
}

int SimulateCloseBox(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->close();
    return 0;
}

int SimulateMenuCommand(int panel, int menuItem) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    auto it = p->menu.find(menuItem);
    if (it == p->menu.end() || !it->second.action) return UIE_BadControl;
    if (it->second.callback) it->second.callback(p->menuBarHandle, menuItem, nullptr, panel);
    return 0;
}

int SimulateTimerTick(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (!c->timer) return UIE_WrongControlType;
    if (!c->timerEnabled) return 0;
    DispatchTick(panel, control);
    return 1;
}

std::vector<int> LoadedPanels() {
    std::vector<int> handles;
    for (auto& [handle, p] : g_panels) handles.push_back(handle);
    return handles;
}

void platform::Remember(std::vector<std::string>& history, std::string entry) {
    constexpr std::size_t kKept = 1000;
    if (history.size() >= 2 * kKept) history.erase(history.begin(), history.end() - kKept);
    history.push_back(std::move(entry));
}

std::vector<std::vector<std::pair<double, double>>> GraphPlots(int panel, int control) {
    std::vector<std::vector<std::pair<double, double>>> plots;
    Control* c = findControl(panel, control);
    if (!c) return plots;
    for (auto& [handle, plot] : c->plots) {
        auto& points = plots.emplace_back();
        for (const QPointF& pt : plot.points()) points.emplace_back(pt.x(), pt.y());
    }
    return plots;
}

std::vector<std::string> GraphPlotNames(int panel, int control) {
    std::vector<std::string> names;
    Control* c = findControl(panel, control);
    if (!c || c->type != CTRL_GRAPH) return names;
    QApplication::sendPostedEvents(); // the legend shows its entries once it is laid out
    QLegend* legend = static_cast<QChartView*>(c->widget)->chart()->legend();
    for (QLegendMarker* marker : legend->markers())
        if (marker->isVisible()) names.push_back(ss(marker->label()));
    return names;
}

QWidget* ControlWidget(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c || !c->widget) return nullptr; // a timer has none
    QWidget* window = c->widget->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return c->widget;
}

bool ShownWhole(int panel, int control) {
    Control* c = findControl(panel, control);
    auto* label = c ? qobject_cast<QLabel*>(c->widget) : nullptr;
    if (!label) return false;
    label->ensurePolished();
    return label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
}

namespace {
QValueAxis* valueAxis(int panel, int control, bool y) {
    Control* c = findControl(panel, control);
    if (!c || c->type != CTRL_GRAPH) return nullptr;
    const auto axes = static_cast<QChartView*>(c->widget)->chart()->axes(y ? Qt::Vertical : Qt::Horizontal);
    return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}
} // namespace

std::vector<std::string> GraphAxisLabels(int panel, int control, bool y) {
    std::vector<std::string> labels;
    QValueAxis* axis = valueAxis(panel, control, y);
    if (!axis) return labels;
    const int ticks = axis->tickCount();
    for (int i = 0; i < ticks; ++i) {
        const double v = axis->min() + (axis->max() - axis->min()) * i / std::max(1, ticks - 1);
        labels.push_back(QString::asprintf(axis->labelFormat().toLatin1().constData(), v).toStdString());
    }
    return labels;
}

bool GraphAxisLabelsWhole(int panel, int control, bool y) {
    QValueAxis* axis = valueAxis(panel, control, y);
    return axis && !axis->truncateLabels();
}

int FindPanelByTitle(const std::string& title) {
    for (auto& [handle, p] : g_panels)
        if (ss(p->window->windowTitle()) == title) return handle;
    return 0;
}

bool PanelFitsScreen(int panel, std::string& why) {
    Panel* p = findPanel(panel);
    if (!p) return false;
    // Under a window manager the frame is known once the manager has framed the window and said
    // so; the check waits for that, a second at most, so the title bar is counted.
    if (QGuiApplication::platformName() == "xcb")
        for (int n = 0; n < 40 && p->window->frameGeometry() == p->window->geometry(); ++n) Delay(0.03);
    const QScreen* screen = p->window->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect frame = p->window->frameGeometry();
    const QScrollArea& s = *p->scroll;
    const int reachableWidth = s.viewport()->width() + s.horizontalScrollBar()->maximum();
    const int reachableHeight = s.viewport()->height() + s.verticalScrollBar()->maximum();
    why.clear();
    if (!area.contains(frame))
        why = strfmt("the window (%d,%d %dx%d) is not within the screen (%d,%d %dx%d)", frame.x(), frame.y(),
                     frame.width(), frame.height(), area.x(), area.y(), area.width(), area.height());
    else if (reachableWidth < p->content->width() || reachableHeight < p->content->height())
        why = strfmt("%dx%d of the content's %dx%d can be reached", reachableWidth, reachableHeight,
                     p->content->width(), p->content->height());
    return why.empty();
}

int SavePanelImage(int panel, const std::string& pngPath) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->ensurePolished();
    QCoreApplication::processEvents();
    return p->window->grab().save(qs(pngPath), "PNG") ? 1 : 0;
}
