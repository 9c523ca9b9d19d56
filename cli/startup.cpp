#include "startup.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void quiet(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "rq55ctl: %s\n", qPrintable(message));
}

} // namespace

void QuietQtWarnings() { qInstallMessageHandler(quiet); }

std::optional<CliOptions> ReadCommandLine(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (ParseCommandLine(args, options, error)) return options;
    std::fprintf(stderr, "rq55ctl: %s\n(rq55ctl --help lists the commands)\n", error.c_str());
    return std::nullopt;
}
