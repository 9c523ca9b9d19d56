#include "serve/gateway/gateway.h"

#include <iterator>

#include "platform/system.h"
#include "serve/gateway/gateway_tls.h"
#include "tool_link.h"

void AppendGatewayMetrics(std::string& out, const GatewayCounts& c) {
    out += "# HELP rq55_gateway_requests_total Requests of gateway clients, by client, function and how they ended.\n"
           "# TYPE rq55_gateway_requests_total counter\n";
    for (const auto& [key, n] : c.requests)
        out += strfmt("rq55_gateway_requests_total{client=\"%s\",function=\"%d\",outcome=\"%s\"} %ld\n",
                      std::get<0>(key).c_str(), std::get<1>(key), std::get<2>(key).c_str(), n);
    out += "# HELP rq55_gateway_clients Gateway clients connected.\n# TYPE rq55_gateway_clients gauge\n";
    out += strfmt("rq55_gateway_clients %d\n", c.clients);
    out += "# HELP rq55_gateway_wait_seconds How long a gateway request waited before it reached the wire.\n"
           "# TYPE rq55_gateway_wait_seconds histogram\n";
    long total = 0;
    for (size_t i = 0; i < std::size(kGatewayWaitBuckets); ++i) {
        total += c.waits[i];
        out += strfmt("rq55_gateway_wait_seconds_bucket{le=\"%g\"} %ld\n", kGatewayWaitBuckets[i], total);
    }
    total += c.waits.back();
    out += strfmt("rq55_gateway_wait_seconds_bucket{le=\"+Inf\"} %ld\n", total);
    out += strfmt("rq55_gateway_wait_seconds_sum %.6f\nrq55_gateway_wait_seconds_count %ld\n", c.waitSum, total);
    out += "# HELP rq55_gateway_connections_refused_total Connections a gateway door closed at once, by door and why.\n"
           "# TYPE rq55_gateway_connections_refused_total counter\n";
    for (const auto& [key, n] : c.refused)
        out += strfmt("rq55_gateway_connections_refused_total{door=\"%s\",reason=\"%s\"} %ld\n", key.first.c_str(),
                      key.second.c_str(), n);
    out += "# HELP rq55_maintenance 1 while a gateway client works on the analyser (asked it within --maintenance-hold).\n"
           "# TYPE rq55_maintenance gauge\n";
    for (const auto& [address, on] : c.maintenance)
        out += strfmt("rq55_maintenance{address=\"%d\"} %d\n", address, on ? 1 : 0);
}

Gateway::Gateway(const CliOptions& options, const std::vector<int>& addresses)
    : o_(options), cache_(options.gatewayFresh), notices_(Say), denied_(Say, 1) {
    counts_.waits.assign(std::size(kGatewayWaitBuckets) + 1, 0);
    for (int a : addresses) counts_.maintenance[a] = false;
}

Gateway::~Gateway() { FreeGatewayTlsContext(tls_); }

bool Gateway::open() {
    std::string why;
    GatewayServer::Rules rules{o_.gatewayIdle, o_.gatewayUnits, {}, nullptr, {}};
    if (!o_.gatewayAllow.empty() && !ParseAllowList(o_.gatewayAllow, rules.allowed, why)) {
        Say(why);
        return false;
    }
    if (!o_.gatewayTlsConfig.empty()) {
        GatewayTlsConfig tls;
        if (!ReadGatewayTlsConfig(o_.gatewayTlsConfig, tls, why) || !(tls_ = MakeGatewayTlsContext(tls, why))) {
            Say(why);
            return false;
        }
        rules.tls = tls_;
        rules.roles = tls.roles;
    }
    if (!server_.open(o_.gateways, std::move(rules), why)) {
        Say("--gateway: " + why);
        return false;
    }
    for (const GatewayPlace& door : o_.gateways) {
        Say("gateway at " + HostPortText(door.place) +
            (door.tls          ? " (Modbus/TCP Security), writes by role"
             : door.modbusTcp ? " (Modbus/TCP)"
                              : " (RTU frames over TCP)") +
            (door.tls ? "" : o_.gatewayWrites ? ", writes passed" : ", writes refused"));
        if (o_.gatewayAllow.empty() && !IsLoopback(door.place.host) && door.place.host != "localhost")
            Say("gateway at " + HostPortText(door.place) +
                " admits masters from anywhere that reaches it: --gateway-allow CIDR,... names who may connect");
    }
    for (const auto& [from, to] : o_.gatewayUnits)
        Say(to == 0 ? std::string("gateway: a write to unit 0 is broadcast to every device") +
                          (o_.gatewayWrites ? "" : " (none passes: --gateway-writes deny)")
                    : strfmt("gateway: unit %d reaches the analyser at address %d", from, to));
    return true;
}

void Gateway::turn(const Forward& forward, const Wrote& wrote, bool roundUnderWay) {
    server_.pump(0);
    // While a round's polls are under way, a request to a unit that was silent waits until they are
    // done, and a read whose polled block has just grown too old waits for its poll to read it afresh.
    const double at = Timer();
    const auto now = [&](const GatewayJob& j) {
        return !roundUnderWay || (!silentUnits_.count(j.request.unit) && !cache_.stale(j.request, at));
    };
    for (int n = server_.clients(); n > 0; --n) {
        const std::optional<GatewayJob> job = server_.take(now);
        if (!job) break;
        waited(*job);
        const GatewayAnswer answer = serve(*job, forward, wrote);
        finish(*job, answer);
        // Clients that sent the very same read meanwhile share its reply: one exchange for them all.
        if (answer.outcome == GatewayOutcome::Answered && job->request.pdu[0] == 3)
            for (const GatewayJob& same : server_.takeSame(*job)) {
                waited(same);
                finish(same, answer);
            }
    }
    for (const std::string& line : server_.takeNotices()) notices_.happened(line.substr(0, line.find(':')), line);
    counts_.clients = server_.clients();
    counts_.refused = server_.refused();
}

void Gateway::polled(int unit, int start, int count, const unsigned char* data) {
    cache_.hold(unit, start, count, data, Timer());
}

void Gateway::waited(const GatewayJob& job) {
    const double wait = Timer() - job.arrived;
    size_t bucket = 0;
    while (bucket < std::size(kGatewayWaitBuckets) && wait > kGatewayWaitBuckets[bucket]) ++bucket;
    ++counts_.waits[bucket];
    counts_.waitSum += wait;
}

GatewayAnswer Gateway::serve(const GatewayJob& job, const Forward& forward, const Wrote& wrote) {
    const GatewayRequest& r = job.request;
    const bool write = IsWriteFunction(r.pdu[0]);
    const std::string what =
        "gateway client " + job.from + ": write of " + RequestSpan(r.pdu) + " at address " + std::to_string(r.unit);
    const auto mapped = o_.gatewayUnits.find(0);
    const bool broadcasts = mapped != o_.gatewayUnits.end() && mapped->second == 0;
    // Through the TLS door the client's role decides its writes; elsewhere --gateway-writes.
    if (std::optional<GatewayAnswer> own =
            ScreenRequest(r, job.secured ? job.mayWrite : o_.gatewayWrites, broadcasts)) {
        const std::string why = !job.secured     ? "--gateway-writes deny"
                                : job.role.empty() ? "its certificate carries no role: it reads only"
                                                   : "role " + job.role + " reads only";
        if (own->outcome == GatewayOutcome::Denied) denied_.happened(job.from, what + " refused (" + why + ")");
        return *own;
    }
    if (std::optional<Bytes> held = cache_.answer(r, Timer())) return {GatewayOutcome::AnsweredFromPoll, *held};
    const double began = Timer();
    GatewayAnswer answer = forward(r);
    // A broadcast is answered by nobody: once it is on the wire the client is given the write's
    // standard echo.
    if (r.unit == 0 && answer.outcome == GatewayOutcome::Answered) answer.pdu.assign(r.pdu.begin(), r.pdu.begin() + 5);
    const double took = Timer() - began;
    spent_.forwarding += took;
    if (answer.outcome == GatewayOutcome::NoReply) {
        spent_.silent += took;
        silentUnits_.insert(r.unit);
    } else {
        silentUnits_.erase(r.unit);
    }
    if (!write) return answer;
    // A write may change registers beyond those it names (texts read back elsewhere, counters reset):
    // nothing held of the unit is answered from any more.
    cache_.drop(r.unit);
    const bool answered =
        answer.outcome == GatewayOutcome::Answered || answer.outcome == GatewayOutcome::AnsweredNonstandard;
    Say(what + (answer.outcome == GatewayOutcome::Answered ? " passed"
                : answered ? " passed, answered otherwise than with the standard echo"
                           : std::string(" failed: ") + OutcomeName(answer.outcome)));
    if (answered) wrote(r);
    return answer;
}

void Gateway::finish(const GatewayJob& job, const GatewayAnswer& answer) {
    ++counts_.requests[{job.from, job.request.pdu[0], OutcomeName(answer.outcome)}];
    server_.answer(job, answer.pdu, answer.outcome == GatewayOutcome::NoReply);
}

void Gateway::idle(double seconds, int wakeFd, const Forward& forward, const Wrote& wrote) {
    // What waited for the round's polls is served at once, not after the wait.
    turn(forward, wrote);
    server_.pump(seconds, wakeFd);
    turn(forward, wrote);
}

bool Gateway::updateMaintenance() {
    bool changed = false;
    const double now = Timer();
    for (auto& [address, on] : counts_.maintenance) {
        const bool asked = server_.asked(address, now, o_.maintenanceHold);
        changed = changed || asked != on;
        on = asked;
    }
    return changed;
}
