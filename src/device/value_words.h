// A value in words, in the language in force: the caption its panel gives it, and the name a
// screen reader says for it, which tells it from every other value of its panel.
#pragma once

#include <string>

#include "device/value_table.h"
#include "lang/label_table.h"

// The caption of the value's row on its panel, without the " =" or ":" that leads to the field
// ("Voltage L-N", "Average current"); "" for a value without one.
std::string CaptionOf(const ValueInfo& value, const LabelTable& texts);

// Its caption with what tells it apart within the caption's row or column: the phase or the pair
// of phases ("Voltage L-N L1", "Voltage L-L L1-L2"), N for the neutral, the word for a total
// ("Active power total"); a maximum or minimum as such ("Maximum: Current L2"), a demand with its
// quantity ("Present demand: Active power total"). The symbol or the name for a value without a
// caption.
std::string SpokenName(const ValueInfo& value, const LabelTable& texts);
