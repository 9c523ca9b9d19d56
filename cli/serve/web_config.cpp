#include "serve/web_config.h"

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace {

// Keys of the exporter toolkit's format that serve does not implement.
const std::set<std::string> kUnimplemented = {
    "http_server_config", "cert", "key", "client_ca", "client_allowed_sans", "cipher_suites",
    "curve_preferences", "max_version", "prefer_server_cipher_suites", "rate_limit"};

struct Refusal {
    std::string why;
};

[[noreturn]] void refuse(const YAML::Node& node, const std::string& why) {
    throw Refusal{"line " + std::to_string(node.Mark().line + 1) + ": " + why};
}

std::string text(const YAML::Node& node, const std::string& key) {
    if (!node.IsScalar() || node.Scalar().empty()) refuse(node, key + " needs a value");
    return node.Scalar();
}

// A file named in the configuration: relative to the configuration's own folder.
std::string besideConfig(const std::string& config, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    const size_t slash = config.rfind('/');
    return slash == std::string::npos ? name : config.substr(0, slash + 1) + name;
}

void checkKey(const YAML::Node& key, const std::set<std::string>& known, const std::string& where) {
    const std::string name = key.as<std::string>();
    if (kUnimplemented.count(name)) refuse(key, name + " is not implemented by rq55ctl serve");
    if (!known.count(name)) refuse(key, name + " is not a key of " + where);
}

// `at` is the key, whose line a fault of the whole section is said at.
void readTls(const YAML::Node& at, const YAML::Node& tls, const std::string& path, WebConfig& c) {
    if (!tls.IsMap()) refuse(at, "tls_server_config must hold keys");
    for (const auto& entry : tls) {
        checkKey(entry.first, {"cert_file", "key_file", "client_auth_type", "client_ca_file", "min_version"},
                 "tls_server_config");
        const std::string key = entry.first.as<std::string>();
        const std::string value = text(entry.second, key);
        if (key == "cert_file") c.certFile = besideConfig(path, value);
        if (key == "key_file") c.keyFile = besideConfig(path, value);
        if (key == "client_ca_file") c.clientCaFile = besideConfig(path, value);
        if (key == "client_auth_type") {
            if (value != "NoClientCert" && value != "RequireAndVerifyClientCert")
                refuse(entry.second, "client_auth_type " + value +
                                         " is not implemented (NoClientCert or RequireAndVerifyClientCert)");
            c.requireClientCert = value == "RequireAndVerifyClientCert";
        }
        if (key == "min_version") {
            if (value != "TLS12" && value != "TLS13")
                refuse(entry.second, "min_version " + value + " is not implemented (TLS12 or TLS13)");
            c.tls13 = value == "TLS13";
        }
    }
    if (c.certFile.empty() || c.keyFile.empty()) refuse(at, "tls_server_config needs cert_file and key_file");
    if (c.requireClientCert && c.clientCaFile.empty())
        refuse(at, "client_auth_type RequireAndVerifyClientCert needs client_ca_file");
    if (!c.requireClientCert && !c.clientCaFile.empty())
        refuse(at, "client_ca_file is used only with client_auth_type RequireAndVerifyClientCert");
    c.tls = true;
}

void readUsers(const YAML::Node& at, const YAML::Node& users, WebConfig& c) {
    if (!users.IsMap()) refuse(at, "basic_auth_users must hold user names and their hashes");
    for (const auto& entry : users) {
        const std::string user = entry.first.as<std::string>();
        const std::string hash = text(entry.second, user);
        if (user.empty() || user.find(':') != std::string::npos)
            refuse(entry.first, "a user name holds no ':' and is not empty");
        if (hash.rfind("$2a$", 0) != 0 && hash.rfind("$2b$", 0) != 0 && hash.rfind("$2y$", 0) != 0)
            refuse(entry.second, "the password of " + user + " is not a bcrypt hash ($2a$, $2b$ or $2y$)");
        c.users[user] = hash;
    }
}

} // namespace

bool ReadWebConfig(const std::string& path, WebConfig& config, std::string& why) {
    std::ifstream file(path);
    if (!file) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream content;
    content << file.rdbuf();
    WebConfig c;
    try {
        const YAML::Node root = YAML::Load(content.str());
        // An empty file (a secret that did not arrive) must not pass for a choice of plain HTTP.
        if (root.IsNull()) refuse(root, "the file holds no setting");
        if (!root.IsMap()) refuse(root, "the file must hold keys");
        for (const auto& entry : root) {
            checkKey(entry.first, {"tls_server_config", "basic_auth_users"}, "the web configuration");
            const std::string key = entry.first.as<std::string>();
            if (key == "tls_server_config") readTls(entry.first, entry.second, path, c);
            if (key == "basic_auth_users") readUsers(entry.first, entry.second, c);
        }
    } catch (const Refusal& refusal) {
        why = path + " " + refusal.why;
        return false;
    } catch (const YAML::Exception& error) {
        why = path + " line " + std::to_string(error.mark.line + 1) + ": " + error.msg;
        return false;
    }
    config = c;
    return true;
}
