#include "serve/serve.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "commands.h"
#include "lang/label_table.h"
#include "platform/system.h"
#include "serve/gateway/gateway.h"
#include "serve/http/endpoint.h"
#include "serve/http/exposition.h"
#include "serve/http/process_metrics.h"
#include "serve/mqtt/ha_discovery.h"
#include "serve/mqtt/mqtt_feed.h"
#include "serve/mqtt/names.h"
#include "serve/notices.h"
#include "serve/poll/poller.h"
#include "serve/secrets.h"
#include "stop_signals.h"
#include "tool_link.h"

namespace {

// What the HTTP threads read at each scrape.
struct Shared {
    std::mutex mutex;
    std::vector<AnalyserPoll> polls;
    double roundSeconds = 0;
    GatewayCounts gateway;
};

std::string hostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

class Server {
  public:
    Server(const CliOptions& o, std::vector<std::string> blocks)
        : o_(o), blocks_(std::move(blocks)),
          maxAge_(o.maxAge > 0 ? o.maxAge
                               : 3 * o.interval + (o.timeoutMs > 0 ? o.timeoutMs : kServeReplyWaitMs) / 1000.0) {}

    // Opens the state folder and the doors; false (said) when one cannot be opened.
    bool open() {
        std::string why;
        std::vector<std::string> said;
        if (!o_.stateDir.empty() && !state_.open(o_.stateDir, why, said)) {
            Say(why);
            return false;
        }
        for (const std::string& line : said) Say(line);
        if (o_.stateDir.empty() && !o_.mqtt.host.empty())
            Say("no --state-dir: what serve said over MQTT of a meter is not remembered when it stops; a meter "
                "gone or replaced meanwhile keeps its retained messages");
        poller_.emplace(o_, blocks_, state_, [this](const AnalyserPoll& p, const std::string& previous) {
            publish(p, previous);
        });
        {
            std::lock_guard lock(shared_.mutex);
            shared_.polls = poller_->polls();
        }
        told_.assign(poller_->polls().size(), false);
        std::vector<int> addresses;
        for (const AnalyserPoll& p : poller_->polls()) addresses.push_back(p.address);
        gateway_.emplace(o_, addresses);
        if (gateway_->enabled())
            poller_->onRead([this](int unit, int start, int count, const unsigned char* data) {
                gateway_->polled(unit, start, count, data);
            });
        return gateway_->open() && openMetrics() && openMqtt();
    }

    // Round after round until a stop signal: the polls of each round as the scheduler gives them.
    void run() {
        while (!stopped_) {
            const double started = Timer(), due = started + o_.interval;
            // Gateway clients go first, unless the round's polls have waited a whole interval; those
            // asking units that were silent wait until the polls are done.
            gateway_->takeSpent();
            stopped_ = !poller_->round(due, [&] {
                if (gateway_->enabled() && Timer() - started < o_.interval) gateway_->turn(forward_, wrote_, true);
                gatewayChanged();
            });
            sayRoundLength(poller_->pollsSeconds(), gateway_->takeSpent());
            if (stopped_) break;
            {
                std::lock_guard lock(shared_.mutex);
                shared_.roundSeconds = Timer() - started;
            }
            // A value that grows older than --max-age while nothing is polled is withdrawn from
            // MQTT too (the exposition judges ages at each scrape).
            while (!stopped_ && Timer() < due) {
                expire();
                const double wait = std::min(1.0, due - Timer());
                if (gateway_->enabled()) {
                    gateway_->idle(wait, StopSignalDescriptor(), forward_, wrote_);
                    gatewayChanged();
                }
                stopped_ = WaitForStopSignal(gateway_->enabled() ? 0 : wait);
                reloadIfAsked();
            }
        }
    }

    // The clean stop: every analyser no longer watched, and the process gone.
    void close() {
        metrics_.stop();
        poller_->close();
        if (feed_) feed_->allDown(poller_->polls());
        if (feed_ && gateway_ && gateway_->enabled())
            for (const AnalyserPoll& p : poller_->polls()) feed_->maintenance(p, false);
        stopMqtt();
    }

    ~Server() { stopMqtt(); }

  private:
    bool openMetrics() {
        if (o_.metrics.host.empty()) return true;
        const auto render = [this](std::string& out) {
            {
                std::lock_guard lock(shared_.mutex);
                Exposition(out, shared_.polls, blocks_, NowSeconds(), maxAge_, shared_.roundSeconds);
                if (!o_.gateways.empty()) AppendGatewayMetrics(out, shared_.gateway);
            }
            AppendProcessMetrics(out);
        };
        WebConfig web;
        std::string why;
        webState_ = FileState(o_.webConfig);
        const auto refused = [this](const std::string& kind, const std::string& text) { refusals_.happened(kind, text); };
        if (!ReadServeWebConfig(o_, web, why) || !metrics_.start(o_.metrics.host, o_.metrics.port, render, web, refused, why)) {
            Say(why);
            return false;
        }
        Say(std::string("metrics at ") + (web.tls ? "https://" : "http://") + HostPortText(o_.metrics) + "/metrics" +
            (web.users.empty() ? "" : ", with a password"));
        if (web.usersGiven && web.users.empty())
            Say("warning: basic_auth_users of " + o_.webConfig + " is empty: /metrics asks no password of anyone");
        return true;
    }

    bool openMqtt() {
        if (o_.mqtt.host.empty()) return true;
        const std::string instance = o_.instance.empty() ? DefaultInstance(hostName(), LinkName(o_)) : o_.instance;
        std::string password, why;
        if (!MqttPassword(o_, password, why)) {
            Say(why);
            return false;
        }
        if (!o_.mqttUser.empty() && password.empty())
            Say("warning: MQTT user " + o_.mqttUser + " without a password (--mqtt-password-file or RQ55_MQTT_PASSWORD)");
        mqtt_.emplace();
        MqttPublisher::Settings settings{o_.mqtt.host, o_.mqtt.port, o_.mqttTopic, instance, o_.mqttUser,
                                         password, {}, {}, {}, nullptr, {}};
        // What a serve before this one said of the meters it knew, which may be gone or dead: their
        // up false before this one says it is online (a crash leaves them true).
        for (const auto& [address, serial] : state_.serials())
            settings.beforeOnline.emplace_back(SerialTopic(o_.mqttTopic, serial) + "/up", "false");
        if (o_.mqttTls && !(settings.tls = MakeMqttTlsContext(MqttTlsOf(o_), o_.mqtt.host, why))) {
            Say(why);
            return false;
        }
        if (o_.haDiscovery) {
            ha_.emplace(*mqtt_, HaSettings{o_.haPrefix, o_.mqttTopic, instance}, etiqueta);
            settings.subscriptions = {ha_->statusTopic()};
            settings.received = [this](const std::string& topic, const std::string& payload) { ha_->received(topic, payload); };
            settings.connected = [this] { ha_->connected(); };
        }
        if (!mqtt_->start(settings, Say, why)) {
            Say(why);
            return false;
        }
        Say("publishing to MQTT at " + std::string(o_.mqttTls ? "mqtts://" : "") + HostPortText(o_.mqtt) + " as " +
            mqtt_->clientId() + ", instance " + instance);
        feed_.emplace(*mqtt_, o_.mqttTopic, instance);
        feed_->allDown(poller_->polls());
        if (gateway_->enabled())
            for (const AnalyserPoll& p : poller_->polls()) feed_->maintenance(p, false);
        return true;
    }

    // What the gateway did is shown at the next scrape; an analyser that goes into maintenance or
    // out of it is told over MQTT at once.
    void gatewayChanged() {
        if (!gateway_->enabled()) return;
        if (gateway_->updateMaintenance() && feed_)
            for (const AnalyserPoll& p : poller_->polls()) feed_->maintenance(p, gateway_->counts().maintenance.at(p.address));
        std::lock_guard lock(shared_.mutex);
        shared_.gateway = gateway_->counts();
    }

    // SIGHUP, or the file changed: the web configuration read again; a file that cannot be used
    // leaves the settings in force as they are.
    void reloadIfAsked() {
        const bool asked = TakeReloadRequest();
        if (asked) stopped_ = stopped_ || WaitForStopSignal(0);
        if (o_.webConfig.empty() || o_.metrics.host.empty()) return;
        if (IsCredential(o_.webConfig)) {
            if (asked)
                Say("SIGHUP: nothing was read again: " + o_.webConfig +
                    " is the service manager's copy, made when the service started; restart the service to "
                    "take a changed file");
            return;
        }
        const std::string state = FileState(o_.webConfig);
        if (!asked && state == webState_) return;
        webState_ = state;
        const std::string cause = asked ? "SIGHUP: " : "changed: ";
        WebConfig web;
        std::string why;
        if (ReadWebConfig(o_.webConfig, web, why) && metrics_.reconfigure(web, why))
            Say(cause + o_.webConfig + " read again");
        else
            Say(cause + why + "; the settings in force stay");
    }

    // The client's thread, which hands Home Assistant's messages over, ends first; then nothing
    // publishes any more.
    void stopMqtt() {
        if (mqtt_) mqtt_->stop();
        ha_.reset();
    }

    void publish(const AnalyserPoll& p, const std::string& previousSerial) {
        const size_t index = static_cast<size_t>(&p - poller_->polls().data());
        {
            std::lock_guard lock(shared_.mutex);
            shared_.polls[index] = p;
        }
        if (feed_) feed_->polled(p, previousSerial);
        if (ha_) ha_->polled(p, previousSerial);
        reloadIfAsked(); // between two polls, so a long round does not keep it waiting
        told_[index] = p.up;
        expire();
    }

    void expire() {
        const double now = NowSeconds();
        const std::vector<AnalyserPoll>& polls = poller_->polls();
        for (size_t i = 0; i < polls.size(); ++i)
            if (told_[i] && !IsFresh(polls[i], now, maxAge_)) {
                if (feed_) feed_->expired(polls[i]);
                told_[i] = false;
            }
    }

    // Polls of the answering analysers that take longer than the interval are said once, and again
    // when they are back within it: the link cannot keep up, so each is polled less often.
    // Where a round's time went, when it outgrew the interval: the analysers that answer, and the
    // gateway's clients (and of that, units that did not answer).
    void sayRoundLength(double took, const Gateway::Spent& gateway) {
        const bool over = took > o_.interval;
        if (over == overrun_) return;
        overrun_ = over;
        const std::string clients =
            gateway.forwarding > 0 ? strfmt(", %.1f s for gateway clients (%.1f s of it waiting on units that did not "
                                            "answer)",
                                            gateway.forwarding, gateway.silent)
                                   : "";
        if (over)
            Say(strfmt("the round took %.1f s, longer than the %g s interval: %.1f s polling the analysers that "
                       "answer%s; each is polled once a round",
                       took, o_.interval, std::max(took - gateway.forwarding, 0.0), clients.c_str()));
        else
            Say(strfmt("rounds are back within the %g s interval", o_.interval));
    }

    const CliOptions& o_;
    std::vector<std::string> blocks_;
    StateDir state_;
    std::optional<Poller> poller_;
    std::optional<Gateway> gateway_;
    // A gateway request goes over the poller's link; an energy reset passed through it is one made
    // through RQ55 for the counter guard.
    const Gateway::Forward forward_ = [this](const GatewayRequest& r) { return poller_->forward(r); };
    const Gateway::Wrote wrote_ = [this](const GatewayRequest& r) {
        if (WritesRegisters(r, kEnergyResetRegister, kEnergyResetRegister)) poller_->resetMade(r.unit);
    };
    std::vector<bool> told_; // what MQTT last said of each analyser: up
    Shared shared_;
    MetricsEndpoint metrics_;
    KindNotices refusals_{Say};
    std::string webState_; // the web configuration file as it was last read
    std::optional<MqttPublisher> mqtt_;
    std::optional<MqttFeed> feed_;
    std::optional<HaDiscovery> ha_;
    bool stopped_ = false, overrun_ = false;
    double maxAge_;
};

} // namespace

int CheckServeOptions(const CliOptions& o) {
    if (o.metrics.host.empty() && o.mqtt.host.empty() && o.gateways.empty()) {
        Say("serve needs somewhere to serve to: --metrics [HOST:]PORT, --mqtt HOST[:PORT], --gateway [HOST:]PORT, or "
            "more of them");
        return 2;
    }
    std::set<std::string> seen;
    for (const std::string& block : o.serveBlocks) {
        if (!IsServedBlock(block)) {
            Say("--blocks: \"" + block + "\" is none of network, energy, demand, maxmin, status");
            return 2;
        }
        if (!seen.insert(block).second) {
            Say("--blocks: \"" + block + "\" is given twice");
            return 2;
        }
    }
    std::string why;
    if (!CheckTopicPrefix(o.mqttTopic, why)) {
        Say("--mqtt-topic: \"" + o.mqttTopic + "\": " + why);
        return 2;
    }
    if (!CheckSecrets(o, why)) {
        Say(why);
        return 2;
    }
    const bool tlsDoor = std::any_of(o.gateways.begin(), o.gateways.end(), [](const GatewayPlace& d) { return d.tls; });
    GatewayTlsConfig tls;
    if (tlsDoor != !o.gatewayTlsConfig.empty()) {
        Say("--gateway-tls [HOST:]PORT and --gateway-tls-config FILE go together");
        return 2;
    }
    if (tlsDoor && !ReadGatewayTlsConfig(o.gatewayTlsConfig, tls, why)) {
        Say(why);
        return 2;
    }
    std::vector<AllowedNetwork> allowed;
    if (!o.gatewayAllow.empty() && !ParseAllowList(o.gatewayAllow, allowed, why)) {
        Say(why);
        return 2;
    }
    if (o.haDiscovery && o.mqtt.host.empty()) {
        Say("--ha-discovery announces the analysers over MQTT: it needs --mqtt HOST[:PORT]");
        return 2;
    }
    if (!CheckTopicPrefix(o.haPrefix, why)) {
        Say("--ha-prefix: \"" + o.haPrefix + "\": " + why);
        return 2;
    }
    if (!o.instance.empty() && !IsInstanceName(o.instance)) {
        Say("--instance: \"" + o.instance + "\" is not a name of letters, digits, '-' and '_' (at most 64)");
        return 2;
    }
    return 0;
}

int Serve(const CliOptions& o) {
    Server server(o, o.serveBlocks.empty() ? std::vector<std::string>{"network", "energy", "demand"} : o.serveBlocks);
    if (!server.open()) {
        server.close();
        return 1;
    }
    server.run();
    server.close();
    Say("stopped");
    return 0;
}
