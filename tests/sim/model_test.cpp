// The simulated analyser behaves like a meter on a real installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/model.h"

namespace {

const sim::Options kMoving = {.modelCode = 58, .moving = true, .seed = 5};

double live(const sim::Model& model, int index) { return model.getFloat(6 + 2 * index); }

TEST(SimModel, LiveValuesAreThoseOfOneThreePhaseInstallation) {
    sim::Model model(kMoving, 0.0);
    for (double t : {0.0, 7.3, 95.5, 3601.0}) {
        SCOPED_TRACE(testing::Message() << "t " << t);
        model.advance(t);
        auto n = [&](int i) { return live(model, i); };
        for (int k = 0; k < 3; ++k) {
            const double a = n(k), b = n((k + 1) % 3), s = n(18 + k);
            EXPECT_NEAR(a, 230.0, 15.0);
            EXPECT_NEAR(s * s, n(10 + k) * n(10 + k) + n(14 + k) * n(14 + k), 1e-3 * s * s);
            EXPECT_NEAR(n(10 + k), a * n(6 + k) * n(22 + k) / 1000.0, 1e-4 * n(10 + k));
            EXPECT_NEAR(n(3 + k), std::sqrt(a * a + b * b + a * b), 0.01);
            EXPECT_NEAR(n(3 + k), std::sqrt(3.0) * (a + b) / 2.0, 0.02 * n(3 + k));
        }
        EXPECT_NEAR(n(13), n(10) + n(11) + n(12), 1e-3);
        EXPECT_NEAR(n(17), n(14) + n(15) + n(16), 1e-3);
        EXPECT_NEAR(n(21) * n(21), n(13) * n(13) + n(17) * n(17), 1e-3 * n(21) * n(21));
        EXPECT_NEAR(n(26), 50.0, 0.1);
    }
}

TEST(SimModel, CountersIntegrateThePower) {
    sim::Model model(kMoving, 0.0);
    auto energy = [&](int i) { return static_cast<double>(model.getFloat(66 + 2 * i)); };
    const double imported = energy(0), apparent = energy(4), hours = energy(9), current = live(model, 6);
    double lowest = 1e9, highest = 0.0;
    for (int t = 1; t <= 3600; ++t) {
        model.advance(t);
        lowest = std::min(lowest, live(model, 13));
        highest = std::max(highest, live(model, 13));
    }
    const double grown = energy(0) - imported;
    EXPECT_GE(grown, lowest * 0.99);
    EXPECT_LE(grown, highest * 1.01);
    EXPECT_GT(energy(4) - apparent, grown);
    EXPECT_EQ(energy(9), hours + 1.0);
    EXPECT_NE(live(model, 6), current) << "the live values wander";
}

TEST(SimModel, ExtremesBracketTheLiveValuesAndOnlyWiden) {
    sim::Model model(kMoving, 0.0);
    std::vector<float> high(27), low(27);
    for (int q = 0; q < 27; ++q) high[q] = model.blockFloat(130, q), low[q] = model.blockFloat(130, 27 + q);
    float peak = model.blockFloat(238, 6); // the demand's maximum
    for (double t = 0.5; t <= 300.0; t += 0.5) {
        model.advance(t);
        for (int q = 0; q < 27; ++q) {
            const float max = model.blockFloat(130, q), min = model.blockFloat(130, 27 + q);
            const double value = live(model, q < 22 ? q : q + 3); // the record skips 22-24
            ASSERT_GE(max, value) << q << " at " << t;
            ASSERT_LE(min, value) << q << " at " << t;
            ASSERT_GE(max, high[q]) << q;
            ASSERT_LE(min, low[q]) << q;
            high[q] = max, low[q] = min;
        }
        ASSERT_GE(model.blockFloat(238, 6), std::max(peak, model.blockFloat(238, 0))) << t;
        peak = model.blockFloat(238, 6);
    }
}

} // namespace
