#include "serve/listen.h"

#include <netdb.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

bool ListenOn(const std::string& host, int port, int queue, std::vector<int>& fds, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); error != 0) {
        why = host + " cannot be listened on: " + ::gai_strerror(error);
        return false;
    }
    std::vector<int> made;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        if (fd >= 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (a->ai_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        }
        if (fd < 0 || ::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, queue) != 0) {
            char name[NI_MAXHOST] = {};
            ::getnameinfo(a->ai_addr, a->ai_addrlen, name, sizeof name, nullptr, 0, NI_NUMERICHOST);
            why = std::string("cannot listen on ") + name + " port " + service + ": " + std::strerror(errno);
            if (fd >= 0) ::close(fd);
            for (int m : made) ::close(m);
            ::freeaddrinfo(found);
            return false;
        }
        made.push_back(fd);
    }
    ::freeaddrinfo(found);
    fds.insert(fds.end(), made.begin(), made.end());
    return true;
}

DoorCaps DoorCapsFor(unsigned long long descriptorLimit) {
    const unsigned long long left = descriptorLimit > kKeptDescriptors + 8 ? descriptorLimit - kKeptDescriptors : 8;
    const size_t gateway = static_cast<size_t>(std::min<unsigned long long>(64, std::max<unsigned long long>(left / 4, 2)));
    const unsigned endpoint = static_cast<unsigned>(std::min<unsigned long long>(512, std::max<unsigned long long>(left - gateway, 4)));
    return {gateway, endpoint};
}

DoorCaps DoorCapsNow() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return DoorCapsFor(1ull << 20);
    return DoorCapsFor(limit.rlim_cur);
}
