// What the web configuration asks of serve's HTTP endpoint, made ready to use: TLS's settings with
// its certificate, key and clients' certificate authority read and checked, and the users.
#pragma once

#include <QSslConfiguration>
#include <memory>
#include <optional>
#include <string>

#include "serve/basic_auth.h"
#include "serve/web_config.h"

struct EndpointSecurity {
    std::optional<QSslConfiguration> tls; // none: plain HTTP
    std::unique_ptr<BasicAuth> auth;      // none: no password asked
};

// False with the reason when a file it names cannot be used: not there, no certificate or key in
// it, a key that is not the certificate's.
bool MakeEndpointSecurity(const WebConfig& web, EndpointSecurity& out, std::string& why);
