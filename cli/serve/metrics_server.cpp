#include "serve/metrics_server.h"

#include <sys/socket.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <list>
#include <vector>

#include "serve/endpoint_security.h"
#include "serve/notices.h"

namespace {

constexpr size_t kMostConnections = 64;
constexpr qint64 kLongestRequest = 8 * 1024;
constexpr qint64 kIdleMs = 10000;
constexpr qint64 kHandshakeMs = 5000;
// Answers waiting for a client that does not take them: no further request of it is read.
constexpr qint64 kMostUnsent = 256 * 1024;

// What of a request the endpoint looks at: its line, and its headers with their names in lower case.
struct Request {
    QByteArray method, path, version;
    std::vector<std::pair<QByteArray, QByteArray>> headers;

    QByteArray header(const char* name) const {
        for (const auto& [key, value] : headers)
            if (key == name) return value;
        return {};
    }
};

// The request line and the header lines before the blank line; false when they are not HTTP/1.x.
bool parseRequest(const QByteArray& head, Request& r) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/1.")) return false;
    r.method = first[0], r.path = first[1], r.version = first[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return false;
        r.headers.emplace_back(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    return true;
}

const char* reasonOf(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

// A listening socket that hands each connection to the endpoint, which decides whether it stays.
class Listener : public QTcpServer {
  public:
    explicit Listener(std::function<void(qintptr)> accept) : accept_(std::move(accept)) {}

  protected:
    void incomingConnection(qintptr descriptor) override { accept_(descriptor); }

  private:
    std::function<void(qintptr)> accept_;
};

struct Connection {
    QTcpSocket* socket;
    QByteArray pending;   // what has arrived of requests not answered yet
    QElapsedTimer quiet;  // since it opened or was last answered
    bool closing = false; // answered for the last time: what still comes is read and dropped
    qint64 dropped = 0;   // since then
};

// After its last answer a connection is shut for sending, and what the client still sends is read
// and dropped for this long and up to this much, so the answer is not lost to a reset; then it goes.
constexpr qint64 kLingerMs = 2000;
constexpr qint64 kLingerBytes = 64 * 1024;

} // namespace

struct MetricsServer::Impl {
    QThread thread;
    QObject context; // lives on the thread, where every socket is made, served and goes
    Render render;
    EndpointSecurity security;
    std::unique_ptr<RepeatedNotice> refused; // scrapes refused, handshakes failed
    std::vector<std::unique_ptr<Listener>> listeners;
    std::list<Connection> connections;
    std::unique_ptr<QTimer> idleCheck;

    void accept(qintptr descriptor) {
        // Connections go from the list once their socket has said so, after this call.
        size_t open = 0;
        Connection* idlest = nullptr;
        for (Connection& c : connections) {
            if (c.closing) continue;
            ++open;
            if (!idlest || c.quiet.elapsed() > idlest->quiet.elapsed()) idlest = &c;
        }
        if (open >= kMostConnections) {
            idlest->closing = true;
            idlest->socket->abort();
        }
        QTcpSocket* socket = security.tls ? new QSslSocket(&context) : new QTcpSocket(&context);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
            tls->setSslConfiguration(*security.tls);
            QObject::connect(tls, &QSslSocket::errorOccurred, &context, [this, tls](QAbstractSocket::SocketError error) {
                if (error != QAbstractSocket::RemoteHostClosedError && !tls->isEncrypted())
                    refused->happened("/metrics: a TLS handshake failed: " + tls->errorString().toStdString());
            });
            tls->startServerEncryption();
        }
        // Qt takes no more from the system than one request may be, whatever a client streams.
        socket->setReadBufferSize(kLongestRequest + 1);
        Connection& c = connections.emplace_back(Connection{socket, {}, {}, false, 0});
        c.quiet.start();
        QObject::connect(socket, &QTcpSocket::readyRead, &context, [this, &c] { serve(c); });
        QObject::connect(socket, &QTcpSocket::bytesWritten, &context, [this, &c] { serve(c); });
        // Queued: a socket may say it is gone from inside a call that still holds its connection.
        QObject::connect(socket, &QTcpSocket::disconnected, &context, [this, socket] { forget(socket); },
                         Qt::QueuedConnection);
    }

    void forget(QTcpSocket* socket) {
        const auto it = std::find_if(connections.begin(), connections.end(),
                                     [socket](const Connection& c) { return c.socket == socket; });
        if (it == connections.end()) return; // gone already
        connections.erase(it);
        socket->deleteLater();
    }

    // Answers every whole request that has arrived, as long as the client takes the answers.
    void serve(Connection& c) {
        if (c.closing) return linger(c);
        while (!c.closing && c.socket->bytesToWrite() < kMostUnsent) {
            c.pending += c.socket->read(kLongestRequest + 1 - c.pending.size());
            const qsizetype end = c.pending.indexOf("\r\n\r\n");
            if (end < 0 || end + 4 > kLongestRequest) {
                if (end >= 0 || c.pending.size() > kLongestRequest) answer(c, 431, {}, true, false);
                return;
            }
            Request r;
            const bool parsed = parseRequest(c.pending.left(end), r);
            c.pending.remove(0, end + 4);
            if (!parsed) return answer(c, 400, {}, true, false);
            respond(c, r);
        }
    }

    void respond(Connection& c, const Request& r) {
        const bool head = r.method == "HEAD";
        const bool close = r.version == "HTTP/1.0" || r.header("connection").toLower() == "close";
        if (r.method != "GET" && !head) return answer(c, 405, "Allow: GET, HEAD\r\n", true, false);
        if (security.auth && !allowed(r)) {
            return answer(c, 401, "WWW-Authenticate: Basic realm=\"rq55ctl serve\", charset=\"UTF-8\"\r\n", close, head);
        }
        // A body is never read: the endpoint has no use for one, and it could be of any size.
        const QByteArray length = r.header("content-length");
        if ((!length.isEmpty() && length != "0") || !r.header("transfer-encoding").isEmpty())
            return answer(c, 413, {}, true, false);
        const QByteArray path = r.path.indexOf('?') < 0 ? r.path : r.path.left(r.path.indexOf('?'));
        if (path != "/metrics") return answer(c, 404, {}, close, head);
        const std::string text = render();
        answer(c, 200, "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n", close, head,
               QByteArray::fromStdString(text));
    }

    // Whether the request carries a user and password of the web configuration; a refusal is said.
    bool allowed(const Request& r) {
        std::string user;
        switch (security.auth->check(r.header("authorization").toStdString(), user)) {
        case BasicAuth::Verdict::Allowed: return true;
        case BasicAuth::Verdict::NoCredentials:
            refused->happened("/metrics: a scrape without a user and password was refused");
            break;
        case BasicAuth::Verdict::Refused:
            refused->happened("/metrics: a scrape as " + user + " with a wrong password was refused");
            break;
        case BasicAuth::Verdict::TooMany:
            refused->happened("/metrics: passwords not seen before come too fast; some were refused unchecked");
            break;
        }
        return false;
    }

    void answer(Connection& c, int status, const QByteArray& headers, bool close, bool headOnly,
                const QByteArray& body = {}) {
        const QByteArray content = body.isEmpty() && status != 200 ? QByteArray(reasonOf(status)) + "\n" : body;
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + " " + reasonOf(status) + "\r\n" + headers +
                           "Content-Length: " + QByteArray::number(content.size()) + "\r\n" +
                           (close ? "Connection: close\r\n" : "") + "\r\n";
        if (!headOnly) reply += content;
        c.socket->write(reply);
        c.quiet.restart();
        if (close) {
            c.closing = true;
            linger(c);
        }
    }

    // Once the last answer is sent, the connection is shut for sending and the client's leftovers
    // (a body, the rest of an oversized header) are read and dropped until it closes.
    void linger(Connection& c) {
        c.dropped += c.socket->read(kLongestRequest + 1).size();
        if (c.dropped > kLingerBytes) return c.socket->abort();
        if (c.socket->bytesToWrite() != 0 || c.socket->state() != QAbstractSocket::ConnectedState) return;
        // TLS ends with its own closing message, after what is still to be sent.
        if (qobject_cast<QSslSocket*>(c.socket))
            c.socket->disconnectFromHost();
        else
            ::shutdown(static_cast<int>(c.socket->socketDescriptor()), SHUT_WR);
    }

    // A connection with no whole request within the idle time goes.
    void dropIdle() {
        std::vector<QTcpSocket*> gone;
        for (Connection& c : connections) {
            const auto* tls = qobject_cast<QSslSocket*>(c.socket);
            const bool handshaking = tls && !tls->isEncrypted();
            if (c.quiet.elapsed() > (c.closing ? kLingerMs : handshaking ? kHandshakeMs : kIdleMs)) {
                c.closing = true;
                c.socket->abort();
            }
            if (c.socket->state() == QAbstractSocket::UnconnectedState) gone.push_back(c.socket);
        }
        for (QTcpSocket* socket : gone) forget(socket);
    }

    bool listen(const std::string& host, int port, std::string& why) {
        QList<QHostAddress> addresses;
        QHostAddress literal;
        if (literal.setAddress(QString::fromStdString(host))) {
            addresses = {literal};
        } else {
            const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                why = host + " cannot be listened on: " + info.errorString().toStdString();
                return false;
            }
            addresses = info.addresses();
        }
        for (const QHostAddress& address : addresses) {
            auto& listener = listeners.emplace_back(
                std::make_unique<Listener>([this](qintptr descriptor) { accept(descriptor); }));
            if (!listener->listen(address, static_cast<quint16>(port))) {
                why = "cannot listen on " + address.toString().toStdString() + " port " + std::to_string(port) +
                      ": " + listener->errorString().toStdString();
                return false;
            }
        }
        idleCheck = std::make_unique<QTimer>();
        QObject::connect(idleCheck.get(), &QTimer::timeout, &context, [this] { dropIdle(); });
        idleCheck->start(1000);
        return true;
    }

    void close() {
        idleCheck.reset();
        listeners.clear();
        for (Connection& c : connections) {
            c.socket->disconnect();
            delete c.socket;
        }
        connections.clear();
    }
};

MetricsServer::MetricsServer() : impl_(std::make_unique<Impl>()) {}

MetricsServer::~MetricsServer() {
    if (!impl_->thread.isRunning()) return;
    QMetaObject::invokeMethod(&impl_->context, [this] { impl_->close(); }, Qt::BlockingQueuedConnection);
    impl_->thread.quit();
    impl_->thread.wait();
}

bool MetricsServer::start(const std::string& host, int port, Render render, const WebConfig& web,
                          std::function<void(const std::string&)> say, std::string& why) {
    if (!MakeEndpointSecurity(web, impl_->security, why)) return false;
    impl_->refused = std::make_unique<RepeatedNotice>(std::move(say));
    impl_->render = std::move(render);
    impl_->context.moveToThread(&impl_->thread);
    impl_->thread.start();
    bool listening = false;
    QMetaObject::invokeMethod(
        &impl_->context, [&] { listening = impl_->listen(host, port, why); }, Qt::BlockingQueuedConnection);
    return listening;
}

bool MetricsServer::reconfigure(const WebConfig& web, std::string& why) {
    EndpointSecurity security;
    if (!MakeEndpointSecurity(web, security, why)) return false;
    QMetaObject::invokeMethod(
        &impl_->context, [&] { impl_->security = std::move(security); }, Qt::BlockingQueuedConnection);
    return true;
}
