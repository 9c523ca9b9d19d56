// The byte carriers of the simulator: a pseudo-terminal and a loopback TCP server. Both live on
// the simulator's own thread and hand every complete request to the simulator's handler.
#pragma once

#include "sim/slave.h"

#include <QTcpServer>
#include <QTimer>

#include <deque>

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

// What one client may cost the others. Its requests are read from a buffer of kMaxPendingInput
// bytes and answered a few at a time, in turn with every other client's. While the replies it
// has not taken (in Qt's buffer and, where the system tells, in the system's) pass maxUnsent, it
// is neither read nor answered, so the network itself holds it back; over the bound for
// dropAfterSeconds, it is dropped. The server serves kMaxClients clients at most.
struct ClientBounds {
    long long maxUnsent = 64 * 1024;
    double dropAfterSeconds = 5.0;
};
constexpr long long kMaxPendingInput = 64 * 1024;
constexpr size_t kMaxClients = 512;
constexpr int kRequestsPerTurn = 4;

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
    TcpTransport(RequestHandler handler, Framing framing, ClientBounds bounds = {});
    ~TcpTransport();
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    bool listen(uint16_t port, std::string* error);
    uint16_t port() const { return server_.serverPort(); }
    void dropConnections();
    // Closes the listening socket for `ms`, as a gateway that restarts: connecting is refused
    // meanwhile, and the connections already open stay open.
    void refuseConnections(int ms);
    QObject* context() { return &server_; }

  private:
    struct Pending {
        Bytes pdu;
        uint16_t transactionId = 0;
    };
    struct Connection {
        RtuDeframer rtu;
        MbapDeframer mbap;
        QTimer* gap = nullptr;
        QTimer* turn = nullptr;        // the client's next turn, when it has more to be served
        std::deque<Pending> requests;  // complete requests not yet answered
        double overSince = -1;         // when its unsent replies passed the bound (-1: under it)
    };
    void accept();
    // One turn of a client: a little of its input read, a few of its requests answered.
    void serve(QTcpSocket* socket);
    bool readSome(QTcpSocket* socket, Connection& connection);
    long long unsent(QTcpSocket* socket) const;
    void write(QTcpSocket* socket, const Bytes& bytes);
    void forget(QTcpSocket* socket);
    void drop(QTcpSocket* socket, const std::string& why);
    void note(const std::string& event) const {
        if (handler_.note) handler_.note(event);
    }

    RequestHandler handler_;
    Framing framing_;
    ClientBounds bounds_;
    QTcpServer server_;
    std::map<QTcpSocket*, Connection> connections_;
};

} // namespace sim
