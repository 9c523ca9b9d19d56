#include "sim/transports.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

// A serial slave takes a pause of a few character times as the end of a frame; on a pty bytes
// of one write arrive together, so 20 ms of quiet safely means the rest is not coming.
constexpr int kSerialGapMs = 20;
// Over TCP a frame may legitimately arrive in several segments; only a long pause ends one.
constexpr int kTcpGapMs = 500;

template <typename Write>
void schedule(QObject* context, const std::vector<Transmission>& reply, Write write) {
    for (const Transmission& piece : reply) {
        if (piece.atMs <= 0)
            write(piece.bytes);
        else
            QTimer::singleShot(piece.atMs, Qt::PreciseTimer, context,
                               [write, bytes = piece.bytes] { write(bytes); });
    }
}

} // namespace

PtyTransport::PtyTransport(RequestHandler handler, int lineBaud)
    : handler_(std::move(handler)), lineBaud_(lineBaud) {
    gap_.setSingleShot(true);
    gap_.setInterval(kSerialGapMs);
    QObject::connect(&gap_, &QTimer::timeout, &replies_, [this] { deframer_.clear(); });
}

PtyTransport::~PtyTransport() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool PtyTransport::open(std::string* error) {
    auto fail = [&](const char* step) {
        if (error) *error = std::string(step) + ": " + std::strerror(errno);
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) return fail("posix_openpt");
    if (::grantpt(master_) != 0) return fail("grantpt");
    if (::unlockpt(master_) != 0) return fail("unlockpt");
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) return fail("open pseudo-terminal");
    termios raw{};
    if (::tcgetattr(slave_, &raw) != 0) return fail("tcgetattr");
    ::cfmakeraw(&raw);
    if (::tcsetattr(slave_, TCSANOW, &raw) != 0) return fail("tcsetattr");

    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, &replies_,
                     [this] { readAvailable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, &replies_,
                     [this] { flushOutgoing(); });
    return true;
}

void PtyTransport::readAvailable() {
    uint8_t chunk[512];
    for (;;) {
        ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got <= 0) break; // EAGAIN: all read; EIO cannot happen while slave_ is open
        Bytes bytes(chunk, chunk + got);
        if (handler_.trace) handler_.trace(true, bytes);
        if (!lineAtOwnBaud()) continue;
        for (const Bytes& pdu : deframer_.push(bytes.data(), bytes.size()))
            schedule(&replies_, handler_.handle(pdu, Framing::Rtu, 0),
                     [this](const Bytes& out) { send(out); });
    }
    if (deframer_.pending())
        gap_.start();
    else
        gap_.stop();
}

bool PtyTransport::lineAtOwnBaud() const {
    if (lineBaud_ <= 0) return true;
    termios line{};
    if (::tcgetattr(slave_, &line) != 0) return false;
    const speed_t speed = ::cfgetispeed(&line);
    static constexpr std::pair<int, speed_t> kSpeeds[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},    {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}};
    for (const auto& [baud, code] : kSpeeds)
        if (baud == lineBaud_) return speed == code;
    return false;
}

void PtyTransport::send(const Bytes& bytes) {
    if (handler_.trace) handler_.trace(false, bytes);
    // Nobody reads the line: what the reader never took is dropped rather than kept forever.
    if (outgoing_.size() + bytes.size() > static_cast<size_t>(kMaxPendingOutput)) {
        if (handler_.note)
            handler_.note("pseudo-terminal: replies unread, " + std::to_string(outgoing_.size()) +
                          " bytes dropped");
        outgoing_.clear();
    }
    outgoing_.insert(outgoing_.end(), bytes.begin(), bytes.end());
    flushOutgoing();
}

void PtyTransport::flushOutgoing() {
    while (!outgoing_.empty()) {
        ssize_t sent = ::write(master_, outgoing_.data(), outgoing_.size());
        if (sent <= 0) break;
        outgoing_.erase(outgoing_.begin(), outgoing_.begin() + sent);
    }
    // Only a full pty buffer leaves bytes behind; wait until the reader makes room.
    writeNotifier_->setEnabled(!outgoing_.empty());
}

TcpTransport::TcpTransport(RequestHandler handler, Framing framing)
    : handler_(std::move(handler)), framing_(framing) {
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
}

TcpTransport::~TcpTransport() {
    for (auto& [socket, connection] : connections_) {
        socket->disconnect();
        socket->abort();
        delete socket;
    }
}

bool TcpTransport::listen(uint16_t port, std::string* error) {
    if (server_.listen(QHostAddress::LocalHost, port)) return true;
    if (error)
        *error =
            "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + server_.errorString().toStdString();
    return false;
}

void TcpTransport::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (connections_.size() >= kMaxClients) {
            note("client refused: " + std::to_string(kMaxClients) + " clients already connected");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // The program times its exchanges; a reply held back for coalescing would distort them.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Bytes beyond this wait in the network until the client's requests are served.
        socket->setReadBufferSize(kMaxPendingInput);
        Connection& connection = connections_[socket];
        connection.gap = new QTimer(socket);
        connection.gap->setSingleShot(true);
        connection.gap->setInterval(kTcpGapMs);
        QObject::connect(connection.gap, &QTimer::timeout, socket, [this, socket] {
            auto found = connections_.find(socket);
            if (found != connections_.end()) found->second.rtu.clear();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readAvailable(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { forget(socket); });
    }
}

void TcpTransport::readAvailable(QTcpSocket* socket) {
    auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    Connection& connection = found->second;
    QByteArray data = socket->readAll();
    Bytes bytes(data.begin(), data.end());
    if (handler_.trace) handler_.trace(true, bytes);

    // A reply may drop the client (see write), which ends its connection entry: each one is
    // looked up again rather than held across the replies.
    auto send = [this, socket](const Bytes& out) { write(socket, out); };
    if (framing_ == Framing::Rtu) {
        for (const Bytes& pdu : connection.rtu.push(bytes.data(), bytes.size()))
            schedule(socket, handler_.handle(pdu, Framing::Rtu, 0), send);
        found = connections_.find(socket);
        if (found == connections_.end()) return;
        if (found->second.rtu.pending())
            found->second.gap->start();
        else
            found->second.gap->stop();
        return;
    }
    std::vector<MbapRequest> requests;
    bool valid = connection.mbap.push(bytes.data(), bytes.size(), &requests);
    for (const MbapRequest& request : requests)
        schedule(socket, handler_.handle(request.pdu, Framing::Mbap, request.transactionId), send);
    // Not Modbus/TCP: there is no way to find the next request in the stream.
    if (!valid && connections_.count(socket)) {
        note("client dropped: not a Modbus/TCP stream");
        forget(socket);
        socket->abort();
    }
}

void TcpTransport::write(QTcpSocket* socket, const Bytes& bytes) {
    if (socket->state() != QAbstractSocket::ConnectedState || !connections_.count(socket)) return;
    if (handler_.trace) handler_.trace(false, bytes);
    socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    socket->flush();
    if (socket->bytesToWrite() > kMaxPendingOutput) {
        note("client dropped: " + std::to_string(socket->bytesToWrite()) + " bytes of replies unread");
        forget(socket);
        socket->abort();
    }
}

void TcpTransport::forget(QTcpSocket* socket) {
    if (connections_.erase(socket) == 0) return;
    socket->disconnect();
    socket->deleteLater(); // cancels the socket's pending late and split replies with it
}

void TcpTransport::dropConnections() {
    std::vector<QTcpSocket*> sockets;
    for (auto& [socket, connection] : connections_) sockets.push_back(socket);
    for (QTcpSocket* socket : sockets) {
        forget(socket);
        socket->abort();
    }
}

} // namespace sim
