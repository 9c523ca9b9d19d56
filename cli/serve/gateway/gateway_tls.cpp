#include "serve/gateway/gateway_tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

constexpr const char* kRoleOid = "1.3.6.1.4.1.50316.802.1";

} // namespace

std::string TakeTlsFailure() {
    char text[256] = {};
    const unsigned long error = ERR_peek_last_error();
    if (error) ERR_error_string_n(error, text, sizeof text);
    ERR_clear_error();
    return text;
}

ssl_ctx_st* MakeGatewayTlsContext(const GatewayTlsConfig& config, std::string& why) {
    const WebConfig& c = config.tls;
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    const auto fail = [&](const std::string& what) {
        why = "--gateway-tls-config: " + what + ": " + TakeTlsFailure();
        SSL_CTX_free(context);
        return nullptr;
    };
    if (!context) return fail("TLS");
    SSL_CTX_set_min_proto_version(context, c.tls13 ? TLS1_3_VERSION : TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context, c.certFile.c_str()) != 1) return fail(c.certFile);
    if (SSL_CTX_use_PrivateKey_file(context, c.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) return fail(c.keyFile);
    if (SSL_CTX_check_private_key(context) != 1) return fail(c.keyFile + " and " + c.certFile);
    if (SSL_CTX_load_verify_locations(context, c.clientCaFile.c_str(), nullptr) != 1) return fail(c.clientCaFile);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    // Replies are written as the socket takes them, from a buffer that may move meanwhile.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return context;
}

void FreeGatewayTlsContext(ssl_ctx_st* context) { SSL_CTX_free(context); }

std::string ClientRole(ssl_st* connection) {
    X509* certificate = SSL_get0_peer_certificate(connection);
    ASN1_OBJECT* oid = OBJ_txt2obj(kRoleOid, 1);
    const int at = certificate && oid ? X509_get_ext_by_OBJ(certificate, oid, -1) : -1;
    ASN1_OBJECT_free(oid);
    if (at < 0) return "";
    const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(X509_get_ext(certificate, at));
    const unsigned char* bytes = ASN1_STRING_get0_data(data);
    ASN1_UTF8STRING* role = d2i_ASN1_UTF8STRING(nullptr, &bytes, ASN1_STRING_length(data));
    if (!role) return "";
    std::string text(reinterpret_cast<const char*>(ASN1_STRING_get0_data(role)), static_cast<size_t>(ASN1_STRING_length(role)));
    ASN1_UTF8STRING_free(role);
    return text;
}
