// Home Assistant's MQTT discovery of the analysers serve watches (--ha-discovery): one device per
// analyser, announced in one retained message on PREFIX/device/rq55_<serial>/config (Home
// Assistant's device-based discovery: the device, its availability and all its entities arrive
// together or not at all, and one empty message removes them all). The device is named from the
// serial number, never from a text a user may change; each entity is one value of the blocks
// served, reading the block's JSON message, available while serve's online and the analyser's up
// are both true.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lang/label_table.h"
#include "serve/poll/analyser_poll.h"
#include "serve/mqtt/mqtt_publisher.h"

struct HaSettings {
    std::string haPrefix; // Home Assistant's discovery prefix: homeassistant
    std::string prefix;   // serve's own topics: rq55
    std::string instance; // serve's instance name
};

// The discovery topic of the analyser with this serial number.
std::string DiscoveryTopic(const HaSettings& settings, const std::string& serial);
// The discovery message of the analyser, from its last poll read whole; entity names in the
// language of `names` (the panels' captions).
std::string DiscoveryMessage(const HaSettings& settings, const AnalyserPoll& poll, const LabelTable& names);

class HaDiscovery {
  public:
    HaDiscovery(MqttPublisher& mqtt, HaSettings settings, const LabelTable& names);
    ~HaDiscovery();
    HaDiscovery(const HaDiscovery&) = delete;
    HaDiscovery& operator=(const HaDiscovery&) = delete;

    // A poll ended: an analyser read whole for the first time is announced; the meter it replaced
    // at its address, if any, is removed (an empty retained message).
    void polled(const AnalyserPoll& poll, const std::string& previousSerial);
    // What arrived on Home Assistant's status topic: "online" (its birth message) has every device
    // announced again after a random wait of up to five seconds, so that many publishers do not
    // all answer at once.
    void received(const std::string& topic, const std::string& payload);
    // A new connection to the broker: every device announced again at once (the broker may have
    // lost its retained messages).
    void connected();
    // The topic to subscribe to for Home Assistant's birth message.
    std::string statusTopic() const { return settings_.haPrefix + "/status"; }

  private:
    void announceAll();
    void resendLoop();

    MqttPublisher& mqtt_;
    const HaSettings settings_;
    const LabelTable& names_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::string> announced_; // discovery topic -> message
    double resendAt_ = 0; // when every device is to be announced again; 0 none due
    bool stopping_ = false;
    std::thread resender_;
};
