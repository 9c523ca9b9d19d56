// The files of the web configuration's TLS, read and checked before they are used: the server's
// certificate chain and its key, and the certificate authority of the clients' certificates.
#pragma once

#include <string>

#include "serve/http/web_config.h"

struct TlsFiles {
    std::string certificate, key, clientAuthority; // PEM; empty where not used
};

// False with the reason when a file cannot be used: not a regular file, larger than 1 MiB, not
// readable, no certificate or key in it, a key that is not the certificate's.
bool ReadTlsFiles(const WebConfig& web, TlsFiles& out, std::string& why);
