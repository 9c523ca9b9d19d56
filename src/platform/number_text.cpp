#include "platform/number_text.h"

#include <algorithm>
#include <cmath>

#include "platform/system.h"

std::string NumberText(double v, bool whole, int decimals, int moreDigits) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (whole) {
        // A float far beyond any integer shows as what it is, not as an undefined conversion.
        if (std::fabs(v) < 9.0e18) return std::to_string(static_cast<long long>(v));
        return strfmt("%.6g", v);
    }
    // A value ranged into a larger unit keeps its digits, but no more than the seven a float from
    // the analyser carries: anything beyond would be noise.
    constexpr int kFloatDigits = 7;
    int shown = decimals + moreDigits;
    if (moreDigits > 0 && v != 0) {
        const int digits = std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1);
        shown = std::max(decimals, std::min(shown, kFloatDigits - digits));
    }
    return strfmt("%.*f", std::clamp(shown, 0, 20), v);
}
