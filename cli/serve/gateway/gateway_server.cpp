#include "serve/gateway/gateway_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include <openssl/ssl.h>

#include "platform/system.h"
#include "serve/gateway/gateway_tls.h"
#include "serve/listen.h"

namespace {

constexpr int kListenQueue = 256;
// The silence that ends an RTU frame over TCP, far longer than any gap inside one.
constexpr double kRtuSilence = 0.5;

std::string addressOf(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
    else if (peer.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr, text, sizeof text);
    return text;
}

} // namespace

GatewayServer::~GatewayServer() {
    for (const Door& door : listeners_) ::close(door.fd);
    for (const auto& [id, c] : clients_) {
        SSL_free(c.ssl);
        ::close(c.fd);
    }
}

bool GatewayServer::open(const std::vector<GatewayPlace>& doors, Rules rules, std::string& why) {
    rules_ = std::move(rules);
    for (const GatewayPlace& door : doors) {
        std::vector<int> fds;
        // Room in the kernel's queue for a burst of masters beyond the cap: a connection it has no
        // room for is retried by its client only a second or more later.
        if (!ListenOn(door.place.host, door.place.port, kListenQueue, fds, why)) {
            for (const Door& open : listeners_) ::close(open.fd);
            listeners_.clear();
            return false;
        }
        for (int fd : fds) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            // The kernel stamps what it receives, for the clients accepted here too: a request's
            // wait counts from its arrival, even while serve was busy on the bus and read it late.
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            listeners_.push_back({fd, door.modbusTcp ? GatewayFraming::ModbusTcp : GatewayFraming::Rtu,
                                  HostPortText(door.place), door.tls});
        }
    }
    return true;
}

// Every connection waiting at the door, so none waits unaccepted behind a busy turn.
void GatewayServer::accept(const Door& door) {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(door.fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        const std::string from = addressOf(peer);
        if (!IsAllowed(rules_.allowed, from)) {
            notices_.push_back("client " + from + " refused: not within --gateway-allow (at " + door.name + ")");
            ++refused_[{door.name, "not_allowed"}];
            ::close(fd);
            continue;
        }
        if (clients_.size() >= mostClients_ && !makeRoom(from)) {
            notices_.push_back("client " + from + " refused: " + std::to_string(mostClients_) +
                               " are connected already, each with a request under way");
            ++refused_[{door.name, "full"}];
            ::close(fd);
            continue;
        }
        Client& c = clients_[nextId_++];
        c.fd = fd;
        c.from = from;
        c.framing = door.framing;
        c.reader = RequestReader(door.framing);
        c.lastBytes = Timer();
        c.door = door.name;
        if (door.tls && rules_.tls) {
            c.ssl = SSL_new(rules_.tls);
            SSL_set_fd(c.ssl, fd);
            SSL_set_accept_state(c.ssl);
        }
    }
}

bool GatewayServer::makeRoom(const std::string& from) {
    auto longest = clients_.end();
    for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if (idle(it->second) && (longest == clients_.end() || quietSince(it->second) < quietSince(longest->second)))
            longest = it;
    if (longest == clients_.end()) return false;
    notices_.push_back(strfmt("client %s gave way: closed after %.0f s without a request, to admit %s (%zu clients at most)",
                              longest->second.from.c_str(), Timer() - quietSince(longest->second), from.c_str(),
                              mostClients_));
    drop(longest->first);
    return true;
}

double GatewayServer::closeIdle() {
    double next = rules_.idleSeconds;
    const double now = Timer();
    std::vector<long> gone;
    for (const auto& [id, c] : clients_) {
        if (!idle(c)) continue;
        const double left = quietSince(c) + rules_.idleSeconds - now;
        if (left <= 0)
            gone.push_back(id);
        else
            next = std::min(next, left);
    }
    for (long id : gone) {
        notices_.push_back(strfmt("client %s idle: closed after %.0f s without a request (--gateway-idle)",
                                  clients_[id].from.c_str(), rules_.idleSeconds));
        drop(id);
    }
    return next;
}

void GatewayServer::nextRequest(long id, Client& c) {
    GatewayRequest request;
    for (;;) {
        switch (c.reader.next(request)) {
        case RequestReader::Step::Waiting: return;
        case RequestReader::Step::Request: {
            const uint8_t unit = request.unit;
            if (const auto mapped = rules_.units.find(unit); mapped != rules_.units.end())
                request.unit = static_cast<uint8_t>(mapped->second);
            // Its wait began when it could first be read, not when the turn came to read it.
            c.waiting = GatewayJob{id,       c.from,     std::move(request), unit, c.ssl != nullptr, c.mayWrite,
                                   c.role,   c.pendingSince > 0 ? c.pendingSince : Timer()};
            c.pendingSince = c.reader.partial() ? c.lastBytes : 0;
            return;
        }
        case RequestReader::Step::Dropped: notices_.push_back("client " + c.from + ": dropped " + c.reader.why()); break;
        case RequestReader::Step::Broken:
            notices_.push_back("client " + c.from + ": " + c.reader.why() + ", the connection closed");
            drop(id);
            return;
        }
    }
}

void GatewayServer::receiveTls(long id, Client& c) {
    c.tlsWantsWrite = false;
    if (!c.secured) {
        const int done = SSL_do_handshake(c.ssl);
        if (done != 1) {
            const int error = SSL_get_error(c.ssl, done);
            c.tlsWantsWrite = error == SSL_ERROR_WANT_WRITE;
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return;
            const std::string why = TakeTlsFailure();
            notices_.push_back("client " + c.from + " refused: TLS: " + (why.empty() ? "the handshake broke off" : why) +
                               " (at " + c.door + ")");
            ++refused_[{c.door, "tls"}];
            drop(id);
            return;
        }
        c.secured = true;
        c.role = ClientRole(c.ssl);
        const auto role = rules_.roles.find(c.role);
        c.mayWrite = role != rules_.roles.end() && role->second;
    }
    unsigned char buffer[1024];
    for (;;) {
        const int got = SSL_read(c.ssl, buffer, sizeof buffer);
        if (got <= 0) {
            const int error = SSL_get_error(c.ssl, got);
            c.tlsWantsWrite = error == SSL_ERROR_WANT_WRITE;
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) break;
            TakeTlsFailure();
            drop(id);
            return;
        }
        c.reader.feed(buffer, static_cast<size_t>(got));
        c.lastBytes = Timer();
        if (c.pendingSince == 0) c.pendingSince = c.lastBytes;
    }
    if (!c.waiting && !c.inFlight) nextRequest(id, c);
}

void GatewayServer::receive(long id, Client& c) {
    if (c.ssl) {
        receiveTls(id, c);
        return;
    }
    unsigned char buffer[1024];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec io{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(c.fd, &message, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        drop(id);
        return;
    }
    if (got < 0) return;
    c.reader.feed(buffer, static_cast<size_t>(got));
    c.lastBytes = Timer();
    // When the first of these bytes arrived, by the kernel's stamp (on the wall clock).
    double arrived = c.lastBytes;
    for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h))
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{}, now{};
            std::memcpy(&stamp, CMSG_DATA(h), sizeof stamp);
            ::clock_gettime(CLOCK_REALTIME, &now);
            const double ago = static_cast<double>(now.tv_sec - stamp.tv_sec) + (now.tv_nsec - stamp.tv_nsec) / 1e9;
            arrived -= std::clamp(ago, 0.0, 3600.0);
        }
    if (c.pendingSince == 0) c.pendingSince = arrived;
    nextRequest(id, c);
}

void GatewayServer::flush(Client& c) {
    while (c.ssl && c.secured && !c.out.empty()) {
        const int sent = SSL_write(c.ssl, c.out.data(), static_cast<int>(c.out.size()));
        if (sent <= 0) {
            c.tlsWantsWrite = SSL_get_error(c.ssl, sent) == SSL_ERROR_WANT_WRITE;
            TakeTlsFailure();
            return; // the rest when the socket takes it; a broken one is seen by SSL_read
        }
        c.out.erase(c.out.begin(), c.out.begin() + sent);
    }
    while (!c.ssl && !c.out.empty()) {
        const ssize_t sent = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (sent <= 0) return; // the rest when the socket takes it; a broken one is seen by recv
        c.out.erase(c.out.begin(), c.out.begin() + sent);
    }
}

void GatewayServer::drop(long id) {
    SSL_free(clients_[id].ssl);
    ::close(clients_[id].fd);
    clients_.erase(id);
}

void GatewayServer::dropSilentPartials() {
    for (auto& [id, c] : clients_)
        if (c.framing == GatewayFraming::Rtu && !c.waiting && !c.inFlight && c.reader.partial() &&
            Timer() - c.lastBytes > kRtuSilence && c.reader.dropPartial())
            notices_.push_back("client " + c.from + ": dropped " + c.reader.why());
}

void GatewayServer::pump(double seconds, int wakeFd) {
    const double until = Timer() + seconds;
    for (;;) {
        dropSilentPartials();
        const double idleDue = closeIdle();
        // A client reads on only once its last request is answered: its next one waits in the socket,
        // which is only watched for the moment it can be read, when that request's wait begins.
        std::vector<pollfd> fds;
        std::vector<long> ids;
        for (const Door& door : listeners_) fds.push_back({door.fd, POLLIN, 0});
        for (auto& [id, c] : clients_) {
            const bool busy = c.waiting || c.inFlight;
            // TLS is read while the client is busy too, until its next request waits in the reader
            // (TLS takes whole records, so what it decrypted must not be left in it).
            const bool heldBack = busy && (c.ssl ? c.reader.partial() : c.pendingSince > 0);
            const short want =
                static_cast<short>((heldBack ? 0 : POLLIN) | (c.out.empty() && !c.tlsWantsWrite ? 0 : POLLOUT));
            fds.push_back({c.fd, want, 0});
            ids.push_back(id);
        }
        if (wakeFd >= 0) fds.push_back({wakeFd, POLLIN, 0});
        double left = std::min(until - Timer(), idleDue);
        for (const auto& [id, c] : clients_)
            if (c.reader.partial()) left = std::min(left, kRtuSilence / 2);
        const int n = ::poll(fds.data(), fds.size(), left > 0 ? static_cast<int>(left * 1000) + 1 : 0);
        if (n < 0) return;
        if (n == 0) {
            if (Timer() >= until) return;
            continue; // an idle client or a partial frame is due
        }
        bool request = false;
        for (size_t i = 0; i < listeners_.size(); ++i)
            if (fds[i].revents & POLLIN) accept(listeners_[i]);
        for (size_t k = 0; k < ids.size(); ++k) {
            const short events = fds[listeners_.size() + k].revents;
            auto it = clients_.find(ids[k]);
            if (!events || it == clients_.end()) continue;
            Client& c = it->second;
            if ((events & POLLOUT) && c.ssl && (!c.secured || c.tlsWantsWrite))
                receive(ids[k], c); // the handshake, or a read TLS held back, goes on
            else if (events & POLLOUT)
                flush(c);
            if (clients_.find(ids[k]) == clients_.end()) continue;
            const bool busy = (c.waiting || c.inFlight) && !c.ssl;
            if (busy && (events & POLLIN) && c.pendingSince == 0) c.pendingSince = Timer();
            if (events & (busy ? POLLHUP | POLLERR : POLLIN | POLLHUP | POLLERR)) receive(ids[k], c);
            const auto still = clients_.find(ids[k]);
            request = request || (still != clients_.end() && still->second.waiting);
        }
        const bool woken = wakeFd >= 0 && (fds.back().revents & POLLIN);
        if (request || woken || Timer() >= until) return;
    }
}

std::optional<GatewayJob> GatewayServer::take(const std::function<bool(const GatewayJob&)>& now) {
    // Round robin: the first client after the last one served that has a request waiting; those
    // whose last request met silence only when no other waits.
    for (const bool behind : {false, true}) {
        auto it = clients_.upper_bound(lastTaken_);
        for (size_t n = 0; n < clients_.size(); ++n, ++it) {
            if (it == clients_.end()) it = clients_.begin();
            Client& c = it->second;
            if (!c.waiting || c.behind != behind || (now && !now(*c.waiting))) continue;
            GatewayJob job = std::move(*c.waiting);
            c.waiting.reset();
            c.inFlight = true;
            c.asked[job.request.unit] = Timer();
            lastTaken_ = it->first;
            return job;
        }
    }
    return std::nullopt;
}

std::vector<GatewayJob> GatewayServer::takeSame(const GatewayJob& job) {
    std::vector<GatewayJob> same;
    for (auto& [id, c] : clients_)
        if (c.waiting && c.waiting->request.unit == job.request.unit && c.waiting->request.pdu == job.request.pdu) {
            same.push_back(std::move(*c.waiting));
            c.waiting.reset();
            c.inFlight = true;
            c.asked[job.request.unit] = Timer();
        }
    return same;
}

void GatewayServer::answer(const GatewayJob& job, const Bytes& pdu, bool silent) {
    const auto it = clients_.find(job.client);
    if (it == clients_.end()) return;
    Client& c = it->second;
    c.inFlight = false;
    c.behind = silent;
    c.answeredAt = Timer();
    GatewayRequest asked = job.request;
    asked.unit = job.clientUnit;
    const Bytes frame = FrameReply(c.framing, asked, pdu);
    c.out.insert(c.out.end(), frame.begin(), frame.end());
    flush(c);
    // A request the client sent meanwhile waits already in what was read.
    nextRequest(job.client, c);
}

bool GatewayServer::asked(int address, double now, double hold) const {
    for (const auto& [id, c] : clients_)
        if (const auto it = c.asked.find(address); it != c.asked.end() && now - it->second <= hold) return true;
    return false;
}

std::vector<std::string> GatewayServer::takeNotices() { return std::exchange(notices_, {}); }
