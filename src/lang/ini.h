// Reading INI files: an ordered list of sections, each an ordered list of name/value items.
//
// Syntax: "[name]" opens a section, "name = value" adds an item to the current section, a line
// whose first non-blank character is ";" is a comment. Values are kept as written (trimmed) and
// their escapes ("\n", "\r", "\t", "\xHH", "\" + any other character) are decoded on retrieval.
// Items named "base Line1", "base Line2", ... are joined into one item "base" after reading, so a
// long text can be spread over several lines of the file.
//
// Plain C++, no Qt: the language table is built from this before any panel exists.
#pragma once

#include <string>

struct IniTextObject;
// Handle of one INI object; the object owns every name and value in it.
typedef IniTextObject* IniText;

enum {
    INI_ERR_OUT_OF_MEMORY = -1,
    INI_ERR_CANNOT_OPEN = -5001,
    INI_ERR_READ = -5002,
};

// A new, empty object, or nullptr when memory runs out. With autoSort set, sections and items are
// kept in ascending name order (upper and lower case alike) instead of file order.
IniText Ini_New(int autoSort);

// Releases the object with all its sections and items. Accepts nullptr.
void Ini_Dispose(IniText ini);

// Reads the file into the object. Returns 0, INI_ERR_CANNOT_OPEN (object untouched), or another
// negative code when reading or memory fails part way (what was read so far stays).
int Ini_ReadFromFile(IniText ini, const std::string& path);

int Ini_NumberOfSections(IniText ini);

// The name of the n-th section, counting from 1. Returns 1, or 0 with name untouched when there is
// no such section.
int Ini_NthSectionName(IniText ini, int n, std::string& name);

// The number of items of the section, 0 when there is none of that name. Section names are
// compared without regard to case; of two sections with the same name the first one counts.
int Ini_NumberOfItems(IniText ini, const std::string& section);

// Copies the decoded value of an item into copy. Returns 1, 0 (copy untouched) when the section or
// the item does not exist, or INI_ERR_OUT_OF_MEMORY. Names are compared as in Ini_NumberOfItems.
int Ini_GetStringCopy(IniText ini, const std::string& section, const std::string& item, std::string& copy);
