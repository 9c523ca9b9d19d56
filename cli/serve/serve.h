// rq55ctl serve: the analysers of one link polled in turn, round after round, for Prometheus
// (GET /metrics) and an MQTT broker, until SIGINT or SIGTERM. Each analyser's values are
// published as soon as its own poll ends, under the serial number read in that poll, and
// withdrawn when a poll fails or they grow older than --max-age. An address that does not answer
// is probed with one attempt, less and less often, after the answering analysers' polls.
#pragma once

#include "options.h"

// Everything `serve` refuses before anything is opened; 0 when it may run.
int CheckServeOptions(const CliOptions& options);

int Serve(const CliOptions& options);
