// Hooks for the test suite and the screenshot tool: simulated user actions, the loaded panels,
// and rendering a panel to a file.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QPixmap>
#include <QtCharts/QLineSeries>

#include "platform/panel_table.h"
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

std::vector<std::vector<std::pair<float, float>>> GraphPlots(int panel, int control) {
    std::vector<std::vector<std::pair<float, float>>> plots;
    Control* c = findControl(panel, control);
    if (!c) return plots;
    for (auto& [handle, series] : c->plots) {
        auto& points = plots.emplace_back();
        for (const QPointF& pt : series->points())
            points.emplace_back(static_cast<float>(pt.x()), static_cast<float>(pt.y()));
    }
    return plots;
}

int FindPanelByTitle(const std::string& title) {
    for (auto& [handle, p] : g_panels)
        if (ss(p->window->windowTitle()) == title) return handle;
    return 0;
}

int SavePanelImage(int panel, const std::string& pngPath) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->ensurePolished();
    QCoreApplication::processEvents();
    return p->window->grab().save(qs(pngPath), "PNG") ? 1 : 0;
}
