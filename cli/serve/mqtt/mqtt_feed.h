// What serve publishes over MQTT, under PREFIX:
//   PREFIX/<serial>/<block>   each block of a poll read whole, as read --format json prints it
//   PREFIX/<serial>/up        true after a poll read whole, false after one that failed, when
//                             its values grow older than --max-age, and at a clean stop (retained)
//   PREFIX/serve/<instance>/address-<N>/up
//                             the same for the address, whichever meter answers there: false
//                             from the start for an address that has not answered yet (retained)
//   PREFIX/<serial>/maintenance, PREFIX/serve/<instance>/address-<N>/maintenance
//                             true while a gateway client works on the analyser, false otherwise
//                             and at a clean stop (retained; with --gateway only)
//   PREFIX/serve/<instance>/online
//                             true while serve runs; false at a clean stop, or as its last will
// The serial number and the instance are topic levels by SafeId. An `up` is only meaningful
// while the instance's online is true.
#pragma once

#include <string>
#include <vector>

#include "serve/poll/analyser_poll.h"
#include "serve/mqtt/mqtt_publisher.h"

class MqttFeed {
  public:
    MqttFeed(MqttPublisher& mqtt, std::string prefix, std::string instance)
        : mqtt_(mqtt), prefix_(std::move(prefix)), instance_(std::move(instance)) {}

    // Every up false: before any poll (each address says false) and at the clean stop.
    void allDown(const std::vector<AnalyserPoll>& polls);
    // A poll ended: its blocks when it was read whole, and its up. A meter that replaced another at
    // the address first has the old one's up set false, so its series end there.
    void polled(const AnalyserPoll& p, const std::string& previousSerial);
    // The analyser's values grew older than --max-age without a poll ending: up false, once.
    void expired(const AnalyserPoll& p);

    // A gateway client works on the analyser (true), or no longer.
    void maintenance(const AnalyserPoll& p, bool on);

  private:
    void setUp(const AnalyserPoll& p, bool up);
    MqttPublisher& mqtt_;
    std::string prefix_, instance_;
};
