// The TLS of the gateway's Modbus/TCP Security door: OpenSSL's server context from the door's
// configuration (TLS 1.2 at least, a client certificate required and checked against the
// configured authority), and the role a client's certificate carries in the Modbus role
// extension (OID 1.3.6.1.4.1.50316.802.1, a UTF-8 string).
#pragma once

#include <string>

#include "serve/http/web_config.h"

struct ssl_ctx_st;
struct ssl_st;

// The context; null with the reason when a file cannot be used.
ssl_ctx_st* MakeGatewayTlsContext(const GatewayTlsConfig& config, std::string& why);
void FreeGatewayTlsContext(ssl_ctx_st* context);

// The role in the client's certificate, once the handshake is done; "" when it carries none.
std::string ClientRole(ssl_st* connection);

// Why the last TLS operation of this thread failed, in OpenSSL's words; "" when it said nothing.
std::string TakeTlsFailure();
