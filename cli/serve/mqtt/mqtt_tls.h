// TLS to the MQTT broker, on OpenSSL's own context handed to the MQTT client, so that a failure is
// said in OpenSSL's words (an unknown certificate authority, a name that is not the broker's, an
// expired certificate) where the client alone says only that TLS failed. The broker's certificate
// is always checked, against the given authorities or the system's, and its name against the host
// it was reached by: there is no way to turn that off.
#pragma once

#include <string>

struct ssl_ctx_st;

struct MqttTlsSettings {
    std::string cafile, capath; // the broker's certificate authorities; none given: the system's
    std::string cert, key;      // the client's own certificate and key, when the broker asks for one
    bool tls13 = false;         // TLS 1.3 at least; else 1.2
};

// The context for a connection to `host`; null with the reason when a file cannot be used.
ssl_ctx_st* MakeMqttTlsContext(const MqttTlsSettings& settings, const std::string& host, std::string& why);
void FreeMqttTlsContext(ssl_ctx_st* context);

// Why the last TLS connection failed, in words ("certificate has expired"); "" when nothing said
// why. Taken once: the next failure starts afresh.
std::string TakeMqttTlsFailure();
