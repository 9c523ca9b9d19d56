#include "serve/serve.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "commands.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "platform/system.h"
#include "serve/http/endpoint.h"
#include "serve/http/exposition.h"
#include "serve/http/process_metrics.h"
#include "lang/label_table.h"
#include "serve/mqtt/ha_discovery.h"
#include "serve/secrets.h"
#include "serve/mqtt/mqtt_feed.h"
#include "serve/mqtt/names.h"
#include "serve/notices.h"
#include "stop_signals.h"

namespace {

// Every address is asked once in the first round, with one attempt. One that did not answer is
// probed again the round after, then after 2, 4 and 8 rounds, then every 8 rounds at most; and
// probes take only the time the answering analysers leave before the next round, but for one
// every 8 rounds whatever the time.
constexpr int kLongestProbeGap = 8;

// One address as serve watches it: its poll, and when it is next probed if it does not answer.
struct Watched {
    AnalyserPoll poll;
    bool asked = false;    // it has been polled once at least
    bool answers = false;  // its serial number was read at its last poll
    int missed = 0;        // probes in a row that found nobody
    long nextProbe = 0;    // the round from which it may be probed again
    bool toldUp = false;   // what MQTT last said of it
};

// What the HTTP thread reads at each scrape.
struct Shared {
    std::mutex mutex;
    std::vector<AnalyserPoll> polls;
    double roundSeconds = 0;
};

std::string hostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

class Server {
  public:
    Server(const CliOptions& o, std::vector<std::string> blocks)
        : o_(o), blocks_(std::move(blocks)), linkNotice_(Say),
          replyWait_((o.timeoutMs > 0 ? o.timeoutMs : kServeReplyWaitMs) / 1000.0),
          maxAge_(o.maxAge > 0 ? o.maxAge : 3 * o.interval + replyWait_) {
        for (int address : o.addresses.empty() ? std::vector<int>{1} : o.addresses)
            watched_.push_back({NewAnalyserPoll(address)});
        std::lock_guard lock(shared_.mutex);
        shared_.polls = polls();
    }

    // Opens the doors; false (said) when one cannot be opened.
    bool open() {
        std::string why;
        if (!o_.metrics.host.empty()) {
            const auto render = [this](std::string& out) {
                {
                    std::lock_guard lock(shared_.mutex);
                    Exposition(out, shared_.polls, blocks_, NowSeconds(), maxAge_, shared_.roundSeconds);
                }
                AppendProcessMetrics(out);
            };
            WebConfig web;
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
        }
        if (!o_.mqtt.host.empty()) {
            const std::string instance = o_.instance.empty() ? DefaultInstance(hostName(), LinkName(o_)) : o_.instance;
            std::string password;
            if (!MqttPassword(o_, password, why)) {
                Say(why);
                return false;
            }
            if (!o_.mqttUser.empty() && password.empty())
                Say("warning: MQTT user " + o_.mqttUser + " without a password (--mqtt-password-file or RQ55_MQTT_PASSWORD)");
            mqtt_.emplace();
            MqttPublisher::Settings settings{o_.mqtt.host, o_.mqtt.port, o_.mqttTopic, instance, o_.mqttUser,
                                             password, {}, {}, {}, nullptr};
            if (o_.mqttTls && !(settings.tls = MakeMqttTlsContext(MqttTlsOf(o_), o_.mqtt.host, why))) {
                Say(why);
                return false;
            }
            if (o_.haDiscovery) {
                ha_.emplace(*mqtt_, HaSettings{o_.haPrefix, o_.mqttTopic, instance}, etiqueta);
                settings.subscriptions = {ha_->statusTopic()};
                settings.received = [this](const std::string& topic, const std::string& payload) {
                    ha_->received(topic, payload);
                };
                settings.connected = [this] { ha_->connected(); };
            }
            if (!mqtt_->start(settings, Say, why)) {
                Say(why);
                return false;
            }
            Say("publishing to MQTT at " + std::string(o_.mqttTls ? "mqtts://" : "") + HostPortText(o_.mqtt) + " as " +
                mqtt_->clientId() + ", instance " + instance);
            feed_.emplace(*mqtt_, o_.mqttTopic, instance);
            feed_->allDown(polls());
        }
        return true;
    }

    // Round after round until a stop signal: every answering analyser, then the probes that fit.
    void run() {
        for (long round = 0; !stopped_; ++round) {
            const double started = Timer(), due = started + o_.interval;
            triedLink_ = false;
            for (Watched& w : watched_)
                if (!stopped_ && (w.answers || !w.asked)) poll(w, round, !w.asked);
            sayPollsLength(Timer() - started);
            probe(round, due);
            if (stopped_) break;
            const double took = Timer() - started;
            {
                std::lock_guard lock(shared_.mutex);
                shared_.roundSeconds = took;
            }
            // A value that grows older than --max-age while nothing is polled is withdrawn from
            // MQTT too (the exposition judges ages at each scrape).
            while (!stopped_ && Timer() < due) {
                expire();
                stopped_ = WaitForStopSignal(std::min(1.0, due - Timer()));
                reloadIfAsked();
            }
        }
    }

    // The clean stop: every analyser no longer watched, and the process gone.
    void close() {
        metrics_.stop();
        if (linkOpen_) Ulvo_Cerrar_Puerto(link_.port);
        if (feed_) feed_->allDown(polls());
        stopMqtt();
    }

    ~Server() { stopMqtt(); }

  private:
    std::vector<AnalyserPoll> polls() const {
        std::vector<AnalyserPoll> all;
        for (const Watched& w : watched_) all.push_back(w.poll);
        return all;
    }

    // SIGHUP, or the file changed: the web configuration read again; a file that cannot be used
    // leaves the settings in force as they are.
    void reloadIfAsked() {
        const bool asked = TakeReloadRequest();
        if (asked) stopped_ = stopped_ || WaitForStopSignal(0);
        if (o_.webConfig.empty() || o_.metrics.host.empty()) return;
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

    // One attempt at opening the link a round (and one more after losing it in the round).
    bool linkReady() {
        if (linkOpen_ || triedLink_) return linkOpen_;
        triedLink_ = true;
        linkOpen_ = OpenLink(o_, link_, [this](const std::string& why) {
            if (!WaitForStopSignal(0)) linkNotice_.happened(why); // a stop is no failure of the link
        });
        if (linkOpen_) linkNotice_.ended();
        return linkOpen_;
    }

    void poll(Watched& w, long round, bool probing) {
        std::string previous;
        if (!linkReady()) {
            stopped_ = WaitForStopSignal(0);
            if (stopped_) return;
            // Nothing was asked of the analyser: no reason to ask it less often.
            CountLinkFailure(w.poll);
            return publish(w, previous);
        }
        {
            // An address that did not answer is asked once, not as often as the link would try.
            ExchangeLimits limits = CurrentExchangeLimits();
            const ExchangeLimits kept = limits;
            if (probing) limits.comAttempts = 1;
            SetExchangeLimits(limits);
            link_.address = static_cast<unsigned char>(w.poll.address);
            const PollEnd end = PollAnalyser(link_, blocks_, w.poll, previous);
            SetExchangeLimits(kept);
            if (end == PollEnd::Stopped) {
                stopped_ = true;
                return;
            }
            w.asked = true;
            w.answers = end != PollEnd::Silent;
            const ExchangeEnd how = LastExchangeEnd();
            // A link without a working connection is opened anew, at once or at the next round.
            if (!LinkIsOpen() || how == ExchangeEnd::ConnectionClosed || how == ExchangeEnd::DeviceGone) {
                Ulvo_Cerrar_Puerto(link_.port);
                linkOpen_ = false;
                triedLink_ = false;
            }
        }
        if (w.answers) {
            w.missed = 0;
        } else {
            w.nextProbe = round + std::min(1 << std::min(w.missed, 3), kLongestProbeGap);
            ++w.missed;
        }
        if (!previous.empty())
            Say("address " + std::to_string(w.poll.address) + ": serial number " + previous + " is now " + w.poll.serial +
                ": another meter, whose values go under its own serial number");
        publish(w, previous);
    }

    // Absent addresses whose turn has come, the longest waiting first, as many as fit before the
    // next round is due; when none has fitted for 8 rounds, one all the same. So a probe delays an
    // answering analyser by one reply wait at most, and seldom.
    void probe(long round, double due) {
        std::vector<Watched*> turn;
        for (Watched& w : watched_)
            if (!w.answers && w.nextProbe <= round) turn.push_back(&w);
        std::stable_sort(turn.begin(), turn.end(), [](const Watched* a, const Watched* b) { return a->nextProbe < b->nextProbe; });
        for (Watched* w : turn) {
            const bool fits = Timer() + replyWait_ <= due;
            if (stopped_ || (!fits && round - lastProbe_ < kLongestProbeGap)) break;
            poll(*w, round, true);
            lastProbe_ = round;
        }
    }

    void publish(Watched& w, const std::string& previousSerial) {
        {
            std::lock_guard lock(shared_.mutex);
            shared_.polls[static_cast<size_t>(&w - watched_.data())] = w.poll;
        }
        if (feed_) feed_->polled(w.poll, previousSerial);
        if (ha_) ha_->polled(w.poll, previousSerial);
        reloadIfAsked(); // between two polls, so a long round does not keep it waiting
        w.toldUp = w.poll.up;
        expire();
    }

    void expire() {
        const double now = NowSeconds();
        for (Watched& w : watched_)
            if (w.toldUp && !IsFresh(w.poll, now, maxAge_)) {
                if (feed_) feed_->expired(w.poll);
                w.toldUp = false;
            }
    }

    // Polls of the answering analysers that take longer than the interval are said once, and again
    // when they are back within it: the link cannot keep up, so each is polled less often.
    void sayPollsLength(double took) {
        const bool over = took > o_.interval;
        if (over == overrun_) return;
        overrun_ = over;
        if (over)
            Say(strfmt("polling the analysers that answer took %.1f s, longer than the %g s interval: each is "
                       "polled once a round",
                       took, o_.interval));
        else
            Say(strfmt("rounds are back within the %g s interval", o_.interval));
    }

    const CliOptions& o_;
    std::vector<std::string> blocks_;
    std::vector<Watched> watched_;
    Shared shared_;
    MetricsEndpoint metrics_;
    KindNotices refusals_{Say};
    std::string webState_; // the web configuration file as it was last read
    std::optional<MqttPublisher> mqtt_;
    std::optional<MqttFeed> feed_;
    std::optional<HaDiscovery> ha_;
    RepeatedNotice linkNotice_;
    LinkTarget link_{};
    bool linkOpen_ = false, triedLink_ = false, stopped_ = false, overrun_ = false;
    long lastProbe_ = -kLongestProbeGap; // the round of the last probe
    double replyWait_, maxAge_;
};

} // namespace

int CheckServeOptions(const CliOptions& o) {
    if (o.metrics.host.empty() && o.mqtt.host.empty()) {
        Say("serve needs somewhere to serve to: --metrics [HOST:]PORT, --mqtt HOST[:PORT], or both");
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
    if (!server.open()) return 1;
    server.run();
    server.close();
    Say("stopped");
    return 0;
}
