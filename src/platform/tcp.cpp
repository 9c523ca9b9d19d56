#include "platform/tcp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <map>
#include <memory>
#include <vector>

#include "platform/system.h"

namespace {

struct Conversation {
    std::unique_ptr<QTcpSocket> socket;
    TCPCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    bool closeReported = false;
};

std::map<unsigned, Conversation> g_conversations;
unsigned g_nextHandle = 1;
std::string g_connectError;

Conversation* find(unsigned handle) {
    auto it = g_conversations.find(handle);
    return it == g_conversations.end() ? nullptr : &it->second;
}

bool closedUnreported(const Conversation& c) {
    return !c.closeReported && c.socket->state() != QAbstractSocket::ConnectedState;
}

void reportClose(unsigned handle) {
    Conversation* c = find(handle);
    if (!c || !c->callback || !closedUnreported(*c)) return;
    c->closeReported = true;
    c->callback(handle, TCP_DISCONNECT, 0, c->callbackData);
}

// Qt tells of a connection that ended whenever it notices, idle or not. The callback hears of it
// from the event loop, never from inside the socket's own signal: it may end the conversation.
void watchForClose(unsigned handle, QTcpSocket* socket) {
    const auto later = [handle] {
        if (QCoreApplication::instance())
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [handle] { reportClose(handle); }, Qt::QueuedConnection);
    };
    QObject::connect(socket, &QAbstractSocket::disconnected, later);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, [later](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::SocketTimeoutError) later();
    });
}

} // namespace

int ConnectToTCPServer(unsigned* handle, unsigned port, const std::string& host, TCPCallbackPtr fn,
                       void* callbackData, int timeoutMs) {
    g_connectError.clear();
    if (host.empty()) g_connectError = "no host given";
    if (port == 0 || port > 65535) g_connectError = "no TCP port given";
    if (!g_connectError.empty()) return kTCP_UnableToConnect;
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    const int waitMs = timeoutMs > 0 ? timeoutMs : 5000;
    // In slices, so that an interrupted wait ends within one.
    QDeadlineTimer deadline(waitMs);
    bool connected = false;
    while (!connected && !deadline.hasExpired() && socket->state() != QAbstractSocket::UnconnectedState &&
           !WaitInterrupted())
        connected = socket->waitForConnected(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
    if (!connected && socket->state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        g_connectError = "stopped";
        return kTCP_UnableToConnect;
    }
    if (!connected) {
        switch (socket->error()) {
        case QAbstractSocket::HostNotFoundError:
            g_connectError = "unknown host (" + socket->errorString().toStdString() + ")";
            break;
        case QAbstractSocket::ConnectionRefusedError: g_connectError = "connection refused"; break;
        case QAbstractSocket::SocketTimeoutError:
            g_connectError = strfmt("no answer within %g s", waitMs / 1000.0);
            break;
        default: g_connectError = socket->errorString().toStdString(); break;
        }
        return kTCP_UnableToConnect;
    }
    // Requests are small and answered at once; Nagle's delay would only add latency.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const unsigned h = g_nextHandle++;
    watchForClose(h, socket.get());
    g_conversations[h] = Conversation{std::move(socket), fn, callbackData, false};
    if (handle) *handle = h;
    return 0;
}

int ClientTCPWrite(unsigned handle, const void* buffer, int size, int timeoutMs) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    if (c->socket->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    const qint64 queued = c->socket->write(static_cast<const char*>(buffer), size);
    if (queued < 0) return kTCP_WriteFailed;
    QDeadlineTimer deadline(timeoutMs > 0 ? timeoutMs : 10000);
    while (c->socket->bytesToWrite() > 0) {
        if (!c->socket->waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0))))
            break;
    }
    return static_cast<int>(queued - c->socket->bytesToWrite());
}

int ClientTCPRead(unsigned handle, void* buffer, int size, int timeoutMs) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    if (c->socket->bytesAvailable() == 0 && timeoutMs > 0) c->socket->waitForReadyRead(timeoutMs);
    const qint64 n = c->socket->read(static_cast<char*>(buffer), size);
    if (n < 0)
        return c->socket->state() == QAbstractSocket::ConnectedState ? kTCP_ReadFailed
                                                                     : kTCP_ConnectionClosed;
    return static_cast<int>(n);
}

int DisconnectFromTCPServer(unsigned handle) {
    auto it = g_conversations.find(handle);
    if (it == g_conversations.end()) return kTCP_InvalidHandle;
    it->second.socket->disconnect(); // a close of our own is no news to anyone
    it->second.socket->abort();
    g_conversations.erase(it);
    return 0;
}

int DiscardTCPInput(unsigned handle, std::vector<unsigned char>* discarded) {
    Conversation* c = find(handle);
    if (!c) return kTCP_InvalidHandle;
    int count = 0;
    // Each pass takes what Qt holds, then asks the system, without waiting, for what it holds; a
    // peer that floods the link is not followed for ever.
    for (int pass = 0; pass < 64; ++pass) {
        const QByteArray bytes = c->socket->readAll();
        count += static_cast<int>(bytes.size());
        if (discarded) discarded->insert(discarded->end(), bytes.begin(), bytes.end());
        if (c->socket->state() != QAbstractSocket::ConnectedState || !c->socket->waitForReadyRead(0)) break;
    }
    if (c->socket->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    return count;
}

std::string LastTCPConnectError() { return g_connectError; }

int ProcessTCPEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // Callbacks may disconnect (and so erase) conversations: walk a copy of the handles.
    std::vector<unsigned> handles;
    for (auto& [h, c] : g_conversations) handles.push_back(h);
    for (unsigned h : handles) {
        Conversation* c = find(h);
        if (!c || !c->callback) continue;
        if (c->socket->bytesAvailable() > 0) {
            c->callback(h, TCP_DATAREADY, 0, c->callbackData);
        } else if (closedUnreported(*c)) {
            c->closeReported = true;
            c->callback(h, TCP_DISCONNECT, 0, c->callbackData);
        }
    }
    return 0;
}

int WaitForTCPEvent(double seconds) {
    QDeadlineTimer deadline(static_cast<qint64>(seconds * 1000.0));
    for (auto& [h, c] : g_conversations)
        if (c.socket->bytesAvailable() > 0 || closedUnreported(c)) return 1;
    if (g_conversations.empty()) {
        Delay(seconds);
        return 0;
    }
    // One conversation is all the program ever holds; wait on the first.
    Conversation& c = g_conversations.begin()->second;
    const qint64 ms = std::max<qint64>(deadline.remainingTime(), 0);
    if (c.socket->state() != QAbstractSocket::ConnectedState) {
        Delay(static_cast<double>(ms) / 1000.0);
        return 0;
    }
    c.socket->waitForReadyRead(static_cast<int>(ms));
    if (c.socket->bytesAvailable() > 0 || closedUnreported(c)) return 1;
    Delay(static_cast<double>(std::max<qint64>(deadline.remainingTime(), 0)) / 1000.0);
    return 0;
}
