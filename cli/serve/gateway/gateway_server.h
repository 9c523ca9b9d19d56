// serve's Modbus gateway doors: the connections of other Modbus masters, their requests taken as
// they come, one at a time per client, and the replies framed back as each request came. It runs
// on serve's own thread, between two exchanges of the link: the link is never used by two at once,
// and a reply is only ever handed to the client whose request it answers.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "serve/gateway/allow_list.h"
#include "serve/gateway/framing.h"
#include "serve/listen.h"

struct ssl_ctx_st;
struct ssl_st;

// A request taken from a client, to be answered through answer().
struct GatewayJob {
    long client = 0;  // the connection, numbered as they come
    std::string from; // the client's IP address, without its port
    GatewayRequest request; // its unit the bus address the client's unit id stands for
    uint8_t clientUnit = 0; // the unit id as the client sent it, which its reply carries back
    bool secured = false;   // it came through the TLS door: its role decides its writes
    bool mayWrite = false;  // ... and that role is one that writes
    std::string role;       // the role its certificate carries ("" none)
    double arrived = 0; // Timer() when its first byte was there to read
};

class GatewayServer {
  public:
    GatewayServer() = default;
    GatewayServer(const GatewayServer&) = delete;
    GatewayServer& operator=(const GatewayServer&) = delete;
    ~GatewayServer();

    // What the doors admit and how requests are taken.
    struct Rules {
        double idleSeconds = 60;            // a client that sends nothing this long is closed
        std::map<int, int> units;           // a unit id a client sends: the bus address it stands for
        std::vector<AllowedNetwork> allowed; // who may connect (loopback always; empty: anyone)
        ssl_ctx_st* tls = nullptr;          // the TLS door's context (not owned)
        std::map<std::string, bool> roles;  // a role a client certificate carries: whether it writes
    };
    // Listens on every door; false with the reason when one cannot be opened (none is open then).
    bool open(const std::vector<GatewayPlace>& doors, Rules rules, std::string& why);

    // Takes in what the clients did (connections, requests, replies written, hang-ups), waiting up
    // to `seconds` for a request to come or `wakeFd` (when not -1) to turn readable.
    void pump(double seconds, int wakeFd = -1);
    // The next request waiting that `now` lets through (all when it is empty), the clients in turn,
    // a client whose last request met silence behind the others; none when no client waits.
    std::optional<GatewayJob> take(const std::function<bool(const GatewayJob&)>& now = {});
    // The requests waiting that are the very same as `job`'s (unit and PDU), taken with it.
    std::vector<GatewayJob> takeSame(const GatewayJob& job);
    // The reply to a request taken (`silent`: the gateway's own, as the unit did not answer);
    // dropped when its client has gone meanwhile.
    void answer(const GatewayJob& job, const Bytes& pdu, bool silent = false);

    int clients() const { return static_cast<int>(clients_.size()); }
    // Connections closed at once, by door ("127.0.0.1:5021") and why: "not_allowed" (from outside
    // --gateway-allow) or "full" (every place taken by a client with a request under way).
    const std::map<std::pair<std::string, std::string>, long>& refused() const { return refused_; }
    // Whether a connected client asked the address within the last `hold` seconds (Timer()'s clock).
    bool asked(int address, double now, double hold) const;
    // What was said of the clients since the last call: frames dropped, connections refused, broken,
    // idle or giving way; each "client ADDRESS[ KIND]: words", said by kind.
    std::vector<std::string> takeNotices();

  private:
    struct Client {
        int fd = -1;
        std::string from;
        GatewayFraming framing = GatewayFraming::Rtu;
        RequestReader reader{GatewayFraming::Rtu};
        std::optional<GatewayJob> waiting; // read, not yet taken
        bool inFlight = false;             // taken, not yet answered
        Bytes out;                         // reply bytes not yet written
        std::map<int, double> asked;       // address: when it was last asked
        double lastBytes = 0;              // when it last sent anything
        double answeredAt = 0;             // when its last request was answered
        double pendingSince = 0;           // when bytes of its next request were first there to read
        bool behind = false;               // its last request met silence: served after the others
        std::string door;                  // the door it came in by
        ssl_st* ssl = nullptr;             // through the TLS door: its connection
        bool secured = false;              // ... once its handshake is done
        bool tlsWantsWrite = false;        // ... and TLS waits to write
        bool mayWrite = false;
        std::string role;
    };
    struct Door {
        int fd;
        GatewayFraming framing;
        std::string name;
        bool tls;
    };
    void accept(const Door& door);
    // Closes the client idle longest, to admit one from `from`; false when every client is busy.
    bool makeRoom(const std::string& from);
    // Closes the clients that sent nothing for the idle time; the seconds until the next is due.
    double closeIdle();
    bool idle(const Client& c) const { return !c.waiting && !c.inFlight && c.out.empty(); }
    // Since when it has had nothing to say: idle time counts from its last bytes or its last
    // answer, whichever came later, never while it waited for serve.
    static double quietSince(const Client& c) { return std::max(c.lastBytes, c.answeredAt); }
    void receive(long id, Client& c);
    // Through the TLS door: the handshake, then every byte TLS has for the reader.
    void receiveTls(long id, Client& c);
    void nextRequest(long id, Client& c);
    void flush(Client& c);
    void drop(long id);
    // RTU bytes that made no frame before the client fell silent are thrown away.
    void dropSilentPartials();

    std::vector<Door> listeners_;
    std::map<long, Client> clients_;
    long nextId_ = 1, lastTaken_ = 0;
    Rules rules_;
    std::map<std::pair<std::string, std::string>, long> refused_;
    // As many masters as a plant has reason to connect at once, within the descriptor limit: beyond
    // them the one idle longest gives way to a new one, and a new one is refused only while every
    // client has a request under way.
    size_t mostClients_ = DoorCapsNow().gateway;
    std::vector<std::string> notices_;
};
