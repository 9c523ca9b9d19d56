#include "stop_signals.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <atomic>

// Windows has no signals to hold: Ctrl+C, Ctrl+Break and a closed console window are handed to a
// handler on a thread of their own, which only notes the stop; the program sees it between two
// steps all the same.
namespace {

HANDLE g_stopEvent = nullptr;
std::atomic<bool> g_stopped{false};

BOOL WINAPI noteStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    g_stopped = true;
    if (g_stopEvent) ::SetEvent(g_stopEvent);
    return TRUE;
}

} // namespace

void HoldStopSignals(bool /*reload: serve, which is not built for Windows*/) {
    if (g_stopEvent) return;
    g_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(noteStop, TRUE);
}

bool TakeReloadRequest() { return false; }

bool WaitForStopSignal(double seconds) {
    if (g_stopped) return true;
    const DWORD ms = static_cast<DWORD>(std::max(seconds, 0.0) * 1000.0);
    if (g_stopEvent)
        ::WaitForSingleObject(g_stopEvent, ms);
    else
        ::Sleep(ms);
    return g_stopped;
}

int StopSignalDescriptor() { return -1; }

#else
#include <sys/signalfd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <ctime>

namespace {

bool g_reloadHeld = false;
bool g_stopped = false;
bool g_reload = false;

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (g_reloadHeld) sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void HoldStopSignals(bool reload) {
    g_reloadHeld = g_reloadHeld || reload;
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool TakeReloadRequest() {
    WaitForStopSignal(0); // a SIGHUP held back is noted
    const bool asked = g_reload;
    g_reload = false;
    return asked;
}

bool WaitForStopSignal(double seconds) {
    if (g_stopped) return true;
    const sigset_t set = stopSignals();
    const double wait = std::max(seconds, 0.0);
    timespec timeout{static_cast<time_t>(wait), static_cast<long>(std::fmod(wait, 1.0) * 1e9)};
    for (;;) {
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal == SIGINT || signal == SIGTERM) return g_stopped = true;
        if (signal == SIGHUP) {
            g_reload = true;
            return false;
        }
        // An interruption by another signal waits on; the rest of the time is not tracked
        // closely, as the caller's period is what it is.
        if (signal < 0 && errno == EINTR) continue;
        return false;
    }
}

int StopSignalDescriptor() {
    // One for the process, made at the first call: an event loop asks for it at every wait.
    static const int fd = [] {
        const sigset_t set = stopSignals();
        return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    }();
    return fd;
}
#endif
