// The application, the event loop, deferred calls and the hold-back of timer ticks.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIcon>
#include <QTimer>
#include <set>

#include "platform/accessibility.h"
#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {
std::vector<QEventLoop*> g_loops;
int g_timerSuspend = 0;
std::set<std::pair<int, int>> g_pendingTicks;
} // namespace

int platform::DispatchCommit(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c || !c->callback) return 0;
    // The callback may discard this very panel; nothing here touches `c` afterwards.
    CtrlCallbackPtr fn = c->callback;
    return fn(panel, control, EVENT_COMMIT, c->callbackData, 0, 0);
}

void platform::DispatchTick(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c || !c->timerEnabled || !c->callback) return;
    if (g_timerSuspend > 0) {
        g_pendingTicks.insert({panel, control});
        return;
    }
    CtrlCallbackPtr fn = c->callback;
    fn(panel, control, EVENT_TIMER_TICK, c->callbackData, 0, 0);
}

int InitRunTime(int argc, char** argv) {
    if (QApplication::instance()) return 1;
    static int s_argc = argc;
    static QApplication* app = new QApplication(s_argc, argv);
    app->setQuitOnLastWindowClosed(false);
    app->setApplicationName("RQ55");
    app->setOrganizationName("RQ55");
    platform::ApplyTheme();
    platform::InstallAccessibility();
    platform::InstallKeys();
    app->setWindowIcon(QIcon(resolvePath("trffc_a.ico")));
    return 1;
}

int RunUserInterface() {
    QEventLoop loop;
    g_loops.push_back(&loop);
    const int code = loop.exec();
    g_loops.pop_back();
    return code;
}

int QuitUserInterface(int code) {
    if (g_loops.empty()) return UIE_NoEventLoop;
    g_loops.back()->exit(code);
    return 0;
}

int ProcessSystemEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

int PostDeferredCall(std::function<void()> fn) {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn));
    return 0;
}

void SuspendTimerCallbacks() { ++g_timerSuspend; }

void ResumeTimerCallbacks() {
    if (g_timerSuspend > 0) --g_timerSuspend;
    if (g_timerSuspend > 0 || g_pendingTicks.empty()) return;
    const auto pending = std::move(g_pendingTicks);
    g_pendingTicks.clear();
    for (const auto& [panel, control] : pending)
        PostDeferredCall([panel = panel, control = control]() { DispatchTick(panel, control); });
}

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
    QElapsedTimer clock;
    clock.start();
    QTimer nudge; // bounds each wait for events, so the condition is looked at often
    nudge.start(5);
    while (!condition()) {
        if (clock.elapsed() > seconds * 1000) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}
