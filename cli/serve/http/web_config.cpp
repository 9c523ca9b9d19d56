#include "serve/http/web_config.h"

#include <crypt.h>
#include <sys/stat.h>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/parser.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

namespace {

// Keys of the exporter toolkit's format that serve does not implement.
const std::set<std::string> kUnimplemented = {
    "cert", "key", "client_ca", "client_allowed_sans", "cipher_suites", "curve_preferences", "max_version",
    "prefer_server_cipher_suites", "rate_limit"};

// The headers the toolkit lets a configuration add to every answer.
const std::set<std::string> kSecurityHeaders = {"Strict-Transport-Security", "X-Frame-Options",
                                                "X-Content-Type-Options", "X-XSS-Protection",
                                                "Content-Security-Policy"};

struct Refusal {
    std::string why;
};

[[noreturn]] void refuse(int line, const std::string& why) { throw Refusal{"line " + std::to_string(line) + ": " + why}; }
[[noreturn]] void refuse(const YAML::Node& node, const std::string& why) { refuse(node.Mark().line + 1, why); }

// YAML takes the last of two equal keys in one map: the parser's events say where the second
// stands, so that it is refused instead ("min_version: TLS13" then "min_version: TLS12" would
// quietly give TLS12).
class DuplicateKeys : public YAML::EventHandler {
  public:
    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t) override { item(mark, ""); }
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t) override { item(mark, "*"); }
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t, const std::string& value) override {
        item(mark, value);
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        item(mark, "[");
        open_.push_back({false, {}, false});
    }
    void OnSequenceEnd() override { open_.pop_back(); }
    void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        item(mark, "{");
        open_.push_back({true, {}, false});
    }
    void OnMapEnd() override { open_.pop_back(); }

  private:
    struct Open {
        bool map;
        std::set<std::string> keys;
        bool value; // a map's next item is a value
    };
    void item(const YAML::Mark& mark, const std::string& text) {
        if (open_.empty() || !open_.back().map) return;
        Open& m = open_.back();
        if (!m.value && !m.keys.insert(text).second) refuse(mark.line + 1, text + " is given twice");
        m.value = !m.value;
    }
    std::vector<Open> open_;
};

std::string text(const YAML::Node& node, const std::string& key) {
    if (!node.IsScalar() || node.Scalar().empty()) refuse(node, key + " needs a value");
    return node.Scalar();
}

// A file named in the configuration: relative to the configuration's own folder, which among
// credentials holds the file by its credential's name.
std::string besideConfig(const std::string& config, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    if (IsCredential(config)) return CredentialPath(name);
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

void readHttp(const YAML::Node& at, const YAML::Node& http, WebConfig& c) {
    if (!http.IsMap()) refuse(at, "http_server_config must hold keys");
    for (const auto& entry : http) {
        checkKey(entry.first, {"http2", "headers"}, "http_server_config");
        if (entry.first.as<std::string>() == "http2") {
            if (text(entry.second, "http2") != "false")
                refuse(entry.second, "http2 is not implemented by rq55ctl serve (http2: false)");
            continue;
        }
        if (!entry.second.IsMap()) refuse(entry.first, "headers must hold header names and their values");
        for (const auto& header : entry.second) {
            const std::string name = header.first.as<std::string>();
            if (!kSecurityHeaders.count(name)) refuse(header.first, name + " is not a header the configuration may set");
            c.headers.emplace_back(name, text(header.second, name));
        }
    }
}

// A hash bcrypt takes: $2a$, $2b$ or $2y$, a cost of 04 to 31, 53 characters of salt and digest.
bool isBcryptHash(const std::string& hash) {
    static const std::regex form(R"(\$2[aby]\$(0[4-9]|[12][0-9]|3[01])\$[./A-Za-z0-9]{53})");
    if (!std::regex_match(hash, form)) return false;
    crypt_data scratch{};
    const char* result = crypt_r("", hash.c_str(), &scratch);
    return result && result[0] != '*';
}

void readUsers(const YAML::Node& at, const YAML::Node& users, WebConfig& c) {
    c.usersGiven = true;
    if (users.IsNull()) return;
    if (!users.IsMap()) refuse(at, "basic_auth_users must hold user names and their hashes");
    for (const auto& entry : users) {
        const std::string user = entry.first.as<std::string>();
        const std::string hash = text(entry.second, user);
        if (user.empty() || user.find(':') != std::string::npos)
            refuse(entry.first, "a user name holds no ':' and is not empty");
        if (!isBcryptHash(hash))
            refuse(entry.second, "the password of " + user + " is not a bcrypt hash ($2a$, $2b$ or $2y$, a cost "
                                                              "of 04 to 31 and 53 characters)");
        c.users[user] = hash;
    }
}

} // namespace

namespace {

// Reads the file and hands its top-level map to `read`; false with "FILE line N: reason".
bool readConfigFile(const std::string& path, const std::function<void(const YAML::Node&)>& read, std::string& why) {
    std::ifstream file(path);
    if (!file) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream content;
    content << file.rdbuf();
    try {
        std::istringstream events(content.str());
        YAML::Parser parser(events);
        DuplicateKeys duplicates;
        while (parser.HandleNextDocument(duplicates)) {
        }
        const YAML::Node root = YAML::Load(content.str());
        // An empty file (a secret that did not arrive) must not pass for a choice of plain HTTP.
        if (root.IsNull()) refuse(root, "the file holds no setting");
        if (!root.IsMap()) refuse(root, "the file must hold keys");
        read(root);
    } catch (const Refusal& refusal) {
        why = path + " " + refusal.why;
        return false;
    } catch (const YAML::Exception& error) {
        why = path + " line " + std::to_string(error.mark.line + 1) + ": " + error.msg;
        return false;
    }
    return true;
}

} // namespace

bool ReadWebConfig(const std::string& path, WebConfig& config, std::string& why) {
    WebConfig c;
    const bool read = readConfigFile(path, [&](const YAML::Node& root) {
        for (const auto& entry : root) {
            checkKey(entry.first, {"tls_server_config", "http_server_config", "basic_auth_users"},
                     "the web configuration");
            const std::string key = entry.first.as<std::string>();
            if (key == "tls_server_config") readTls(entry.first, entry.second, path, c);
            if (key == "http_server_config") readHttp(entry.first, entry.second, c);
            if (key == "basic_auth_users") readUsers(entry.first, entry.second, c);
        }
    }, why);
    if (read) config = c;
    return read;
}

bool ReadGatewayTlsConfig(const std::string& path, GatewayTlsConfig& config, std::string& why) {
    GatewayTlsConfig c;
    const bool read = readConfigFile(path, [&](const YAML::Node& root) {
        for (const auto& entry : root) {
            checkKey(entry.first, {"tls_server_config", "roles"}, "the gateway's TLS configuration");
            if (entry.first.as<std::string>() == "tls_server_config") {
                readTls(entry.first, entry.second, path, c.tls);
                if (!c.tls.requireClientCert)
                    refuse(entry.first, "the gateway asks every client for its certificate: client_auth_type "
                                        "RequireAndVerifyClientCert with client_ca_file");
                continue;
            }
            if (!entry.second.IsMap()) refuse(entry.first, "roles must hold role names and read-only or read-write");
            for (const auto& role : entry.second) {
                const std::string name = role.first.as<std::string>(), access = text(role.second, name);
                if (access != "read-only" && access != "read-write")
                    refuse(role.second, "role " + name + ": " + access + " is neither read-only nor read-write");
                c.roles[name] = access == "read-write";
            }
        }
        if (!c.tls.tls) refuse(root, "tls_server_config is missing");
    }, why);
    if (read) config = c;
    return read;
}

std::string FileState(const std::string& path) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) return "";
    return std::to_string(s.st_ino) + ":" + std::to_string(s.st_size) + ":" + std::to_string(s.st_mtim.tv_sec) + "." +
           std::to_string(s.st_mtim.tv_nsec);
}

namespace {
std::string credentials() {
    const char* directory = std::getenv("CREDENTIALS_DIRECTORY");
    return directory && *directory ? std::string(directory) : std::string();
}
} // namespace

std::string CredentialPath(const std::string& name) {
    const std::string directory = credentials();
    if (directory.empty() || name.empty() || name[0] == '/') return name;
    const std::string path = directory + "/" + name;
    struct stat s {};
    if (::stat(path.c_str(), &s) == 0) return path;
    std::string found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > name.size() + 1 && file.ends_with("_" + name)) {
            if (!found.empty()) return path; // two would do: neither is chosen
            found = entry.path().string();
        }
    }
    return found.empty() ? path : found;
}

bool IsCredential(const std::string& path) {
    const std::string directory = credentials();
    return !directory.empty() && path.size() > directory.size() && path.starts_with(directory + "/");
}
