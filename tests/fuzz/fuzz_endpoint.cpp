// serve's endpoint over any bytes a client sends, libmicrohttpd included: each input is the whole of
// one connection, handed to the endpoint as if accepted. Nothing crashes or leaks, and whatever is
// answered is an HTTP answer.
#include <crypt.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serve/http/endpoint.h"

namespace {

MetricsEndpoint& endpoint() {
    static MetricsEndpoint* e = [] {
        auto* made = new MetricsEndpoint;
        WebConfig web;
        crypt_data scratch{};
        web.users["prom"] = crypt_r("s3cret", "$2b$04$abcdefghijklmnopqrstuu", &scratch); // cheap, for speed
        web.headers = {{"X-Frame-Options", "DENY"}};
        std::string why;
        if (!made->start("127.0.0.1", 0, [](std::string& out) { out += "rq55_up{address=\"1\"} 1\n"; }, web,
                         [](const std::string&, const std::string&) {}, why))
            std::abort();
        return made;
    }();
    return *e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
    endpoint().take(pair[0]);
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = send(pair[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    shutdown(pair[1], SHUT_WR);
    std::string reply;
    char buffer[65536];
    pollfd p{pair[1], POLLIN, 0};
    while (poll(&p, 1, 5000) == 1) {
        const ssize_t n = recv(pair[1], buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    close(pair[1]);
    if (!reply.empty() && reply.rfind("HTTP/1.", 0) != 0) std::abort();
    return 0;
}
