// A TCP peer on the loopback that answers the first request with whatever bytes a test gives
// it, well-formed or not, and then keeps the connection open until it goes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace linktest {

class ScriptedPeer {
  public:
    explicit ScriptedPeer(std::vector<unsigned char> reply) : reply_(std::move(reply)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~ScriptedPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }

    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    unsigned short port() const { return port_; }
    int requestsSeen() const { return requests_; }

  private:
    // Waits for fd to become readable, a short while at a time, until told to stop.
    bool readable(int fd) {
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) return true;
        }
        return false;
    }

    void serve() {
        if (!readable(listener_)) return;
        const int conversation = ::accept(listener_, nullptr, nullptr);
        if (conversation < 0) return;
        unsigned char request[512];
        if (readable(conversation) && ::recv(conversation, request, sizeof request, 0) > 0) {
            ++requests_;
            size_t sent = 0;
            while (sent < reply_.size()) {
                const ssize_t n =
                    ::send(conversation, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
        }
        while (!stop_) {
            pollfd p{conversation, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                unsigned char scratch[512];
                if (::recv(conversation, scratch, sizeof scratch, 0) <= 0) break;
            }
        }
        ::close(conversation);
    }

    std::vector<unsigned char> reply_;
    int listener_ = -1;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace linktest
