// The slave with known bytes: framing, exceptions, writes and their side effects, the fault plan.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "frames.h"
#include "sim/fault_plan.h"
#include "sim/slave.h"

using namespace simtest;
using sim::Bytes;
using sim::FaultRule;
using sim::Framing;

namespace {

class SimSlave : public ::testing::Test {
protected:
    static sim::Options frozen() {
        sim::Options options;
        options.moving = false;
        options.seed = 11;
        options.modelCode = 57;
        return options;
    }

    // Sends a request as RTU bytes and returns everything the slave sends back, CRC included.
    Bytes rtu(const Bytes& pdu) {
        Bytes frame = withCrc(pdu);
        Bytes out;
        deframer.clear(); // the line is quiet between exchanges
        for (const Bytes& request : deframer.push(frame.data(), frame.size())) {
            last = slave.handle(request, Framing::Rtu, 0, now);
            for (const sim::Transmission& piece : last.reply)
                out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
        }
        return out;
    }

    // The reply PDU after checking its CRC; empty when there was no reply.
    Bytes ask(const Bytes& pdu) {
        Bytes out = rtu(pdu);
        if (out.empty()) return out;
        EXPECT_TRUE(sim::crcValid(out.data(), out.size()));
        out.resize(out.size() - 2);
        return out;
    }

    sim::Model model{frozen(), 0.0};
    sim::FaultPlan faults;
    sim::Slave slave{model, faults, 1};
    sim::RtuDeframer deframer;
    sim::Exchange last;
    double now = 1.0;
};

TEST(SimCrc, MatchesTheModbusReference) {
    Bytes frame = withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(frame[6], 0xC5);
    EXPECT_EQ(frame[7], 0xCD);
}

TEST_F(SimSlave, NetworkReadGivesA125ByteReplyOfConsistentFloats) {
    Bytes reply = rtu({0x01, 0x03, 0x00, 0x06, 0x00, 0x3C});
    ASSERT_EQ(reply.size(), 125u);
    EXPECT_TRUE(sim::crcValid(reply.data(), reply.size()));
    EXPECT_EQ(reply[2], 120);
    for (int k = 0; k < 3; ++k) {
        float v = replyFloat(reply, k), i = replyFloat(reply, 6 + k), pf = replyFloat(reply, 22 + k);
        EXPECT_NEAR(v, 230.0f, 10.0f);
        EXPECT_NEAR(replyFloat(reply, 10 + k), v * i * pf / 1000.0f, 0.01f);
    }
    EXPECT_NEAR(replyFloat(reply, 13), replyFloat(reply, 10) + replyFloat(reply, 11) + replyFloat(reply, 12),
                0.01f);
    EXPECT_NEAR(replyFloat(reply, 26), 50.0f, 0.1f);
    EXPECT_TRUE(last.request.answered);
    EXPECT_EQ(last.request.start, 6);
    EXPECT_EQ(last.request.count, 60);
}

TEST_F(SimSlave, RefusesWhatTheAnalyserRefuses) {
    struct Case {
        const char* what;
        Bytes pdu;
        Bytes reply;
    };
    Bytes tooMany = writePdu(1, 201, {});
    tooMany[5] = 124, tooMany[6] = 248;
    tooMany.resize(7 + 248, 0);
    Bytes wrongByteCount = {1, 16, 0, 201, 0, 2, 3, 0, 1, 0};
    const Case cases[] = {
        {"read between blocks", readPdu(1, 88, 1), {1, 0x83, 2}},
        {"read running off the energy block", readPdu(1, 86, 4), {1, 0x83, 2}},
        {"read of the write-only text registers", readPdu(1, 8420, 8), {1, 0x83, 2}},
        {"read of the reset register", readPdu(1, 1000, 1), {1, 0x83, 2}},
        {"read past the identity", readPdu(1, 815, 8), {1, 0x83, 2}},
        {"read of no register", readPdu(1, 6, 0), {1, 0x83, 3}},
        {"read of 126 registers", readPdu(1, 130, 126), {1, 0x83, 3}},
        {"write of the relay states", writeSinglePdu(1, 200, 1), {1, 0x86, 2}},
        {"write of a present value", writePdu(1, 245, {1, 2}), {1, 0x90, 2}},
        {"write across two analog outputs", writePdu(1, 244, {1, 2, 3}), {1, 0x90, 2}},
        {"write of the serial number", writePdu(1, 820, {1}), {1, 0x90, 2}},
        {"write of 124 registers", tooMany, {1, 0x90, 3}},
        {"byte count not twice the count", wrongByteCount, {1, 0x90, 3}},
        {"read input registers", {1, 4, 0, 6, 0, 2}, {1, 0x84, 1}},
        {"report slave id", {1, 17}, {1, 0x91, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ask(c.pdu), c.reply) << c.what;
}

TEST_F(SimSlave, AnswersOnlyItsOwnAddressAndCarriesOutBroadcastWrites) {
    EXPECT_TRUE(rtu(readPdu(2, 6, 2)).empty());
    EXPECT_FALSE(last.request.answered);
    EXPECT_TRUE(rtu(writePdu(0, 810, {30})).empty());
    EXPECT_EQ(model.reg(810), 30);
    EXPECT_TRUE(rtu(readPdu(0, 810, 1)).empty());
}

TEST_F(SimSlave, WritesAreStoredAndConfirmed) {
    EXPECT_EQ(ask(writeSinglePdu(1, 810, 0x1234)), (Bytes{1, 6, 0x03, 0x2A, 0x12, 0x34}));
    EXPECT_EQ(ask(writePdu(1, 804, {0xFFFF, 0xFFFF, 0, 7})), (Bytes{1, 16, 0x03, 0x24, 0, 4}));
    EXPECT_EQ(last.request.values, (std::vector<uint16_t>{0xFFFF, 0xFFFF, 0, 7}));
    Bytes reply = ask(readPdu(1, 800, 11));
    EXPECT_EQ(replyReg(reply, 4), 0xFFFF);
    EXPECT_EQ(replyReg(reply, 7), 7);
    EXPECT_EQ(replyReg(reply, 10), 0x1234);
    // The new address is kept, but the simulator still answers at its own.
    ask(writeSinglePdu(1, 800, 9));
    EXPECT_EQ(model.reg(800), 9);
    EXPECT_EQ(ask(readPdu(1, 800, 1)), (Bytes{1, 3, 2, 0, 9}));
}

TEST_F(SimSlave, StateCommandsSwitchTheRelaysAtOnce) {
    struct Step {
        int reg;
        uint16_t command;
        uint16_t states; // register 200 afterwards
    };
    model.setReg(200, 0x0000);
    const Step steps[] = {
        {206, 1, 0x0100}, {216, 1, 0x0101}, {206, 0, 0x0001}, {216, 7, 0x0001}, {216, 0, 0x0000}};
    for (const Step& step : steps) {
        ask(writePdu(1, step.reg, {step.command}));
        EXPECT_EQ(replyReg(ask(readPdu(1, 200, 21)), 0), step.states) << step.reg << " <- " << step.command;
    }
    EXPECT_EQ(model.reg(216), 0);
}

TEST_F(SimSlave, PasswordGuardsTheEnergyResetAndItsOwnChange) {
    struct Step {
        int reg;
        uint16_t value;
        uint8_t exception; // 0: accepted
    };
    const Step steps[] = {
        {1000, 0, 3},                                    // locked
        {819, 1111, 3},                                  // wrong password
        {819, 9999, 3},                                  // change request while locked
        {819, 1234, 0},                                  // unlocks
        {1000, 0, 0},                                    // reset, and locks again
        {1000, 0, 3},   {819, 1234, 0},  {819, 9999, 0}, // change request
        {819, 4321, 0},                                  // the new password, locks
        {819, 1234, 3},                                  // the old one no longer works
        {819, 4321, 0}, {819, 10000, 3},                 // not a password, locks
        {1000, 0, 3},
    };
    for (const Step& step : steps) {
        Bytes reply = ask(writePdu(1, step.reg, {step.value}));
        Bytes expected = step.exception ? Bytes{1, 0x90, step.exception} : Bytes{1, 16, 0, 0, 0, 1};
        if (!step.exception)
            expected[2] = static_cast<uint8_t>(step.reg >> 8), expected[3] = static_cast<uint8_t>(step.reg);
        EXPECT_EQ(reply, expected) << step.reg << " <- " << step.value;
    }
    Bytes energy = ask(readPdu(1, 66, 22));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(replyFloat(energy, i), 0.0f) << i;
    EXPECT_EQ(replyFloat(energy, 9), 12873.0f); // hours run on
    EXPECT_EQ(replyFloat(energy, 10), 4.0f);
}

TEST_F(SimSlave, UnlockingExpiresAfterAMinute) {
    ask(writeSinglePdu(1, 819, 1234));
    now += 61.0;
    EXPECT_EQ(ask(writeSinglePdu(1, 1000, 0)), (Bytes{1, 0x86, 3}));
}

TEST_F(SimSlave, TextsWrittenAt8420ReadBackAt811) {
    const std::string texts = "BADCFEHGJILKNMPO"; // ABCDEFGHIJ and KLMNOP as the program sends them
    Bytes pdu = {1, 16, 0x20, 0xE4, 0, 8, 16};
    pdu.insert(pdu.end(), texts.begin(), texts.end());
    EXPECT_EQ(ask(pdu), (Bytes{1, 16, 0x20, 0xE4, 0, 8}));
    Bytes reply = ask(readPdu(1, 811, 11));
    EXPECT_EQ(std::string(reply.begin() + 3, reply.begin() + 19), texts);
    EXPECT_EQ(std::string(reply.begin() + 19, reply.end()), "AB1234");
    EXPECT_EQ(model.modelCode(), 'L' << 8 | 'K');
}

TEST_F(SimSlave, OverlappingReadsAreResolvedByTheirStart) {
    model.setBlockFloat(130, 35, 111.0f); // the max/min record's registers 200-201
    model.setBlockFloat(238, 0, 77.0f);   // the demand record's registers 238-239
    model.setReg(200, 0x0100);
    EXPECT_EQ(replyFloat(ask(readPdu(1, 130, 108)), 35), 111.0f);
    EXPECT_EQ(replyReg(ask(readPdu(1, 200, 21)), 0), 0x0100);
    EXPECT_EQ(replyFloat(ask(readPdu(1, 238, 24)), 0), 77.0f);
    Bytes analog = ask(readPdu(1, 230, 17));
    EXPECT_EQ(replyReg(analog, 8), model.reg(238));
    EXPECT_NE(model.getFloat(238), 77.0f);
    // Registers of the max/min record outside the in/out bank read the same from any start.
    EXPECT_EQ(replyFloat(ask(readPdu(1, 140, 2)), 0), model.blockFloat(130, 5));
}

TEST_F(SimSlave, FaultPlanSpoilsChosenReplies) {
    using K = FaultRule::Kind;
    auto rule = [](K kind, auto set) {
        FaultRule r;
        r.kind = kind;
        set(r);
        return r;
    };
    auto none = [](FaultRule&) {};
    const Bytes good = withCrc({1, 3, 4, 0, 1, 4, 0}); // registers 800-801
    Bytes badCrc = good;
    badCrc[7] ^= 0xFF, badCrc[8] ^= 0xFF;
    struct Case {
        const char* what;
        FaultRule rule;
        std::vector<sim::Transmission> reply;
    };
    const Case cases[] = {
        {"silence", rule(K::Silence, none), {}},
        {"late", rule(K::Late, [](FaultRule& r) { r.delayMs = 300; }), {{300, good}}},
        {"cut", rule(K::CutShort, [](FaultRule& r) { r.keepBytes = 2; }), {{0, {1, 3}}}},
        {"bad crc", rule(K::BadCrc, none), {{0, badCrc}}},
        {"other address",
         rule(K::OtherAddress, [](FaultRule& r) { r.address = 7; }),
         {{0, withCrc({7, 3, 4, 0, 1, 4, 0})}}},
        {"exception",
         rule(K::Exception, [](FaultRule& r) { r.exceptionCode = 6; }),
         {{0, withCrc({1, 0x83, 6})}}},
        {"byte count",
         rule(K::ByteCount, [](FaultRule& r) { r.byteCount = 6; }),
         {{0, withCrc({1, 3, 6, 0, 1, 4, 0, 0, 0})}}},
        {"split",
         rule(K::Split,
              [](FaultRule& r) {
                  r.segments = {3, 4}, r.pauseMs = 50;
              }),
         {{0, {1, 3, 4}}, {50, {0, 1, 4, 0}}, {100, {good[7], good[8]}}}},
    };
    for (const Case& c : cases) {
        faults.clear();
        faults.add(c.rule);
        sim::Exchange e = slave.handle(readPdu(1, 800, 2), Framing::Rtu, 0, now);
        ASSERT_EQ(e.reply.size(), c.reply.size()) << c.what;
        for (size_t k = 0; k < e.reply.size(); ++k) {
            EXPECT_EQ(e.reply[k].atMs, c.reply[k].atMs) << c.what;
            EXPECT_EQ(e.reply[k].bytes, c.reply[k].bytes) << c.what;
        }
        EXPECT_EQ(e.request.answered, !c.reply.empty()) << c.what;
    }
}

TEST_F(SimSlave, FaultRulesMatchByFunctionStartAndTimes) {
    FaultRule rule;
    rule.kind = FaultRule::Kind::Silence;
    rule.function = 3;
    rule.start = 66;
    rule.times = 2;
    faults.add(rule);
    EXPECT_FALSE(ask(readPdu(1, 6, 2)).empty());
    EXPECT_FALSE(ask(writeSinglePdu(1, 810, 1)).empty());
    EXPECT_TRUE(ask(readPdu(1, 66, 2)).empty());
    EXPECT_TRUE(ask(readPdu(1, 66, 2)).empty());
    EXPECT_FALSE(ask(readPdu(1, 66, 2)).empty());
}

TEST_F(SimSlave, AnExceptionFromThePlanLeavesTheRequestUndone) {
    FaultRule rule;
    rule.kind = FaultRule::Kind::Exception;
    faults.add(rule);
    EXPECT_EQ(ask(writeSinglePdu(1, 810, 99)), (Bytes{1, 0x86, 4}));
    EXPECT_EQ(model.reg(810), 15);
}

TEST(SimRtuDeframer, FindsRequestsInAnyChunkingAndSkipsNoise) {
    Bytes read = withCrc(readPdu(1, 6, 60));
    Bytes write = withCrc(writePdu(1, 201, {1, 2, 3}));
    Bytes corrupt = read;
    corrupt[7] ^= 0x55;
    struct Case {
        const char* what;
        Bytes stream;
        size_t chunk; // bytes per push
        std::vector<Bytes> frames;
    };
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    Bytes readPduOnly(read.begin(), read.end() - 2), writePduOnly(write.begin(), write.end() - 2);
    const Case cases[] = {
        {"one byte at a time", read, 1, {readPduOnly}},
        {"two requests in one chunk", join({read, write}), 64, {readPduOnly, writePduOnly}},
        {"a request after a bad CRC", join({corrupt, write}), 64, {writePduOnly}},
        {"a request after a stray byte", join({Bytes{0x00}, read}), 64, {readPduOnly}},
        {"unknown function with a good CRC", withCrc({1, 17}), 64, {{1, 17}}},
    };
    for (const Case& c : cases) {
        sim::RtuDeframer deframer;
        std::vector<Bytes> frames;
        for (size_t at = 0; at < c.stream.size(); at += c.chunk) {
            size_t n = std::min(c.chunk, c.stream.size() - at);
            for (Bytes& f : deframer.push(c.stream.data() + at, n))
                frames.push_back(f);
        }
        EXPECT_EQ(frames, c.frames) << c.what;
    }
}

TEST(SimFaultRuleText, ParsesTheCommandLineFormAndRejectsNonsense) {
    FaultRule rule;
    for (const char* text : {"silence:fn=3,start=6,times=2", "late:ms=3000", "cut:keep=2", "badcrc",
                             "address:id=7", "exception:code=2", "count:bytes=10"})
        EXPECT_TRUE(sim::parseFaultRule(text, &rule, nullptr)) << text;
    for (const char* text :
         {"late", "cut:keep=x", "silence:keep=2", "split:sizes=3++4", "noise", "silence:times=0"}) {
        std::string error;
        EXPECT_FALSE(sim::parseFaultRule(text, &rule, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    ASSERT_TRUE(sim::parseFaultRule("split:sizes=3+4,ms=50,fn=3,start=6,times=2", &rule, nullptr));
    EXPECT_EQ(rule.kind, FaultRule::Kind::Split);
    EXPECT_EQ(rule.segments, (std::vector<int>{3, 4}));
    EXPECT_EQ(rule.pauseMs, 50);
    EXPECT_EQ(rule.function, 3);
    EXPECT_EQ(rule.start, 6);
    EXPECT_EQ(rule.times, 2);
}

} // namespace
