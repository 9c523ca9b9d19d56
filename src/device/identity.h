// Who the analyser is, from its serial-number block (registers 811-821): the model and version
// texts, the model code, the serial number, and the analog outputs the model has.
#pragma once

#include <string>

#include "device/register_map.h"

constexpr int kModelTextBytes = 10;  // the first text: registers 811-815
constexpr int kVersionTextBytes = 6; // the second text: registers 816-818

struct Identity {
    int modelCode = 0;       // register 816
    std::string serial;      // registers 819-821: up to six characters, '?' for an unprintable one
    std::string modelText;   // the first model/version text
    std::string versionText; // the second
};
Identity IdentityFromSerialBlock(const unsigned char (&block)[kSerialNumberBytes]);

// The analog outputs the status page shows for a model code: models 55 to 59 have 0 to 4, any
// other code none.
int AnalogOutputsOfModel(int modelCode);

// Every register holds two characters, the first in its low byte: over the wire (high byte
// first) the pairs come swapped. A zero byte ends a text.
std::string TextFromSwappedPairs(const unsigned char* bytes, int count);
// The text's first `count` characters in the same arrangement, zero bytes after a shorter text.
void TextToSwappedPairs(const std::string& text, unsigned char* bytes, int count);
