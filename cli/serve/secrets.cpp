#include "serve/secrets.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "serve/http/tls_files.h"

void FindCredentials(CliOptions& o) {
    for (std::string* file : {&o.webConfig, &o.mqttPasswordFile, &o.mqttCafile, &o.mqttCapath, &o.mqttCert, &o.mqttKey,
                              &o.gatewayTlsConfig, &o.tlsCert, &o.tlsKey, &o.tlsCa})
        *file = CredentialPath(*file);
}

bool ReadServeWebConfig(const CliOptions& o, WebConfig& config, std::string& why) {
    config = {};
    return o.webConfig.empty() || ReadWebConfig(o.webConfig, config, why);
}

bool MqttPassword(const CliOptions& o, std::string& password, std::string& why) {
    password.clear();
    if (o.mqttPasswordFile.empty()) {
        const char* fromEnvironment = std::getenv("RQ55_MQTT_PASSWORD");
        if (fromEnvironment) password = fromEnvironment;
        return true;
    }
    const std::string& path = o.mqttPasswordFile;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    // As ssh does with a private key: a secret others may read is no secret.
    if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        why = path + ": others may read or change it (mode " + std::to_string((status.st_mode >> 6) & 7) +
              std::to_string((status.st_mode >> 3) & 7) + std::to_string(status.st_mode & 7) +
              "); chmod 600 it";
        return false;
    }
    std::ifstream file(path);
    if (!file) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::getline(file, password); // the first line, without its line end
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

MqttTlsSettings MqttTlsOf(const CliOptions& o) {
    return {o.mqttCafile, o.mqttCapath, o.mqttCert, o.mqttKey, o.mqttTls13};
}

bool CheckSecrets(const CliOptions& o, std::string& why) {
    if (!o.webConfig.empty() && o.metrics.host.empty()) {
        why = "--web-config is for the endpoint of --metrics";
        return false;
    }
    WebConfig web;
    TlsFiles files;
    if (!ReadServeWebConfig(o, web, why) || !ReadTlsFiles(web, files, why)) return false;
    if (o.mqtt.host.empty() && (o.mqttTls || !o.mqttPasswordFile.empty())) {
        why = "the MQTT options go with --mqtt HOST[:PORT]";
        return false;
    }
    if (o.mqttCert.empty() != o.mqttKey.empty()) {
        why = "--mqtt-cert and --mqtt-key go together";
        return false;
    }
    std::string password;
    if (!MqttPassword(o, password, why)) return false;
    if (o.mqttTls) {
        ssl_ctx_st* context = MakeMqttTlsContext(MqttTlsOf(o), o.mqtt.host, why);
        if (!context) return false;
        FreeMqttTlsContext(context);
    }
    return true;
}
