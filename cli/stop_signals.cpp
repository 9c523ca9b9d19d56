#include "stop_signals.h"

#include <sys/signalfd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <ctime>

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

bool g_stopped = false;

} // namespace

void HoldStopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool WaitForStopSignal(double seconds) {
    if (g_stopped) return true;
    const sigset_t set = stopSignals();
    const double wait = std::max(seconds, 0.0);
    timespec timeout{static_cast<time_t>(wait), static_cast<long>(std::fmod(wait, 1.0) * 1e9)};
    for (;;) {
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal == SIGINT || signal == SIGTERM) return g_stopped = true;
        // An interruption by another signal waits on; the rest of the time is not tracked
        // closely, as the caller's period is what it is.
        if (signal < 0 && errno == EINTR) continue;
        return false;
    }
}

int StopSignalDescriptor() {
    const sigset_t set = stopSignals();
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}
