// The byte carriers of the simulator: a pseudo-terminal and a loopback TCP server. Both live on
// the simulator's own thread and hand every complete request to the simulator's handler.
#pragma once

#include "sim/slave.h"

#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTcpSocket;

namespace sim {

struct RequestHandler {
    // A complete request; returns the pieces of the reply to send and when.
    std::function<std::vector<Transmission>(const Bytes& pdu, Framing framing, uint16_t transactionId)>
        handle;
    // Every chunk of bytes as it arrives (received true) or leaves.
    std::function<void(bool received, const Bytes& bytes)> trace;
    // What the transport did on its own: a client refused or dropped, and why.
    std::function<void(const std::string& event)> note;
};

// A client may leave this much of its replies unread, and the server serves this many clients;
// past either bound a client is dropped, so no client can stop the simulator for the others.
constexpr long long kMaxPendingOutput = 256 * 1024;
constexpr long long kMaxPendingInput = 64 * 1024;
constexpr size_t kMaxClients = 512;

class PtyTransport {
  public:
    // lineBaud > 0: what arrives while the line is set to another baud rate is noise to an
    // analyser at this one, and goes unanswered.
    explicit PtyTransport(RequestHandler handler, int lineBaud = 0);
    ~PtyTransport();
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    bool open(std::string* error);
    const std::string& devicePath() const { return path_; }

  private:
    void readAvailable();
    void send(const Bytes& bytes);
    void flushOutgoing();

    bool lineAtOwnBaud() const;

    RequestHandler handler_;
    int lineBaud_ = 0;
    int master_ = -1;
    // Held open for the simulator's whole life, so the master never sees the line hang up when
    // the program closes and reopens the device.
    int slave_ = -1;
    std::string path_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer gap_;
    QObject replies_; // owns the timers of late and split replies
    RtuDeframer deframer_;
    Bytes outgoing_;
};

class TcpTransport {
  public:
    TcpTransport(RequestHandler handler, Framing framing);
    ~TcpTransport();
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    bool listen(uint16_t port, std::string* error);
    uint16_t port() const { return server_.serverPort(); }
    void dropConnections();
    QObject* context() { return &server_; }

  private:
    struct Connection {
        RtuDeframer rtu;
        MbapDeframer mbap;
        QTimer* gap = nullptr;
    };
    void accept();
    void readAvailable(QTcpSocket* socket);
    void write(QTcpSocket* socket, const Bytes& bytes);
    void forget(QTcpSocket* socket);
    void note(const std::string& event) const {
        if (handler_.note) handler_.note(event);
    }

    RequestHandler handler_;
    Framing framing_;
    QTcpServer server_;
    std::map<QTcpSocket*, Connection> connections_;
};

} // namespace sim
