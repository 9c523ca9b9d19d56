// rq55ctl serve: the analysers of one link polled in turn, round after round, for Prometheus
// (GET /metrics) and an MQTT broker, until SIGINT or SIGTERM.
#pragma once

#include "options.h"

// Everything `serve` refuses before anything is opened; 0 when it may run.
int CheckServeOptions(const CliOptions& options);

int Serve(const CliOptions& options);
