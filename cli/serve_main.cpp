// rq55ctl-serve: the serve command of rq55ctl, which runs it in its place (exec, so its exit
// status and messages are rq55ctl's). It alone links the MQTT client (and through it the TLS
// libraries), which every other command can do without.
#include <QCoreApplication>

#include "commands.h"
#include "serve/secrets.h"
#include "serve/serve.h"
#include "startup.h"
#include "tls_link.h"
#include "stop_signals.h"

int main(int argc, char** argv) {
    QuietQtWarnings();
    std::optional<CliOptions> options = ReadCommandLine(argc, argv);
    if (!options) return kUsageError;
    if (options->command != "serve") {
        Say("rq55ctl-serve runs serve only; rq55ctl runs every other command");
        return kUsageError;
    }
    // serve stops between two exchanges, never inside one; the signals are held before Qt starts
    // any thread, so every thread inherits it.
    HoldStopSignals(true);
    QCoreApplication app(argc, argv);
    FindCredentials(*options);
    if (const int refused = CheckServeOptions(*options)) return refused;
    if (!UseLinkTls(*options)) return kUsageError;
    PrepareLink(*options);
    if (options->haDiscovery) LoadLanguageInForce(); // the entities' names
    return CheckedOutput(Serve(*options));
}
