// Modbus/TCP Security on the link, for the executables that link the TLS client: rq55ctl-tls (which
// rq55ctl runs in its place for any command given --tls-cert), rq55ctl-serve and rq55ctl-report.
// rq55ctl itself stays without OpenSSL, whose loading would cost every short command.
#pragma once

#include "options.h"

// The --tls files in force for every connection the link makes; true without them. False when
// they cannot be used, said on stderr: a usage error.
bool UseLinkTls(const CliOptions& options);
