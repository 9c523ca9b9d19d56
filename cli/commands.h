// rq55ctl's commands. Each returns the exit status: 0 success, 1 an analyser did not answer,
// refused a write or the link could not be opened, 2 a usage error or a bad file, 3 differences.
#pragma once

#include <string>

#include "device/register_map.h"
#include "options.h"

// Everything that can be refused before the link is opened: the block name, the backup file's
// %a, the configuration file of restore and diff. 0 when the command may run.
int CheckBeforeOpening(const CliOptions& options);

int RunCommand(const CliOptions& options);

// One line on stderr, after the tool's name.
void Say(const std::string& line);

// Opens the link the options name; false with the reason said on stderr.
bool OpenLink(const CliOptions& options, LinkTarget& link);

// The link as the tool uses it: a closed connection told in one line on stderr, the analyser's
// rest between two requests, and the reply wait of --timeout (scan derives its own).
void PrepareLink(const CliOptions& options);
