// What rq55ctl and its report writer do first: Qt's warnings kept off stderr, the command line read.
#pragma once

#include <optional>

#include "options.h"

// Qt's own warnings (a runtime directory it would like, a font it substitutes) mean nothing to the
// user of a command-line tool, whose stderr says what the tool did; errors still get through.
void QuietQtWarnings();

// The language the program was last set to, or English, into the program's texts (for a report's
// headings and Home Assistant's entity names); a section that lacks texts is said on stderr.
void LoadLanguageInForce();

// The options of the command line, or nothing once its fault is said on stderr (exit status 2).
std::optional<CliOptions> ReadCommandLine(int argc, char** argv);
