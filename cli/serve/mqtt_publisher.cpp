#include "serve/mqtt_publisher.h"

#include <mosquitto.h>

#include "serve/mqtt_tls.h"
#include "serve/names.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstWaitSeconds = 1, kLongestWaitSeconds = 60;

} // namespace

MqttPublisher::MqttPublisher() { mosquitto_lib_init(); }

MqttPublisher::~MqttPublisher() {
    stop();
    mosquitto_lib_cleanup();
}

bool MqttPublisher::start(const Settings& settings, Say say, std::string& why) {
    settings_ = settings;
    host_ = settings.host;
    port_ = settings.port;
    say_ = std::move(say);
    refused_ = std::make_unique<RepeatedNotice>(say_);
    // Unique per process, even for two containers that are both pid 1.
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x", random() & 0xFFFFFF);
    clientId_ = "rq55-" + settings.instance + "-" + suffix;
    online_ = OnlineTopic(settings.prefix, settings.instance);
    const std::string& user = settings.user;
    const std::string& password = settings.password;
    client_ = mosquitto_new(clientId_.c_str(), true, this);
    if (!client_) {
        why = "the MQTT client cannot be made";
        return false;
    }
    mosquitto_threaded_set(client_, true);
    if (!user.empty()) mosquitto_username_pw_set(client_, user.c_str(), password.empty() ? nullptr : password.c_str());
    mosquitto_will_set(client_, online_.c_str(), 5, "false", kQos, true);
    if (settings.tls) {
        mosquitto_int_option(client_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        mosquitto_void_option(client_, MOSQ_OPT_SSL_CTX, settings.tls);
    }
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_message_callback_set(client_, onMessage);
    thread_ = std::thread([this] { run(); });
    return true;
}

void MqttPublisher::run() {
    int wait = kFirstWaitSeconds;
    bool everConnected = false;
    for (;;) {
        // Asynchronous, so that a stop need not wait out a connection to a host that does not
        // answer: the loop below completes it.
        int rc = everConnected ? mosquitto_reconnect_async(client_)
                               : mosquitto_connect_async(client_, host_.c_str(), port_, kKeepAliveSeconds);
        everConnected = everConnected || rc == MOSQ_ERR_SUCCESS;
        bool acknowledged = false;
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(client_, 100, 1);
            std::lock_guard lock(mutex_);
            if (stopping_ && !connected_) return; // stopped, and the broker told so
            if (connected_ && !acknowledged) wait = kFirstWaitSeconds; // a new connection starts the waits over
            acknowledged = acknowledged || connected_;
        }
        const int error = errno;
        // TLS is said in OpenSSL's words, which the client does not give.
        const std::string tlsFailure = settings_.tls ? TakeMqttTlsFailure() : "";
        {
            std::lock_guard lock(mutex_);
            connected_ = false;
            inFlight_ = 0;
            changed_.notify_all();
            if (stopping_) return;
        }
        say_("MQTT broker " + host_ + ":" + std::to_string(port_) + (acknowledged ? ": connection lost: " : ": ") +
             (!tlsFailure.empty() ? "TLS: " + tlsFailure
              : rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(error))
                                     : std::string(mosquitto_strerror(rc))) +
             "; trying again in " +
             std::to_string(wait) + " s");
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, std::chrono::seconds(wait), [this] { return stopping_; })) return;
        wait = std::min(wait * 2, kLongestWaitSeconds);
    }
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        p->say_("MQTT broker " + p->host_ + ":" + std::to_string(p->port_) + " refused: " + mosquitto_connack_string(rc));
        return;
    }
    p->say_("connected to the MQTT broker at " + p->host_ + ":" + std::to_string(p->port_));
    std::map<std::string, Pending> waiting;
    {
        std::lock_guard lock(p->mutex_);
        p->connected_ = true;
        waiting.swap(p->waiting_);
    }
    p->send(p->online_, {"true", true});
    for (const auto& [topic, message] : waiting) p->send(topic, message);
    for (const std::string& topic : p->settings_.subscriptions)
        if (const int sub = mosquitto_subscribe(p->client_, nullptr, topic.c_str(), kQos); sub != MOSQ_ERR_SUCCESS)
            p->refused_->happened("MQTT: " + topic + " cannot be subscribed to: " + mosquitto_strerror(sub));
    if (p->settings_.connected) p->settings_.connected();
}

void MqttPublisher::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (!p->settings_.received || !message->topic) return;
    const char* bytes = static_cast<const char*>(message->payload);
    p->settings_.received(message->topic, std::string(bytes ? bytes : "", static_cast<size_t>(message->payloadlen)));
}

void MqttPublisher::onDisconnect(mosquitto*, void* self, int) {
    auto* p = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(p->mutex_);
    p->connected_ = false;
    p->changed_.notify_all();
}

void MqttPublisher::onPublish(mosquitto*, void* self, int) {
    auto* p = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(p->mutex_);
    --p->inFlight_;
    p->changed_.notify_all();
}

void MqttPublisher::send(const std::string& topic, const Pending& message) {
    // Not under the lock: the library's thread takes it in the callbacks.
    const int rc = mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(message.payload.size()),
                                     message.payload.data(), kQos, message.retain);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && rc != MOSQ_ERR_CONN_LOST) {
        // Not a matter of the connection: it would fail again at every try.
        refused_->happened("MQTT: " + topic + " cannot be published: " + mosquitto_strerror(rc));
        return;
    }
    std::lock_guard lock(mutex_);
    if (rc == MOSQ_ERR_SUCCESS)
        ++inFlight_;
    else
        waiting_[topic] = message; // lost with the connection: sent again once it is back
}

void MqttPublisher::publish(const std::string& topic, const std::string& payload, bool retain) {
    {
        std::lock_guard lock(mutex_);
        if (!connected_) {
            waiting_[topic] = {payload, retain};
            return;
        }
    }
    send(topic, {payload, retain});
}

void MqttPublisher::stop() {
    if (!client_) return;
    bool connected = false;
    {
        std::lock_guard lock(mutex_);
        connected = connected_;
    }
    if (connected) send(online_, {"false", true});
    std::unique_lock lock(mutex_);
    // What was published reaches the broker before the connection closes; a broker that does
    // not acknowledge is not waited for long: the farewell takes two seconds at most.
    changed_.wait_for(lock, std::chrono::milliseconds(1500), [this] { return inFlight_ <= 0 || !connected_; });
    stopping_ = true;
    changed_.notify_all();
    const bool disconnect = connected_;
    lock.unlock();
    if (disconnect) {
        // Sent by the thread, which ends once the connection has closed.
        mosquitto_disconnect(client_);
        lock.lock();
        changed_.wait_for(lock, std::chrono::milliseconds(500), [this] { return !connected_; });
        lock.unlock();
    }
    if (thread_.joinable()) thread_.join();
    mosquitto_destroy(client_);
    client_ = nullptr;
    if (settings_.tls) FreeMqttTlsContext(settings_.tls);
    settings_.tls = nullptr;
}
