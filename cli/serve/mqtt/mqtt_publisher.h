// Publishing to an MQTT broker through libmosquitto. The process announces itself under
// PREFIX/serve/<instance>/online (true, retained, with false as its last will), a topic that stays
// the same from one start to the next; its client id is rq55-<instance>-<random>, so no two
// processes share one. A broker that is not there, or goes away, is connected to again after a
// wait of 1 s doubling to 60 s; meanwhile only the newest message of each topic is kept, and sent
// once it is back. A message the broker cannot take is said on stderr. Topics may be subscribed to
// at every connection; what arrives on them is handed over on the client's own thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/notices.h"

struct mosquitto;
struct ssl_ctx_st;

class MqttPublisher {
  public:
    using Say = std::function<void(const std::string&)>;
    MqttPublisher();
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts connecting, which goes on in the background; `say` tells of each connection made or
    // lost. False with the reason when the client cannot even be made.
    struct Settings {
        std::string host;
        int port = 0;
        std::string prefix, instance, user, password;
        std::vector<std::string> subscriptions;
        std::function<void(const std::string& topic, const std::string& payload)> received;
        std::function<void()> connected; // after every connection the broker took
        ssl_ctx_st* tls = nullptr;       // TLS to the broker (MakeMqttTlsContext), given over; null: none
        // Retained messages sent at the first connection before online is said (what a serve
        // before this one left behind, cleared).
        std::vector<std::pair<std::string, std::string>> beforeOnline;
    };
    bool start(const Settings& settings, Say say, std::string& why);
    void publish(const std::string& topic, const std::string& payload, bool retain);
    // A clean stop: online false, what is waiting sent, the connection closed; two seconds at most.
    void stop();
    const std::string& clientId() const { return clientId_; }

  private:
    struct Pending {
        std::string payload;
        bool retain;
    };
    static void onConnect(mosquitto* m, void* self, int rc, int flags, const struct mqtt5__property* properties);
    static void onDisconnect(mosquitto* m, void* self, int rc);
    static void onPublish(mosquitto* m, void* self, int messageId, int reason, const struct mqtt5__property* properties);
    static void onMessage(mosquitto* m, void* self, const struct mosquitto_message* message);
    // The background thread: connect, run the connection while it lasts, wait, again.
    void run();
    void send(const std::string& topic, const Pending& message);

    mosquitto* client_ = nullptr;
    std::string host_, clientId_, online_;
    Settings settings_;
    int port_ = 0;
    Say say_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool connected_ = false; // the broker acknowledged the connection
    int inFlight_ = 0;       // published and not yet acknowledged by the broker
    std::map<std::string, Pending> waiting_; // the newest message of each topic, while disconnected
    std::unique_ptr<RepeatedNotice> refused_; // messages the client or broker could not take
    std::unique_ptr<RepeatedNotice> connectionNotice_; // connections that failed, by the same rule
    std::map<int, std::string> topics_; // the topic of each message in flight, by its id
    std::map<int, int> acknowledged_;   // a reason that came before its message's topic was noted
    bool v5_ = true;                    // MQTT 5, until the broker says it speaks 3.1.1 only
    bool refusedNow_ = false;           // the broker refused the connection under way
    bool firstDone_ = false;            // the first connection has been made
};
