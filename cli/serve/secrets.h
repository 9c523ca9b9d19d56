// What serve is given to guard its endpoint and to reach its broker: the web configuration, TLS to
// the broker, the MQTT password (and the link's TLS files, found here, read by the link). Each is checked before anything is opened, so a bad file stops
// serve at once (status 2) with the file and the reason.
#pragma once

#include <string>

#include "options.h"
#include "serve/mqtt/mqtt_tls.h"
#include "serve/http/web_config.h"

// Under a service manager that hands over credentials ($CREDENTIALS_DIRECTORY), a relative name of
// a file of these options is one of them, by its own name or its credential's (CredentialPath).
void FindCredentials(CliOptions& options);

// Every file of the options, read and checked; false with the reason.
bool CheckSecrets(const CliOptions& options, std::string& why);

// The web configuration (an empty one without --web-config).
bool ReadServeWebConfig(const CliOptions& options, WebConfig& config, std::string& why);

// The MQTT password: from --mqtt-password-file (refused when others may read it), else from
// RQ55_MQTT_PASSWORD; "" for none.
bool MqttPassword(const CliOptions& options, std::string& password, std::string& why);

// The broker's TLS settings, from the options.
MqttTlsSettings MqttTlsOf(const CliOptions& options);
