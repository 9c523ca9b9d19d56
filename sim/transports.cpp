#include "sim/transports.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/sockios.h>
#endif

namespace sim {

namespace {

// A serial slave takes a pause of a few character times as the end of a frame; on a pty bytes
// of one write arrive together, so 20 ms of quiet safely means the rest is not coming.
constexpr int kSerialGapMs = 20;
// Over TCP a frame may legitimately arrive in several segments; only a long pause ends one.
constexpr int kTcpGapMs = 500;
// Replies nobody reads from the pseudo-terminal are dropped past this much.
constexpr long long kMaxPtyBacklog = 256 * 1024;
// A client over its bound is looked at again this often, as the system does not say when it
// has taken the replies off the socket.
constexpr int kRecheckMs = 20;
// A turn reads at most this much of a client's input.
constexpr qint64 kReadPerTurn = 4096;

double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

template <typename Write>
void schedule(QObject* context, const std::vector<Transmission>& reply, Write write) {
    for (const Transmission& piece : reply) {
        if (piece.atMs <= 0)
            write(piece);
        else
            QTimer::singleShot(piece.atMs, Qt::PreciseTimer, context, [write, piece] { write(piece); });
    }
}

} // namespace

#ifdef _WIN32
// Windows has no pseudo-terminals: the simulator serves TCP only there.
PtyTransport::PtyTransport(RequestHandler handler, int lineBaud) : handler_(std::move(handler)), lineBaud_(lineBaud) {}

PtyTransport::~PtyTransport() = default;

bool PtyTransport::open(std::string* error) {
    if (error) *error = "--pty is Linux-only: on Windows use --rtu-tcp or --modbus-tcp";
    return false;
}
#else
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
                     [this](const Transmission& piece) {
                         if (!piece.close) send(piece.bytes); // a serial line cannot be closed: silence
                     });
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
    if (outgoing_.size() + bytes.size() > static_cast<size_t>(kMaxPtyBacklog)) {
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

#endif

TcpTransport::TcpTransport(RequestHandler handler, Framing framing, ClientBounds bounds)
    : handler_(std::move(handler)), framing_(framing), bounds_(bounds) {
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
        connection.turn = new QTimer(socket);
        connection.turn->setSingleShot(true);
        QObject::connect(connection.turn, &QTimer::timeout, socket, [this, socket] { serve(socket); });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { forget(socket); });
    }
}

// The replies the client has not taken: those Qt still holds, and those the system holds in the
// socket's send queue.
long long TcpTransport::unsent(QTcpSocket* socket) const {
    long long queued = socket->bytesToWrite();
#ifdef SIOCOUTQ
    int inSystem = 0;
    if (::ioctl(static_cast<int>(socket->socketDescriptor()), SIOCOUTQ, &inSystem) == 0) queued += inSystem;
#endif
    return queued;
}

// Parses a little more of the client's input into requests; false when it dropped the client.
bool TcpTransport::readSome(QTcpSocket* socket, Connection& connection) {
    const QByteArray data = socket->read(kReadPerTurn);
    if (data.isEmpty()) return true;
    const Bytes bytes(data.begin(), data.end());
    if (handler_.trace) handler_.trace(true, bytes);
    if (framing_ == Framing::Rtu) {
        for (Bytes& pdu : connection.rtu.push(bytes.data(), bytes.size()))
            connection.requests.push_back({std::move(pdu), 0});
        if (connection.rtu.pending())
            connection.gap->start();
        else
            connection.gap->stop();
        return true;
    }
    std::vector<MbapRequest> requests;
    const bool valid = connection.mbap.push(bytes.data(), bytes.size(), &requests);
    for (MbapRequest& r : requests) connection.requests.push_back({std::move(r.pdu), r.transactionId});
    // Not Modbus/TCP: there is no way to find the next request in the stream.
    if (!valid) drop(socket, "not a Modbus/TCP stream");
    return valid;
}

void TcpTransport::serve(QTcpSocket* socket) {
    auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    Connection& connection = found->second;
    if (unsent(socket) > bounds_.maxUnsent) {
        const double now = seconds();
        if (connection.overSince < 0) connection.overSince = now;
        if (now - connection.overSince >= bounds_.dropAfterSeconds)
            return drop(socket, std::to_string(unsent(socket)) + " bytes of replies unread");
        connection.turn->start(kRecheckMs); // neither read nor answered until it takes its replies
        return;
    }
    connection.overSince = -1;
    if (connection.requests.size() < static_cast<size_t>(kRequestsPerTurn) && !readSome(socket, connection)) return;
    // A reply may drop the client (see write), which ends its entry: it is looked up again.
    const auto send = [this, socket](const Transmission& piece) {
        if (piece.refuseMs > 0)
            refuseConnections(piece.refuseMs);
        else if (piece.close && connections_.count(socket))
            drop(socket, "closed as the fault plan asked");
        else if (!piece.close)
            write(socket, piece.bytes);
    };
    for (int n = 0; n < kRequestsPerTurn; ++n) {
        found = connections_.find(socket);
        if (found == connections_.end() || found->second.requests.empty() || unsent(socket) > bounds_.maxUnsent)
            break;
        const Pending request = std::move(found->second.requests.front());
        found->second.requests.pop_front();
        schedule(socket, handler_.handle(request.pdu, framing_, request.transactionId), send);
    }
    found = connections_.find(socket);
    if (found == connections_.end()) return;
    // More to serve: another turn once every other client has had its own.
    if (!found->second.requests.empty() || socket->bytesAvailable() > 0 || unsent(socket) > bounds_.maxUnsent)
        found->second.turn->start(unsent(socket) > bounds_.maxUnsent ? kRecheckMs : 0);
}

void TcpTransport::write(QTcpSocket* socket, const Bytes& bytes) {
    if (socket->state() != QAbstractSocket::ConnectedState || !connections_.count(socket)) return;
    socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    socket->flush();
    // Told once the bytes are on their way: a client told of a reply finds it waiting.
    if (handler_.trace) handler_.trace(false, bytes);
}

void TcpTransport::drop(QTcpSocket* socket, const std::string& why) {
    note("client dropped: " + why);
    forget(socket);
    socket->abort();
}

void TcpTransport::forget(QTcpSocket* socket) {
    if (connections_.erase(socket) == 0) return;
    socket->disconnect();
    socket->deleteLater(); // cancels the socket's pending late and split replies with it
}

void TcpTransport::refuseConnections(int ms) {
    const quint16 port = server_.serverPort();
    if (!server_.isListening()) return;
    note("restarting: new connections refused for " + std::to_string(ms) + " ms");
    server_.close();
    QTimer::singleShot(ms, &server_, [this, port] {
        if (!server_.listen(QHostAddress::LocalHost, port)) note("cannot listen again: " + server_.errorString().toStdString());
    });
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
