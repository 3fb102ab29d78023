// What the soak reads off the simulator: faults by kind, whether a write
// reached the registers, how far it has got with the requests, and delays
// drawn from a range.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"
#include "sim/fault_injector.h"

namespace {

const char* const ONE_WORD = "[[channel]]\narea = \"D\"\naddress = 7\ntype = \"WUB\"\n";

uint16_t wordD7(vemo::Simulator& sim)
{
    return sim.withMemory([](plc::Memory& m) { return m.word(plc::areaIndexFromName("D"), 7); });
}

vemo::SimulatorOptions always(double vemo::FaultOptions::*kind)
{
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.*kind = 1.0;
    return options;
}

TEST(SimulatorStats, ARefusedWriteIsCountedAndNotCarriedOut)
{
    e2e::Rig rig(e2e::compileText(ONE_WORD, e2e::SHORT_WAIT_MS), always(&vemo::FaultOptions::exception));
    int value = 99;
    EXPECT_EQ(rig.session().device().write(0, DATATYPE_INT, &value), 4);
    const vemo::SimulatorStats s = rig.sim().stats();
    EXPECT_EQ(s.faultsByKind.exceptions, 1u);  // a reply ends the write: no retry
    EXPECT_EQ(s.faults, 1u);
    EXPECT_EQ(s.writesCarriedOut, 0u);
    EXPECT_EQ(wordD7(rig.sim()), 0);
    EXPECT_EQ(s.requestBytes, rig.session().channel().bytesSent());
}

TEST(SimulatorStats, AWriteWhoseRepliesAreLostIsCarriedOutEveryAttempt)
{
    e2e::Rig rig(e2e::compileText(ONE_WORD, e2e::SHORT_WAIT_MS), always(&vemo::FaultOptions::drop));
    int value = 99;
    EXPECT_EQ(rig.session().device().write(0, DATATYPE_INT, &value), 4);
    const vemo::SimulatorStats s = rig.sim().stats();
    EXPECT_EQ(s.faultsByKind.drops, 3u);
    EXPECT_EQ(s.writesCarriedOut, 3u);
    EXPECT_EQ(s.replies, 0u);
    EXPECT_EQ(wordD7(rig.sim()), 99);
    EXPECT_EQ(s.requestBytes, rig.session().channel().bytesSent());
    EXPECT_EQ(s.unsentBytes, 0u);
}

TEST(SimulatorStats, ReadsAreNotCountedAsWritesAndEveryKindHasItsCounter)
{
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.stale = 1.0;
    options.faults.split = 1.0;
    e2e::Rig rig(e2e::compileText(ONE_WORD, e2e::SHORT_WAIT_MS), options);
    rig.sim().withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 7, 5); });
    ASSERT_TRUE(rig.cycle());
    EXPECT_EQ(rig.db().channel(0).value.i, 5);
    const vemo::SimulatorStats s = rig.sim().stats();
    EXPECT_EQ(s.faultsByKind.stales, s.requests);
    EXPECT_EQ(s.faultsByKind.splits, s.requests);
    EXPECT_EQ(s.faultsByKind.drops + s.faultsByKind.delays + s.faultsByKind.garbage + s.faultsByKind.exceptions, 0u);
    EXPECT_EQ(s.writesCarriedOut, 0u);
}

TEST(FaultDelays, AreDrawnFromTheWholeRange)
{
    vemo::FaultOptions options;
    options.delay = 1.0;
    options.delayMs = 100;
    options.delayMaxMs = 110;
    vemo::FaultInjector injector(options, 1);
    const std::vector<uint8_t> request(12, 0), reply(11, 1);
    int lowest = 1000, highest = 0;
    for (int i = 0; i < 500; ++i) {
        const vemo::FaultDecision d = injector.decide();
        ASSERT_TRUE(d.delay);
        const std::vector<vemo::Send> sends = injector.shape(d, request, reply);
        ASSERT_EQ(sends.size(), 1u);
        lowest = std::min(lowest, sends[0].afterMs);
        highest = std::max(highest, sends[0].afterMs);
    }
    EXPECT_EQ(lowest, 100);
    EXPECT_EQ(highest, 110);

    // Without a range every delay is the fixed one.
    options.delayMaxMs = 0;
    vemo::FaultInjector fixed(options, 1);
    const vemo::FaultDecision d = fixed.decide();
    EXPECT_EQ(fixed.shape(d, request, reply).at(0).afterMs, 100);
}

}  // namespace
