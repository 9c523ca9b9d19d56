#include "sim/model.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace sim {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDemandTimeConstant = 30.0; // seconds; slow enough to lag the load visibly

// Where each of the 27 recorded quantities comes from in the network record.
constexpr int kMaxMinSource[27] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                   14, 15, 16, 17, 18, 19, 20, 21, 25, 26, 27, 28, 29};
// Present demand follows total P, Q, S and the three phase currents.
constexpr int kDemandSource[6] = {13, 17, 21, 6, 7, 8};

// Counters of an installation that has run for a while: some already in the mega range.
constexpr double kEnergyInitial[kEnergyCount] = {48213.7, 312.4, 15890.2, 87.6,    53460.9, 14210.5,
                                                 42.3,    11.8,  1679.7,  12873.0, 3.0};

uint16_t textPair(char first, char second) {
    return static_cast<uint16_t>(static_cast<uint8_t>(first) | static_cast<uint8_t>(second) << 8);
}

// Linear through the characteristic's points, flat beyond its ends.
double characteristic(double x, const std::vector<std::pair<double, double>>& points) {
    if (x <= points.front().first) return points.front().second;
    for (size_t k = 1; k < points.size(); ++k) {
        auto [x0, y0] = points[k - 1];
        auto [x1, y1] = points[k];
        if (x <= x1) return x1 == x0 ? y1 : y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    }
    return points.back().second;
}

} // namespace

Model::Model(const Options& options, double now)
    : moving_(options.moving), start_(now), last_(now), maxMin_(2 * kMaxMinCount), demand_(2 * kDemandCount),
      wiring_(options.wiring), password_(options.password) {
    std::mt19937 rng(options.seed != 0 ? options.seed : std::random_device{}());
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto between = [&](double low, double high) { return low + (high - low) * unit(rng); };
    for (double& phase : phases_)
        phase = between(0.0, kTwoPi);
    const double shares[3] = {1.0, 0.92, 1.07};
    for (int k = 0; k < 3; ++k) {
        vOffset_[k] = between(-0.006, 0.006);
        iShare_[k] = shares[k] * between(0.97, 1.03);
        pfBase_[k] = between(0.86, 0.94);
    }
    int model = options.modelCode != 0 ? options.modelCode : std::uniform_int_distribution<int>(55, 59)(rng);

    writeNetwork(liveAt(0.0));

    std::copy(std::begin(kEnergyInitial), std::end(kEnergyInitial), energy_.begin());
    for (int i = 0; i < kEnergyCount; ++i)
        setFloat(kEnergyStart + 2 * i, static_cast<float>(energy_[i]));

    // Extremes recorded since the last reset lie around today's values.
    for (int q = 0; q < 27; ++q) {
        int source = kMaxMinSource[q];
        double live = getFloat(kNetworkStart + 2 * source);
        bool voltage = source <= 5 || source == 27 || source == 28;
        double spread = (voltage ? 0.03 : 0.35) * live;
        double high = live + spread, low = live - spread;
        if (source == 25) high = std::min(0.999, live + 0.04), low = live - 0.12;
        if (source == 26) high = live + 0.09, low = live - 0.09;
        storeBlockFloat(maxMin_, q, static_cast<float>(high));
        storeBlockFloat(maxMin_, 27 + q, static_cast<float>(low));
    }
    for (int d = 0; d < 6; ++d) {
        double live = getFloat(kNetworkStart + 2 * kDemandSource[d]);
        demandAverage_[d] = 0.97 * live;
        storeBlockFloat(demand_, d, static_cast<float>(demandAverage_[d]));
        storeBlockFloat(demand_, 6 + d, static_cast<float>(1.18 * live));
    }

    // Relay 1 switched by hand (mode 1), relay 2 working on its levels (mode 2) and closed.
    bank_[200] = 0x0001;
    bank_[201] = 0x0101;
    bank_[202] = 1500;
    bank_[203] = 500;
    bank_[204] = 0;
    bank_[205] = 1;
    bank_[206] = 0;
    setFloat(207, 100.0f);
    setFloat(209, 50.0f);
    bank_[211] = 0x0402;
    bank_[212] = 2000;
    bank_[213] = 1000;
    bank_[214] = 1;
    bank_[215] = 0;
    bank_[216] = 1;
    setFloat(217, 250.0f);
    setFloat(219, 80.0f);

    // Analog outputs: the selector is the network quantity followed (total P, I1, V1, frequency).
    struct Analog {
        uint16_t selector, points, typeScale;
        float xy[6];
    };
    const Analog analogs[4] = {
        {13, 1, 0x0014, {0.0f, 0.0f, 75.0f, 10.0f, 150.0f, 20.0f}},
        {6, 0, 0x010A, {0.0f, 0.0f, 150.0f, 5.0f, 300.0f, 10.0f}},
        {0, 1, 0x0014, {200.0f, 0.0f, 230.0f, 10.0f, 260.0f, 20.0f}},
        {26, 0, 0x0105, {49.0f, 0.0f, 50.0f, 2.5f, 51.0f, 5.0f}},
    };
    for (int k = 0; k < 4; ++k) {
        int base = kAnalogBase[k];
        bank_[base] = analogs[k].selector;
        bank_[base + 1] = analogs[k].points;
        bank_[base + 2] = analogs[k].typeScale;
        for (int j = 0; j < 6; ++j)
            setFloat(base + 3 + 2 * j, analogs[k].xy[j]);
    }
    updateAnalogOutputs();

    // 19200 baud, 8N1; VT 400/400 V, CT 300/5 A; a 15-minute demand period.
    bank_[800] = static_cast<uint16_t>(options.deviceAddress);
    bank_[801] = 0x0400;
    bank_[802] = 0x0001;
    bank_[803] = 0x0000;
    bank_[804] = 0;
    bank_[805] = 400;
    bank_[806] = 0;
    bank_[807] = static_cast<uint16_t>(options.wiring.ctPrimary > 0 ? options.wiring.ctPrimary : 300);
    bank_[808] = 400;
    bank_[809] = 5;
    bank_[810] = 15;

    const char firstText[] = "RQ55 V3.12";
    for (int k = 0; k < 5; ++k)
        bank_[811 + k] = textPair(firstText[2 * k], firstText[2 * k + 1]);
    // The second text opens with the model code, which is how the program tells the models apart.
    bank_[816] = static_cast<uint16_t>(model);
    bank_[817] = textPair('2', '.');
    bank_[818] = textPair('0', '4');
    std::string serial = options.serialNumber;
    serial.resize(6, ' ');
    for (int k = 0; k < 3; ++k)
        bank_[819 + k] = static_cast<uint16_t>(static_cast<uint8_t>(serial[2 * k]) << 8 |
                                               static_cast<uint8_t>(serial[2 * k + 1]));
}

Model::Live Model::liveAt(double t) const {
    auto wave = [&](double period, double phase) { return std::sin(kTwoPi * t / period + phase); };
    // A sum of incommensurate waves looks like noise yet depends on time alone, so the values do
    // not depend on how often the program polls.
    double jitter = (wave(1.3, phases_[5]) + wave(0.77, phases_[6]) + wave(2.9, phases_[7])) / 3.0;
    double load = 1.0 + 0.22 * wave(53.0, phases_[0]) + 0.08 * wave(17.0, phases_[1]) + 0.01 * jitter;
    Live live;
    for (int k = 0; k < 3; ++k) {
        double drift = wave(41.0 + 6.0 * k, phases_[2] + k);
        // The supply sags a little as the load rises.
        live.v[k] = 230.0 * (1.0 + vOffset_[k] + 0.006 * drift + 0.0015 * jitter - 0.012 * (load - 1.0));
        live.i[k] = 160.0 * iShare_[k] * load * (1.0 + 0.02 * wave(23.0, phases_[3] + 2.0 * k));
        live.pf[k] = std::clamp(pfBase_[k] + 0.02 * wave(37.0, phases_[4] + k), 0.5, 0.999);
    }
    live.frequency = 50.0 + 0.03 * wave(61.0, phases_[2]) + 0.004 * jitter;
    return live;
}

void Model::writeNetwork(const Live& live) {
    double n[kNetworkCount] = {};
    WiredNetwork(live.v.data(), live.i.data(), live.pf.data(), live.frequency, wiring_, n);
    for (int k = 0; k < kNetworkCount; ++k)
        setFloat(kNetworkStart + 2 * k, static_cast<float>(n[k]));
}

void Model::advance(double now) {
    double dt = now - last_;
    if (dt <= 0.0) return;
    last_ = now;
    if (!moving_) return;
    writeNetwork(liveAt(now - start_));
    integrate(dt);
    trackExtremes();
    smoothDemand(dt);
    updateAnalogOutputs();
}

void Model::integrate(double dt) {
    double hours = dt / 3600.0;
    double p = getFloat(kNetworkStart + 2 * 13);
    double q = getFloat(kNetworkStart + 2 * 17);
    double s = getFloat(kNetworkStart + 2 * 21);
    energy_[0] += std::max(p, 0.0) * hours;
    energy_[1] += std::max(-p, 0.0) * hours;
    energy_[2] += std::max(q, 0.0) * hours;
    energy_[3] += std::max(-q, 0.0) * hours;
    energy_[4] += std::abs(s) * hours;
    int quadrant = p >= 0.0 ? (q >= 0.0 ? 5 : 8) : (q >= 0.0 ? 6 : 7);
    energy_[quadrant] += std::abs(q) * hours;
    energy_[9] += hours;
    for (int i = 0; i < 9; ++i)
        setFloat(kEnergyStart + 2 * i, static_cast<float>(energy_[i]));
    // Stored apart from the register so that the fraction of an hour is not lost.
    float wholeHours = static_cast<float>(std::floor(energy_[9] + 1e-6)); // sums of steps fall short
    bank_[kEnergyStart + 18] = floatHigh(wholeHours);
    bank_[kEnergyStart + 19] = floatLow(wholeHours);
}

void Model::trackExtremes() {
    for (int q = 0; q < 27; ++q) {
        float live = getFloat(kNetworkStart + 2 * kMaxMinSource[q]);
        if (live > blockFloat(kMaxMinStart, q)) storeBlockFloat(maxMin_, q, live);
        if (live < blockFloat(kMaxMinStart, 27 + q)) storeBlockFloat(maxMin_, 27 + q, live);
    }
}

void Model::smoothDemand(double dt) {
    double alpha = 1.0 - std::exp(-dt / kDemandTimeConstant);
    for (int d = 0; d < 6; ++d) {
        double live = getFloat(kNetworkStart + 2 * kDemandSource[d]);
        demandAverage_[d] += alpha * (live - demandAverage_[d]);
        float present = static_cast<float>(demandAverage_[d]);
        storeBlockFloat(demand_, d, present);
        if (present > blockFloat(kDemandStart, 6 + d)) storeBlockFloat(demand_, 6 + d, present);
    }
}

float Model::analogValue(int base) const {
    int selector = bank_[base];
    if (selector >= kNetworkCount) return 0.0f;
    double x = getFloat(kNetworkStart + 2 * selector);
    auto point = [&](int j) {
        return std::pair<double, double>(getFloat(base + 3 + 4 * j), getFloat(base + 5 + 4 * j));
    };
    std::vector<std::pair<double, double>> points;
    if (bank_[base + 1] == 0)
        points = {point(0), point(2)};
    else
        points = {point(0), point(1), point(2)};
    double fullScale = bank_[base + 2] & 0xFF;
    double y = characteristic(x, points);
    if (!(y > 0.0)) return 0.0f; // NaN too
    return static_cast<float>(std::min(y, fullScale));
}

void Model::updateAnalogOutputs() {
    for (int base : kAnalogBase) {
        float value = analogValue(base);
        bank_[base + 15] = floatHigh(value);
        bank_[base + 16] = floatLow(value);
    }
}

} // namespace sim
