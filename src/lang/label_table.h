// The table of translated texts: text N of the language in force is etiqueta[N].
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// The texts the program uses are numbered 0 to kTextCount - 1.
inline constexpr int kTextCount = 587;

struct LabelTable {
    std::vector<std::string> texts;

    // A number the table does not hold reads as an empty text, so a short or gapped language
    // file can never crash a panel.
    const std::string& operator[](int n) const {
        static const std::string empty;
        if (n < 0 || n >= static_cast<int>(texts.size())) return empty;
        return texts[static_cast<size_t>(n)];
    }
    int size() const { return static_cast<int>(texts.size()); }
};

// A text of the table with each "{}" replaced by the next value, in order; a text with fewer
// markers than values keeps its wording and drops the rest, never reads beyond them.
std::string FillIn(const std::string& text, std::initializer_list<std::string> values);

// The table in force; replaced by a successful language change.
extern LabelTable etiqueta;
