// The simulated analyser behaves like a meter on a real installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "sim/model.h"

namespace {

sim::Options options(bool moving, unsigned seed = 5, int modelCode = 58) {
    sim::Options o;
    o.moving = moving;
    o.seed = seed;
    o.modelCode = modelCode;
    return o;
}

float live(const sim::Model& model, int index) {
    return model.getFloat(6 + 2 * index);
}

TEST(SimModel, LiveValuesAreThoseOfOneThreePhaseInstallation) {
    for (unsigned seed : {1u, 2u, 3u}) {
        sim::Model model(options(true, seed), 0.0);
        for (double t : {0.0, 7.3, 31.0, 95.5, 600.0, 3601.0}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " t " << t);
            model.advance(t);
            auto n = [&](int i) { return static_cast<double>(live(model, i)); };
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(n(k), 230.0, 15.0);
                EXPECT_NEAR(n(18 + k) * n(18 + k), n(10 + k) * n(10 + k) + n(14 + k) * n(14 + k),
                            1e-3 * n(18 + k) * n(18 + k));
                EXPECT_NEAR(n(10 + k), n(k) * n(6 + k) * n(22 + k) / 1000.0, 1e-4 * n(10 + k));
                double a = n(k), b = n((k + 1) % 3);
                EXPECT_NEAR(n(3 + k), std::sqrt(a * a + b * b + a * b), 0.01);
                EXPECT_NEAR(n(3 + k), std::sqrt(3.0) * (a + b) / 2.0, 0.02 * n(3 + k));
            }
            EXPECT_NEAR(n(13), n(10) + n(11) + n(12), 1e-3);
            EXPECT_NEAR(n(17), n(14) + n(15) + n(16), 1e-3);
            EXPECT_NEAR(n(21) * n(21), n(13) * n(13) + n(17) * n(17), 1e-3 * n(21) * n(21));
            EXPECT_NEAR(n(25), n(13) / n(21), 1e-5);
            EXPECT_NEAR(n(26), 50.0, 0.1);
            EXPECT_NEAR(n(27), (n(0) + n(1) + n(2)) / 3.0, 1e-3);
            EXPECT_NEAR(n(28), (n(3) + n(4) + n(5)) / 3.0, 1e-3);
            EXPECT_NEAR(n(29), (n(6) + n(7) + n(8)) / 3.0, 1e-3);
            // Sizes that make the program's ranging and the gauges worth watching.
            EXPECT_GT(n(13), 40.0);
            EXPECT_LT(n(13), 200.0);
            for (int k = 6; k <= 8; ++k) {
                EXPECT_GT(n(k), 50.0);
                EXPECT_LT(n(k), 400.0);
            }
            EXPECT_LT(n(9), std::max({n(6), n(7), n(8)}));
        }
    }
}

TEST(SimModel, ValuesWanderWhenMovingAndStayWhenFrozen) {
    sim::Model moving(options(true), 0.0), frozen(options(false), 0.0);
    std::vector<uint16_t> before;
    frozen.read(6, 82, &before);
    std::vector<uint16_t> maxMinBefore;
    frozen.read(130, 108, &maxMinBefore);
    float current = live(moving, 6);
    moving.advance(20.0);
    frozen.advance(1000.0);
    EXPECT_GT(std::abs(live(moving, 6) - current), 0.01f * current);
    std::vector<uint16_t> after, maxMinAfter;
    frozen.read(6, 82, &after);
    frozen.read(130, 108, &maxMinAfter);
    EXPECT_EQ(before, after);
    EXPECT_EQ(maxMinBefore, maxMinAfter);
}

TEST(SimModel, CountersIntegrateThePowerOverRealTime) {
    sim::Model model(options(true), 0.0);
    auto energy = [&](int i) { return static_cast<double>(model.getFloat(66 + 2 * i)); };
    double imported = energy(0), exported = energy(1), apparent = energy(4), hours = energy(9);
    double lowest = 1e9, highest = 0.0;
    for (int t = 1; t <= 3600; ++t) {
        model.advance(t);
        lowest = std::min(lowest, static_cast<double>(live(model, 13)));
        highest = std::max(highest, static_cast<double>(live(model, 13)));
    }
    double grown = energy(0) - imported;
    EXPECT_GE(grown, lowest * 0.99);
    EXPECT_LE(grown, highest * 1.01);
    EXPECT_GT(energy(4) - apparent, grown);
    EXPECT_EQ(energy(1), exported);
    EXPECT_EQ(energy(9), hours + 1.0);
}

TEST(SimModel, ExtremesBracketTheLiveValuesAndOnlyWiden) {
    sim::Model model(options(true), 0.0);
    const int source[27] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                            14, 15, 16, 17, 18, 19, 20, 21, 25, 26, 27, 28, 29};
    std::vector<float> high(27), low(27);
    for (int q = 0; q < 27; ++q)
        high[q] = model.blockFloat(130, q), low[q] = model.blockFloat(130, 27 + q);
    for (double t = 0.5; t <= 300.0; t += 0.5) {
        model.advance(t);
        for (int q = 0; q < 27; ++q) {
            float max = model.blockFloat(130, q), min = model.blockFloat(130, 27 + q);
            ASSERT_GE(max, live(model, source[q])) << q << " at " << t;
            ASSERT_LE(min, live(model, source[q])) << q << " at " << t;
            ASSERT_GE(max, high[q]) << q;
            ASSERT_LE(min, low[q]) << q;
            high[q] = max, low[q] = min;
        }
    }
    EXPECT_LE(model.blockFloat(130, 22), 1.0f); // a power factor
}

TEST(SimModel, DemandFollowsTheLoadSlowlyAndItsMaximumOnlyRises) {
    sim::Model model(options(true), 0.0);
    float first = model.blockFloat(238, 0), peak = model.blockFloat(238, 6);
    float liveSwing = 0.0f, demandSwing = 0.0f;
    float lastLive = live(model, 13), lastDemand = first;
    for (double t = 1.0; t <= 120.0; t += 1.0) {
        model.advance(t);
        float demand = model.blockFloat(238, 0);
        ASSERT_GE(model.blockFloat(238, 6), peak);
        ASSERT_GE(model.blockFloat(238, 6), demand);
        peak = model.blockFloat(238, 6);
        liveSwing += std::abs(live(model, 13) - lastLive);
        demandSwing += std::abs(demand - lastDemand);
        lastLive = live(model, 13), lastDemand = demand;
    }
    EXPECT_NE(model.blockFloat(238, 0), first);
    EXPECT_LT(demandSwing, liveSwing / 2.0f);
}

TEST(SimModel, AnalogOutputFollowsItsQuantityThroughTheCharacteristic) {
    sim::Model model(options(false), 0.0);
    float p = live(model, 13);
    auto f = [](float v) { return std::pair<uint16_t, uint16_t>(sim::floatHigh(v), sim::floatLow(v)); };
    struct Case {
        const char* what;
        uint16_t selector, points, typeScale;
        float xy[6];
        float expected;
    };
    const Case cases[] = {
        {"three points", 13, 1, 0x0014, {0, 0, p, 4, 2 * p, 20}, 4.0f},
        {"two points skip the middle one", 13, 0, 0x0014, {0, 0, p, 4, 2 * p, 20}, 10.0f},
        {"held at the full scale", 13, 0, 0x0105, {0, 0, p, 4, 2 * p, 20}, 5.0f},
        {"never below zero", 13, 1, 0x0014, {0, -20, p, -10, 2 * p, 0}, 0.0f},
        {"no such quantity", 99, 1, 0x0014, {0, 0, p, 4, 2 * p, 20}, 0.0f},
    };
    for (const Case& c : cases) {
        std::vector<uint16_t> regs = {c.selector, c.points, c.typeScale};
        for (float v : c.xy)
            regs.push_back(f(v).first), regs.push_back(f(v).second);
        ASSERT_EQ(model.write(247, regs, 1.0), sim::kNoException);
        EXPECT_NEAR(model.getFloat(247 + 15), c.expected, 1e-3) << c.what;
    }
}

TEST(SimModel, ModelCodeZeroPicksOneOfTheKnownModels) {
    std::set<int> codes;
    for (unsigned seed = 1; seed <= 20; ++seed)
        codes.insert(sim::Model(options(false, seed, 0), 0.0).modelCode());
    EXPECT_GE(*codes.begin(), 55);
    EXPECT_LE(*codes.rbegin(), 59);
    EXPECT_GT(codes.size(), 1u);
}

} // namespace
