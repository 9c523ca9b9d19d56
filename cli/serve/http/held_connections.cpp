#include "serve/http/held_connections.h"

#include <chrono>

namespace {

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

void HeldConnections::add(MHD_Daemon* daemon, int fd, const sockaddr* from, socklen_t size) {
    ++open_;
    if (MHD_add_connection(daemon, fd, from, size) != MHD_YES) --open_; // closed by libmicrohttpd
}

unsigned HeldConnections::closing() {
    std::lock_guard lock(mutex_);
    unsigned n = 0;
    for (const auto& [c, h] : held_) n += h.closing ? 1 : 0;
    return n;
}

double HeldConnections::closeLongestIdle() {
    std::lock_guard lock(mutex_);
    Held* longest = nullptr;
    for (auto& [c, h] : held_)
        if (!h.busy && !h.closing && h.fd >= 0 && (!longest || h.idleSince < longest->idleSince)) longest = &h;
    if (!longest) return -1;
    longest->closing = true;
    ::shutdown(longest->fd, SHUT_RDWR);
    return secondsNow() - longest->idleSince;
}

void HeldConnections::mark(MHD_Connection* c, bool busy) {
    std::lock_guard lock(mutex_);
    auto it = held_.find(c);
    if (it == held_.end()) return;
    it->second.busy = busy;
    if (!busy) it->second.idleSince = secondsNow();
}

void HeldConnections::ConnectionNotice(void* self, MHD_Connection* c, void**, MHD_ConnectionNotificationCode code) {
    auto& held = *static_cast<HeldConnections*>(self);
    std::lock_guard lock(held.mutex_);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        held.held_.erase(c);
        --held.open_;
        return;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    held.held_[c] = {info ? info->connect_fd : -1, secondsNow(), false, false};
}

void HeldConnections::RequestDone(void* self, MHD_Connection* c, void**, MHD_RequestTerminationCode) {
    static_cast<HeldConnections*>(self)->mark(c, false);
}
