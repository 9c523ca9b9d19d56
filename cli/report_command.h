// The report command of rq55ctl, in the executable that loads Qt Gui for it (rq55ctl-report).
#pragma once

#include "commands.h"

// The report of one analyser into the file the options name (its %a replaced by the address).
int ReportCommand(const CliOptions& options, const LinkTarget& link);
