#include "lang/language_table.h"

#include <algorithm>
#include <new>

#include "lang/ini.h"
#include "platform/system.h"

namespace {

// Fills what the section lacks from another section, or with "text N"; says what was missing.
std::string complete(LabelTable& table, IniText ini, const std::string& section) {
    int first = 0;
    while (first < kTextCount && !table[first].empty()) ++first;
    if (first == kTextCount) return "";
    table.texts.resize(static_cast<size_t>(std::max(table.size(), kTextCount)));
    std::string other;
    for (int k = 1; k <= Ini_NumberOfSections(ini) && other.empty(); ++k)
        if (Ini_NthSectionName(ini, k, other) != 1 || other == section) other.clear();
    for (int n = first; n < kTextCount; ++n) {
        std::string& text = table.texts[static_cast<size_t>(n)];
        if (!text.empty()) continue;
        if (other.empty() || Ini_GetStringCopy(ini, other, strfmt("%04d", n), text) != 1 || text.empty())
            text = strfmt("text %d", n);
    }
    const std::string file = LanguageFilePath();
    return strfmt("%s: la sección \"%s\" termina antes del texto %d; los textos que faltan se toman de \"%s\".\n"
                  "%s: the section \"%s\" ends before text %d; the missing texts are taken from \"%s\".",
                  file.c_str(), section.c_str(), first, other.c_str(), file.c_str(), section.c_str(), first,
                  other.c_str());
}

} // namespace

std::string LanguageFilePath() { return strfmt("%s/language.ini", GetProjectDir().c_str()); }

std::optional<LabelTable> ReadLanguageTable(int language, std::string& incomplete, std::string& why) {
    incomplete.clear();
    IniText ini = Ini_New(0);
    if (!ini) {
        why = "Not enough memory";
        return std::nullopt;
    }
    Ini_ReadFromFile(ini, LanguageFilePath());
    std::string section;
    if (Ini_NthSectionName(ini, language, section) != 1) {
        Ini_Dispose(ini);
        why = kNoSection;
        return std::nullopt;
    }
    LabelTable table;
    try {
        table.texts.resize(static_cast<size_t>(Ini_NumberOfItems(ini, section)));
    } catch (const std::bad_alloc&) {
        Ini_Dispose(ini);
        why = "Not enough memory";
        return std::nullopt;
    }
    for (int n = 0; n < table.size(); ++n) {
        std::string text;
        if (Ini_GetStringCopy(ini, section, strfmt("%04d", n), text) != 1) break;
        table.texts[static_cast<size_t>(n)] = std::move(text);
    }
    incomplete = complete(table, ini, section);
    Ini_Dispose(ini);
    return table;
}
