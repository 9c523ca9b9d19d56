#include "startup.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lang/label_table.h"
#include "lang/language_table.h"
#include "platform/system.h"
#include "tool_link.h"

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

void LoadLanguageInForce() {
    constexpr int kEnglish = 2;
    std::string stored, incomplete, why;
    int language = kEnglish;
    if (RegReadString(REGKEY_HKLM, kLanguageKey, kLanguageValue, stored) == 0 && std::atoi(stored.c_str()) > 0)
        language = std::atoi(stored.c_str());
    std::optional<LabelTable> table = ReadLanguageTable(language, incomplete, why);
    if (!table) table = ReadLanguageTable(kEnglish, incomplete, why);
    if (!table) return Say(LanguageFilePath() + ": " + why + "; its texts stay empty");
    if (!incomplete.empty()) Say(incomplete);
    etiqueta = std::move(*table);
}
