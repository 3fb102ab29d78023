// Collection end to end: the simulator's registers, over loopback TCP,
// through the driver loaded with dlopen, into the stand-in's database.
#include <gtest/gtest.h>

#include <set>

#include "e2e_support.h"
#include "runtime/device_table.h"

namespace {

using vemo::runtime::ChannelInfo;
using vemo::runtime::ChannelStatus;

void expectStored(vemo::runtime::Database& db, const ChannelInfo& c, const e2e::Expected& want)
{
    SCOPED_TRACE("channel " + std::to_string(c.index) + " " + c.name + " " + c.typeName);
    const vemo::runtime::Value& got = db.channel(c.index).value;
    ASSERT_EQ(got.type, c.databaseType);
    switch (got.type) {
        case DATATYPE_INT:
            EXPECT_EQ(got.i, static_cast<int>(want.number));
            break;
        case DATATYPE_DOUBLE:
            EXPECT_DOUBLE_EQ(got.d, want.number);
            break;
        default:
            EXPECT_EQ(got.s, want.text);
    }
}

class SampleCollect : public ::testing::Test {
protected:
    SampleCollect() : rig(e2e::compileFile(e2e::samplePath("demo.toml"))) {}
    e2e::Rig rig;
};

TEST_F(SampleCollect, EveryDataTypeOfTheSampleReachesTheDatabase)
{
    const auto& device = rig.device();
    ASSERT_GT(device.channelCount(), 0);
    std::set<std::string> typesSeen;
    for (const ChannelInfo& c : device.channels) {
        if (c.rwFlag == 1) continue;  // write-only channels are never read
        typesSeen.insert(c.typeName.substr(0, 3) == "STR"  ? "STR"
                         : c.typeName.substr(0, 2) == "BT" ? "BT"
                                                           : c.typeName);
        const e2e::Expected want = e2e::probeValue(c, device.properties);
        e2e::placeExpected(rig.sim(), c, device.properties, want);
        ASSERT_TRUE(rig.cycle()) << "no complete cycle: " << vemo::runtime::resultText(rig.stats().lastErrorCode());
        EXPECT_EQ(rig.poller().status(c.index), ChannelStatus::Ok);
        expectStored(rig.db(), c, want);
    }
    // The sample is meant to show every kind of value.
    for (const char* kind : {"BIT", "BT", "WUB", "DF", "STR"}) EXPECT_TRUE(typesSeen.count(kind)) << kind;
}

TEST_F(SampleCollect, ARegisterBitIgnoresTheOtherBitsOfItsRegister)
{
    for (const ChannelInfo& c : rig.device().channels) {
        if (c.code >= 16 || c.rwFlag == 1) continue;
        SCOPED_TRACE(c.name);
        // All other bits set, this one clear; then only this one set.
        rig.sim().withMemory([&](plc::Memory& m) {
            m.setWord(static_cast<int>(c.area), c.address, static_cast<uint16_t>(~(1u << c.code)));
        });
        ASSERT_TRUE(rig.cycle());
        EXPECT_EQ(rig.db().channel(c.index).value.i, 0);
        rig.sim().withMemory([&](plc::Memory& m) {
            m.setWord(static_cast<int>(c.area), c.address, static_cast<uint16_t>(1u << c.code));
        });
        ASSERT_TRUE(rig.cycle());
        EXPECT_EQ(rig.db().channel(c.index).value.i, 1);
    }
}

TEST_F(SampleCollect, OneFullCycleOfPlannedRanksRefreshesEveryReadChannel)
{
    // The rank count comes from the tool's own planning; the driver walks
    // its ranks round robin, so one cycle of that many calls must store
    // every channel it reads, each exactly once.
    ASSERT_TRUE(rig.cycle());
    for (const ChannelInfo& c : rig.device().channels) {
        if (c.rwFlag == 1) continue;
        EXPECT_EQ(rig.poller().status(c.index), ChannelStatus::Ok) << c.name;
        EXPECT_EQ(rig.db().channel(c.index).stores, 1u) << c.name;
    }
    EXPECT_EQ(rig.stats().calls(), static_cast<uint64_t>(rig.device().rankCount));
    EXPECT_EQ(rig.db().lastCollectFlag(), 0);  // the driver never calls SetCollectFlagSuc
}

TEST(Collect, AControllerThatRefusesEveryRequestIsCountedAsRefusedAndStoresNothing)
{
    vemo::SimulatorOptions options = e2e::quietSimulator();
    options.faults.exception = 1.0;
    e2e::Rig rig(e2e::compileText("[[channel]]\narea = \"D\"\naddress = 7\ntype = \"WUB\"\n", e2e::SHORT_WAIT_MS),
                 options);
    EXPECT_FALSE(rig.poller().runCycle());
    EXPECT_EQ(rig.stats().failures().at(7), 1u);
    EXPECT_EQ(rig.poller().status(0), ChannelStatus::NoValue);
    EXPECT_FALSE(rig.db().channel(0).stored);
}

TEST(Collect, ValuesKeepFlowingAfterTheControllerDropsTheConnection)
{
    // A short wait: the call made while the controller is away waits for
    // nothing but this; the cycles after it retry until one succeeds.
    e2e::Rig rig(e2e::compileText("[[channel]]\narea = \"D\"\naddress = 3\ntype = \"WUB\"\n", e2e::SHORT_WAIT_MS));
    rig.sim().withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 3, 11); });
    ASSERT_TRUE(rig.cycle());
    EXPECT_EQ(rig.db().channel(0).value.i, 11);

    // The simulator goes away and comes back on the same port: the channel
    // notices the closed connection and reconnects on the next request.
    const uint16_t port = rig.sim().port();
    rig.sim().stop();
    rig.poller().runCycle();
    vemo::SimulatorOptions again = e2e::quietSimulator();
    again.port = port;
    vemo::Simulator second(again);
    second.withMemory([](plc::Memory& m) { m.setWord(plc::areaIndexFromName("D"), 3, 22); });
    second.start();
    ASSERT_TRUE(rig.cycle(5));
    EXPECT_EQ(rig.db().channel(0).value.i, 22);
    second.stop();
}

}  // namespace
