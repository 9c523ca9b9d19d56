// rq55ctl-tls: rq55ctl's commands over Modbus/TCP Security, which rq55ctl runs in its place (exec,
// so its exit status and messages are rq55ctl's) when given --tls-cert. It alone of the short
// commands links OpenSSL.
#include <csignal>

#include "commands.h"
#include "startup.h"
#include "stop_signals.h"
#include "tls_link.h"

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe is told by the write that meets it (Print)
    QuietQtWarnings();
    const std::optional<CliOptions> options = ReadCommandLine(argc, argv);
    if (!options) return kUsageError;
    if (options->watchSeconds > 0) HoldStopSignals();
    if (const int refused = CheckBeforeOpening(*options)) return refused;
    if (!UseLinkTls(*options)) return kUsageError;
    PrepareLink(*options);
    return CheckedOutput(RunCommand(*options));
}
