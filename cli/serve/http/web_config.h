// serve's web configuration file (--web-config), in the format of Prometheus' exporter toolkit, so
// that one file serves both and `promtool check web-config` checks it:
//
//   tls_server_config:
//     cert_file: server.crt          # relative names are the file's folder's
//     key_file: server.key
//     client_auth_type: RequireAndVerifyClientCert   # or NoClientCert, the default
//     client_ca_file: clients-ca.crt
//     min_version: TLS13             # or TLS12, the default
//   http_server_config:
//     http2: false                   # serve speaks HTTP/1.1 only
//     headers:                       # the security headers the toolkit allows, on every answer
//       Strict-Transport-Security: max-age=31536000
//   basic_auth_users:
//     prometheus: $2y$10$...         # a bcrypt hash
//
// A key of the toolkit's format that serve does not implement (another client_auth_type, cipher
// lists, http2: true ...) is refused, never ignored: a security setting must not be lost in
// silence. So is a key given twice in one place, and a password hash bcrypt cannot use.
#pragma once

#include <map>
#include <string>
#include <vector>

struct WebConfig {
    bool tls = false;
    std::string certFile, keyFile, clientCaFile; // as paths to open
    bool requireClientCert = false;
    bool tls13 = false;                          // min_version TLS13
    bool usersGiven = false;                     // basic_auth_users was there (perhaps empty)
    std::map<std::string, std::string> users;     // user name -> bcrypt hash
    std::vector<std::pair<std::string, std::string>> headers; // added to every answer
};

// Reads and checks the file; false with "FILE line N: reason" (or the system's reason it cannot
// be read). The certificate and key files are named, not read, here.
bool ReadWebConfig(const std::string& path, WebConfig& config, std::string& why);

// serve's gateway door for Modbus/TCP Security (--gateway-tls-config), in the same format:
//
//   tls_server_config:               # as above; a client certificate is required
//     cert_file: gateway.crt
//     key_file: gateway.key
//     client_auth_type: RequireAndVerifyClientCert
//     client_ca_file: clients-ca.crt
//   roles:                           # the role a client certificate carries: what it may do
//     operator: read-write
//     viewer: read-only              # a role not named here, or none, reads only
struct GatewayTlsConfig {
    WebConfig tls;
    std::map<std::string, bool> roles; // role -> may write
};
bool ReadGatewayTlsConfig(const std::string& path, GatewayTlsConfig& config, std::string& why);

// Under a service manager that hands over credentials ($CREDENTIALS_DIRECTORY), the credential a
// relative file name stands for: the one so named, else the only one named PREFIX_NAME (a folder
// handed over as credential PREFIX names each of its files so), else NAME in that folder. NAME as
// it is without credentials, or when it is absolute.
std::string CredentialPath(const std::string& name);

// Whether the file is one of those credentials: a copy made when the service started.
bool IsCredential(const std::string& path);

// What a file is now (its inode, size and modification time), to see that it changed.
std::string FileState(const std::string& path);
