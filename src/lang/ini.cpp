#include "lang/ini.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct Item {
    std::string name;
    std::string value; // as written in the file, escapes still encoded
};

// Names are looked up by their ASCII-folded form; the first item of each name is the one found.
using NameIndex = std::unordered_map<std::string, std::size_t>;

struct Section {
    std::string name;
    std::vector<Item> items;
    NameIndex index;
};

// Longer lines are cut here rather than rejected, so an overlong text still shows its beginning.
constexpr std::size_t kMaxLineLength = 255;
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineMarker = " Line";

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Only ASCII letters fold: "ESPAÑOL" does not find "Español", which keeps the rule byte-exact
// and independent of any locale.
std::string foldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = lowerAscii(c);
    return folded;
}

bool nameLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
    });
}

std::string_view trimRight(std::string_view s) {
    const std::size_t last = s.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : trimRight(s.substr(first));
}

// Reads one line of at most kMaxLineLength bytes; the rest of a longer line is skipped. LF, CR and
// NUL end a line, and CR LF or LF CR count as one end, so files from any system read alike.
// Returns false when the file has nothing left.
bool readLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n' && c != '\r' && c != '\0') {
        if (line.size() < kMaxLineLength)
            line.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    if (c == '\n' || c == '\r') {
        const int partner = (c == '\n') ? '\r' : '\n';
        const int next = std::getc(file);
        if (next != partner && next != EOF)
            std::ungetc(next, file);
    }
    return true;
}

// Recognises "base Line<digits>". first tells whether the digits give line number 1.
bool splitContinuationName(std::string_view name, std::string_view& base, bool& first) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    if (digits == name.size() || digits < kLineMarker.size() ||
        name.substr(digits - kLineMarker.size(), kLineMarker.size()) != kLineMarker)
        return false;
    base = name.substr(0, digits - kLineMarker.size());
    std::string_view number = name.substr(digits);
    number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
    first = (number == "1");
    return true;
}

// Replaces each run "base Line1", "base Line<n>", ... (n not 1) by one item "base" holding the
// values joined in file order, at the run's place. The base names of a run must match exactly.
// Builds a new list and swaps it in, so running out of memory here leaves the section as read.
void joinLongValues(std::vector<Item>& items) {
    std::vector<Item> joinedItems;
    joinedItems.reserve(items.size());
    std::size_t i = 0;
    while (i < items.size()) {
        std::string_view base;
        bool first = false;
        if (!splitContinuationName(items[i].name, base, first) || !first) {
            joinedItems.push_back(items[i++]);
            continue;
        }
        Item joined{std::string(base), items[i].value};
        for (++i; i < items.size(); ++i) {
            std::string_view nextBase;
            bool nextFirst = false;
            if (!splitContinuationName(items[i].name, nextBase, nextFirst) || nextFirst || nextBase != base)
                break;
            joined.value += items[i].value;
        }
        joinedItems.push_back(std::move(joined));
    }
    items.swap(joinedItems);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "\x" without two hex digits after it gives a plain "x", like any other escaped character; a
// backslash that ends the value is kept, since it escapes nothing.
std::string decodeEscapes(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        const char escaped = value[++i];
        switch (escaped) {
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'x':
            if (i + 2 < value.size() && hexValue(value[i + 1]) >= 0 && hexValue(value[i + 2]) >= 0) {
                out.push_back(static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2])));
                i += 2;
            } else {
                out.push_back('x');
            }
            break;
        default:
            out.push_back(escaped);
            break;
        }
    }
    return out;
}

} // namespace

struct IniTextObject {
    bool autoSort = false;
    std::vector<Section> sections;
    NameIndex sectionIndex;

    const Section* find(std::string_view name) const {
        const auto it = sectionIndex.find(foldedName(name));
        return it == sectionIndex.end() ? nullptr : &sections[it->second];
    }

    // Once the file is read (and sorted): emplace keeps the first of two equal names.
    void buildIndexes() {
        sectionIndex.clear();
        for (std::size_t i = 0; i < sections.size(); ++i) {
            sectionIndex.emplace(foldedName(sections[i].name), i);
            Section& section = sections[i];
            section.index.clear();
            for (std::size_t j = 0; j < section.items.size(); ++j)
                section.index.emplace(foldedName(section.items[j].name), j);
        }
    }

    // current is the index of the section that receives items, or -1 before the first header.
    void addLine(std::string_view line, long& current) {
        const std::size_t start = line.find_first_not_of(kBlanks);
        if (start == std::string_view::npos)
            return;
        line.remove_prefix(start);
        if (line.front() == ';')
            return;
        if (line.front() == '[') {
            // The last "]" closes the name, so a name may itself contain "]".
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || line.find_first_not_of(kBlanks, close + 1) != std::string_view::npos)
                return;
            const std::string_view name = trim(line.substr(1, close - 1));
            if (name.empty())
                return;
            sections.push_back(Section{std::string(name), {}, {}});
            current = static_cast<long>(sections.size()) - 1;
            return;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || current < 0)
            return;
        const std::string_view name = trimRight(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        // An empty value is dropped rather than stored: the language table ends at the first missing
        // text, so a blank text in the file shows up at once instead of as an empty caption.
        if (name.empty() || value.empty())
            return;
        sections[static_cast<std::size_t>(current)].items.push_back(Item{std::string(name), std::string(value)});
    }
};

IniText Ini_New(int autoSort) {
    IniText ini = new (std::nothrow) IniTextObject;
    if (ini)
        ini->autoSort = (autoSort != 0);
    return ini;
}

void Ini_Dispose(IniText ini) { delete ini; }

int Ini_ReadFromFile(IniText ini, const std::string& path) {
    if (!ini)
        return INI_ERR_CANNOT_OPEN;
    // Binary mode: line ends are ours to recognise, whatever system wrote the file.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return INI_ERR_CANNOT_OPEN;
    try {
        std::string line;
        long current = -1;
        bool firstLine = true;
        while (readLine(file.get(), line)) {
            // Editors on Windows like to start a UTF-8 file with a byte-order mark; left in place it
            // would hide the first section header.
            if (firstLine && line.starts_with("\xEF\xBB\xBF"))
                line.erase(0, 3);
            firstLine = false;
            ini->addLine(line, current);
        }
        if (std::ferror(file.get()))
            return INI_ERR_READ;
        for (Section& section : ini->sections)
            joinLongValues(section.items);
        if (ini->autoSort) {
            auto byName = [](const auto& a, const auto& b) { return nameLess(a.name, b.name); };
            for (Section& section : ini->sections)
                std::stable_sort(section.items.begin(), section.items.end(), byName);
            std::stable_sort(ini->sections.begin(), ini->sections.end(), byName);
        }
        ini->buildIndexes();
    } catch (const std::bad_alloc&) {
        return INI_ERR_OUT_OF_MEMORY;
    }
    return 0;
}

int Ini_NumberOfSections(IniText ini) { return ini ? static_cast<int>(ini->sections.size()) : 0; }

int Ini_NthSectionName(IniText ini, int n, std::string& name) {
    if (!ini || n < 1 || static_cast<std::size_t>(n) > ini->sections.size())
        return 0;
    name = ini->sections[static_cast<std::size_t>(n) - 1].name;
    return 1;
}

int Ini_NumberOfItems(IniText ini, const std::string& section) {
    const Section* found = ini ? ini->find(section) : nullptr;
    return found ? static_cast<int>(found->items.size()) : 0;
}

int Ini_GetStringCopy(IniText ini, const std::string& section, const std::string& item, std::string& copy) {
    const Section* found = ini ? ini->find(section) : nullptr;
    if (!found)
        return 0;
    // Item names follow the same rule as section names: case does not matter, the first one wins.
    const auto it = found->index.find(foldedName(item));
    if (it == found->index.end())
        return 0;
    try {
        std::string decoded = decodeEscapes(found->items[it->second].value);
        copy.swap(decoded);
    } catch (const std::bad_alloc&) {
        return INI_ERR_OUT_OF_MEMORY;
    }
    return 1;
}
