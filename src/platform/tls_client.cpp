// The TLS client on OpenSSL, as a layer of the TCP client (platform/tcp.h). RQ55 for Windows is
// built without OpenSSL and says so.
#include "platform/tls_client.h"

#ifdef _WIN32

bool UseTlsForTcp(const TlsClientFiles&, std::string& why) {
    why = "Modbus/TCP Security (--tls-cert, --tls-key, --tls-ca) is not part of RQ55 for Windows.";
    return false;
}

#else

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/sockets.h"
#include "platform/system.h"
#include "platform/tcp.h"

namespace {

using Clock = std::chrono::steady_clock;

SSL_CTX* g_context = nullptr;

// What OpenSSL said last, in its own short words ("tlsv13 alert certificate required").
std::string failure() {
    const unsigned long error = ERR_peek_last_error();
    const char* reason = error ? ERR_reason_error_string(error) : nullptr;
    ERR_clear_error();
    return reason ? reason : "";
}

// A file OpenSSL may read: a regular one (never a device it would read for ever) that opens.
bool readable(const std::string& option, const std::string& path, std::string& why) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        why = option + " " + path + ": " + (std::filesystem::exists(path, error) ? "not a regular file" : std::strerror(ENOENT));
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        why = option + " " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

// Waits for the socket to be ready for what the TLS step asked; false at the deadline or a stop.
bool waitFor(int fd, int sslError, Clock::time_point deadline) {
    pollfd p{fd, static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
    while (Clock::now() < deadline && !WaitInterrupted()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (pollSockets(&p, 1, static_cast<int>(std::min<long long>(left, 100))) > 0) return true;
    }
    return false;
}

// TLS 1.3 finishes the client's handshake before the server has judged its certificate: a refusal
// comes as the server's first record. The server's tickets, or any record, say it was taken; a
// server that sends nothing is taken after a short look.
bool acceptedByServer(SSL* ssl, int fd, std::string& why) {
    if (SSL_version(ssl) < TLS1_3_VERSION) return true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(300);
    char byte = 0;
    while (waitFor(fd, SSL_ERROR_WANT_READ, deadline)) {
        const int n = SSL_peek(ssl, &byte, 1);
        const int error = n > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl, n);
        if (error == SSL_ERROR_NONE) return true;
        if (error == SSL_ERROR_WANT_READ) return true; // a ticket, read and kept
        const std::string said = failure();
        why = "TLS: the server refused this client" + (said.empty() ? std::string() : ": " + said);
        return false;
    }
    return true;
}

void* tlsOpen(long long socket, const std::string& host, int waitMs, std::string& why) {
    const int fd = static_cast<int>(socket);
    SSL* ssl = SSL_new(g_context);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    ERR_clear_error();
    // The server's certificate must name what was connected to: its address, or its name.
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) != 1) {
        SSL_set1_host(ssl, host.c_str());
        SSL_set_tlsext_host_name(ssl, host.c_str());
    }
    SSL_set_fd(ssl, fd);
    int result = 0;
    while ((result = SSL_connect(ssl)) != 1) {
        const int error = SSL_get_error(ssl, result);
        if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && waitFor(fd, error, deadline)) continue;
        const long verified = SSL_get_verify_result(ssl);
        const std::string said = failure();
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            why = WaitInterrupted() ? "stopped" : strfmt("TLS: no handshake within %g s", waitMs / 1000.0);
        else if (verified != X509_V_OK)
            why = std::string("TLS: the server's certificate is not taken: ") + X509_verify_cert_error_string(verified);
        else if (!said.empty())
            why = "TLS: " + said;
        else
            why = "TLS: the server closed the connection during the handshake";
        SSL_free(ssl);
        return nullptr;
    }
    if (!acceptedByServer(ssl, fd, why)) {
        SSL_free(ssl);
        return nullptr;
    }
    return ssl;
}

long move(SSL* ssl, int n) {
    if (n > 0) return n;
    const int error = SSL_get_error(ssl, n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return kTcpLayerWouldBlock;
    ERR_clear_error();
    return error == SSL_ERROR_ZERO_RETURN ? 0 : kTcpLayerBroken;
}

long tlsReceive(void* state, void* buffer, int size) {
    auto* ssl = static_cast<SSL*>(state);
    return move(ssl, SSL_read(ssl, buffer, size));
}

long tlsSend(void* state, const void* buffer, int size) {
    auto* ssl = static_cast<SSL*>(state);
    return move(ssl, SSL_write(ssl, buffer, size));
}

void tlsClose(void* state) {
    auto* ssl = static_cast<SSL*>(state);
    SSL_shutdown(ssl); // the close notify, if the socket takes it now; nothing is waited for
    ERR_clear_error();
    SSL_free(ssl);
}

const TcpLayer kTls{tlsOpen, tlsReceive, tlsSend, tlsClose};

} // namespace

bool UseTlsForTcp(const TlsClientFiles& files, std::string& why) {
    if (!readable("--tls-cert", files.cert, why) || !readable("--tls-key", files.key, why) ||
        !readable("--tls-ca", files.ca, why))
        return false;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    const auto fail = [&](const std::string& what) {
        const std::string said = failure();
        why = what + (said.empty() ? std::string() : ": " + said);
        SSL_CTX_free(context);
        return false;
    };
    if (!context) return fail("TLS");
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context, files.cert.c_str()) != 1) return fail("--tls-cert " + files.cert);
    if (SSL_CTX_use_PrivateKey_file(context, files.key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        if (ERR_GET_REASON(ERR_peek_last_error()) != X509_R_KEY_VALUES_MISMATCH) return fail("--tls-key " + files.key);
        ERR_clear_error(); // said in full
        return fail("--tls-key " + files.key + " is not the key of --tls-cert " + files.cert);
    }
    if (SSL_CTX_load_verify_locations(context, files.ca.c_str(), nullptr) != 1) return fail("--tls-ca " + files.ca);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // Requests are written as the socket takes them.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_free(g_context);
    g_context = context;
    SetTcpLayer(&kTls);
    return true;
}

#endif
