// rq55ctl's commands. Each returns the exit status: 0 success, 1 an analyser did not answer,
// refused a write or the link could not be opened, 2 a usage error or a bad file, 3 differences.
#pragma once

#include <string>

#include "options.h"
#include "tool_link.h"

// Everything that can be refused before the link is opened: the block name, the backup file's
// %a, the configuration file of restore and diff. 0 when the command may run.
int CheckBeforeOpening(const CliOptions& options);

int RunCommand(const CliOptions& options);
