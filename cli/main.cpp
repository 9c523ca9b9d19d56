// rq55ctl: an RQ55 analyser from the command line, without a display.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <cstdio>

#include "commands.h"
#include "options.h"
#include "serve/serve.h"
#include "stop_signals.h"

namespace {

// Qt's own warnings (a runtime directory it would like, a font it substitutes) mean nothing to the
// user of a command-line tool, whose stderr says what the tool did; errors still get through.
void quietQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "rq55ctl: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQtWarnings);
    std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    const bool parsed = ParseCommandLine(args, options, error);
    // A command that runs until stopped ends between two reads, never inside an exchange; the
    // signals are held before Qt starts any thread, so every thread inherits it.
    if (parsed && (options.watchSeconds > 0 || options.command == "serve")) HoldStopSignals();
    // A report is laid out with Qt's fonts, which need a GUI application: on no display at all.
    std::unique_ptr<QCoreApplication> app;
    if (parsed && options.command == "report") {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (!parsed) {
        std::fprintf(stderr, "rq55ctl: %s\n(rq55ctl --help lists the commands)\n", error.c_str());
        return 2;
    }
    if (options.command == "help") {
        Print(kUsage);
        return CheckedOutput(0);
    }
    if (options.command == "version") {
        Print(std::string("rq55ctl ") + RQ55_VERSION + "\n");
        return CheckedOutput(0);
    }
    const bool serve = options.command == "serve";
    if (const int refused = serve ? CheckServeOptions(options) : CheckBeforeOpening(options)) return refused;

    PrepareLink(options);
    return CheckedOutput(serve ? Serve(options) : RunCommand(options));
}
