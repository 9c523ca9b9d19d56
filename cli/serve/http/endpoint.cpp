#include "serve/http/endpoint.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "serve/http/basic_auth.h"
#include "serve/http/held_connections.h"
#include "serve/http/request_headers.h"
#include "serve/http/tls_files.h"
#include "serve/listen.h"

namespace {

// How many connections at once follows the descriptor limit (DoorCapsNow); at the cap, at most
// this many idle ones are closing to make room at a time.
constexpr unsigned kClosingAtOnce = 8;
// Each connection has a thread of its own, with a stack that holds bcrypt's scratch and little more.
constexpr size_t kThreadStack = 256 * 1024;
constexpr unsigned kIdleSeconds = 10;
constexpr size_t kConnectionMemory = 16 * 1024;
constexpr int kListenQueue = 1024;
// A connection to the TLS port has this long to begin its handshake.
constexpr double kFirstByteSeconds = 10;

const char kLandingPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>rq55ctl serve</title></head>\n"
    "<body><h1>rq55ctl serve</h1><p>The analysers' values for Prometheus: <a href=\"metrics\">/metrics</a>.</p>"
    "</body></html>\n";
const char kPlainToTls[] =
    "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n\r\n"
    "Client sent an HTTP request to an HTTPS server.\n";

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

// One libmicrohttpd daemon with the settings it was made with; a reload makes a new one for the
// connections to come and lets the old one finish those it has.
struct Door {
    MetricsEndpoint::Impl* endpoint = nullptr;
    WebConfig web;
    TlsFiles tls;
    std::string priorities;
    std::unique_ptr<BasicAuth> auth;
    MHD_Daemon* daemon = nullptr;

    HeldConnections held;

    unsigned connections() const {
        const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
        return info ? info->num_connections : 0;
    }
    ~Door() {
        if (daemon) MHD_stop_daemon(daemon);
    }
};

struct MetricsEndpoint::Impl {
    Render render;
    Say say;
    std::vector<int> listeners;
    int wake[2] = {-1, -1};
    std::thread acceptor;
    std::mutex mutex; // the doors
    std::shared_ptr<Door> door;
    std::list<std::shared_ptr<Door>> retired;
    unsigned mostConnections = DoorCapsNow().endpoint;
    // Rendered bodies, kept for the next scrapes rather than made and freed each time.
    std::mutex poolMutex;
    std::vector<std::string*> pool;

    std::string* buffer() {
        std::lock_guard lock(poolMutex);
        if (pool.empty()) return new std::string;
        std::string* b = pool.back();
        pool.pop_back();
        return b;
    }
    void giveBack(std::string* b) {
        std::lock_guard lock(poolMutex);
        if (pool.size() < 8)
            pool.push_back(b);
        else
            delete b;
    }

    ~Impl() {
        for (std::string* b : pool) delete b;
    }

    std::shared_ptr<Door> makeDoor(const WebConfig& web, std::string& why);
    void acceptLoop();
    void close();
};

namespace {

MHD_Result queue(MHD_Connection* c, const Door& door, unsigned status, MHD_Response* r) {
    for (const auto& [name, value] : door.web.headers) MHD_add_response_header(r, name.c_str(), value.c_str());
    const MHD_Result result = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return result;
}

MHD_Result text(MHD_Connection* c, const Door& door, unsigned status, const std::string& body,
                const char* type = "text/plain; charset=utf-8") {
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    return queue(c, door, status, r);
}

// A request is looked at twice: once its headers are in, where what is refused is refused (and the
// connection then closed), and once it is whole, where it is answered (and the connection kept).
int gWaiting, gAnswered;

MHD_Result answer(void* cls, MHD_Connection* c, const char* url, const char* method, const char* version,
                  const char*, size_t* uploadSize, void** state) {
    auto& door = *static_cast<Door*>(cls);
    if (*state == nullptr) {
        door.held.mark(c, true);
        if (door.web.requireClientCert && !certifiedClient(c)) {
            door.endpoint->say("client certificate",
                               "/metrics: a client without a certificate of the clients' authority was refused");
            return MHD_NO; // closed without an answer, as a failed handshake would be
        }
        const char* words = nullptr;
        const unsigned status = Refusal(c, version, method, words);
        if (status) text(c, door, status, words);
        *state = status ? &gAnswered : &gWaiting;
        return MHD_YES;
    }
    if (*uploadSize != 0 || *state == &gAnswered) { // a body, dropped
        *uploadSize = 0;
        return MHD_YES;
    }
    *state = &gAnswered;
    const std::string path = url;
    if (path == "/") return text(c, door, MHD_HTTP_OK, kLandingPage, "text/html; charset=utf-8");
    if (path != "/metrics") return text(c, door, MHD_HTTP_NOT_FOUND, "Not Found\n");
    if (door.auth) {
        char* password = nullptr;
        char* user = MHD_basic_auth_get_username_password(c, &password);
        const std::string name = user ? user : "";
        const BasicAuth::Verdict verdict = door.auth->check(name, password ? password : "");
        MHD_free(user);
        if (password) {
            std::memset(password, 0, std::strlen(password));
            MHD_free(password);
        }
        if (verdict != BasicAuth::Verdict::Allowed) {
            if (verdict == BasicAuth::Verdict::NoCredentials)
                door.endpoint->say("no password", "/metrics: a scrape without a user and password was refused");
            if (verdict == BasicAuth::Verdict::Refused)
                door.endpoint->say("wrong password", "/metrics: a scrape as " + name + " with a wrong password was refused");
            if (verdict == BasicAuth::Verdict::TooMany) {
                door.endpoint->say("too many", "/metrics: password checks are queued beyond a few seconds; some were "
                                               "refused unchecked");
                return text(c, door, MHD_HTTP_TOO_MANY_REQUESTS, "Too Many Requests\n");
            }
            MHD_Response* r = MHD_create_response_from_buffer(13, const_cast<char*>("Unauthorized\n"), MHD_RESPMEM_PERSISTENT);
            MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
            for (const auto& [header, value] : door.web.headers) MHD_add_response_header(r, header.c_str(), value.c_str());
            const MHD_Result result = MHD_queue_basic_auth_fail_response(c, "rq55ctl serve", r);
            MHD_destroy_response(r);
            return result;
        }
    }
    MetricsEndpoint::Impl& endpoint = *door.endpoint;
    std::string* body = endpoint.buffer();
    body->clear();
    endpoint.render(*body);
    const bool gzip = listsToken(MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING), "gzip");
    if (gzip) {
        std::string* packed = endpoint.buffer();
        if (gzipped(*body, *packed)) std::swap(body, packed);
        endpoint.giveBack(packed);
    }
    struct Given {
        MetricsEndpoint::Impl* endpoint;
        std::string* body;
    };
    auto* given = new Given{&endpoint, body};
    MHD_Response* r = MHD_create_response_from_buffer_with_free_callback_cls(
        body->size(), body->data(),
        [](void* cls) {
            auto* g = static_cast<Given*>(cls);
            g->endpoint->giveBack(g->body);
            delete g;
        },
        given);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; version=0.0.4; charset=utf-8");
    MHD_add_response_header(r, "Vary", MHD_HTTP_HEADER_ACCEPT_ENCODING);
    if (gzip) MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    return queue(c, door, MHD_HTTP_OK, r);
}

void quiet(void*, const char*, va_list) {} // what libmicrohttpd would log goes unsaid

} // namespace

std::shared_ptr<Door> MetricsEndpoint::Impl::makeDoor(const WebConfig& web, std::string& why) {
    auto d = std::make_shared<Door>();
    d->endpoint = this;
    d->web = web;
    if (!ReadTlsFiles(web, d->tls, why)) return nullptr;
    if (!web.users.empty()) d->auth = std::make_unique<BasicAuth>(web.users);
    d->priorities = web.tls13 ? "NORMAL:-VERS-ALL:+VERS-TLS1.3" : "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_NO_LISTEN_SOCKET |
                     MHD_USE_ITC | MHD_USE_ERROR_LOG;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_CONNECTION_LIMIT, mostConnections + kClosingAtOnce, nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&HeldConnections::ConnectionNotice), &d->held},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&HeldConnections::RequestDone), &d->held},
        {MHD_OPTION_THREAD_STACK_SIZE, kThreadStack, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
        // Its own refusal of HTTP/1.1 without Host sends its status line twice: refused here instead.
        {MHD_OPTION_STRICT_FOR_CLIENT, 0, nullptr},
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&quiet), nullptr},
    };
    if (web.tls) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(d->tls.certificate.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(d->tls.key.c_str())});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(d->priorities.c_str())});
        if (web.requireClientCert)
            options.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(d->tls.clientAuthority.c_str())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    d->daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &answer, d.get(), MHD_OPTION_ARRAY, options.data(),
                                 MHD_OPTION_END);
    if (!d->daemon) {
        why = "the HTTP server could not start" + std::string(web.tls ? " with these TLS settings" : "");
        return nullptr;
    }
    return d;
}

// Takes each connection as it comes, while fewer than the most are open; a connection to the TLS
// port is handed over once its first byte shows a TLS handshake, and a plain HTTP request there is
// told so in words.
void MetricsEndpoint::Impl::acceptLoop() {
    struct Waiting {
        int fd;
        double since;
    };
    std::vector<Waiting> waiting;
    bool allBusy = false; // at the cap with every connection busy: the doors wait a moment
    for (;;) {
        std::shared_ptr<Door> current;
        {
            std::lock_guard lock(mutex);
            current = door;
            retired.remove_if([](const std::shared_ptr<Door>& d) { return d->connections() == 0; });
        }
        const unsigned closing = current->held.closing();
        const long open = current->held.open() - closing + static_cast<long>(waiting.size());
        const bool room = open < static_cast<long>(mostConnections);
        // At the cap the doors are still watched while some connection is idle: a new one makes
        // the one idle longest give way, so a scrape always gets in.
        const bool watch = room || !allBusy;
        std::vector<pollfd> fds = {{wake[0], POLLIN, 0}};
        if (watch)
            for (int fd : listeners) fds.push_back({fd, POLLIN, 0});
        const size_t firstWaiting = fds.size();
        for (const Waiting& w : waiting) fds.push_back({w.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), watch ? 1000 : 50);
        if (fds[0].revents) return;
        std::vector<Waiting> still;
        for (size_t i = 0; i < waiting.size(); ++i) {
            const Waiting w = waiting[i];
            const bool readable = fds[firstWaiting + i].revents != 0;
            unsigned char first = 0;
            const ssize_t got = readable ? ::recv(w.fd, &first, 1, MSG_PEEK | MSG_DONTWAIT) : -1;
            if (got == 1 && first == 0x16) { // a TLS handshake's record
                sockaddr_storage peer{};
                socklen_t size = sizeof peer;
                ::getpeername(w.fd, reinterpret_cast<sockaddr*>(&peer), &size);
                current->held.add(current->daemon, w.fd, reinterpret_cast<sockaddr*>(&peer), size);
            } else if (got == 1) {
                current->endpoint->say("plain HTTP", "/metrics: a plain HTTP request to the TLS port was refused");
                (void)!::send(w.fd, kPlainToTls, sizeof kPlainToTls - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
                ::shutdown(w.fd, SHUT_WR);
                ::close(w.fd);
            } else if ((readable && got == 0) || secondsNow() - w.since > kFirstByteSeconds) {
                ::close(w.fd); // gone, or silent for too long
            } else {
                still.push_back(w);
            }
        }
        allBusy = false;
        for (size_t i = 1; i < firstWaiting; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            if (!room) {
                // A few at a time: each keeps its descriptor until its thread has closed it.
                const double idleFor = closing < kClosingAtOnce ? current->held.closeLongestIdle() : 0;
                allBusy = closing >= kClosingAtOnce || idleFor < 0;
                if (closing >= kClosingAtOnce) break;
                const std::string count = "/metrics: " + std::to_string(open) + " connections are open";
                if (idleFor >= 0)
                    say("gave way", count + ", the most the descriptor limit allows: the one idle longest (" +
                                        std::to_string(std::lround(idleFor)) + " s) was closed to admit a new one");
                else
                    say("full", count + ", each with a request under way, the most the descriptor limit allows: "
                                        "new ones wait");
                break; // the new one is taken once the idle one has gone
            }
            sockaddr_storage from{};
            socklen_t size = sizeof from;
            const int fd = ::accept4(fds[i].fd, reinterpret_cast<sockaddr*>(&from), &size, SOCK_CLOEXEC);
            if (fd < 0) continue;
            if (current->web.tls)
                still.push_back({fd, secondsNow()});
            else
                current->held.add(current->daemon, fd, reinterpret_cast<sockaddr*>(&from), size);
        }
        waiting.swap(still);
    }
}

void MetricsEndpoint::Impl::close() {
    if (acceptor.joinable()) {
        (void)!::write(wake[1], "x", 1);
        acceptor.join();
    }
    for (int fd : listeners) ::close(fd);
    listeners.clear();
    for (int fd : wake)
        if (fd >= 0) ::close(fd);
    wake[0] = wake[1] = -1;
    std::lock_guard lock(mutex);
    door.reset();
    retired.clear();
}

MetricsEndpoint::MetricsEndpoint() : impl_(std::make_unique<Impl>()) {}

MetricsEndpoint::~MetricsEndpoint() { stop(); }

void MetricsEndpoint::stop() { impl_->close(); }

bool MetricsEndpoint::start(const std::string& host, int port, Render render, const WebConfig& web, Say say,
                            std::string& why) {
    Impl& i = *impl_;
    i.render = std::move(render);
    i.say = std::move(say);
    i.door = i.makeDoor(web, why);
    if (!i.door) return false;
    if (!ListenOn(host, port, kListenQueue, i.listeners, why)) return false;
    if (::pipe2(i.wake, O_CLOEXEC) != 0) {
        why = std::string("cannot start the HTTP endpoint: ") + std::strerror(errno);
        return false;
    }
    i.acceptor = std::thread([&i] { i.acceptLoop(); });
    return true;
}

void MetricsEndpoint::take(int fd) {
    std::shared_ptr<Door> current;
    {
        std::lock_guard lock(impl_->mutex);
        current = impl_->door;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    current->held.add(current->daemon, fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
}

bool MetricsEndpoint::reconfigure(const WebConfig& web, std::string& why) {
    std::shared_ptr<Door> fresh = impl_->makeDoor(web, why);
    if (!fresh) return false;
    std::lock_guard lock(impl_->mutex);
    if (impl_->door) impl_->retired.push_back(impl_->door);
    impl_->door = std::move(fresh);
    return true;
}
