// Which address serve asks when, and which counter readings it lets through: both decide what a
// plant's Prometheus and Home Assistant believe, and neither needs a link to be tried.
#include <gtest/gtest.h>

#include "device/named_values.h"
#include "serve/poll/counter_guard.h"
#include "serve/poll/scheduler.h"

namespace {

// One round as serve runs it: every request the scheduler gives, answered when the address is in
// `answering`, each taking `took` seconds (a silent one `wait`). "a" marks a poll, "p" a probe.
std::string runRound(Scheduler& s, const std::set<int>& answering, double interval, double took, double wait,
                     double& now) {
    const double due = now + interval;
    s.beginRound(due, wait);
    std::string asked;
    while (const auto next = s.next(now)) {
        const bool answers = answering.count(next->address) > 0;
        asked += (asked.empty() ? "" : " ") + std::string(next->probe ? "p" : "a") + std::to_string(next->address);
        s.asked(next->address, answers);
        now += answers ? took : wait;
    }
    now = std::max(now, due);
    return asked;
}

TEST(Scheduler, AnsweringAnalysersArePolledEveryRoundAndSilentAddressesOnlyInTheTimeLeft) {
    struct Row {
        const char* what;
        std::vector<int> addresses;
        std::set<int> remembered, answering;
        double interval, took, wait;
        std::vector<std::string> rounds;
    };
    const Row rows[] = {
        {"the first answer is polled from the next round on, the rest probed in the time left", {1, 2, 3, 4, 5, 6},
         {}, {3}, 1.0, 0.2, 0.3, {"p1 p2 p3", "a3 p4 p5", "a3 p6 p1", "a3 p2 p4", "a3 p5 p6"}},
        {"no time left: probes until one meets silence, then one every 8 rounds; the answering one never waits",
         {1, 2, 3}, {}, {1}, 1.0, 1.5, 0.3, {"p1 p2", "a1", "a1", "a1", "a1", "a1", "a1", "a1", "a1 p3", "a1"}},
        {"a busy link: every analyser found in the first round", {1, 2, 3, 4}, {}, {1, 2, 3, 4}, 1.0, 0.6, 1.0,
         {"p1 p2 p3 p4", "a1 a2 a3 a4"}},
        {"remembered analysers are polled before any probe, a silent one then probed less and less", {7, 8}, {8},
         {8}, 1.0, 0.1, 0.3, {"a8 p7", "a8 p7", "a8", "a8 p7", "a8", "a8", "a8", "a8 p7"}},
        {"a remembered meter that is gone becomes a probe", {4}, {4}, {}, 1.0, 0.1, 0.3, {"a4", "p4", "", "p4"}},
    };
    for (const Row& row : rows) {
        Scheduler s(row.addresses, row.remembered);
        double now = 0;
        std::vector<std::string> rounds;
        for (size_t i = 0; i < row.rounds.size(); ++i)
            rounds.push_back(runRound(s, row.answering, row.interval, row.took, row.wait, now));
        EXPECT_EQ(rounds, row.rounds) << row.what;
    }
}

std::map<std::string, std::vector<NamedValue>> energy(float imported, float exported) {
    std::vector<float> record(EnergyValues().values.size(), 0.0f);
    record[ValueIndex(EnergyValues(), "active_imported")] = imported;
    record[ValueIndex(EnergyValues(), "active_exported")] = exported;
    std::vector<NamedValue> values;
    AddNamedValues(EnergyValues(), record.data(), values);
    return {{"energy", values}};
}

TEST(CounterGuard, ADropIsPublishedOnlyOnceItHoldsAndAGlitchNever) {
    struct Step {
        float imported, exported;
        std::set<std::string> held; // withheld from this poll
        size_t said = 0;            // lines said of drops withheld, confirmed or discarded
        bool reset = false;         // a reset made through RQ55 before this poll
        const char* serial = "AB1";
    };
    const std::set<std::string> imported = {"active_imported"}, both = {"active_imported", "active_exported"};
    const struct {
        const char* what;
        std::vector<Step> steps;
    } rows[] = {
        {"a one-poll drop that comes back is never published", {{100, 5, {}}, {0, 5, imported, 1}, {101, 5, {}, 1}, {102, 5, {}}}},
        {"a three-poll drop that comes back is never published",
         {{100, 5, {}}, {40, 5, imported, 1}, {40, 5, imported}, {41, 5, imported}, {100, 5, {}, 1}}},
        {"a drop that holds on five polls is published at the fifth",
         {{100, 5, {}}, {40, 5, imported, 1}, {41, 5, imported}, {41, 5, imported}, {42, 5, imported}, {42, 5, {}, 1},
          {43, 5, {}}}},
        {"every counter at zero at once is a glitch however long it lasts",
         {{100, 5, {}}, {0, 0, both, 2}, {0, 0, both}, {0, 0, both}, {0, 0, both}, {0, 0, both}, {0, 0, both},
          {101, 6, {}, 2}}},
        {"each counter on its own; equal is no drop", {{100, 5, {}}, {100, 0, {"active_exported"}, 1}, {100, 5, {}, 1}}},
        {"a reset made through RQ55 is published at once", {{100, 5, {}}, {0, 0, {}, 0, true}, {1, 0, {}}}},
        {"another meter starts from its own reading",
         {{100, 5, {}}, {3, 1, {}, 0, false, "CD2"}, {2, 1, imported, 1, false, "CD2"}}},
    };
    for (const auto& row : rows) {
        CounterGuard guard(5);
        for (size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            if (step.reset) guard.resetMade();
            std::vector<std::string> said;
            EXPECT_EQ(guard.look(step.serial, energy(step.imported, step.exported), said), step.held)
                << row.what << ", poll " << i;
            EXPECT_EQ(said.size(), step.said) << row.what << ", poll " << i;
        }
    }
}

} // namespace
