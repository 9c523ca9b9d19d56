#include "lang/label_table.h"

LabelTable etiqueta;

std::string FillIn(const std::string& text, std::initializer_list<std::string> values) {
    std::string out;
    auto value = values.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "{}") == 0 && value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
