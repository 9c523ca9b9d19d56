// The connections open through one of the endpoint's libmicrohttpd daemons, kept from its notices
// of connections and requests: how many are open, which are idle and since when, so that at the
// cap the one idle longest gives way to a new one.
#pragma once

#include <microhttpd.h>
#include <sys/socket.h>

#include <atomic>
#include <map>
#include <mutex>

class HeldConnections {
  public:
    // Hands an accepted connection to the daemon, counted at once (the daemon counts it only once
    // its own thread has taken it).
    void add(MHD_Daemon* daemon, int fd, const sockaddr* from, socklen_t size);
    // Handed over and not closed yet.
    long open() const { return open_; }
    // Told to close, not closed yet: no longer counted as open by the caller.
    unsigned closing();
    // Shuts the connection idle longest down (its thread then closes it); its idle seconds, or a
    // negative number when every connection has a request under way.
    double closeLongestIdle();
    // A request began (busy) or ended on the connection.
    void mark(MHD_Connection* c, bool busy);

    // For MHD_OPTION_NOTIFY_CONNECTION and MHD_OPTION_NOTIFY_COMPLETED, with this as their closure.
    static void ConnectionNotice(void* self, MHD_Connection* c, void**, MHD_ConnectionNotificationCode code);
    static void RequestDone(void* self, MHD_Connection* c, void**, MHD_RequestTerminationCode);

  private:
    struct Held {
        int fd = -1;
        double idleSince = 0;
        bool busy = false, closing = false;
    };
    std::mutex mutex_;
    std::map<MHD_Connection*, Held> held_;
    std::atomic<long> open_{0};
};
