// Every option of rq55ctl, one row each: its name, the value it takes, the heading --help lists it
// under, what it does, and how its value is taken into CliOptions (checked, with the words of a
// refusal). The parser and --help are built from it.
#pragma once

#include <span>
#include <string>

#include "options.h"

using Take = bool (*)(CliOptions& o, const std::string& option, const std::string& value, std::string& error);

struct OptionRow {
    const char* name;
    const char* value; // "" for a flag
    const char* heading;
    const char* help;
    Take take;
    bool serveOnly = false;
};

std::span<const OptionRow> OptionTable();

// Whether a word is one of rq55ctl's commands.
bool IsCommand(const std::string& word);
