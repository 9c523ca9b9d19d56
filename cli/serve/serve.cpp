#include "serve/serve.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "blocks.h"
#include "commands.h"
#include "device/identity.h"
#include "link/exchange.h"
#include "link/exchange_words.h"
#include "platform/system.h"
#include "serve/exposition.h"
#include "serve/metrics_server.h"
#include "serve/mqtt_publisher.h"
#include "stop_signals.h"

namespace {

// Why a read failed, as the failures' reason label.
std::string reasonOfLastFailure() { return LastEndWords().reason; }

// The JSON object `read --format json` prints, without its line end.
std::string json(const std::string& time, int address, const std::string& block, const std::vector<NamedValue>& values) {
    BlockPrinter printer(Format::Json);
    std::string line = printer.print(time, address, block, values);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

double nowSeconds() {
    double now = 0;
    GetCurrentDateTime(&now);
    return now;
}

// One analyser's poll: its serial number while unknown, then each block; it stops at the first
// read that fails, as a silent analyser would make every later one wait out its time too. False
// when a stop signal came between two reads.
bool poll(const LinkTarget& link, const std::vector<std::string>& blocks, AnalyserPoll& p) {
    const double started = Timer();
    p.up = false;
    p.blocks.clear();
    if (p.serial.empty()) {
        unsigned char block[kSerialNumberBytes] = {};
        if (RQ55_Ulvo_Leer_Num_Serie(link.port, link.address, block, link.spare, link.tcpPort, link.host) != 1) {
            ++p.failures[reasonOfLastFailure()];
            p.pollSeconds = Timer() - started;
            return true;
        }
        p.serial = IdentityFromSerialBlock(block).serial;
    }
    for (const std::string& name : blocks) {
        if (WaitForStopSignal(0)) return false;
        std::vector<NamedValue> values;
        std::string why;
        if (!ReadNamedBlock(name, link, values, why)) {
            ++p.failures[reasonOfLastFailure()];
            p.blocks.clear();
            p.pollSeconds = Timer() - started;
            return true;
        }
        p.blocks[name] = std::move(values);
    }
    p.up = true;
    p.lastSuccess = nowSeconds();
    p.pollSeconds = Timer() - started;
    return true;
}

} // namespace

int CheckServeOptions(const CliOptions& o) {
    if (o.metrics.host.empty() && o.mqtt.host.empty()) {
        Say("serve needs somewhere to serve to: --metrics [HOST:]PORT, --mqtt HOST[:PORT], or both");
        return 2;
    }
    for (const std::string& block : o.serveBlocks)
        if (!IsServedBlock(block)) {
            Say("--blocks: \"" + block + "\" is none of network, energy, demand, maxmin, status");
            return 2;
        }
    return 0;
}

int Serve(const CliOptions& o) {
    const std::vector<std::string> blocks =
        o.serveBlocks.empty() ? std::vector<std::string>{"network", "energy", "demand"} : o.serveBlocks;
    std::vector<AnalyserPoll> polls;
    for (int address : o.addresses.empty() ? std::vector<int>{1} : o.addresses) {
        AnalyserPoll& p = polls.emplace_back();
        p.address = address;
    }

    MetricsServer metrics;
    std::string why;
    if (!o.metrics.host.empty()) {
        if (!metrics.start(o.metrics.host, o.metrics.port, why)) {
            Say(why);
            return 1;
        }
        metrics.publish(Exposition(polls, blocks));
        Say("metrics at http://" + HostPortText(o.metrics) + "/metrics");
    }
    std::optional<MqttPublisher> mqtt;
    if (!o.mqtt.host.empty()) {
        const char* password = std::getenv("RQ55_MQTT_PASSWORD");
        mqtt.emplace();
        if (!mqtt->start(o.mqtt.host, o.mqtt.port, o.mqttTopic, o.mqttUser, password ? password : "", Say, why)) {
            Say(why);
            return 1;
        }
        Say("publishing to MQTT at " + HostPortText(o.mqtt) + " as " + mqtt->clientId());
    }

    LinkTarget link;
    bool linkOpen = false, stopped = false;
    while (!stopped) {
        const double started = Timer();
        if (!linkOpen) linkOpen = OpenLink(o, link);
        bool linkFailed = !linkOpen;
        for (AnalyserPoll& p : polls) {
            link.address = static_cast<unsigned char>(p.address);
            if (!linkOpen) {
                p.up = false;
                p.blocks.clear();
                ++p.failures["link"];
                continue;
            }
            if (!poll(link, blocks, p)) {
                stopped = true;
                break;
            }
            const std::string reason = reasonOfLastFailure();
            linkFailed = linkFailed || (!p.up && (reason == "connection_closed" || reason == "device_gone"));
            if (!mqtt || p.serial.empty()) continue;
            const std::string time = IsoTimeNow(), topic = o.mqttTopic + "/" + p.serial + "/";
            for (const auto& [name, values] : p.blocks) mqtt->publish(topic + name, json(time, p.address, name, values), false);
            mqtt->publish(topic + "up", p.up ? "true" : "false", true);
        }
        metrics.publish(Exposition(polls, blocks));
        // A connection that ended is opened anew for the next round.
        if (linkFailed && linkOpen) {
            Ulvo_Cerrar_Puerto(link.port);
            linkOpen = false;
        }
        // A round longer than the interval starts the next at once.
        stopped = stopped || WaitForStopSignal(o.interval - (Timer() - started));
    }
    if (linkOpen) Ulvo_Cerrar_Puerto(link.port);
    if (mqtt) {
        for (const AnalyserPoll& p : polls)
            if (!p.serial.empty()) mqtt->publish(o.mqttTopic + "/" + p.serial + "/up", "false", true);
        mqtt->stop();
    }
    Say("stopped");
    return 0;
}
