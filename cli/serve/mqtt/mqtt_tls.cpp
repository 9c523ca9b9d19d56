#include "serve/mqtt/mqtt_tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_failure; // the certificate check's words, from the client's thread

// OpenSSL's own check, kept; its reason noted when it fails.
int noteFailure(int preverified, X509_STORE_CTX* store) {
    if (!preverified) {
        const int error = X509_STORE_CTX_get_error(store);
        std::lock_guard lock(g_mutex);
        if (g_failure.empty()) g_failure = X509_verify_cert_error_string(error);
    }
    return preverified;
}

std::string openSslReason() {
    char text[256] = {};
    ERR_error_string_n(ERR_peek_last_error(), text, sizeof text);
    ERR_clear_error();
    return text;
}

bool isAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

} // namespace

ssl_ctx_st* MakeMqttTlsContext(const MqttTlsSettings& s, const std::string& host, std::string& why) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        why = "TLS: " + openSslReason();
        return nullptr;
    }
    const auto fail = [&](const std::string& what) {
        why = what + ": " + openSslReason();
        SSL_CTX_free(context);
        return nullptr;
    };
    SSL_CTX_set_min_proto_version(context, s.tls13 ? TLS1_3_VERSION : TLS1_2_VERSION);
    if (s.cafile.empty() && s.capath.empty()) {
        if (SSL_CTX_set_default_verify_paths(context) != 1) return fail("the system's certificate authorities");
    } else if (SSL_CTX_load_verify_locations(context, s.cafile.empty() ? nullptr : s.cafile.c_str(),
                                             s.capath.empty() ? nullptr : s.capath.c_str()) != 1) {
        return fail(s.cafile.empty() ? s.capath : s.cafile);
    }
    if (!s.cert.empty() && SSL_CTX_use_certificate_chain_file(context, s.cert.c_str()) != 1) return fail(s.cert);
    if (!s.key.empty() && SSL_CTX_use_PrivateKey_file(context, s.key.c_str(), SSL_FILETYPE_PEM) != 1)
        return fail(s.key);
    if (!s.cert.empty() && SSL_CTX_check_private_key(context) != 1) return fail(s.key + " and " + s.cert);
    // The broker's name (or address) must be the one its certificate names.
    X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
    if (isAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) != 1
                        : X509_VERIFY_PARAM_set1_host(check, host.c_str(), 0) != 1)
        return fail("the broker's name " + host);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, noteFailure);
    return context;
}

void FreeMqttTlsContext(ssl_ctx_st* context) { SSL_CTX_free(context); }

std::string TakeMqttTlsFailure() {
    std::lock_guard lock(g_mutex);
    std::string failure = g_failure.empty() && ERR_peek_last_error() ? openSslReason() : g_failure;
    g_failure.clear();
    return failure;
}
