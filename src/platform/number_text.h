// How a numeric field writes its number, without widgets: the panels and the report write every
// value with it, so a number reads the same on screen and on paper.
#pragma once

#include <string>

// A whole-number field's value as an integer; any other with `decimals` decimals, and `moreDigits`
// beyond them for a value ranged into a larger unit (at most the seven digits a float from the
// analyser carries). "NaN", "inf" and "-inf" as such. The C locale's decimal point.
std::string NumberText(double value, bool whole, int decimals, int moreDigits);
