// The TCP client on the system's own sockets: a conversation is one blocking-free socket and the
// bytes received from it that the program has not read yet. Only the program's event loop, where
// there is one, is Qt's: it watches an idle connection, so that one the server closes is heard of
// at once. rq55ctl thus needs no Qt Network.
#include "platform/tcp.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "platform/system.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Conversation {
    SocketHandle fd = kNoSocket;
    TCPCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    std::vector<unsigned char> received; // arrived, not yet read by the program
    bool ended = false;                  // the server closed the connection, or it broke
    bool closeReported = false;
    std::unique_ptr<QSocketNotifier> idleWatch; // with an event loop only
    void* layer = nullptr;                      // the layer's state, with one
};

std::map<unsigned, Conversation> g_conversations;
unsigned g_nextHandle = 1;
std::string g_connectError;
const TcpLayer* g_layer = nullptr;

// What one look at the socket takes at most: a peer that floods the link is not followed for ever.
constexpr size_t kTakeAtOnce = 64 * 1024;

Conversation* find(unsigned handle) {
    auto it = g_conversations.find(handle);
    return it == g_conversations.end() ? nullptr : &it->second;
}

// Rounded up, so that a wait in many short slices is never shorter than asked.
int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>((left + 999) / 1000, 0));
}

// What one receive or send on the bare socket (which never blocks) did, in the layer's terms.
long plainMove(long n) {
    if (n >= 0) return n;
    return SocketWouldBlock(lastSocketError()) ? kTcpLayerWouldBlock : kTcpLayerBroken;
}

long receiveSome(Conversation& c, char* buffer, int size) {
    if (c.layer) return g_layer->receive(c.layer, buffer, size);
    long n = 0;
    while ((n = static_cast<long>(::recv(c.fd, buffer, size, 0))) < 0 && lastSocketError() == kSockInterrupted) {
    }
    return plainMove(n);
}

long sendSome(Conversation& c, const char* bytes, int size) {
    if (c.layer) return g_layer->send(c.layer, bytes, size);
    long n = 0;
    while ((n = static_cast<long>(::send(c.fd, bytes, size, kSendNoSignal))) < 0 && lastSocketError() == kSockInterrupted) {
    }
    return plainMove(n);
}

void endLayer(Conversation& c) {
    if (c.layer) g_layer->close(c.layer);
    c.layer = nullptr;
}

// Whatever the system holds for the conversation, taken without waiting; an end of the stream or a
// broken connection ends the conversation.
void take(Conversation& c) {
    char chunk[4096];
    size_t taken = 0;
    while (!c.ended && taken < kTakeAtOnce) {
        const long n = receiveSome(c, chunk, static_cast<int>(sizeof chunk));
        if (n > 0) {
            c.received.insert(c.received.end(), chunk, chunk + n);
            taken += static_cast<size_t>(n);
        } else if (n == kTcpLayerWouldBlock) {
            break;
        } else {
            c.ended = true;
        }
    }
    if (c.ended && c.idleWatch) c.idleWatch->setEnabled(false); // an ended stream stays readable
}

// Waits up to ms for bytes or the end of the stream, then takes what came.
void waitAndTake(Conversation& c, int ms) {
    if (c.received.empty() && !c.ended) {
        pollfd p{c.fd, POLLIN, 0};
        while (pollSockets(&p, 1, ms) < 0 && lastSocketError() == kSockInterrupted) {
        }
    }
    take(c);
}

bool closedUnreported(const Conversation& c) { return !c.closeReported && c.ended; }

void reportClose(unsigned handle) {
    Conversation* c = find(handle);
    if (!c || !c->callback || !closedUnreported(*c)) return;
    c->closeReported = true;
    c->callback(handle, TCP_DISCONNECT, 0, c->callbackData);
}

// With an event loop, an idle connection is watched: bytes that arrive are taken (a late reply,
// thrown away before the next request), and an end is told to the callback from the event loop,
// never from inside the watch: the callback may end the conversation.
void watchWhileIdle(unsigned handle, Conversation& c) {
    if (!QCoreApplication::instance()) return;
    c.idleWatch = std::make_unique<QSocketNotifier>(static_cast<qintptr>(c.fd), QSocketNotifier::Read);
    QObject::connect(c.idleWatch.get(), &QSocketNotifier::activated, [handle] {
        Conversation* conversation = find(handle);
        if (!conversation) return;
        take(*conversation);
        if (conversation->ended)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [handle] { reportClose(handle); }, Qt::QueuedConnection);
    });
}

// The addresses of the host, looked up on a thread of its own so that the wait for a slow name
// server can be given up (at the deadline, or when the wait is interrupted); numeric addresses
// need no lookup. Null with g_connectError set when there are none.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false, abandoned = false;
    int result = 0;
    addrinfo* addresses = nullptr;
};

addrinfo* lookUp(const std::string& host, unsigned port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    StartSockets();
    addrinfo* numeric = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &numeric) == 0) return numeric;
    auto lookup = std::make_shared<Lookup>();
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    std::thread([lookup, host, service, hints] {
        addrinfo* found = nullptr;
        const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            if (result == 0) ::freeaddrinfo(found);
            return;
        }
        lookup->result = result;
        lookup->addresses = found;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished && Clock::now() < deadline && !WaitInterrupted())
        lookup->done.wait_for(lock, std::chrono::milliseconds(100));
    if (!lookup->finished) {
        lookup->abandoned = true;
        g_connectError = WaitInterrupted() ? "stopped" : "the host's name was not found in time";
        return nullptr;
    }
    if (lookup->result != 0) {
        g_connectError = "unknown host (" + LookupErrorText(lookup->result) + ")";
        return nullptr;
    }
    return lookup->addresses;
}

// A connection to one address by the deadline, in slices, so that an interrupted wait ends within
// one; -1 with g_connectError set.
SocketHandle connectTo(const addrinfo& address, Clock::time_point deadline, int waitMs) {
    const SocketHandle fd = OpenStreamSocket(address.ai_family);
    if (fd == kNoSocket) {
        g_connectError = SocketErrorText(lastSocketError());
        return kNoSocket;
    }
    int error = ::connect(fd, address.ai_addr, static_cast<SocketLength>(address.ai_addrlen)) == 0 ? 0 : lastSocketError();
    if (error == kSockInProgress) {
        error = kSockTimedOut;
        while (Clock::now() < deadline && !WaitInterrupted()) {
            if (WaitConnected(fd, std::min(remainingMs(deadline), 100))) {
                SocketLength length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
                break;
            }
        }
        if (error == kSockTimedOut && WaitInterrupted() && Clock::now() < deadline) error = kSockInterrupted;
    }
    if (error == 0) return fd;
    CloseSocket(fd);
    g_connectError = error == kSockRefused     ? "connection refused"
                     : error == kSockTimedOut  ? strfmt("no answer within %g s", waitMs / 1000.0)
                     : error == kSockInterrupted ? "stopped"
                                                 : SocketErrorText(error);
    return kNoSocket;
}

} // namespace

int ConnectToTCPServer(unsigned* handle, unsigned port, const std::string& host, TCPCallbackPtr fn,
                       void* callbackData, int timeoutMs) {
    g_connectError.clear();
    if (host.empty()) g_connectError = "no host given";
    if (port == 0 || port > 65535) g_connectError = "no TCP port given";
    if (!g_connectError.empty()) return kTCP_UnableToConnect;
    const int waitMs = timeoutMs > 0 ? timeoutMs : 5000;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    addrinfo* addresses = lookUp(host, port, deadline);
    if (!addresses) return kTCP_UnableToConnect;
    // Each address the name gives, in the resolver's order, until one takes the connection.
    SocketHandle fd = kNoSocket;
    for (const addrinfo* a = addresses; a && fd == kNoSocket && g_connectError != "stopped"; a = a->ai_next)
        fd = connectTo(*a, deadline, waitMs);
    ::freeaddrinfo(addresses);
    if (fd == kNoSocket) return kTCP_UnableToConnect;
    // Requests are small and answered at once; Nagle's delay would only add latency.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    void* layer = nullptr;
    if (g_layer && !(layer = g_layer->open(static_cast<long long>(fd), host, remainingMs(deadline), g_connectError))) {
        CloseSocket(fd);
        return kTCP_UnableToConnect;
    }
    const unsigned h = g_nextHandle++;
    Conversation& c = g_conversations[h];
    c.fd = fd;
    c.layer = layer;
    c.callback = fn;
    c.callbackData = callbackData;
    watchWhileIdle(h, c);
    if (handle) *handle = h;
    return 0;
}

int ClientTCPWrite(unsigned handle, const void* buffer, int size, int timeoutMs) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    if (c->ended) return kTCP_ConnectionClosed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 10000);
    const auto* bytes = static_cast<const char*>(buffer);
    int written = 0;
    while (written < size) {
        const long n = sendSome(*c, bytes + written, size - written);
        if (n > 0) {
            written += static_cast<int>(n);
        } else if (n == kTcpLayerWouldBlock && Clock::now() < deadline) {
            pollfd p{c->fd, POLLOUT, 0};
            pollSockets(&p, 1, remainingMs(deadline));
        } else {
            if (n != kTcpLayerWouldBlock) c->ended = true;
            break;
        }
    }
    if (written == 0 && c->ended) return kTCP_ConnectionClosed;
    return written;
}

int ClientTCPRead(unsigned handle, void* buffer, int size, int timeoutMs) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    if (c->received.empty()) waitAndTake(*c, timeoutMs);
    if (c->received.empty()) return c->ended ? kTCP_ConnectionClosed : 0;
    const size_t n = std::min(c->received.size(), static_cast<size_t>(std::max(size, 0)));
    std::memcpy(buffer, c->received.data(), n);
    c->received.erase(c->received.begin(), c->received.begin() + static_cast<long>(n));
    return static_cast<int>(n);
}

int DisconnectFromTCPServer(unsigned handle) {
    auto it = g_conversations.find(handle);
    if (it == g_conversations.end()) return kTCP_InvalidHandle;
    it->second.idleWatch.reset(); // a close of our own is no news to anyone
    endLayer(it->second);
    CloseSocket(it->second.fd);
    g_conversations.erase(it);
    return 0;
}

int DiscardTCPInput(unsigned handle, std::vector<unsigned char>* discarded) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    take(*c);
    const int count = static_cast<int>(c->received.size());
    if (discarded) discarded->insert(discarded->end(), c->received.begin(), c->received.end());
    c->received.clear();
    if (c->ended) return kTCP_ConnectionClosed;
    return count;
}

std::string LastTCPConnectError() { return g_connectError; }

void SetTcpLayer(const TcpLayer* layer) { g_layer = layer; }

int ProcessTCPEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // Callbacks may disconnect (and so erase) conversations: walk a copy of the handles.
    std::vector<unsigned> handles;
    for (auto& [h, c] : g_conversations) handles.push_back(h);
    for (unsigned h : handles) {
        Conversation* c = find(h);
        if (!c || !c->callback) continue;
        take(*c);
        if (!c->received.empty()) {
            c->callback(h, TCP_DATAREADY, 0, c->callbackData);
        } else if (closedUnreported(*c)) {
            c->closeReported = true;
            c->callback(h, TCP_DISCONNECT, 0, c->callbackData);
        }
    }
    return 0;
}

int WaitForTCPEvent(double seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
    for (auto& [h, c] : g_conversations)
        if (!c.received.empty() || closedUnreported(c)) return 1;
    if (g_conversations.empty()) {
        Delay(seconds);
        return 0;
    }
    // One conversation is all the program ever holds; wait on the first.
    Conversation& c = g_conversations.begin()->second;
    if (!c.ended) waitAndTake(c, remainingMs(deadline));
    if (!c.received.empty() || closedUnreported(c)) return 1;
    Delay(static_cast<double>(remainingMs(deadline)) / 1000.0);
    return 0;
}
