// Reading one language of language.ini into a table of texts, with no window: the desktop program
// and rq55ctl's report both read it.
#pragma once

#include <optional>
#include <string>

#include "lang/label_table.h"

// Where the remembered language lives in the settings store.
inline constexpr const char* kLanguageKey = "SOFTWARE\\RQ55\\Language";
inline constexpr const char* kLanguageValue = "Language";

// The path of language.ini in the program directory.
std::string LanguageFilePath();

// The reason ReadLanguageTable gives when the file has no section at that position.
inline constexpr const char* kNoSection = "no such section";

// The section at the language's position (1, 2, ...). Numbering runs without gaps from 0000: the
// first missing or empty text ends the section, and the texts from there on are taken from
// another section, or are "text N" where that lacks them too: never a blank caption. `incomplete`
// then says so, in both languages ("" for a whole section). Nothing, with the reason, when the
// section is missing or memory runs out.
std::optional<LabelTable> ReadLanguageTable(int language, std::string& incomplete, std::string& why);
