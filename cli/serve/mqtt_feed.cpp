#include "serve/mqtt_feed.h"

#include "blocks.h"
#include "platform/system.h"
#include "serve/names.h"

namespace {

// The JSON object `read --format json` prints, without its line end.
std::string json(const std::string& time, int address, const std::string& block, const std::vector<NamedValue>& values) {
    BlockPrinter printer(Format::Json);
    std::string line = printer.print(time, address, block, values);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

} // namespace

std::string MqttFeed::serialTopic(const std::string& serial) const { return prefix_ + "/" + SafeId(serial); }

void MqttFeed::setUp(const AnalyserPoll& p, bool up) {
    const char* value = up ? "true" : "false";
    if (!p.serial.empty()) mqtt_.publish(serialTopic(p.serial) + "/up", value, true);
    mqtt_.publish(prefix_ + "/serve/" + instance_ + "/address-" + std::to_string(p.address) + "/up", value, true);
}

void MqttFeed::start(const std::vector<AnalyserPoll>& polls) {
    for (const AnalyserPoll& p : polls) setUp(p, false);
}

void MqttFeed::polled(const AnalyserPoll& p, const std::string& previousSerial) {
    if (!previousSerial.empty()) mqtt_.publish(serialTopic(previousSerial) + "/up", "false", true);
    const std::string time = IsoTimeNow();
    if (p.up)
        for (const auto& [name, values] : p.blocks)
            mqtt_.publish(serialTopic(p.serial) + "/" + name, json(time, p.address, name, values), false);
    setUp(p, p.up);
}

void MqttFeed::expired(const AnalyserPoll& p) { setUp(p, false); }

void MqttFeed::stop(const std::vector<AnalyserPoll>& polls) {
    for (const AnalyserPoll& p : polls) setUp(p, false);
}
