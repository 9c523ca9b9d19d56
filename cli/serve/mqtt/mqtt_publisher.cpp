#include "serve/mqtt/mqtt_publisher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "serve/mqtt/mqtt_tls.h"
#include "serve/mqtt/names.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstWaitSeconds = 1, kLongestWaitSeconds = 60;
// A broker that has not taken the connection by then is given up for this attempt.
constexpr double kConnectSeconds = 10;

// Whether the broker takes a TCP connection, in the system's words when it does not. The client
// does not tell a refused connection under TLS: it goes on with TLS over a socket that never
// connected (libmosquitto 2.0).
bool takesConnections(const std::string& host, int port, std::string& why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); error != 0) {
        why = gai_strerror(error);
        return false;
    }
    why = "no address";
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int error = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            socklen_t size = sizeof error;
            error = poll(&p, 1, static_cast<int>(kConnectSeconds * 1000)) == 1 &&
                            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
                        ? error
                        : ETIMEDOUT;
        }
        close(fd);
        if (error == 0) {
            freeaddrinfo(found);
            why.clear();
            return true;
        }
        why = std::strerror(error);
    }
    freeaddrinfo(found);
    return false;
}

// A refusal for want of a user or password, in MQTT 5's reason codes or 3.1.1's return codes.
bool refusedForAuthorisation(int rc, bool v5) {
    return v5 ? rc == MQTT_RC_BAD_USERNAME_OR_PASSWORD || rc == MQTT_RC_NOT_AUTHORIZED
              : rc == CONNACK_REFUSED_BAD_USERNAME_PASSWORD || rc == CONNACK_REFUSED_NOT_AUTHORIZED;
}

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
    connectionNotice_ = std::make_unique<RepeatedNotice>(say_);
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
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!user.empty()) mosquitto_username_pw_set(client_, user.c_str(), password.empty() ? nullptr : password.c_str());
    mosquitto_will_set(client_, online_.c_str(), 5, "false", kQos, true);
    if (settings.tls) {
        mosquitto_int_option(client_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        mosquitto_void_option(client_, MOSQ_OPT_SSL_CTX, settings.tls);
    }
    mosquitto_connect_v5_callback_set(client_, onConnect);
    mosquitto_publish_v5_callback_set(client_, onPublish);
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
        std::string unreachable;
        int rc = settings_.tls && !takesConnections(host_, port_, unreachable) ? MOSQ_ERR_NO_CONN
                 : everConnected ? mosquitto_reconnect_async(client_)
                                 : mosquitto_connect_async(client_, host_.c_str(), port_, kKeepAliveSeconds);
        everConnected = everConnected || rc == MOSQ_ERR_SUCCESS;
        bool acknowledged = false;
        int error = 0;
        const auto begun = std::chrono::steady_clock::now();
        while (rc == MOSQ_ERR_SUCCESS) {
            const auto before = std::chrono::steady_clock::now();
            rc = mosquitto_loop(client_, 100, 1);
            {
                std::lock_guard lock(mutex_);
                if (stopping_ && !connected_) return; // stopped, and the broker told so
                if (connected_ && !acknowledged) wait = kFirstWaitSeconds; // a new connection starts the waits over
                acknowledged = acknowledged || connected_;
                if (refusedNow_) break; // the broker said no: said in its words already
            }
            if (acknowledged || rc != MOSQ_ERR_SUCCESS) continue;
            // Still connecting: a broker that never answers is given up, and no spinning meanwhile
            // (a TLS connection that fails has its socket ready at every turn).
            const auto now = std::chrono::steady_clock::now();
            if (now - begun > std::chrono::duration<double>(kConnectSeconds)) {
                rc = MOSQ_ERR_TIMEOUT;
                break;
            }
            if (now - before < std::chrono::milliseconds(10)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (rc == MOSQ_ERR_ERRNO && error == 0) error = errno;
        // TLS is said in OpenSSL's words, which the client does not give.
        const std::string tlsFailure = settings_.tls ? TakeMqttTlsFailure() : "";
        {
            std::lock_guard lock(mutex_);
            connected_ = false;
            inFlight_ = 0;
            changed_.notify_all();
            if (stopping_) return;
        }
        bool refused = false;
        {
            std::lock_guard lock(mutex_);
            std::swap(refused, refusedNow_);
        }
        if (!refused)
            connectionNotice_->happened(
                "MQTT broker " + host_ + ":" + std::to_string(port_) + (acknowledged ? ": connection lost: " : ": ") +
                (!unreachable.empty()         ? unreachable
                 : !tlsFailure.empty()        ? "TLS: " + tlsFailure
                 : rc == MOSQ_ERR_ERRNO       ? std::string(std::strerror(error))
                 : rc == MOSQ_ERR_TIMEOUT     ? std::string("no answer within 10 s")
                                              : std::string(mosquitto_strerror(rc))) +
                "; trying again in " + std::to_string(wait) + " s");
        mosquitto_disconnect(client_);
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, std::chrono::seconds(wait), [this] { return stopping_; })) return;
        wait = std::min(wait * 2, kLongestWaitSeconds);
    }
}

void MqttPublisher::onConnect(mosquitto* m, void* self, int rc, int, const mosquitto_property*) {
    auto* p = static_cast<MqttPublisher*>(self);
    const std::string broker = "MQTT broker " + p->host_ + ":" + std::to_string(p->port_);
    if (rc != 0) {
        {
            std::lock_guard lock(p->mutex_);
            p->refusedNow_ = true;
        }
        // A broker of MQTT 3.1.1 refuses version 5: spoken to in 3.1.1 from then on.
        if (p->v5_ && rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION) {
            p->v5_ = false;
            mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            p->say_(broker + " speaks MQTT 3.1.1, not 5: a message it does not take cannot be told apart from one it "
                             "takes");
            return;
        }
        std::string why = p->v5_ ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc);
        if (refusedForAuthorisation(rc, p->v5_))
            why += p->settings_.user.empty() ? " (it asks for a user: --mqtt-user USER and --mqtt-password-file FILE)"
                                             : " (check --mqtt-user and the password of --mqtt-password-file)";
        p->connectionNotice_->happened(broker + " refused the connection: " + why);
        return;
    }
    p->connectionNotice_->ended();
    p->say_("connected to the MQTT broker at " + p->host_ + ":" + std::to_string(p->port_) +
            (p->v5_ ? "" : " (MQTT 3.1.1: a message it refuses cannot be seen)"));
    std::map<std::string, Pending> waiting;
    {
        std::lock_guard lock(p->mutex_);
        p->connected_ = true;
        waiting.swap(p->waiting_);
    }
    if (!p->firstDone_)
        for (const auto& [topic, payload] : p->settings_.beforeOnline) p->send(topic, {payload, true});
    p->firstDone_ = true;
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

// The broker's acknowledgement: under MQTT 5 it carries a reason, 0x80 and above a refusal (0x87:
// not authorised, as an ACL says).
void MqttPublisher::onPublish(mosquitto*, void* self, int messageId, int reason, const mosquitto_property*) {
    auto* p = static_cast<MqttPublisher*>(self);
    std::string topic;
    {
        std::lock_guard lock(p->mutex_);
        --p->inFlight_;
        p->changed_.notify_all();
        const auto it = p->topics_.find(messageId);
        if (it == p->topics_.end()) {
            p->acknowledged_[messageId] = reason; // before its topic was noted
            return;
        }
        topic = it->second;
        p->topics_.erase(it);
    }
    if (reason >= 0x80) p->refused_->happened("MQTT: the broker refused " + topic + ": " + mosquitto_reason_string(reason));
}

void MqttPublisher::send(const std::string& topic, const Pending& message) {
    // Not under the lock: the library's thread takes it in the callbacks. Its acknowledgement may
    // come before the topic is noted here: its reason then waits for it.
    int messageId = 0;
    const int rc = mosquitto_publish(client_, &messageId, topic.c_str(), static_cast<int>(message.payload.size()),
                                     message.payload.data(), kQos, message.retain);
    if (rc == MOSQ_ERR_SUCCESS) {
        std::unique_lock lock(mutex_);
        const auto early = acknowledged_.find(messageId);
        if (early == acknowledged_.end()) {
            topics_[messageId] = topic;
        } else {
            const int reason = early->second;
            acknowledged_.erase(early);
            lock.unlock();
            if (reason >= 0x80) refused_->happened("MQTT: the broker refused " + topic + ": " + mosquitto_reason_string(reason));
        }
    }
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
