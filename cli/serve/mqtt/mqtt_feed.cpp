#include "serve/mqtt/mqtt_feed.h"

#include <cmath>

#include "blocks.h"
#include "platform/system.h"
#include "serve/mqtt/names.h"

namespace {

// The JSON object `read --format json` prints, without its line end.
std::string json(const std::string& time, int address, const std::string& block, const std::vector<NamedValue>& values) {
    BlockPrinter printer(Format::Json);
    std::string line = printer.print(time, address, block, values);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

} // namespace

void MqttFeed::setUp(const AnalyserPoll& p, bool up) {
    const char* value = up ? "true" : "false";
    if (!p.serial.empty()) mqtt_.publish(SerialTopic(prefix_, p.serial) + "/up", value, true);
    mqtt_.publish(AddressTopic(prefix_, instance_, p.address, "up"), value, true);
}

void MqttFeed::allDown(const std::vector<AnalyserPoll>& polls) {
    for (const AnalyserPoll& p : polls) setUp(p, false);
}

void MqttFeed::polled(const AnalyserPoll& p, const std::string& previousSerial) {
    if (!previousSerial.empty()) mqtt_.publish(SerialTopic(prefix_, previousSerial) + "/up", "false", true);
    const std::string time = IsoTimeNow();
    if (p.up)
        for (const auto& [name, values] : p.blocks) {
            // A counter withheld by the guard is null, never its previous reading again.
            std::vector<NamedValue> shown = values;
            for (NamedValue& v : shown)
                if (p.withheld.count(v.name())) v.number = NAN;
            mqtt_.publish(SerialTopic(prefix_, p.serial) + "/" + name, json(time, p.address, name, shown), false);
        }
    setUp(p, p.up);
}

void MqttFeed::expired(const AnalyserPoll& p) { setUp(p, false); }

void MqttFeed::maintenance(const AnalyserPoll& p, bool on) {
    const char* value = on ? "true" : "false";
    if (!p.serial.empty()) mqtt_.publish(SerialTopic(prefix_, p.serial) + "/maintenance", value, true);
    mqtt_.publish(AddressTopic(prefix_, instance_, p.address, "maintenance"), value, true);
}
