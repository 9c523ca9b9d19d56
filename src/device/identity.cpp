#include "device/identity.h"

namespace {
constexpr int kFirstModel = 55;
constexpr int kLastModel = 59;
} // namespace

Identity IdentityFromSerialBlock(const unsigned char (&block)[kSerialNumberBytes]) {
    Identity id;
    id.modelCode = block[10] * 256 + block[11];
    // As in the model and version texts a zero byte ends the text; a byte no one can read shows as '?'.
    for (int i = 16; i < 22 && block[i] != 0; ++i)
        id.serial.push_back(block[i] >= 0x20 && block[i] < 0x7F ? static_cast<char>(block[i]) : '?');
    id.modelText = TextFromSwappedPairs(block, kModelTextBytes);
    id.versionText = TextFromSwappedPairs(block + kModelTextBytes, kVersionTextBytes);
    return id;
}

int AnalogOutputsOfModel(int modelCode) {
    if (modelCode < kFirstModel || modelCode > kLastModel) return 0;
    return modelCode - kFirstModel;
}

std::string TextFromSwappedPairs(const unsigned char* bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const unsigned char c = bytes[i ^ 1];
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

void TextToSwappedPairs(const std::string& text, unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i)
        bytes[i ^ 1] =
            i < static_cast<int>(text.size()) ? static_cast<unsigned char>(text[static_cast<size_t>(i)]) : 0;
}
