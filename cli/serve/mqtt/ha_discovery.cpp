#include "serve/mqtt/ha_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <random>

#include "device/value_words.h"
#include "platform/system.h"
#include "serve/mqtt/names.h"

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

std::string deviceId(const std::string& serial) { return "rq55_" + SafeId(serial); }

// Texts of the panels' titles, before the captions of what they group.
constexpr int kTextEnergyCounters = 15, kTextAnalogOutput = 60, kTextRelay = 75;

std::string caption(const NamedValue& value, const LabelTable& names) { return CaptionOf(*value.info, names); }

// The relay (1 or 2) a value of the inputs/outputs block belongs to; 0 for none.
int relayOf(const NamedValue& value) {
    const std::string name = value.name();
    return name.size() > 6 && name.rfind("relay", 0) == 0 && name[6] == '_' ? name[5] - '0' : 0;
}

// The entity's name as the panels caption the value: its symbol after a caption several values
// share ("Active power P1"), or instead of a caption; the title of what it belongs to before it
// ("Energy counters: Active, imported", "Relay 1: Status", "Analog output 2: Present value"); the
// value's own name where it has neither caption nor symbol.
std::string entityName(const NamedValue& value, const LabelTable& names, bool sharedCaption) {
    const ValueInfo& info = *value.info;
    const int relay = relayOf(value);
    std::string name = caption(value, names);
    if (name.empty())
        name = *info.symbol ? info.symbol : relay ? value.name().substr(7) : value.name();
    else if (sharedCaption && *info.symbol)
        name += std::string(" ") + info.symbol;
    const auto under = [&](int title, int number) {
        if (!names[title].empty())
            name = names[title] + (number ? " " + std::to_string(number) : std::string()) + ": " + name;
    };
    if (info.kind == ValueKind::Counter) under(kTextEnergyCounters, 0);
    if (value.output > 0) under(kTextAnalogOutput, value.output);
    if (relay) under(kTextRelay, relay);
    return name;
}

// Jinja's own filters only: the value of that name in the block's message, exactly as it stands
// there (null, for a NaN, becomes None, which Home Assistant takes for an unknown state).
std::string valueTemplate(const std::string& name) {
    return "{{ (value_json['values'] | selectattr('name', 'equalto', '" + name + "') | first)['value'] }}";
}

QJsonObject entity(const HaSettings& s, const AnalyserPoll& p, const std::string& block, const NamedValue& value,
                   const std::string& name) {
    const HomeAssistantClass ha = HomeAssistantOf(*value.info);
    QJsonObject e{{"platform", "sensor"},
                  {"name", q(name)},
                  {"unique_id", q(deviceId(p.serial) + "_" + value.name())},
                  {"state_topic", q(SerialTopic(s.prefix, p.serial) + "/" + block)},
                  {"value_template", q(valueTemplate(value.name()))}};
    if (*ha.deviceClass) e["device_class"] = ha.deviceClass;
    if (*ha.stateClass) e["state_class"] = ha.stateClass;
    if (*ha.unit) e["unit_of_measurement"] = ha.unit;
    if (ha.diagnostic) e["entity_category"] = "diagnostic";
    return e;
}

} // namespace

std::string DiscoveryTopic(const HaSettings& s, const std::string& serial) {
    return s.haPrefix + "/device/" + deviceId(serial) + "/config";
}

std::string DiscoveryMessage(const HaSettings& s, const AnalyserPoll& p, const LabelTable& names) {
    const std::string model = "RQ" + std::to_string(p.modelCode);
    QJsonObject device{{"identifiers", QJsonArray{q(deviceId(p.serial))}},
                       {"name", q(model + " " + p.serial)},
                       {"model", q(model)},
                       {"serial_number", q(p.serial)}};
    if (!p.modelText.empty()) device["model_id"] = q(p.modelText);
    if (!p.versionText.empty()) device["sw_version"] = q(p.versionText);
    const auto available = [](const std::string& topic) {
        return QJsonObject{{"topic", q(topic)}, {"payload_available", "true"}, {"payload_not_available", "false"}};
    };
    std::map<std::string, int> captions; // how many values share each caption
    for (const auto& [block, values] : p.blocks)
        for (const NamedValue& value : values) ++captions[caption(value, names)];
    QJsonObject components;
    for (const auto& [block, values] : p.blocks)
        for (const NamedValue& value : values)
            components[q(value.name())] =
                entity(s, p, block, value, entityName(value, names, captions[caption(value, names)] > 1));
    const QJsonObject message{
        {"device", device},
        {"origin", QJsonObject{{"name", "rq55ctl"}, {"sw_version", RQ55_VERSION}}},
        // Unavailable the moment either is false: serve gone (its will) or the analyser not read.
        {"availability", QJsonArray{available(OnlineTopic(s.prefix, s.instance)),
                                    available(SerialTopic(s.prefix, p.serial) + "/up")}},
        {"availability_mode", "all"},
        {"components", components}};
    return QJsonDocument(message).toJson(QJsonDocument::Compact).toStdString();
}

HaDiscovery::HaDiscovery(MqttPublisher& mqtt, HaSettings settings, const LabelTable& names)
    : mqtt_(mqtt), settings_(std::move(settings)), names_(names), resender_([this] { resendLoop(); }) {}

HaDiscovery::~HaDiscovery() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    resender_.join();
}

void HaDiscovery::polled(const AnalyserPoll& p, const std::string& previousSerial) {
    std::string removed, added, message;
    {
        std::lock_guard lock(mutex_);
        // The meter that answered here before is gone: its device too, whether this serve announced
        // it or one before it did (remembered in the state folder).
        if (!previousSerial.empty()) {
            removed = DiscoveryTopic(settings_, previousSerial);
            announced_.erase(removed);
        }
        if (p.up && !p.serial.empty() && !announced_.count(DiscoveryTopic(settings_, p.serial))) {
            added = DiscoveryTopic(settings_, p.serial);
            message = announced_[added] = DiscoveryMessage(settings_, p, names_);
        }
    }
    if (!removed.empty()) mqtt_.publish(removed, "", true);
    if (!added.empty()) mqtt_.publish(added, message, true);
}

void HaDiscovery::received(const std::string& topic, const std::string& payload) {
    if (topic != statusTopic() || payload != "online") return;
    static std::mt19937 random{std::random_device{}()};
    std::lock_guard lock(mutex_);
    resendAt_ = Timer() + std::uniform_real_distribution<double>(0.0, 5.0)(random);
    changed_.notify_all();
}

void HaDiscovery::connected() { announceAll(); }

void HaDiscovery::announceAll() {
    std::map<std::string, std::string> all;
    {
        std::lock_guard lock(mutex_);
        all = announced_;
    }
    for (const auto& [topic, message] : all) mqtt_.publish(topic, message, true);
}

void HaDiscovery::resendLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (resendAt_ > 0 && Timer() >= resendAt_) {
            resendAt_ = 0;
            lock.unlock();
            announceAll();
            lock.lock();
            continue;
        }
        const double wait = resendAt_ > 0 ? resendAt_ - Timer() : 3600;
        changed_.wait_for(lock, std::chrono::duration<double>(wait));
    }
}
