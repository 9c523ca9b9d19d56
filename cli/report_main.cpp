// rq55ctl-report: the report command of rq55ctl, which runs it in its place (exec, so its exit
// status and messages are rq55ctl's). It alone loads Qt Gui, whose fonts and PDF writer the
// report needs and every other command can do without.
#include <QGuiApplication>
#include <cstdlib>

#include "commands.h"
#include "report_command.h"
#include "startup.h"
#include "tls_link.h"

int main(int argc, char** argv) {
    QuietQtWarnings();
    const std::optional<CliOptions> options = ReadCommandLine(argc, argv);
    if (!options) return kUsageError;
    // The report is laid out with Qt's fonts, which need a GUI application: on no display at all.
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QGuiApplication app(argc, argv);
    if (options->command != "report") {
        Say("rq55ctl-report writes reports only; rq55ctl runs every other command");
        return kUsageError;
    }
    if (const int refused = CheckBeforeOpening(*options)) return refused;
    if (!UseLinkTls(*options)) return kUsageError;
    PrepareLink(*options);
    LoadLanguageInForce();
    return CheckedOutput(RunCommand(*options, ReportCommand));
}
