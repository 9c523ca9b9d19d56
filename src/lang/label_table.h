// The table of translated texts: text N of the language in force is etiqueta[N].
#pragma once

#include <string>
#include <vector>

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

// The table in force; replaced by a successful language change.
extern LabelTable etiqueta;
