// Modbus/TCP Security as a client: every TCP connection made after UseTlsForTcp speaks TLS 1.2 or
// later, shows this client's certificate (whose role the server reads) and takes the server only
// with a certificate from the given authority, for the host name or address connected to.
#pragma once

#include <string>

struct TlsClientFiles {
    std::string cert, key, ca; // PEM files
};

// False with the reason ("--tls-key client.key: No such file or directory") when a file cannot be
// used, or where this build has no TLS; nothing is connected here.
bool UseTlsForTcp(const TlsClientFiles& files, std::string& why);
