#include "lang/ini.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

using namespace std::string_literals;

namespace {

struct Lookup {
    std::string section;
    std::string item;
    std::optional<std::string> value; // nullopt: the item must not exist
};

struct FileCase {
    const char* title;
    std::string file;
    std::vector<std::string> sections; // in file order
    std::vector<Lookup> lookups;
    std::vector<std::pair<std::string, int>> itemCounts = {};
};

void check(const FileCase& c) {
    SCOPED_TRACE(c.title);
    testsupport::TempDir dir;
    dir.write("t.ini", c.file);
    IniText ini = Ini_New(0);
    ASSERT_NE(ini, nullptr);
    ASSERT_EQ(Ini_ReadFromFile(ini, dir.file("t.ini")), 0);
    std::vector<std::string> sections;
    for (int n = 1; n <= Ini_NumberOfSections(ini); ++n) {
        std::string name;
        ASSERT_EQ(Ini_NthSectionName(ini, n, name), 1);
        sections.push_back(name);
    }
    EXPECT_EQ(sections, c.sections);
    for (const Lookup& l : c.lookups) {
        std::string copy = "untouched";
        const int found = Ini_GetStringCopy(ini, l.section, l.item, copy);
        EXPECT_EQ(found, l.value ? 1 : 0) << "[" << l.section << "] " << l.item;
        EXPECT_EQ(copy, l.value.value_or("untouched")) << "[" << l.section << "] " << l.item;
    }
    for (const auto& [section, count] : c.itemCounts)
        EXPECT_EQ(Ini_NumberOfItems(ini, section), count) << section;
    Ini_Dispose(ini);
}

TEST(IniReader, LinesAndHeaders) {
    const std::string longLine = "k=" + std::string(253, 'a') + "b=2 and the rest";
    const FileCase cases[] = {
        {"value keeps further '=' and ';'", "[S]\nformula = a = b ; c \n", {"S"}, {{"S", "formula", "a = b ; c"}}},
        {"comments, empty values and empty names are dropped",
         "[S]\n; a = 1\n   \t;b=2\nc =\nd =  \t\n = 5\nno equals sign\ne = 5\n",
         {"S"},
         {{"S", "a", {}}, {"S", ";b", {}}, {"S", "c", {}}, {"S", "d", {}}, {"S", "e", "5"}},
         {{"S", 1}}},
        {"blanks around name and value", "[S]\n  name \t =  \t two  words \t \n", {"S"}, {{"S", "name", "two  words"}}},
        {"header with blanks inside and after the brackets", "[  Sec One \t]  \t\nx = 1\n", {"Sec One"},
         {{"Sec One", "x", "1"}}},
        {"header with trailing text is dropped; its items join the previous section",
         "[A]\nx = 1\n[B] c\ny = 2\n", {"A"}, {{"A", "y", "2"}, {"B", "y", {}}}, {{"A", 2}, {"B", 0}}},
        {"empty and unclosed headers are dropped", "[A]\n[]\n[ \t ]\n[B\nx = 1\n", {"A"}, {{"A", "x", "1"}}},
        {"CR, CR LF, LF CR and NUL end lines", "[S]\ra = 1\r\nb = 2\n\rc = 3\0d = 4\n\ne = 5"s, {"S"},
         {{"S", "a", "1"}, {"S", "b", "2"}, {"S", "c", "3"}, {"S", "d", "4"}, {"S", "e", "5"}}},
        {"only 255 characters of a line count", "[S]\n" + longLine + "\nc = 3\n", {"S"},
         {{"S", "k", std::string(253, 'a')}, {"S", "b", {}}, {"S", "c", "3"}}},
        {"byte-order mark before the first header", "\xEF\xBB\xBF[S]\na = 1\n", {"S"}, {{"S", "a", "1"}}},
        {"lookups ignore case and find the first of duplicates",
         "[Lang]\nTitle = first\ntitle = second\n[LANG]\nTitle = other\ny = 2\n", {"Lang", "LANG"},
         {{"lang", "TITLE", "first"}, {"LANG", "y", {}}, {"Nope", "Title", {}}}, {{"lAnG", 2}, {"Nope", 0}}},
    };
    for (const FileCase& c : cases)
        check(c);
}

TEST(IniReader, LongValuesAreJoined) {
    const FileCase cases[] = {
        {"a run is joined in file order", "[S]\nt Line1 = ab\nt Line3 = ef\nt Line2 = cd\n", {"S"},
         {{"S", "t", "abefcd"}, {"S", "t Line1", {}}}, {{"S", 1}}},
        {"another item ends the run", "[S]\nt Line1 = ab\nx = 1\nt Line2 = cd\n", {"S"},
         {{"S", "t", "ab"}, {"S", "t Line2", "cd"}}, {{"S", 3}}},
        {"no run without line 1", "[S]\nt Line2 = b\ntLine1 = c\nt Line = d\n", {"S"},
         {{"S", "t", {}}, {"S", "t Line2", "b"}, {"S", "tLine1", "c"}, {"S", "t Line", "d"}}},
        {"the joined item takes the place of the run's first item",
         "[S]\nt Line1 = a\nt Line2 = b\nt = plain\n[T]\nt = plain\nt Line1 = a\n", {"S", "T"},
         {{"S", "t", "ab"}, {"T", "t", "plain"}}},
        {"a run stays inside its section", "[A]\nt Line1 = a\n[B]\nt Line2 = b\n", {"A", "B"},
         {{"A", "t", "a"}, {"B", "t Line2", "b"}}},
    };
    for (const FileCase& c : cases)
        check(c);
}

// A section of 100 000 items keeps every lookup rule: any case, the first of equal names.
TEST(IniReader, LargeSectionKeepsItsLookupRules) {
    std::string file = "[Big]\n";
    for (int i = 0; i < 100000; ++i)
        file.append("Item").append(std::to_string(i)).append(" = v").append(std::to_string(i)).append("\n");
    file += "ITEM7 = late duplicate\n";
    check({"100 000 items", file, {"Big"},
           {{"big", "item0", "v0"}, {"BIG", "item99999", "v99999"}, {"Big", "iTeM7", "v7"}, {"Big", "item100000", {}}},
           {{"Big", 100001}}});
}

TEST(IniReader, EscapesAreDecodedOnRetrieval) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(two\nlines)", "two\nlines"}, {R"(\r\t)", "\r\t"},    {R"(\x41\x7e\xC3\xB1)", "A~\xC3\xB1"},
        {R"(\x4g)", "x4g"},              {R"(\\n)", R"(\n)"},   {R"(\q\;)", "q;"},
        {R"(end\)", R"(end\)"},          {R"(blank\x20)", "blank "},
    };
    for (const auto& [written, decoded] : cases)
        check({written.c_str(), "[S]\nv = " + written + "\n", {"S"}, {{"S", "v", decoded}}});
}

} // namespace
