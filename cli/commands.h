// rq55ctl's commands. Each returns the exit status: 0 success, 1 an analyser did not answer,
// refused a write or the link could not be opened, 2 a usage error or a bad file, 3 differences.
#pragma once

#include <string>

#include "options.h"
#include "tool_link.h"

// The exit statuses.
enum CommandStatus { kOk = 0, kFailed = 1, kUsageError = 2, kDifferent = 3 };

// The file of one address: the pattern with each %a replaced by it (backup and report).
std::string FileNameFor(const std::string& pattern, int address);

// Everything that can be refused before the link is opened: the block name, the backup file's
// %a, the configuration file of restore and diff. 0 when the command may run.
int CheckBeforeOpening(const CliOptions& options);

// A command run once for each address, on the open link.
using AddressCommand = int (*)(const CliOptions& options, const LinkTarget& link);

// Runs the command; report is what writes a report, null where Qt Gui is not loaded.
int RunCommand(const CliOptions& options, AddressCommand report = nullptr);
