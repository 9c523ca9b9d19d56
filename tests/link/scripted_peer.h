// A TCP peer on the loopback that answers the first request with whatever bytes a test gives
// it, well-formed or not, and then keeps the connection open until it goes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace linktest {

class ScriptedPeer {
  public:
    explicit ScriptedPeer(std::vector<unsigned char> reply) : reply_(std::move(reply)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    // Shutting the sockets down ends a wait in accept or recv.
    ~ScriptedPeer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::shutdown(conversation_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }

    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    unsigned short port() const { return port_; }
    int requestsSeen() const { return requests_; }

  private:
    void serve() {
        const int conversation = ::accept(listener_, nullptr, nullptr);
        conversation_ = conversation;
        unsigned char request[512];
        if (::recv(conversation, request, sizeof request, 0) > 0) {
            ++requests_;
            ::send(conversation, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        }
        while (::recv(conversation, request, sizeof request, 0) > 0) {
        }
        ::close(conversation);
    }

    std::vector<unsigned char> reply_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    std::atomic<int> conversation_{-1};
    unsigned short port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace linktest
