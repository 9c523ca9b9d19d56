// The slave with known bytes: framing, exceptions, writes and their side effects, the fault plan.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "frames.h"
#include "sim/fault_plan.h"
#include "sim/slave.h"

using namespace simtest;
using sim::FaultRule;
using K = sim::FaultRule::Kind;

namespace {

class SimSlave : public ::testing::Test {
  protected:
    // Everything the slave sends back to a request PDU, CRC included; empty for silence.
    Bytes rtu(const Bytes& pdu) {
        Bytes out;
        for (const sim::Transmission& piece : slave.handle(pdu, sim::Framing::Rtu, 0, now).reply)
            out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
        return out;
    }

    sim::Model model{{.modelCode = 57, .moving = false, .seed = 11}, 0.0};
    sim::FaultPlan faults;
    sim::Slave slave{model, faults, 1};
    double now = 1.0;
};

// Request PDUs and whole replies (CRC worked out by hand), in order: later rows read earlier writes.
TEST_F(SimSlave, AnswersWithKnownBytes) {
    const struct {
        const char* what;
        const char* request;
        const char* reply;
    } cases[] = {
        {"read 810", "0103 032a 0001", "010302000ff840"},
        {"write one register", "0106 032a 1234", "0106032a1234a531"},
        {"write four registers", "0110 0324 0004 08 ffffffff00000007", "0110032400048185"},
        {"read them back", "0103 0324 0004", "010308ffffffff000000079405"},
        {"broadcast write is carried out silently", "0010 032a 0001 02 001e", ""},
        {"read the broadcast value", "0103 032a 0001", "010302001e384c"},
        {"a new address is stored", "0106 0320 0009", "0106032000094842"},
        {"and the old one still answers", "0103 0320 0001", "01030200097842"},
        {"another address gets silence", "0203 0006 0002", ""},
        {"read between blocks", "0103 0058 0001", "018302c0f1"},
        {"read running off the energy block", "0103 0056 0004", "018302c0f1"},
        {"read of the write-only text registers", "0103 20e4 0008", "018302c0f1"},
        {"read of 126 registers", "0103 0082 007e", "0183030131"},
        {"write of the relay states", "0106 00c8 0001", "018602c3a1"},
        {"write of a present value", "0110 00f5 0002 04 00010002", "019002cdc1"},
        {"byte count not twice the count", "0110 00c9 0002 03 000100", "0190030c01"},
        {"read input registers", "0104 0006 0002", "01840182c0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(rtu(FromHex(c.request))), c.reply) << c.what;
}

TEST_F(SimSlave, PasswordGuardsTheEnergyResetAndItsOwnChange) {
    const struct {
        int reg;
        uint16_t value;
        bool accepted; // else refused with exception 3
    } steps[] = {
        {1000, 0, false},   {819, 1111, false}, {819, 9999, false}, // locked; wrong password; change request
        {819, 1234, true},  {1000, 0, true},    {1000, 0, false},   // unlocks; the reset locks again
        {819, 1234, true},  {819, 9999, true},  {819, 4321, true},  // a change to a new password locks
        {819, 1234, false}, {819, 4321, true},  {819, 10000, false}, {1000, 0, false}, // 10000 locks
    };
    for (const auto& step : steps) {
        const auto hi = static_cast<uint8_t>(step.reg >> 8), lo = static_cast<uint8_t>(step.reg);
        EXPECT_EQ(rtu(writePdu(1, step.reg, {step.value})),
                  withCrc(step.accepted ? Bytes{1, 16, hi, lo, 0, 1} : Bytes{1, 0x90, 3}))
            << step.reg << " <- " << step.value;
    }
    const Bytes energy = rtu(readPdu(1, 66, 22));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(replyFloat(energy, i), 0.0f) << i;
    EXPECT_EQ(replyFloat(energy, 9), 12873.0f); // hours run on
    EXPECT_EQ(replyFloat(energy, 10), 4.0f);    // one more reset counted
    rtu(writePdu(1, 819, {4321}));
    now += 61.0; // unlocking lasts a minute
    EXPECT_EQ(rtu(writePdu(1, 1000, {0})), withCrc({1, 0x90, 3}));
}

TEST_F(SimSlave, OverlappingReadsAreResolvedByTheirStart) {
    model.setBlockFloat(130, 35, 111.0f); // the max/min record's registers 200-201
    model.setBlockFloat(238, 0, 77.0f);   // the demand record's registers 238-239
    model.setReg(200, 0x0100);
    EXPECT_EQ(replyFloat(rtu(readPdu(1, 130, 108)), 35), 111.0f);
    EXPECT_EQ(replyReg(rtu(readPdu(1, 200, 21)), 0), 0x0100);
    EXPECT_EQ(replyFloat(rtu(readPdu(1, 238, 24)), 0), 77.0f);
    EXPECT_EQ(replyReg(rtu(readPdu(1, 230, 17)), 8), model.reg(238)); // the analog output's own
    EXPECT_NE(model.getFloat(238), 77.0f);
}

// Each kind spoils the reply to a read of 800-801, "01030400010400a933" when unspoilt.
TEST_F(SimSlave, FaultPlanSpoilsChosenReplies) {
    const std::pair<FaultRule, const char*> cases[] = {
        {{.kind = K::Silence}, ""},
        {{.kind = K::Late, .delayMs = 300}, "300:01030400010400a933"},
        {{.kind = K::CutShort, .keepBytes = 2}, "0:0103"},
        {{.kind = K::BadCrc}, "0:0103040001040056cc"},
        {{.kind = K::OtherAddress, .address = 7}, "0:07030400010400cf33"},
        {{.kind = K::Exception, .exceptionCode = 6}, "0:018306c132"},
        {{.kind = K::ByteCount, .byteCount = 6}, "0:0103060001040000001d85"},
        {{.kind = K::Zero}, "0:01030400000000fa33"},
        {{.kind = K::Split, .segments = {3, 4}, .pauseMs = 50}, "0:010304 50:00010400 100:a933"},
    };
    for (const auto& [rule, expected] : cases) {
        faults.clear();
        faults.add(rule);
        std::string pieces;
        for (const auto& t : slave.handle(readPdu(1, 800, 2), sim::Framing::Rtu, 0, now).reply)
            pieces.append(pieces.empty() ? "" : " ").append(std::to_string(t.atMs)).append(":").append(Hex(t.bytes));
        EXPECT_EQ(pieces, expected);
    }
    // A rule applies to the requests it names, after those it lets through, as many times as it says.
    faults.clear();
    faults.add({.kind = K::Silence, .function = 3, .start = 66, .times = 2, .skip = 1});
    EXPECT_FALSE(rtu(readPdu(1, 6, 2)).empty());
    EXPECT_FALSE(rtu(writePdu(1, 810, {1})).empty());
    EXPECT_FALSE(rtu(readPdu(1, 66, 2)).empty());
    EXPECT_TRUE(rtu(readPdu(1, 66, 2)).empty());
    EXPECT_TRUE(rtu(readPdu(1, 66, 2)).empty());
    EXPECT_FALSE(rtu(readPdu(1, 66, 2)).empty());
}

TEST(SimFaultRuleText, ParsesTheCommandLineFormAndRejectsNonsense) {
    FaultRule rule;
    for (const char* text :
         {"late:ms=3000", "cut:keep=2", "badcrc", "address:id=7", "exception:code=2", "count:bytes=10", "zero:skip=3"})
        EXPECT_TRUE(sim::parseFaultRule(text, &rule, nullptr)) << text;
    for (const char* text :
         {"late", "cut:keep=x", "silence:keep=2", "split:sizes=3++4", "noise", "silence:times=0"}) {
        std::string error;
        EXPECT_FALSE(sim::parseFaultRule(text, &rule, &error) || error.empty()) << text;
    }
    ASSERT_TRUE(sim::parseFaultRule("split:sizes=3+4,ms=50,fn=3,start=6,times=2", &rule, nullptr));
    EXPECT_EQ(std::tuple(rule.kind, rule.segments, rule.pauseMs, rule.function, rule.start, rule.times),
              std::tuple(K::Split, std::vector<int>{3, 4}, 50, 3, 6, 2));
}

} // namespace
