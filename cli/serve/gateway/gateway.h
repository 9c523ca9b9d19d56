// serve's Modbus gateway as serve runs it: the doors, the requests served in turn through the
// link serve holds, the writes passed or refused and said on stderr, and what is counted of it
// for the exposition (rq55_gateway_* and rq55_maintenance).
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "options.h"
#include "serve/gateway/forward.h"
#include "serve/gateway/gateway_server.h"
#include "serve/gateway/poll_cache.h"
#include "serve/notices.h"

// What the exposition shows of the gateway; copied for each scrape.
struct GatewayCounts {
    std::map<std::tuple<std::string, int, std::string>, long> requests; // client, function, outcome
    int clients = 0;
    std::vector<long> waits; // requests by the bucket of their wait (kGatewayWaitBuckets, then +Inf)
    double waitSum = 0;
    std::map<int, bool> maintenance; // by address
    std::map<std::pair<std::string, std::string>, long> refused; // connections closed at once: door, why
};

// The upper bounds of rq55_gateway_wait_seconds' buckets.
inline constexpr double kGatewayWaitBuckets[] = {0.01, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

// Appends the gateway's families to an exposition.
void AppendGatewayMetrics(std::string& out, const GatewayCounts& counts);

class Gateway {
  public:
    using Forward = std::function<GatewayAnswer(const GatewayRequest&)>;
    using Wrote = std::function<void(const GatewayRequest&)>; // an allowed write was answered

    Gateway(const CliOptions& options, const std::vector<int>& addresses);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // Opens the doors (none when no --gateway); false with the reason said.
    bool open();
    bool enabled() const { return !o_.gateways.empty(); }

    // Serves what waits: at most one request of each client, in turn, each through `forward`. While
    // a round's polls are under way, requests to units that were silent at their last request
    // wait until the polls are done: a dead address costs its askers, not the analysers that answer;
    // and a read within a polled block that has just grown too old to answer it waits for the
    // round's poll to read it afresh, so clients reading what serve polls leave the bus to serve.
    void turn(const Forward& forward, const Wrote& wrote, bool roundUnderWay = false);
    // Waits up to `seconds` for a request (or `wakeFd`), serving what comes meanwhile.
    void idle(double seconds, int wakeFd, const Forward& forward, const Wrote& wrote);

    // A read of serve's own poll, to answer clients' reads within it (--gateway-fresh).
    void polled(int unit, int start, int count, const unsigned char* data);

    // Whether each address is in maintenance now; true when that changed since the last call.
    bool updateMaintenance();
    const GatewayCounts& counts() const { return counts_; }
    // Where the link's time went since the last call: seconds forwarding gateway requests, and of
    // them, waiting on units that did not answer.
    struct Spent {
        double forwarding = 0, silent = 0;
    };
    Spent takeSpent() { return std::exchange(spent_, {}); }

  private:
    void waited(const GatewayJob& job); // counted in rq55_gateway_wait_seconds
    // The answer to a request taken: the gateway's own, from a poll's read, or through `forward`.
    GatewayAnswer serve(const GatewayJob& job, const Forward& forward, const Wrote& wrote);
    void finish(const GatewayJob& job, const GatewayAnswer& answer);

    const CliOptions& o_;
    ssl_ctx_st* tls_ = nullptr; // the TLS door's
    GatewayServer server_;
    GatewayCounts counts_;
    PollCache cache_;
    KindNotices notices_;
    KindNotices denied_; // writes refused: a line a second per client at most
    std::set<int> silentUnits_; // their last request met silence
    Spent spent_;
};
