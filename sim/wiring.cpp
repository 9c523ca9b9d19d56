#include "sim/wiring.h"

#include <cmath>
#include <complex>
#include <sstream>

namespace sim {

bool ParseWiring(const std::string& text, Wiring& w, std::string& error) {
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const size_t colon = item.find(':');
        const std::string fault = item.substr(0, colon);
        int phase = fault == "ct_rotated" ? 2 : 1;
        if (colon != std::string::npos) {
            const std::string p = item.substr(colon + 1);
            if (p.size() != 1 || p[0] < '1' || p[0] > '3') {
                error = "--wiring: \"" + item + "\": the phase is 1, 2 or 3";
                return false;
            }
            phase = p[0] - '0';
        }
        const int k = phase - 1;
        if (fault == "voltage_missing") w.voltageMissing[k] = true;
        else if (fault == "vt_reversed") w.voltageSign[k] = -1;
        else if (fault == "ct_reversed") w.currentSign[k] = -w.currentSign[k];
        else if (fault == "ct_swapped") std::swap(w.currentFrom[k], w.currentFrom[(k + 1) % 3]);
        else if (fault == "ct_rotated" && phase != 1)
            for (int j = 0; j < 3; ++j) w.currentFrom[j] = (j + phase - 1) % 3;
        else if (fault == "export") for (int& sign : w.currentSign) sign = -sign;
        else if (fault == "no_load") w.currentScale = 0.001;
        else if (fault == "ct_ratio") w.ctPrimary = 100;
        else {
            error = "--wiring: \"" + item + "\" is none of voltage_missing, vt_reversed, ct_reversed, ct_swapped, "
                    "ct_rotated:2 or :3, export, no_load, ct_ratio";
            return false;
        }
    }
    return true;
}

void WiredNetwork(const double v[3], const double i[3], const double pf[3], double frequency, const Wiring& w,
                  double n[30]) {
    const double third = 2.0 * 3.14159265358979323846 / 3.0;
    std::complex<double> voltage[3], current[3], neutral;
    for (int k = 0; k < 3; ++k) {
        const int from = w.voltageFrom[k], on = w.currentFrom[k];
        voltage[k] = w.voltageMissing[k] ? 0.0 : std::polar(v[from] * w.voltageSign[k], -third * from);
        current[k] = std::polar(i[on] * w.currentScale * w.currentSign[k], -third * on - std::acos(pf[on]));
        neutral += current[k];
    }
    double p = 0, q = 0;
    for (int k = 0; k < 3; ++k) {
        const std::complex<double> s = voltage[k] * std::conj(current[k]) / 1000.0;
        n[k] = std::abs(voltage[k]);
        n[3 + k] = std::abs(voltage[k] - voltage[(k + 1) % 3]);
        n[6 + k] = std::abs(current[k]);
        n[10 + k] = s.real();
        n[14 + k] = s.imag();
        n[18 + k] = std::abs(s);
        n[22 + k] = n[18 + k] > 0 ? s.real() / n[18 + k] : 1.0;
        p += s.real();
        q += s.imag();
    }
    n[9] = std::abs(neutral);
    n[13] = p;
    n[17] = q;
    n[21] = std::hypot(p, q);
    n[25] = n[21] > 0 ? p / n[21] : 1.0;
    n[26] = frequency;
    n[27] = (n[0] + n[1] + n[2]) / 3.0;
    n[28] = (n[3] + n[4] + n[5]) / 3.0;
    n[29] = (n[6] + n[7] + n[8]) / 3.0;
}

} // namespace sim
